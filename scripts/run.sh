#!/usr/bin/env bash
# The main job: installs what is missing, builds grooble.dll and opens its
# dialog from the demo host under Wine, then prints what GrooblerDialog
# returned. It runs the x86 DLL where this machine runs 32-bit code and the
# x64 DLL where it does not. With a $DISPLAY the dialog is yours to use;
# without one it runs on a private Xvfb display, is captured to
# build/winNN/dialog.png and is closed with OK by the host itself.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

scripts/build.sh
grooble_probe
source scripts/wine-env.sh
arch=$(grooble_preferred_arch)
tree="build/win$arch"
interactive=
unset GROOBLE_USE_DISPLAY
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    interactive=1
    export GROOBLE_USE_DISPLAY=1
fi
grooble_wine_start "$arch"

if [ -n "$interactive" ]; then
    (cd "$tree" && grooble_wine ./demo_host.exe) ||
        { echo "FAILED: the demo host under $GROOBLE_WINE" >&2; exit 1; }
else
    # A first run shows some strengths rather than three zeros.
    if [ ! -f "$tree/grooble.ini" ]; then
        printf '[Main]\r\nDefaultPreset=305070\r\n' > "$tree/grooble.ini"
    fi
    (cd "$tree" && grooble_wine ./demo_host.exe --screenshot dialog.bmp) ||
        { echo "FAILED: the demo host under $GROOBLE_WINE" >&2; exit 1; }
    grooble_step "convert the screenshot" convert "$tree/dialog.bmp" "$tree/dialog.png"
    echo "screenshot written to $tree/dialog.png"
fi
