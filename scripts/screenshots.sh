#!/usr/bin/env bash
# Captures the strength dialog at 96 and at 144 dpi, and the About box at
# 96 dpi, into docs/, through the
# demo host under Wine on a private Xvfb display (the x86 DLL where this
# machine runs 32-bit code, the x64 one elsewhere: they draw the same).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

scripts/build.sh
source scripts/wine-env.sh
grooble_wine_start_preferred
tree=$GROOBLE_TREE
mkdir -p docs
for dpi in 96 144; do
    grooble_wine_dpi "$dpi"
    printf '[Main]\r\nDefaultPreset=305070\r\n' > "$tree/grooble.ini"
    about=()
    [ "$dpi" = 96 ] && about=(--about about-96.bmp)
    (cd "$tree" && grooble_wine ./demo_host.exe --screenshot "dialog-$dpi.bmp" "${about[@]}") ||
        { echo "FAILED: the demo host at $dpi dpi under $GROOBLE_WINE" >&2; exit 1; }
    grooble_step "convert the $dpi dpi screenshot" \
        convert "$tree/dialog-$dpi.bmp" "docs/dialog-${dpi}dpi.png"
done
grooble_step "convert the About box screenshot" \
    convert "$tree/about-96.bmp" "docs/about-96dpi.png"
grooble_wine_dpi 96
rm -f "$tree/grooble.ini"
echo "written: docs/dialog-96dpi.png docs/dialog-144dpi.png docs/about-96dpi.png"
