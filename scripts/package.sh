#!/usr/bin/env bash
# Makes the release archive dist/grooble-<version>.zip with CPack: both
# DLLs (x86/ for 32-bit hosts, x64/ for 64-bit hosts), grooble.cal, the
# Japanese readme.txt (code page 932, CRLF) and the licence; and beside it
# grooble-<version>-selftest.zip: both self-test programs with their DLLs
# and the Japanese selftest.txt. Installs and
# builds the two Windows trees first, unless --prebuilt says they are built
# already (the test command's packaging test). The version is read from
# res/resource.h, the one place it is written.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

if [ "${1:-}" = --prebuilt ]; then
    for dll in build/win32/grooble.dll build/win64/grooble.dll build/win32/tests/wine/grooble-selftest.exe \
        build/win64/tests/wine/grooble-selftest.exe; do
        [ -f "$dll" ] || { echo "FAILED: $dll is not built" >&2; exit 1; }
    done
else
    grooble_build win32 win64
fi
rm -rf build/package dist
grooble_step "configure the release archive" cmake -S packaging -B build/package \
    -DGROOBLE_X86_DLL="$GROOBLE_ROOT/build/win32/grooble.dll" \
    -DGROOBLE_X64_DLL="$GROOBLE_ROOT/build/win64/grooble.dll" \
    -DGROOBLE_X86_SELFTEST="$GROOBLE_ROOT/build/win32/tests/wine/grooble-selftest.exe" \
    -DGROOBLE_X64_SELFTEST="$GROOBLE_ROOT/build/win64/tests/wine/grooble-selftest.exe"
grooble_step "make the release archive" cpack --config build/package/CPackConfig.cmake -B dist
# CPack leaves its work folder beside the archives, and records the x86/
# and x64/ folders as entries of their own; each archive lists just its
# files (unzipping makes the folders all the same).
rm -rf dist/_CPack_Packages
for archive in dist/*.zip; do
    grooble_step "list only the files in $archive" zip -q -d "$archive" 'x86/' 'x64/'
done
echo "written: $(ls dist/*.zip | tr '\n' ' ')"
