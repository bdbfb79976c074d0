#!/usr/bin/env python3
"""Checks the report grooble-selftest.exe wrote in FOLDER after a whole run
that ended with EXIT_STATUS: the machine's lines, a line per test (passed,
or skipped with its reason), every bet on Windows behaviour held, the
closing lines in Japanese (code page 932) and English, and nothing left
behind: no settings file, no copied DLL's folder.

usage: check_selftest_report.py FOLDER EXIT_STATUS
"""
import os
import re
import sys

BETS = ["list order", "number reading", "long names", "message-box centring", "centring", "painting"]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    folder, status = sys.argv[1], int(sys.argv[2])
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    path = os.path.join(folder, "selftest-report.txt")
    if not os.path.exists(path):
        print(f"FAIL: no report at {path} (exit status {status})")
        return 1
    data = open(path, "rb").read()
    check(b"\r\n" in data and b"\n" not in data.replace(b"\r\n", b""), "not CRLF line ends throughout")
    lines = data.decode("cp932").split("\r\n")
    check(status == 0, f"the self-test exited {status}")
    check(lines[0] == "grooble.dll self-test report", f"first line: {lines[0]!r}")
    for prefix, pattern in (("Windows: ", r".+"), ("ANSI code page: ", r"932"), ("DPI: ", r"\d+"),
                            ("grooble.dll: ", r"1\.0\.2000\.928, x(86|64), .*grooble\.dll")):
        found = [line for line in lines if line.startswith(prefix)]
        check(len(found) == 1 and re.fullmatch(pattern, found[0][len(prefix):]),
              f"no line {prefix}{pattern}: {found}")
    tests = [line for line in lines if re.match(r"(PASS|FAIL|SKIP)  ", line)]
    check(len(tests) >= 45, f"only {len(tests)} test lines")
    for line in tests:
        check(not line.startswith("FAIL"), line)
        if line.startswith("SKIP"):
            check(re.match(r"SKIP  \S+: .{10,}", line) is not None, f"a skip without its reason: {line}")
    bets = [line.strip() for line in lines if line.strip().startswith("bet: ")]
    for bet in BETS:
        matching = [b for b in bets if b.startswith(f"bet: {bet}:")]
        check(len(matching) == 1, f"no single report line for the bet on {bet}: {matching}")
        check(all(": yes" in b for b in matching), f"a bet did not hold: {matching}")
    closing = [line for line in lines if line]
    check(closing[-2].startswith("結果: すべて合格しました"), f"the Japanese closing line: {closing[-2]!r}")
    check(closing[-1].startswith("Result: everything held"), f"the English closing line: {closing[-1]!r}")
    check(not os.path.exists(os.path.join(folder, "grooble.ini")), "a settings file was left behind")
    for leftover in ("dll-first-call", "dll-elsewhere", "dll, elsewhere", "dll-lifecycle"):
        check(not os.path.exists(os.path.join(folder, leftover)), f"{leftover} was left behind")
    for failure in failures:
        print("FAIL:", failure)
    print("self-test report:", "as it should be" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
