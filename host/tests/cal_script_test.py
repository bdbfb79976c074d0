#!/usr/bin/env python3
"""Runs grooble.cal and grooble-check.cal in a small interpreter of the
script language's subset they use, on selections given as the host gives
them, with the DLL call answered by a stand-in, and checks them against
groobler on the same notes.

The interpreter models the host as far as the language is documented:
forEachEvent visits the selection track by track, and clip by clip inside
a track, so times go back at every track and clip. Where the documents
are silent it takes the stricter reading, in one of three modes:
- "host32": every result is a signed 32-bit number, and fails outside it;
- "strict": a result takes its first operand's type (int and word 16 bits,
  long and dword 32), a literal that fits 16 bits is an int and a larger
  one is refused outside a declaration (the host might cut it), and a
  result outside its type fails instead of wrapping;
- "wrap": types as in strict, but int and word wrap silently, as a host
  might do it (only grooble-check.cal, which probes such things, runs so).
In every mode an assignment fails when the value leaves the target's type
(Event.Time is a dword, Note.Dur a word, Note.Vel 0..127), and grooble.cal
may divide only non-negative numbers (how the host rounds a negative one
is not known; the check script finds out, under either rounding).
What is not known at all (the DLL call's spelling, string escapes) is
taken as written.

usage: cal_script_test.py GROOBLE_CAL GROOBLE_CHECK_CAL GROOBLER WORK_DIR
"""
import math
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from make_example_midi import vlq  # noqa: E402

RANGES = {"int": (-2**15, 2**15 - 1), "word": (0, 2**16 - 1), "long": (-2**31, 2**31 - 1),
          "dword": (0, 2**32 - 1)}
FIELDS = {"Event.Time": ("time", "dword"), "Event.Kind": ("kind", "int"), "Note.Dur": ("dur", "word"),
          "Note.Vel": ("vel", "int"), "Note.Key": ("pitch", "int"), "Event.Chan": ("chan", "int")}
LIMITS = {"Event.Time": (0, 2**32 - 1), "Note.Dur": (0, 65535), "Note.Vel": (0, 127)}


class Exit(Exception):
    pass


class Interpreter:
    def __init__(self, source, dll_result, tracks, mode="host32", timebase=480, negative_division=None):
        """tracks: a list of tracks, each a list of clips, each a list of
        events (dicts) in the order the host keeps them."""
        self.tree = self.parse(source)
        self.dll_result = dll_result
        self.tracks = tracks
        self.mode = mode
        self.timebase = timebase
        self.negative_division = negative_division  # None: refused; "zero" or "floor"
        self.event = None
        self.vars = {}
        self.messages = []
        self.dll_calls = 0

    @staticmethod
    def parse(source):
        tokens = re.findall(r'"[^"]*"|;[^\n]*|[()]|[^\s()]+', source)
        stack = [[]]
        for token in tokens:
            if token.startswith(";"):
                continue
            if token == "(":
                stack.append([])
            elif token == ")":
                done = stack.pop()
                stack[-1].append(done)
            else:
                stack[-1].append(token)
        assert len(stack) == 1, "unbalanced parentheses"
        return stack[0]

    def typed(self, value, kind):
        """A result of kind, as the mode has it."""
        if self.mode == "host32":
            kind = "long"
        low, high = RANGES[kind]
        if low <= value <= high:
            return kind, value
        if self.mode == "wrap" and kind in ("int", "word"):
            span = high - low + 1
            return kind, (value - low) % span + low
        raise AssertionError(f"a {kind} result left its range: {value}")

    def literal(self, text, declaring):
        number = int(text)
        if -2**15 <= number < 2**15:
            return "int", number
        assert declaring or self.mode == "host32", f"a literal {number} above 16 bits outside a declaration"
        return "long", number

    def value(self, x, declaring=False):
        if isinstance(x, list):
            return self.call(x)
        if x.startswith('"'):
            return "string", x[1:-1]
        if re.fullmatch(r"-?\d+", x):
            return self.literal(x, declaring)
        if x in FIELDS:
            field, kind = FIELDS[x]
            return kind, self.event[field]
        if x == "NOTE":
            return "int", "NOTE"
        if x == "TIMEBASE":
            return "int", self.timebase
        assert x in self.vars, f"undeclared name {x}"
        return self.vars[x]

    def assign(self, name, value):
        if name in LIMITS:
            low, high = LIMITS[name]
            assert low <= value <= high, f"{name} set to {value}"
            self.event[FIELDS[name][0]] = value
            return
        kind = self.vars[name][0]
        if kind != "string":
            low, high = RANGES[kind]
            assert low <= value <= high, f"a {kind} {name} set to {value}"
        self.vars[name] = (kind, value)

    def arithmetic(self, head, a, b):
        (kind, x), (_, y) = a, b
        if head == "/":
            if x < 0 or y < 0:
                assert self.negative_division, f"a division of {x} by {y}"
                quotient = x // y if self.negative_division == "floor" else int(x / y)
            else:
                assert y > 0, "a division by 0"
                quotient = x // y
            return self.typed(quotient, kind)
        return self.typed({"+": x + y, "-": x - y, "*": x * y}[head], kind)

    def call(self, form):
        head, args = form[0], form[1:]
        v = self.value
        if head == "do":
            for arg in args:
                self.call(arg)
        elif head in ("long", "dword", "string", "int", "word"):
            self.vars[args[0]] = (head, None)
            self.assign(args[0], v(args[1], declaring=True)[1])
        elif head == "=":
            self.assign(args[0], v(args[1])[1])
        elif head == "+=":
            self.assign(args[0], self.arithmetic("+", v(args[0]), v(args[1]))[1])
        elif head == "if":
            if v(args[0])[1]:
                self.call(args[1])
            elif len(args) > 2:
                self.call(args[2])
        elif head == "while":
            while v(args[0])[1]:
                self.call(args[1])
        elif head == "forEachEvent":
            for track in self.tracks:
                for clip in track:
                    for event in clip:
                        self.event = event
                        self.call(args[0])
        elif head == "dll":
            assert v(args[0])[1].endswith("grooble.dll") and v(args[1])[1] == "GrooblerDialog"
            self.dll_calls += 1
            return "dword", self.dll_result
        elif head == "message":
            self.messages.append("".join(str(v(a)[1]) for a in args))
        elif head in ("exit", "error"):
            raise Exit()
        elif head in ("==", "!=", "<", ">", "<=", ">="):
            a, b = v(args[0])[1], v(args[1])[1]
            return "int", int({"==": a == b, "!=": a != b, "<": a < b, ">": a > b, "<=": a <= b,
                               ">=": a >= b}[head])
        elif head in ("+", "-", "*", "/"):
            return self.arithmetic(head, v(args[0]), v(args[1]))
        else:
            raise AssertionError(f"not in the subset: {head}")
        return None

    def run(self):
        for form in self.tree:
            self.call(form)


def note_events(notes, chan):
    """Notes (time, pitch, dur, vel) in the host's order, a controller after every third."""
    events = []
    for i, (time, pitch, dur, vel) in enumerate(sorted(notes)):
        events.append({"kind": "NOTE", "time": time, "pitch": pitch, "dur": dur, "vel": vel, "chan": chan})
        if i % 3 == 0:
            events.append({"kind": "CONTROL", "time": time, "dur": 0, "vel": 7, "chan": chan})
    return events


def material(timebase, shift):
    """Notes near tick 0 in one gesture, a chord played over a 64th note,
    gestures a 64th note and a tick apart, then eighths with chords; no
    pitch repeated within a note's reach. shift varies keys, times and
    velocities from track to track."""
    reach = timebase // 16
    notes = [(k * reach // 12 + shift, 20 + k + shift, 50, 64) for k in range(12)]
    notes += [(timebase * 83 + k * reach // 5, 60 + 4 * k - shift, 200, 80) for k in range(5)]
    notes += [(timebase * 85 + (reach + 1) * k, 30 + k + shift, 20, 70) for k in range(12)]
    for i in range(60):
        time = i * timebase // 2 + shift
        pitches = [40 + i % 30, 72 + i % 20, 95 + i % 10] if i % 4 == 0 else [40 + i % 30]
        for pitch in pitches:
            notes.append((time, pitch, 1 + (i * 37) % 400, [1, 2, 64, 126, 127][(i + shift) % 5]))
    return sorted(notes)


def eighths(count, pitch, shift=0, timebase=480):
    return [(shift + i * timebase // 2, pitch + i % 5, timebase // 2, 64 + i % 40) for i in range(count)]


def write_midi(path, tracks, timebase):
    """tracks: (channel, notes) each, as a format-1 file."""
    chunks = b""
    for chan, notes in tracks:
        changes = []
        for time, pitch, dur, vel in notes:
            changes.append((time, 1, bytes([0x90 | chan, pitch, vel])))
            changes.append((time + dur, 0, bytes([0x80 | chan, pitch, 0])))
        body, now = b"", 0
        for time, _, data in sorted(changes, key=lambda c: (c[0], c[1])):
            body += vlq(time - now) + data
            now = time
        body += b"\x00\xFF\x2F\x00"
        chunks += b"MTrk" + struct.pack(">I", len(body)) + body
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), timebase) + chunks)


def read_midi_tracks(path):
    """Each track's notes (time, pitch, dur, vel), sorted."""
    data = open(path, "rb").read()
    at, tracks = 14, []
    while at < len(data):
        end = at + 8 + struct.unpack(">I", data[at + 4:at + 8])[0]
        at += 8
        now, status, waiting, notes = 0, 0, {}, []
        while at < end:
            delta = 0
            while True:
                byte = data[at]
                at += 1
                delta = delta << 7 | byte & 0x7F
                if not byte & 0x80:
                    break
            now += delta
            if data[at] & 0x80:
                status = data[at]
                at += 1
            if status == 0xFF:
                at += 2 + data[at + 1]
                continue
            pitch, vel = data[at], data[at + 1]
            at += 2
            if status & 0xF0 == 0x90 and vel:
                waiting.setdefault(pitch, []).append((now, vel))
            else:
                start, v = waiting[pitch].pop(0)
                notes.append((start, pitch, now - start, v))
        tracks.append(sorted(notes))
    return tracks


class Checks:
    def __init__(self, source, check_source, groobler, work):
        self.source, self.check_source, self.groobler, self.work = source, check_source, groobler, work
        self.failures = []

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def run(self, result, tracks, mode, timebase=480, source=None):
        """The script on a selection; the notes of each track as it left them."""
        selection = [[note_events(clip, chan) for clip in clips] for chan, clips in tracks]
        before = [[[dict(e) for e in clip] for clip in track] for track in selection]
        cal = Interpreter(source or self.source, result, selection, mode, timebase)
        try:
            cal.run()
        except AssertionError as error:
            self.failures.append(f"{mode} at {result}, TIMEBASE {timebase}: {error}")
            return None
        for track, was in zip(selection, before):
            for clip, old in zip(track, was):
                for event, e in zip(clip, old):
                    if event["kind"] != "NOTE":
                        self.check(event == e, "a controller changed")
                        continue
                    self.check(1 <= event["dur"] <= 65535 and 1 <= event["vel"] <= 127,
                               f"a length of {event['dur']} or velocity of {event['vel']}")
                starts = [e["time"] for e in clip if e["kind"] == "NOTE"]
                self.check(starts == sorted(starts), f"{mode} at {result}: notes changed order in a clip")
        return cal, [[(e["time"], e["pitch"], e["dur"], e["vel"]) for clip in t for e in clip if e["kind"] == "NOTE"]
                     for t in selection]

    def parity(self, result, tracks, timebase):
        """Tracks of one channel and one clip each: the script in both modes
        against groobler, starts and velocities note for note."""
        write_midi(f"{self.work}/in.mid", [(chan, clips[0]) for chan, clips in tracks], timebase)
        parts = (result // 10000, result // 100 % 100, result % 100)
        subprocess.run([self.groobler, "--strengths", ",".join(map(str, parts)), f"{self.work}/in.mid",
                        f"{self.work}/out.mid"], check=True, stdout=subprocess.DEVNULL)
        want = [sorted((t, p, v) for t, p, _, v in notes) for notes in read_midi_tracks(f"{self.work}/out.mid")]
        label = f"{result} on channels {[c for c, _ in tracks]} at TIMEBASE {timebase}"
        for mode in ("host32", "strict"):
            ran = self.run(result, tracks, mode, timebase)
            if ran is None:
                continue
            cal, got = ran
            self.check(cal.messages == [f"grooble: timing {parts[0]}, length {parts[1]}, velocity {parts[2]}"],
                       f"{result} shown as {cal.messages}")
            for k, (notes, expected) in enumerate(zip(got, want)):
                self.check(sorted((t, p, v) for t, p, _, v in notes) == expected,
                           f"{mode}: the script and groobler differ in track {k + 1} at {label}")

    def spread(self, result, tracks, label):
        """Each track or clip humanized as one alone would be: its share of
        moved notes within 5 points of a lone one's, its timing spread
        within a tenth of the stated TIMEBASE * s / 792 / sqrt(6)."""
        stated = 480 * (result // 10000) / 792 / math.sqrt(6)
        first = tracks[0][1][0]
        alone, ran = self.run(result, [(tracks[0][0], [first])], "strict"), self.run(result, tracks, "strict")
        if alone is None or ran is None:
            return
        lone_share = sum(a[0] != b[0] for a, b in zip(alone[1][0], sorted(first))) / len(first)
        for k, (_, clips) in enumerate(tracks):
            offset = 0
            for c, clip in enumerate(clips):
                was = sorted(clip)
                moved = [a[0] - b[0] for a, b in zip(ran[1][k][offset:offset + len(was)], was)]
                offset += len(was)
                share = sum(m != 0 for m in moved) / len(moved)
                rms = math.sqrt(sum(m * m for m in moved) / len(moved))
                self.check(abs(share - lone_share) <= 0.05 and abs(rms / stated - 1) <= 0.1,
                           f"{label}, track {k + 1} clip {c + 1}: {share:.0%} moved (alone {lone_share:.0%}), "
                           f"spread {rms:.1f} (stated {stated:.1f})")

    def check_script(self):
        """grooble-check.cal: one message line that reads the host right,
        under every reading, and no event changed."""
        tracks = [(0, [eighths(6, 60), eighths(4, 40, 5)]), (1, [eighths(5, 50, 3)])]
        cases = [("host32", 999999, "zero", "60000", "-3"), ("wrap", 999999, "floor", "-5536", "-4"),
                 ("host32", 16959, "zero", "60000", "-3")]
        for mode, result, rounding, small, quotient in cases:
            selection = [[note_events(clip, chan) for clip in clips] for chan, clips in tracks]
            before = [[[dict(e) for e in clip] for clip in track] for track in selection]
            cal = Interpreter(self.check_source, result, selection, mode, negative_division=rounding)
            try:
                cal.run()
            except AssertionError as error:
                self.failures.append(f"grooble-check.cal, {mode}: {error}")
                continue
            want = (f"grooble-check: result {result} (want 999999); (* lA lB) 2100000000 (want 2100000000); "
                    f"(* 300 200) {small}; -7 / 2 = {quotient}; times went back 2 times")
            events = sum(len(clip) for track in selection for clip in track)
            self.check(cal.messages[-1:] == [want] and len(cal.messages) == events,
                       f"grooble-check.cal, {mode}: {cal.messages[-1:]} for {want}")
            self.check(selection == before and cal.dll_calls == 1, "grooble-check.cal changed an event")


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source = open(sys.argv[1], encoding="ascii").read()
    check_source = open(sys.argv[2], encoding="ascii").read()
    t = Checks(source, check_source, sys.argv[3], sys.argv[4])
    os.makedirs(t.work, exist_ok=True)

    # Cancel: nothing changes, no message, no (exit) box.
    one = [(0, [material(480, 0)])]
    selection = [[note_events(clip, chan) for clip in clips] for chan, clips in one]
    before = [[[dict(e) for e in clip] for clip in track] for track in selection]
    cal = Interpreter(source, 0, selection, "strict")
    try:
        cal.run()
    except Exit:
        t.failures.append("0 ended with (exit), which shows a box")
    t.check(cal.dll_calls == 1, f"the DLL was called {cal.dll_calls} times")
    t.check(selection == before and not cal.messages, "a result of 0 changed something or said something")

    # Parity with groobler: one, two and three tracks visited track by
    # track, channels up to 16, TIMEBASE 48 to 1920.
    for result, channels, timebase in ((999999, [0], 480), (305070, [0, 1], 480), (990000, [0, 1, 2], 480),
                                       (99, [3, 4], 480), (9900, [0, 1], 480), (605060, [9, 14, 15], 960),
                                       (999999, [0, 15], 48), (605060, [1, 2], 120), (999999, [5, 6], 1920)):
        t.parity(result, [(chan, [material(timebase, 3 * k)]) for k, chan in enumerate(channels)], timebase)

    # Every track of a selection, and every clip of a track (the second
    # starting before the first ends), humanized as one alone would be.
    t.spread(600000, [(0, [eighths(300, 60)]), (1, [eighths(300, 36)]), (2, [eighths(300, 48, 7)])],
             "three tracks")
    t.spread(600000, [(0, [eighths(300, 60), eighths(300, 40, 4000)])], "two clips")

    # The same selection twice: the same moves. The same notes a semitone
    # higher, or on another channel: other moves.
    def moves(notes, chan=0):
        ran = t.run(999999, [(chan, [notes])], "strict")
        return ran and [a[0] - b[0] for a, b in zip(ran[1][0], sorted(notes))]

    notes = material(480, 0)
    t.check(moves(notes) == moves(notes), "the same selection was humanized differently")
    t.check(moves(notes) != moves([(a, p + 1, d, v) for a, p, d, v in notes]), "another selection got the same moves")
    t.check(moves(notes) != moves(notes, 1), "the same notes on another channel got the same moves")

    t.check_script()
    for failure in t.failures:
        print("FAIL:", failure)
    print("grooble.cal:", "all checks passed" if not t.failures else f"{len(t.failures)} failures")
    sys.exit(1 if t.failures else 0)


if __name__ == "__main__":
    main()
