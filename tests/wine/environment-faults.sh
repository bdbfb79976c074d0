#!/bin/sh
# environment-faults.sh ARCH TESTS_EXE DLL WORK: runs the disabled
# environment-fault test under each fault: a read-only settings file, a
# read-only folder, and a host program whose path is longer than 260
# characters. The tests run as root, who may write to files without write
# permission, so "read-only" is made with the immutable attribute.
arch=$1
tests=$2
dll=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)
status=0

immutable() {  # immutable +|- PATH
    chattr "$1i" "$2" 2>/dev/null
}

# Runs the test in DIR's copy of the test program under fault KIND; it
# must have run exactly one test, and passed it.
run_in() {  # run_in KIND DIR
    GROOBLE_FAULT=$1 "$here/wine-run.sh" "$arch" "$2/tests.exe" --gtest_also_run_disabled_tests \
        --gtest_filter='EnvironmentFaultTest.*' > "$work/$1.log" 2>&1
    result=$?
    cat "$work/$1.log"
    [ $result -eq 0 ] && grep -q '\[  PASSED  \] 1 test' "$work/$1.log"
}

run_fault() {  # run_fault KIND DIR
    cp "$tests" "$2/tests.exe" && cp "$dll" "$2/grooble.dll" || return 1
    run_in "$1" "$2"
}

rm -rf "$work"
mkdir -p "$work/file" "$work/folder" || exit 1
printf '[Main]\r\nDefaultPreset=102030\r\n[Preset]\r\nKeep=10101\r\n' > "$work/file/grooble.ini"
if ! immutable + "$work/file/grooble.ini"; then
    echo "NOT RUN: this file system cannot make a file read-only for root (chattr +i)"
    exit 77
fi
echo "== a read-only settings file"
run_fault read-only-file "$work/file" || status=1
immutable - "$work/file/grooble.ini"

echo "== a read-only folder"
cp "$tests" "$work/folder/tests.exe" && cp "$dll" "$work/folder/grooble.dll"
immutable + "$work/folder"
run_in read-only-folder "$work/folder" || status=1
immutable - "$work/folder"

echo "== a host path longer than 260 characters"
deep="$work/long"
while [ ${#deep} -lt 300 ]; do deep="$deep/a-folder-name-of-some-length"; done
mkdir -p "$deep" || exit 1
run_fault long-path "$deep" || status=1

rm -rf "$work"
exit $status
