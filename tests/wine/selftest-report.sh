#!/bin/sh
# selftest-report.sh ARCH SELFTEST_EXE: runs grooble-selftest.exe whole
# under Wine, as a user runs it on Windows, and checks the report it
# writes beside itself.
arch=$1
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
folder=$(dirname "$exe")
rm -f "$folder/selftest-report.txt"
(cd "$folder" && "$here/wine-run.sh" "$arch" "./$(basename "$exe")" >/dev/null 2>&1)
status=$?
python3 "$here/check_selftest_report.py" "$folder" "$status"
