#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, writes an
# example MIDI file (four bars of straight, quantized notes with chords and
# repeated pitches) and humanizes it end to end: groobler, the stand-in
# host, loads grooble.dll under Wine, asks for the strengths in its dialog
# and humanizes the file with them. It runs the x86 DLL where this machine
# runs 32-bit code and the x64 DLL where it does not.
#
# With a $DISPLAY the dialog is yours to use; without one it runs on a
# private Xvfb display, and a scripted user sets the strengths (60, 40, 60;
# GROOBLE_PLAY=T,L,V to choose others) and presses OK.
#
# It leaves in build/example: in.mid, out.mid (humanized), dialog.png (the
# dialog as the scripted user left it), piano-roll.png (the notes before
# and after) and before.ogg and after.ogg (both played by FluidSynth with
# Debian's General MIDI soundfont).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

grooble_build win32 win64
source scripts/wine-env.sh
interactive=
unset GROOBLE_USE_DISPLAY
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    interactive=1
    export GROOBLE_USE_DISPLAY=1
fi
grooble_wine_start_preferred
tree=$GROOBLE_TREE
out=build/example
mkdir -p "$out"
grooble_step "write the example MIDI file" python3 host/tools/make_example_midi.py "$out/in.mid"
cp "$out/in.mid" "$tree/in.mid"
rm -f "$tree/out.mid"

seed=${GROOBLE_SEED:-20261208}
if [ -n "$interactive" ]; then
    (cd "$tree" && grooble_wine ./groobler.exe --seed "$seed" in.mid out.mid) | tee "$out/groobler.txt" ||
        { echo "FAILED: groobler under $GROOBLE_WINE" >&2; exit 1; }
else
    (cd "$tree" && grooble_wine ./groobler.exe --seed "$seed" --play "${GROOBLE_PLAY:-60,40,60}" \
        --screenshot dialog.bmp in.mid out.mid) | tee "$out/groobler.txt" ||
        { echo "FAILED: groobler under $GROOBLE_WINE" >&2; exit 1; }
    grooble_step "convert the screenshot" convert "$tree/dialog.bmp" "$out/dialog.png"
fi
if [ ! -f "$tree/out.mid" ]; then
    echo "the dialog was cancelled: nothing humanized"
    exit 0
fi
mv "$tree/out.mid" "$out/out.mid"
# Debian's python3, whatever else is first on the PATH: the plotting
# packages are installed for it.
grooble_step "draw the piano roll" \
    /usr/bin/python3 host/tools/plot_piano_roll.py "$out/in.mid" "$out/out.mid" "$out/piano-roll.png"
soundfont=
for candidate in /usr/share/sounds/sf3/default-GM.sf3 /usr/share/sounds/sf2/default-GM.sf2 \
                 /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
    [ -f "$candidate" ] && { soundfont=$candidate; break; }
done
[ -n "$soundfont" ] || { echo "FAILED: no General MIDI soundfont in /usr/share/sounds" >&2; exit 1; }
for take in in:before out:after; do
    grooble_step "play ${take%%:*}.mid to ${take#*:}.ogg" \
        fluidsynth -n -i -q -T oga -r 44100 -F "$out/${take#*:}.ogg" "$soundfont" "$out/${take%%:*}.mid"
done
written="$out/in.mid, $out/out.mid, $out/piano-roll.png, $out/before.ogg, $out/after.ogg"
[ -n "$interactive" ] || written="$written, $out/dialog.png"
echo "written: $written"
