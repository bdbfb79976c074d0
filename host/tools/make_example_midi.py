#!/usr/bin/env python3
"""Writes the example MIDI file the main job humanizes: four bars at 120
bpm and 480 ticks per quarter, format 1 with a tempo track and two note
tracks, every note exactly on the grid: a piano part of block chords and a
bass line of repeated pitches (eighths on one note), so that humanizing
shows chords moving together and repeated notes keeping apart.

usage: make_example_midi.py OUT.mid
"""
import struct
import sys

TPQ = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track(events):
    """events: (tick, bytes) in any order; written with running status off."""
    body = b""
    now = 0
    for tick, data in sorted(events, key=lambda e: (e[0], e[1][0] & 0xF0 != 0x80)):
        body += vlq(tick - now) + data
        now = tick
    body += vlq(0) + b"\xFF\x2F\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def notes(channel, pitches, start, length, velocity):
    out = []
    for pitch in pitches:
        out.append((start, bytes([0x90 | channel, pitch, velocity])))
        out.append((start + length, bytes([0x80 | channel, pitch, 64])))
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tempo = [(0, b"\xFF\x51\x03\x07\xA1\x20"),        # 500,000 us per quarter: 120 bpm
             (0, b"\xFF\x58\x04\x04\x02\x18\x08")]    # 4/4
    piano = [(0, b"\xFF\x03\x05Piano"), (0, b"\xC0\x00")]
    chords = [(60, 64, 67), (57, 60, 64), (53, 57, 60), (55, 59, 62)]
    for bar, chord in enumerate(chords):
        for beat in range(4):
            piano += notes(0, chord, (bar * 4 + beat) * TPQ, TPQ // 2, 80 if beat % 2 else 96)
    bass = [(0, b"\xFF\x03\x04Bass"), (0, b"\xC1\x21")]
    roots = [36, 33, 29, 31]
    for bar, root in enumerate(roots):
        for eighth in range(8):
            bass += notes(1, [root], (bar * 8 + eighth) * TPQ // 2, TPQ // 2, 100)
    drums = [(0, b"\xFF\x03\x05Drums")]
    for eighth in range(32):
        hits = [42] + ([36] if eighth % 4 == 0 else [38] if eighth % 4 == 2 else [])
        drums += notes(9, hits, eighth * TPQ // 2, TPQ // 4, 90 if eighth % 2 else 110)
    header = b"MThd" + struct.pack(">IHHH", 6, 1, 4, TPQ)
    with open(sys.argv[1], "wb") as f:
        f.write(header + track(tempo) + track(piano) + track(bass) + track(drums))


if __name__ == "__main__":
    main()
