#!/usr/bin/env python3
"""Checks the release archive that scripts/package.sh made in DIST: one zip,
exactly its five files; both DLLs of the right machine type, exporting
GrooblerDialog, with version resources that carry the archive's version;
readme.txt in code page 932 with CRLF line ends naming both folders;
grooble.cal with its marked path line.

usage: check_archive.py DIST
"""
import glob
import io
import re
import struct
import sys
import zipfile

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def pe_machine(data):
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[offset:offset + 4] == b"PE\0\0", "no PE header"
    return struct.unpack_from("<H", data, offset + 4)[0]


def fixed_version(data):
    """The file version of the version resource's fixed part, a.b.c.d."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    zips = glob.glob(f"{sys.argv[1]}/*.zip")
    others = [p for p in glob.glob(f"{sys.argv[1]}/*") if not p.endswith(".zip")]
    check(len(zips) == 1, f"not exactly one zip: {zips}")
    check(not others, f"more than the zip in dist: {others}")
    if len(zips) != 1:
        return
    name = zips[0].rsplit("/", 1)[-1]
    match = re.fullmatch(r"grooble-(\d+)\.(\d+)\.(\d+)\.(\d+)\.zip", name)
    check(match is not None, f"{name} is not grooble-<version>.zip")
    version = ".".join(match.groups()) if match else None
    archive = zipfile.ZipFile(zips[0])
    listed = sorted(archive.namelist())
    expected = sorted(["x86/grooble.dll", "x64/grooble.dll", "grooble.cal", "readme.txt", "LICENSE"])
    check(listed == expected, f"the archive lists {listed}, not {expected}")

    for path, machine, label in (("x86/grooble.dll", 0x14C, "x86"), ("x64/grooble.dll", 0x8664, "x64")):
        if path not in listed:
            continue
        data = archive.read(path)
        check(pe_machine(data) == machine, f"{path} is not an {label} image")
        check(b"GrooblerDialog\0" in data, f"{path} does not name GrooblerDialog")
        check(fixed_version(data) == version, f"{path} has version {fixed_version(data)}, the archive {version}")
        text_version = ", ".join(version.split(".")) if version else ""
        check(text_version.encode("utf-16-le") in data, f"{path} has no FileVersion text {text_version}")

    if "readme.txt" in listed:
        raw = archive.read("readme.txt")
        try:
            text = raw.decode("cp932")
        except UnicodeDecodeError as error:
            failures.append(f"readme.txt is not code page 932: {error}")
            text = ""
        bare = re.search(rb"(?<!\r)\n|\r(?!\n)", raw)
        check(bare is None, f"readme.txt has a line end that is not CRLF at byte {bare.start() if bare else 0}")
        check(raw.endswith(b"\r\n"), "readme.txt does not end its last line")
        check("x86" in text and "x64" in text, "readme.txt does not name both folders")
        check("grooble.ini" in text and "grooble.cal" in text, "readme.txt does not name the settings file and script")
        check(re.search("[ぁ-んァ-ン]", text) is not None, "readme.txt has no Japanese text")
        check(version in text, "readme.txt does not give the version")

    if "grooble.cal" in listed:
        cal = archive.read("grooble.cal").decode("ascii", "replace")
        marked = re.search(r"EDIT THIS LINE.*\n\s*\(string sDllPath \"[^\"]+grooble\.dll\"\)", cal)
        check(marked is not None, "grooble.cal has no marked path line")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{name}: {len(listed)} files, version {version}, all checks passed")


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
