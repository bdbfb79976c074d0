#!/usr/bin/env bash
# The main job: installs what is missing, builds grooble.dll and opens its
# dialog from the demo host under Wine, then prints what GrooblerDialog
# returned. With a $DISPLAY the dialog is yours to use; without one it runs
# on a private Xvfb display, is captured to build/win32/dialog.png and is
# closed with OK by the host itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/build.sh >/dev/null
source scripts/wine-env.sh
interactive=
unset GROOBLE_USE_DISPLAY
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    interactive=1
    export GROOBLE_USE_DISPLAY=1
fi
grooble_wine_start "$root/build/win32"

if [ -n "$interactive" ]; then
    (cd build/win32 && grooble_wine ./demo_host.exe)
else
    # A first run shows some strengths rather than three zeros.
    if [ ! -f build/win32/grooble.ini ]; then
        printf '[Main]\r\nDefaultPreset=305070\r\n' > build/win32/grooble.ini
    fi
    (cd build/win32 && grooble_wine ./demo_host.exe --screenshot dialog.bmp)
    convert build/win32/dialog.bmp build/win32/dialog.png
    echo "screenshot written to build/win32/dialog.png"
fi
