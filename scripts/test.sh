#!/usr/bin/env bash
# Runs every test: the native unit tests under the sanitizers, then the
# Wine tests that drive the real grooble.dll, on a private Xvfb display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/build.sh

status=0
echo "== native tests"
(cd build/native && ctest --output-on-failure) || status=1

echo "== Wine tests"
source scripts/wine-env.sh
grooble_wine_start "$root/build/win32"
(cd build/win32 && ctest --output-on-failure) || status=1
exit $status
