#!/usr/bin/python3
"""Draws a MIDI file's notes before and after humanizing as a piano roll:
the original notes as grey outlines, the humanized ones as coloured bars
(colour = velocity), one panel per note track, so that the moved starts,
changed lengths and velocities show at a glance. A red tick marks the end
of a note that touched the next note of its key and was kept joined to it.

usage: plot_piano_roll.py BEFORE.mid AFTER.mid OUT.png
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.patches import Rectangle  # noqa: E402
import mido  # noqa: E402


def notes_of(path):
    """{track index: [(start, end, pitch, velocity, channel)]} in ticks, each
    voice's notes in the order they start."""
    song = mido.MidiFile(path)
    tracks = {}
    for index, track in enumerate(song.tracks):
        now = 0
        waiting = {}
        found = []
        for message in track:
            now += message.time
            if message.type == "note_on" and message.velocity > 0:
                waiting.setdefault((message.channel, message.note), []).append((now, message.velocity))
            elif message.type in ("note_off", "note_on"):
                queue = waiting.get((message.channel, message.note))
                if queue:
                    start, velocity = queue.pop(0)
                    found.append((start, now, message.note, velocity, message.channel))
        if found:
            tracks[index] = found
    return tracks, song.ticks_per_beat


def joined_ends(before, after):
    """The humanized notes whose end followed the next note of their key
    (same channel and pitch), which it touched or overlapped before."""
    def voices(notes):
        grouped = {}
        for note in sorted(notes, key=lambda n: n[0]):
            grouped.setdefault((note[4], note[2]), []).append(note)
        return grouped
    was, now = voices(before), voices(after)
    marked = []
    for key, notes in was.items():
        for k in range(len(notes) - 1):
            if notes[k][1] >= notes[k + 1][0] and k < len(now.get(key, [])):
                marked.append(now[key][k])
    return marked


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    before, tpq = notes_of(sys.argv[1])
    after, _ = notes_of(sys.argv[2])
    panels = sorted(before)
    figure, axes = plt.subplots(len(panels), 1, figsize=(14, 3.2 * len(panels)), squeeze=False)
    colours = plt.get_cmap("viridis")
    for axis, track in zip(axes[:, 0], panels):
        low = min(n[2] for n in before[track] + after.get(track, []))
        high = max(n[2] for n in before[track] + after.get(track, []))
        for start, end, pitch, *_ in before[track]:
            axis.add_patch(Rectangle((start / tpq, pitch - 0.45), (end - start) / tpq, 0.9,
                                     fill=False, edgecolor="0.55", linewidth=1.2))
        for start, end, pitch, velocity, _ in after.get(track, []):
            axis.add_patch(Rectangle((start / tpq, pitch - 0.3), (end - start) / tpq, 0.6,
                                     color=colours(velocity / 127), alpha=0.85))
        for start, end, pitch, *_ in joined_ends(before[track], after.get(track, [])):
            axis.plot([end / tpq, end / tpq], [pitch - 0.45, pitch + 0.45], color="red", linewidth=2)
        last = max(n[1] for n in before[track] + after.get(track, []))
        axis.set_xlim(-0.1, last / tpq + 0.1)
        axis.set_ylim(low - 1, high + 1)
        axis.set_xticks(range(0, int(last / tpq) + 1))
        axis.grid(axis="x", color="0.85")
        axis.set_ylabel("pitch")
        axis.set_title(f"track {track}: grey outline = before, bar = after (colour = velocity), "
                       "red tick = end kept joined to the next note of its key")
    axes[-1, 0].set_xlabel("quarter notes")
    mappable = plt.cm.ScalarMappable(cmap=colours, norm=plt.Normalize(0, 127))
    figure.colorbar(mappable, ax=axes[:, 0].tolist(), label="velocity")
    figure.savefig(sys.argv[3], dpi=90)


if __name__ == "__main__":
    main()
