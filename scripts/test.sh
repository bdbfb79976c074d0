#!/usr/bin/env bash
# Runs every test: the native unit tests under the sanitizers, then the
# Wine tests that drive the real grooble.dll, on a private Xvfb display:
# the x86 DLL under 32-bit Wine and the x64 DLL under 64-bit Wine where this
# machine runs 32-bit code, the x64 DLL alone where it does not (the x86
# DLL is then checked statically, and the last lines say so).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

grooble_build win32 win64 native fuzz
source scripts/wine-env.sh

failed=()
echo "== native tests: the DLL's pure rules, the host, the release archive"
(cd build/native && ctest --output-on-failure) || failed+=("native tests")
echo "== fuzzing the pure rules (each target for a bounded time)"
(cd build/fuzz && ctest --output-on-failure -j2) || failed+=("fuzz targets")

arches=(64)
[ "$GROOBLE_RUNS_32BIT" = 1 ] && arches=(32 64)
for arch in "${arches[@]}"; do
    echo "== Wine tests of the win$arch DLL"
    grooble_wine_start "$arch"
    (cd "build/win$arch" && ctest --output-on-failure) || failed+=("win$arch Wine tests")
    echo "== the win$arch self-test as a user runs it: unpacked from its archive in a bare Wine prefix"
    grooble_bare_selftest "$arch" || failed+=("win$arch self-test in a bare prefix")
done

if [ "$GROOBLE_RUNS_32BIT" != 1 ]; then
    echo "== static check of the win32 DLL"
    tests/wine/dll-check.sh build/win32/grooble.dll 32 || failed+=("win32 DLL check")
fi

echo
if [ ${#failed[@]} -ne 0 ]; then
    echo "FAILED: ${failed[*]}"
else
    echo "all tests passed"
fi
if [ "$GROOBLE_RUNS_32BIT" = 1 ]; then
    echo "Both DLLs ran: x86 under 32-bit Wine, x64 under 64-bit Wine."
else
    echo "NOTE: the x86 DLL (build/win32/grooble.dll) was built and checked statically only"
    echo "(machine type, export, imports, size, no runtime); its behaviour was NOT run here:"
    echo "$GROOBLE_PROBE_REASON. The Wine tests ran against the x64 DLL."
fi
[ ${#failed[@]} -eq 0 ]
