#!/usr/bin/env bash
# Captures the strength dialog at 96 and at 144 dpi, and the About box at
# 96 dpi, into docs/: groobler's scripted user sets 30, 50, 70 in the real
# dialog under Wine on a private Xvfb display, captures it (and opens the
# About box from the system menu and captures that), and presses OK. It
# uses the x86 DLL where this machine runs 32-bit code, the x64 one
# elsewhere: they draw the same.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

grooble_install
source scripts/wine-env.sh
grooble_build "win$(grooble_preferred_arch)"
grooble_wine_start_preferred
tree=$GROOBLE_TREE
mkdir -p docs
grooble_step "write the example MIDI file" python3 host/tools/make_example_midi.py "$tree/shot-in.mid"
for dpi in 96 144; do
    grooble_wine_dpi "$dpi"
    rm -f "$tree/grooble.ini"
    about=()
    [ "$dpi" = 96 ] && about=(--about about-96.bmp)
    (cd "$tree" && grooble_wine ./groobler.exe --seed 1 --play 30,50,70 --screenshot "dialog-$dpi.bmp" \
        "${about[@]}" shot-in.mid shot-out.mid >/dev/null) ||
        { echo "FAILED: groobler at $dpi dpi under $GROOBLE_WINE" >&2; exit 1; }
    grooble_step "convert the $dpi dpi screenshot" \
        convert "$tree/dialog-$dpi.bmp" "docs/dialog-${dpi}dpi.png"
done
grooble_step "convert the About box screenshot" \
    convert "$tree/about-96.bmp" "docs/about-96dpi.png"
grooble_wine_dpi 96
rm -f "$tree/grooble.ini" "$tree/shot-in.mid" "$tree/shot-out.mid"
echo "written: docs/dialog-96dpi.png docs/dialog-144dpi.png docs/about-96dpi.png"
