#!/usr/bin/python3
"""Draws one track's timing deviations over time, white against drift: the
move of each gesture (notes of one channel within a 64th note of the
gesture's first start) in ticks, for a file humanized without and with
--drift at the same strength: the busiest track and channel, its first
300 gestures, white above and drift below.

usage: plot_drift.py BEFORE.mid WHITE.mid DRIFT.mid OUT.png
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from plot_piano_roll import notes_of  # noqa: E402


def by_voice(notes):
    voices = {}
    for note in sorted(notes, key=lambda n: n[0]):
        voices.setdefault((note[4], note[2]), []).append(note)
    return voices


def gesture_moves(before, after, tpq):
    """{(track, channel): [(start in quarters, move in ticks)]} per gesture."""
    lanes = {}
    for track, notes in before.items():
        was, now = by_voice(notes), by_voice(after.get(track, []))
        moved = []
        for key, voice in was.items():
            for k, note in enumerate(voice):
                if k < len(now.get(key, [])):
                    moved.append((note[4], note[0], now[key][k][0] - note[0]))
        for channel in sorted({m[0] for m in moved}):
            first, points = None, []
            for _, start, move in sorted(m for m in moved if m[0] == channel):
                if first is None or (start - first) * 16 > tpq:
                    first = start
                    points.append((start / tpq, move))
            lanes[(track, channel)] = points
    return lanes


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    before, tpq = notes_of(sys.argv[1])
    white = gesture_moves(before, notes_of(sys.argv[2])[0], tpq)
    drift = gesture_moves(before, notes_of(sys.argv[3])[0], tpq)
    lane = max(white, key=lambda k: len(white[k]))
    figure, axes = plt.subplots(2, 1, figsize=(14, 5.5), sharex=True, sharey=True)
    for axis, points, colour, label in ((axes[0], white[lane][:300], "0.45", "white: each gesture on its own"),
                                        (axes[1], drift[lane][:300], "tab:blue",
                                         "drift: a little ahead for a while, then behind")):
        axis.plot([p[0] for p in points], [p[1] for p in points], color=colour, linewidth=1.2, marker=".")
        axis.axhline(0, color="0.3", linewidth=0.6)
        axis.set_ylabel("move (ticks)")
        axis.set_title(label, loc="left")
    axes[1].set_xlabel("quarter notes")
    figure.suptitle(f"track {lane[0]}, channel {lane[1] + 1}: the first {min(300, len(white[lane]))} gestures, "
                    "the same strength and seed")
    figure.tight_layout()
    figure.savefig(sys.argv[4], dpi=90)


if __name__ == "__main__":
    main()
