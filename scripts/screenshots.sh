#!/usr/bin/env bash
# Captures the strength dialog at 96 and at 144 dpi into docs/, through the
# demo host under Wine on a private Xvfb display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/build.sh >/dev/null
source scripts/wine-env.sh
grooble_wine_start "$root/build/win32"
mkdir -p docs
for dpi in 96 144; do
    grooble_wine_dpi "$dpi"
    printf '[Main]\r\nDefaultPreset=305070\r\n' > build/win32/grooble.ini
    (cd build/win32 && grooble_wine ./demo_host.exe --screenshot "dialog-$dpi.bmp")
    convert "build/win32/dialog-$dpi.bmp" "docs/dialog-${dpi}dpi.png"
done
grooble_wine_dpi 96
rm -f build/win32/grooble.ini
echo "written: docs/dialog-96dpi.png docs/dialog-144dpi.png"
