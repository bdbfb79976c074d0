#!/usr/bin/env python3
"""Checks the two archives that scripts/package.sh made in DIST. The release
archive: exactly its six files; both DLLs of the right machine type,
exporting GrooblerDialog, with version resources that carry the archive's
version; readme.txt in code page 932 with CRLF line ends naming both
folders and both path spellings; grooble.cal and grooble-check.cal with their marked path lines. The self-test archive: both
self-test programs of the right machine type and with no runtime DLL, the
same DLLs beside them, and selftest.txt, Japanese in code page 932 with
CRLF, saying what to run and what to send back.

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


def pe_imports(data):
    """The names of the DLLs an image imports from, from its import table."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    table = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} in no section")

    names, at = [], offset(import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, at + 12)[0]
        if name_rva == 0:
            return names
        start = offset(name_rva)
        names.append(data[start:data.index(b"\0", start)].decode("ascii").upper())
        at += 20


def fixed_version(data):
    """The file version of the version resource's fixed part, a.b.c.d."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def check_text(archive, path, version, names):
    """A Japanese text for Notepad: code page 932, CRLF, naming what it must."""
    raw = archive.read(path)
    try:
        text = raw.decode("cp932")
    except UnicodeDecodeError as error:
        failures.append(f"{path} is not code page 932: {error}")
        text = ""
    bare = re.search(rb"(?<!\r)\n|\r(?!\n)", raw)
    check(bare is None, f"{path} has a line end that is not CRLF at byte {bare.start() if bare else 0}")
    check(raw.endswith(b"\r\n"), f"{path} does not end its last line")
    for name in names:
        check(name in text, f"{path} does not name {name}")
    check(re.search("[ぁ-んァ-ン]", text) is not None, f"{path} has no Japanese text")
    check(version in text, f"{path} does not give the version")


def check_images(archive, listed, version, name):
    for folder, machine in (("x86", 0x14C), ("x64", 0x8664)):
        path = f"{folder}/{name}"
        if path not in listed:
            continue
        data = archive.read(path)
        check(pe_machine(data) == machine, f"{path} is not an {folder} image")
        if name == "grooble.dll":
            check(b"GrooblerDialog\0" in data, f"{path} does not name GrooblerDialog")
            check(fixed_version(data) == version, f"{path} has version {fixed_version(data)}, the archive {version}")
            text_version = ", ".join(version.split(".")) if version else ""
            check(text_version.encode("utf-16-le") in data, f"{path} has no FileVersion text {text_version}")
        else:
            # One program that needs nothing beside it but Windows' own DLLs.
            system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "VERSION.DLL", "MSVCRT.DLL",
                      "ADVAPI32.DLL", "SHELL32.DLL"}
            imports = pe_imports(data)
            check(imports and set(imports) <= system, f"{path} imports {imports}")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    zips = sorted(glob.glob(f"{sys.argv[1]}/*.zip"))
    others = [p for p in glob.glob(f"{sys.argv[1]}/*") if not p.endswith(".zip")]
    check(not others, f"more than the archives in dist: {others}")
    release = [z for z in zips if re.fullmatch(r"grooble-(\d+\.){3}\d+\.zip", z.rsplit("/", 1)[-1])]
    selftest = [z for z in zips if re.fullmatch(r"grooble-(\d+\.){3}\d+-selftest\.zip", z.rsplit("/", 1)[-1])]
    check(len(release) == 1 and len(selftest) == 1 and len(zips) == 2,
          f"not the release archive and the self-test archive: {zips}")
    if len(release) != 1:
        return
    name = release[0].rsplit("/", 1)[-1]
    version = name[len("grooble-"):-len(".zip")]

    archive = zipfile.ZipFile(release[0])
    listed = sorted(archive.namelist())
    expected = sorted(["x86/grooble.dll", "x64/grooble.dll", "grooble.cal", "grooble-check.cal", "readme.txt",
                       "LICENSE"])
    check(listed == expected, f"{name} lists {listed}, not {expected}")
    check_images(archive, listed, version, "grooble.dll")
    if "readme.txt" in listed:
        check_text(archive, "readme.txt", version, ["x86", "x64", "grooble.ini", "grooble.cal", "grooble-check.cal",
                                                    "C:\\\\Cakewalk\\\\grooble.dll"])
    for script in ("grooble.cal", "grooble-check.cal"):
        if script in listed:
            cal = archive.read(script).decode("ascii", "replace")
            marked = re.search(r"EDIT THIS LINE.*\n\s*\(string sDllPath \"[^\"]+grooble\.dll\"\)", cal)
            check(marked is not None, f"{script} has no marked path line")

    if len(selftest) == 1:
        tested = zipfile.ZipFile(selftest[0])
        names = sorted(tested.namelist())
        expected = sorted(["x86/grooble-selftest.exe", "x86/grooble.dll", "x64/grooble-selftest.exe",
                           "x64/grooble.dll", "selftest.txt"])
        check(names == expected, f"the self-test archive lists {names}, not {expected}")
        check_images(tested, names, version, "grooble.dll")
        check_images(tested, names, version, "grooble-selftest.exe")
        for path in ("x86/grooble.dll", "x64/grooble.dll"):
            if path in names and path in listed:
                check(tested.read(path) == archive.read(path), f"{path} differs between the two archives")
        if "selftest.txt" in names:
            check("example.org" not in tested.read("selftest.txt").decode("cp932", "replace"),
                  "selftest.txt names an address that reaches no one")
            check_text(tested, "selftest.txt", version,
                       ["x86", "x64", "grooble-selftest.exe", "selftest-report.txt", "grooble.dll を入手した先"])

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{name} and its self-test archive: version {version}, all checks passed")


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
