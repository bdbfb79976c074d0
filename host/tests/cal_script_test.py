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
is not known; the check script finds out, under either rounding). A
failure stops the program, as a host that stops on overflow would; the
status bar then shows the last message written.

The host's visiting order is modelled as the language notes leave it:
track by track, clip by clip, and the notes of one tick in an order the
test chooses (up or down in key). The interpreter counts the forms it
evaluates for each event, as an interpreted host spends them.
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
        self.forms = {}  # id of an event: the forms evaluated while it was visited

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
        if head in ("/", "%"):
            if x < 0 or y < 0:
                assert self.negative_division, f"a division of {x} by {y}"
                quotient = x // y if self.negative_division == "floor" else int(x / y)
            else:
                assert y > 0, "a division by 0"
                quotient = x // y
            return self.typed(quotient if head == "/" else x - quotient * y, kind)
        return self.typed({"+": x + y, "-": x - y, "*": x * y}[head], kind)

    def call(self, form):
        head, args = form[0], form[1:]
        if self.event is not None:
            key = id(self.event)
            self.forms[key] = self.forms.get(key, 0) + 1
        v = self.value
        if head == "do":
            for arg in args:
                self.call(arg)
        elif head in ("long", "dword", "string", "int", "word"):
            self.vars[args[0]] = (head, None)
            self.assign(args[0], v(args[1], declaring=True)[1])
        elif head == "=":
            self.assign(args[0], v(args[1])[1])
        elif head in ("+=", "-="):
            self.assign(args[0], self.arithmetic(head[0], v(args[0]), v(args[1]))[1])
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
            self.event = None
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
        elif head in ("+", "-", "*", "/", "%"):
            return self.arithmetic(head, v(args[0]), v(args[1]))
        else:
            raise AssertionError(f"not in the subset: {head}")
        return None

    def run(self):
        for form in self.tree:
            self.call(form)


def note_events(notes, down=False):
    """A clip's notes (time, pitch, dur, vel, chan) in the host's order, by
    time, the notes of a tick up or down in key, a controller after every
    third."""
    events = []
    for i, (time, pitch, dur, vel, chan) in enumerate(sorted(notes, key=lambda n: (n[0], -n[1] if down else n[1]))):
        events.append({"kind": "NOTE", "time": time, "pitch": pitch, "dur": dur, "vel": vel, "chan": chan,
                       "was": (time, pitch, dur, vel, chan)})
        if i % 3 == 0:
            events.append({"kind": "CONTROL", "time": time, "dur": 0, "vel": 7, "chan": chan})
    return events


def on(chan, notes):
    """Notes (time, pitch, dur, vel) on one channel."""
    return [(t, p, d, v, chan) for t, p, d, v in notes]


def material(timebase, shift, chan=0):
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
    return on(chan, sorted(notes))


def eighths(count, pitch, shift=0, timebase=480, chan=0, length=None):
    return on(chan, [(shift + i * timebase // 2, pitch + i % 5, length or timebase // 2, 64 + i % 40)
                     for i in range(count)])


def write_midi(path, tracks, timebase):
    """tracks: lists of notes (time, pitch, dur, vel, chan), as a format-1 file."""
    chunks = b""
    for notes in tracks:
        changes = []
        for time, pitch, dur, vel, chan in notes:
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
    """Each track's notes (time, pitch, dur, vel, chan), sorted."""
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
            pitch, vel, chan = data[at], data[at + 1], status & 15
            at += 2
            if status & 0xF0 == 0x90 and vel:
                waiting.setdefault((chan, pitch), []).append((now, vel))
            else:
                start, v = waiting[(chan, pitch)].pop(0)
                notes.append((start, pitch, now - start, v, chan))
        tracks.append(sorted(notes))
    return tracks


def by_voice(notes):
    """Notes grouped by channel and key, each voice's by start."""
    voices = {}
    for note in sorted(notes):
        voices.setdefault((note[4], note[1]), []).append(note)
    return voices


def free_ends(notes, timebase, result):
    """The notes no end rule of groobler's reaches (R13, R14): the next
    note of the voice starts well after the farthest this one's end can go."""
    grow = 2 * (timebase * (result // 10000) + 791) // 792 + 2
    free = set()
    for voice in by_voice(notes).values():
        for note, after in zip(voice, voice[1:] + [None]):
            if after is None or after[0] - note[0] - note[2] > note[2] // 4 + grow:
                free.add(note)
    return free


class Checks:
    def __init__(self, source, check_source, groobler, work):
        self.source, self.check_source, self.groobler, self.work = source, check_source, groobler, work
        self.failures = []

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def run(self, result, tracks, mode, timebase=480, down=False, label=""):
        """The script on a selection of tracks, each a list of clips of
        notes: the interpreter, and each note as read against as left
        ({read: (time, dur, vel)}, doubled notes in a list), or None where
        the script stopped."""
        selection = [[note_events(clip, down) for clip in clips] for clips in tracks]
        before = [[[dict(e) for e in clip] for clip in track] for track in selection]
        cal = Interpreter(self.source, result, selection, mode, timebase)
        try:
            cal.run()
        except AssertionError as error:
            self.failures.append(f"{label}: {mode} at {result}, TIMEBASE {timebase}: {error}")
            return cal, None
        moved = {}
        for track, was in zip(selection, before):
            for clip, old in zip(track, was):
                for event, e in zip(clip, old):
                    if event["kind"] != "NOTE":
                        self.check(event == e, f"{label}: a controller changed")
                        continue
                    self.check(1 <= event["dur"] <= 65535 and 1 <= event["vel"] <= 127,
                               f"{label}: a length of {event['dur']} or velocity of {event['vel']}")
                    moved.setdefault(event["was"], []).append((event["time"], event["dur"], event["vel"]))
                starts = [e["time"] for e in clip if e["kind"] == "NOTE"]
                self.check(starts == sorted(starts), f"{label}: {mode} at {result}: notes changed order in a clip")
        return cal, moved

    def by_groobler(self, result, tracks, timebase):
        """groobler on the same notes, a track of the file for each track
        of the selection (its clips together): {read: [(time, dur, vel)]}."""
        files = [sorted(n for clip in clips for n in clip) for clips in tracks]
        write_midi(f"{self.work}/in.mid", files, timebase)
        parts = (result // 10000, result // 100 % 100, result % 100)
        subprocess.run([self.groobler, "--strengths", ",".join(map(str, parts)), f"{self.work}/in.mid",
                        f"{self.work}/out.mid"], check=True, stdout=subprocess.DEVNULL)
        moved = {}
        for notes, out in zip(files, read_midi_tracks(f"{self.work}/out.mid")):
            got = by_voice(out)
            for voice, read in by_voice(notes).items():
                for note, new in zip(read, sorted(got.get(voice, []))):
                    moved.setdefault(note, []).append((new[0], new[2], new[3]))
        return moved

    def parity(self, result, tracks, timebase=480, label="", down=False, apart=()):
        """The script in both modes against groobler, note for note: starts
        and velocities, and lengths where no end rule of groobler's
        applies. apart: the notes where parity cannot hold (docs/
        algorithm.md), which must be all that differ."""
        label = label or f"{result} at TIMEBASE {timebase}"
        want = self.by_groobler(result, tracks, timebase)
        free = set()
        for clips in tracks:
            free |= free_ends([n for clip in clips for n in clip], timebase, result)
        parts = (result // 10000, result // 100 % 100, result % 100)
        for mode in ("host32", "strict"):
            cal, got = self.run(result, tracks, mode, timebase, down, label)
            if got is None:
                continue
            self.check(cal.messages == [f"grooble: timing {parts[0]}, length {parts[1]}, velocity {parts[2]}"],
                       f"{label}: {result} shown as {cal.messages}")
            differ = set()
            for note, moves in got.items():
                ours = sorted((t, d if note in free else None, v) for t, d, v in moves)
                theirs = sorted((t, d if note in free else None, v) for t, d, v in want.get(note, []))
                if ours != theirs:
                    differ.add(note)
            self.check(differ == set(apart), f"{mode}: the script and groobler differ at {label} in "
                       f"{sorted(differ - set(apart))[:4]} (of {len(differ)}), agree in {sorted(set(apart) - differ)[:4]}")

    def spread(self, result, tracks, label):
        """Each track or clip humanized as one alone would be: its share of
        moved notes within 5 points of a lone one's, its timing spread
        within a tenth of the stated TIMEBASE * s / 792 / sqrt(6)."""
        stated = 480 * (result // 10000) / 792 / math.sqrt(6)
        first = tracks[0][0]
        _, alone = self.run(result, [[first]], "strict", label=label)
        _, ran = self.run(result, tracks, "strict", label=label)
        if alone is None or ran is None:
            return
        lone_share = sum(alone[n][0][0] != n[0] for n in first) / len(first)
        for k, clips in enumerate(tracks):
            for c, clip in enumerate(clips):
                moved = [ran[n][0][0] - n[0] for n in clip]
                share = sum(m != 0 for m in moved) / len(moved)
                rms = math.sqrt(sum(m * m for m in moved) / len(moved))
                self.check(abs(share - lone_share) <= 0.05 and abs(rms / stated - 1) <= 0.1,
                           f"{label}, track {k + 1} clip {c + 1}: {share:.0%} moved (alone {lone_share:.0%}), "
                           f"spread {rms:.1f} (stated {stated:.1f})")

    def forms(self, result, notes, most):
        """The forms the script evaluates for each note, both passes, at
        most `most` on average."""
        cal, _ = self.run(result, [[notes]], "strict", label="forms")
        counts = [cal.forms[id(e)] for track in cal.tracks for clip in track for e in clip if e["kind"] == "NOTE"]
        mean = sum(counts) / len(counts)
        self.check(mean <= most, f"{mean:.1f} forms a note at {result}, more than {most}")
        return mean

    def check_script(self):
        """grooble-check.cal: a first line with the result and the product
        of two longs before any probe that may stop the program, then each
        probe's answer, under every reading; no event changed."""
        tracks = [[eighths(6, 60), eighths(4, 40, 5)], [eighths(5, 50, 3, chan=1)]]
        first = "grooble-check: result {} (want 999999); (* lA lB) 2100000000 (want 2100000000)"
        probes = "; 70000 % 46337 = 23663 (want 23663); -= 3 (want 3)"
        cases = [("host32", 999999, "zero", "; (* 300 200) 60000; -7 / 2 = -3; times went back 2 times"),
                 ("wrap", 999999, "floor", "; (* 300 200) -5536; -7 / 2 = -4; times went back 2 times"),
                 ("host32", 16959, "zero", "; (* 300 200) 60000; -7 / 2 = -3; times went back 2 times"),
                 ("strict", 999999, "zero", None)]
        for mode, result, rounding, rest in cases:
            selection = [[note_events(clip) for clip in clips] for clips in tracks]
            before = [[[dict(e) for e in clip] for clip in track] for track in selection]
            cal = Interpreter(self.check_source, result, selection, mode, negative_division=rounding)
            stopped = None
            try:
                cal.run()
            except AssertionError as error:
                stopped = error
            line = first.format(result)
            self.check(line in cal.messages, f"grooble-check.cal, {mode}: no first line {line} in {cal.messages[:1]}")
            if rest is None:
                # A host that stops on int overflow stops at (* 300 200),
                # the probes it needs answered already.
                self.check(stopped is not None and cal.messages[-1:] == [line + probes],
                           f"grooble-check.cal, {mode}: stopped by {stopped}, showing {cal.messages[-1:]}")
            else:
                self.check(stopped is None and cal.messages[-1:] == [line + probes + rest],
                           f"grooble-check.cal, {mode}: {stopped or cal.messages[-1:]}, not {line + probes + rest}")
            self.check(selection == before and cal.dll_calls == 1, "grooble-check.cal changed an event")


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source = open(sys.argv[1], encoding="ascii").read()
    check_source = open(sys.argv[2], encoding="ascii").read()
    t = Checks(source, check_source, sys.argv[3], sys.argv[4])
    os.makedirs(t.work, exist_ok=True)

    # Cancel: nothing changes, no message, no (exit) box.
    selection = [[note_events(material(480, 0))]]
    before = [[[dict(e) for e in clip] for clip in track] for track in selection]
    cal = Interpreter(source, 0, selection, "strict")
    try:
        cal.run()
    except Exit:
        t.failures.append("0 ended with (exit), which shows a box")
    t.check(cal.dll_calls == 1, f"the DLL was called {cal.dll_calls} times")
    t.check(selection == before and not cal.messages, "a result of 0 changed something or said something")

    # R5 to R10: parity with groobler, one, two and three tracks of a
    # channel each (channels up to 16, TIMEBASE 48 to 1920), and a chord
    # visited from its highest key down.
    for result, channels, timebase in ((999999, [0], 480), (305070, [0, 1], 480), (990000, [0, 1, 2], 480),
                                       (99, [3, 4], 480), (9900, [0, 1], 480), (605060, [9, 14, 15], 960),
                                       (999999, [0, 15], 48), (605060, [1, 2], 120), (999999, [5, 6], 1920)):
        t.parity(result, [[material(timebase, 3 * k, chan)] for k, chan in enumerate(channels)], timebase)
    t.parity(604060, [[material(480, 0)], [material(480, 5, 1)]], label="chords visited high to low", down=True)

    # R2, R6: parity whatever the clips and tracks: a chord split across
    # two clips; tracks of three channels meeting on one tick, and a pad
    # under a track of eighths; a track that begins while the one before
    # sounds; a track of two clips, and one of two channels, before a
    # track of one clip; tracks of one channel sharing a chord.
    def quarters(count, pitch, chan=0, last=480):
        return on(chan, [(i * 480, pitch + i % 3, last if i == count - 1 else 400, 70 + i) for i in range(count)])
    split = [[on(0, [(0, 60, 200, 80), (480, 60, 200, 80)]), on(0, [(0, 64, 200, 70), (480, 64, 200, 70)])]]
    for result in (990000, 604060):
        t.parity(result, split, label=f"a chord split across two clips at {result}")
        t.parity(result, [[on(c, [(3840, 60 + c, 400, 90)])] for c in (1, 2, 3)], label=f"three tracks on a tick at {result}")
        t.parity(result, [[on(0, [(0, p, 7680, 60) for p in (48, 55, 64)])], [eighths(24, 60)]],
                 label=f"a pad and eighths at {result}")
        t.parity(result, [[quarters(9, 50, last=3840)], [eighths(24, 62, 4320)]],
                 label=f"a track beginning as the one before sounds at {result}")
        t.parity(result, [[eighths(20, 40), eighths(20, 70, 120)], [eighths(40, 55, 1)]],
                 label=f"a track of two clips before one of one at {result}")
        t.parity(result, [[eighths(20, 40) + eighths(20, 70, 1000, chan=4)], [eighths(40, 55, 1)]],
                 label=f"a track of two channels before one of one at {result}")
        t.parity(result, [[eighths(30, 40, chan=2)], [eighths(30, 70, chan=2)]], label=f"one channel, two tracks, {result}")

    # Where parity cannot hold (docs/algorithm.md, R3): a gesture of
    # groobler's whose notes lie in two clips at different starts, the
    # second visited after a later note; and, in a clip of two channels, a
    # channel's note within a 64th note of its gesture's first after
    # another channel's.
    late = on(0, [(10, 64, 200, 70)])
    t.parity(990000, [[on(0, [(0, 60, 200, 80), (480, 60, 200, 80)]), late]], label="a gesture across two clips",
             apart=late)
    mixed = on(0, [(0, 60, 200, 80), (20, 62, 200, 80)]) + on(1, [(10, 50, 200, 80)])
    t.parity(990000, [[mixed]], label="two channels interleaved", apart=[mixed[1]])

    # R13: lengths near the word's top stay within it; length changes go
    # both ways (above: every length groobler leaves free is groobler's).
    longest = on(0, [(i * 70000, 60, 65535 - i % 3 * 1000, 64) for i in range(40)])
    for mode in ("host32", "strict"):
        _, got = t.run(9900, [[longest]], mode, label="notes near 65535 ticks")
        if got:
            changes = [got[n][0][1] - n[2] for n in longest]
            t.check(any(c < 0 for c in changes) and any(c > 0 for c in changes) and
                    max(got[n][0][1] for n in longest) == 65535, f"{mode}: lengths near 65535 became {changes[:6]}")

    # R6: the last times the script takes, 2^31 - 2^24 - 1, at the largest
    # moves and at TIMEBASE 1920: no stop, no start past them but the move.
    edge = 2**31 - 2**24 - 1
    for mode in ("host32", "strict"):
        _, got = t.run(999999, [[on(0, [(edge - 5, 60, 9000, 127), (edge, 64, 65535, 1)])]], mode, 1920,
                       label="notes near 2^31")
        t.check(got is not None and all(abs(m[0][0] - n[0]) <= 240 for n, m in got.items()),
                f"{mode}: notes near 2^31 became {got}")

    # Every track of a selection, and every clip of a track (the second
    # starting before the first ends), humanized as one alone would be.
    t.spread(600000, [[eighths(300, 60)], [eighths(300, 36, chan=1)], [eighths(300, 48, 7, chan=2)]], "three tracks")
    t.spread(600000, [[eighths(300, 60), eighths(300, 40, 4000)]], "two clips")

    # R4: the same selection twice, the same moves; the same notes a
    # semitone higher, or on another channel, other moves.
    def moves(notes):
        _, got = t.run(999999, [[notes]], "strict")
        return got and [got[n][0][0] - n[0] for n in notes]

    notes = material(480, 0)
    t.check(moves(notes) == moves(notes), "the same selection was humanized differently")
    t.check(moves(notes) != moves([(a, p + 1, d, v, c) for a, p, d, v, c in notes]), "another selection got the same moves")
    t.check(moves(notes) != moves([(a, p, d, v, 1) for a, p, d, v, c in notes]), "another channel got the same moves")

    # What the host spends: forms a note, lone notes at 60,40,60.
    lone = t.forms(604060, eighths(200, 60), 120)
    chord = t.forms(604060, on(0, [(i // 4 * 480, 60 + i % 4 * 4, 400, 80) for i in range(200)]), 120)
    print(f"grooble.cal: {lone:.1f} forms for a lone note, {chord:.1f} for a note of a four-note chord, at 60,40,60")

    t.check_script()
    for failure in t.failures:
        print("FAIL:", failure)
    print("grooble.cal:", "all checks passed" if not t.failures else f"{len(t.failures)} failures")
    sys.exit(1 if t.failures else 0)


if __name__ == "__main__":
    main()
