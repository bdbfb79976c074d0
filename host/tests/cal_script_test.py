#!/usr/bin/env python3
"""Runs grooble.cal in a small interpreter of the script language's subset
it uses, on notes given as events, with the DLL call answered by a stand-in,
and checks it: 0 ends quietly and changes nothing; 999999 comes through
whole; the limits hold; non-note events stay; and on notes that groobler
visits in the same order (one track, sorted, no repeated pitches) the script
gives exactly what groobler gives, which checks its arithmetic and its
generator against the C++ humanizer. Every long must stay within signed
32 bits and every division must be of non-negative numbers, as the script
promises. The interpreter follows the language as far as it is known; what
is not known (the DLL call's spelling, string escapes) is taken as written.

usage: cal_script_test.py GROOBLE_CAL GROOBLER WORK_DIR
"""
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from make_example_midi import vlq  # noqa: E402

TIMEBASE = 480


class Exit(Exception):
    pass


class Interpreter:
    def __init__(self, source, dll_result, events):
        self.tree = self.parse(source)
        self.dll_result = dll_result
        self.events = events
        self.event = None
        self.vars = {}
        self.messages = []
        self.dll_calls = 0

    @staticmethod
    def parse(source):
        tokens = re.findall(r'"[^"]*"|[()]|[^\s()]+', re.sub(r";[^\n]*", "", source))
        stack = [[]]
        for token in tokens:
            if token == "(":
                stack.append([])
            elif token == ")":
                done = stack.pop()
                stack[-1].append(done)
            else:
                stack[-1].append(token)
        assert len(stack) == 1, "unbalanced parentheses"
        return stack[0]

    def check_long(self, value):
        assert -2**31 <= value < 2**31, f"a long left 32 bits: {value}"
        return value

    def value(self, x):
        if isinstance(x, list):
            return self.call(x)
        if x.startswith('"'):
            return x[1:-1]
        if re.fullmatch(r"-?\d+", x):
            return int(x)
        fields = {"Event.Time": "time", "Event.Kind": "kind", "Note.Dur": "dur", "Note.Vel": "vel",
                  "Note.Key": "pitch", "Event.Chan": "chan"}
        if x in fields:
            return self.event[fields[x]]
        if x == "NOTE":
            return "NOTE"
        if x == "TIMEBASE":
            return TIMEBASE
        assert x in self.vars, f"undeclared name {x}"
        return self.vars[x][1]

    def assign(self, name, value):
        fields = {"Event.Time": ("time", 0, 2**32 - 1), "Note.Dur": ("dur", 0, 65535), "Note.Vel": ("vel", 0, 127)}
        if name in fields:
            field, low, high = fields[name]
            assert low <= value <= high, f"{name} set to {value}"
            self.event[field] = value
            return
        kind = self.vars[name][0]
        if kind == "long":
            self.check_long(value)
        elif kind == "dword":
            assert 0 <= value < 2**32, f"a dword left its range: {value}"
        self.vars[name] = (kind, value)

    def call(self, form):
        head, args = form[0], form[1:]
        v = self.value
        if head == "do":
            for arg in args:
                self.call(arg)
        elif head in ("long", "dword", "string", "int", "word"):
            self.vars[args[0]] = (head, v(args[1]))
        elif head == "=":
            self.assign(args[0], v(args[1]))
        elif head == "+=":
            self.assign(args[0], v(args[0]) + v(args[1]))
        elif head == "if":
            if v(args[0]):
                self.call(args[1])
            elif len(args) > 2:
                self.call(args[2])
        elif head == "while":
            while v(args[0]):
                self.call(args[1])
        elif head == "forEachEvent":
            for event in self.events:
                self.event = event
                self.call(args[0])
        elif head == "dll":
            assert v(args[0]).endswith("grooble.dll") and v(args[1]) == "GrooblerDialog"
            self.dll_calls += 1
            return self.dll_result
        elif head == "message":
            self.messages.append("".join(str(v(a)) for a in args))
        elif head in ("exit", "error"):
            raise Exit()
        elif head in ("==", "!=", "<", ">", "<=", ">="):
            a, b = v(args[0]), v(args[1])
            return {"==": a == b, "!=": a != b, "<": a < b, ">": a > b, "<=": a <= b, ">=": a >= b}[head]
        elif head in ("+", "-", "*"):
            a, b = v(args[0]), v(args[1])
            return self.check_long({"+": a + b, "-": a - b, "*": a * b}[head])
        elif head == "/":
            a, b = v(args[0]), v(args[1])
            assert a >= 0 and b > 0, f"a division of {a} by {b}"
            return a // b
        else:
            raise AssertionError(f"not in the subset: {head}")
        return None

    def run(self):
        for form in self.tree:
            self.call(form)


def events_for(notes, chan=0):
    """Notes (time, pitch, dur, vel) plus a controller between them."""
    events = []
    for i, (time, pitch, dur, vel) in enumerate(notes):
        events.append({"kind": "NOTE", "time": time, "pitch": pitch, "dur": dur, "vel": vel, "chan": chan})
        if i % 3 == 0:
            events.append({"kind": "CONTROL", "time": time, "dur": 0, "vel": 7, "chan": chan})
    return events


def write_midi(path, notes):
    changes = []
    for time, pitch, dur, vel in notes:
        changes.append((time, 1, bytes([0x90, pitch, vel])))
        changes.append((time + dur, 0, bytes([0x80, pitch, 0])))
    body, now = b"", 0
    for time, _, data in sorted(changes, key=lambda c: (c[0], c[1])):
        body += vlq(time - now) + data
        now = time
    body += b"\x00\xFF\x2F\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TIMEBASE) + b"MTrk" + struct.pack(">I", len(body)) + body)


def read_midi_notes(path):
    data = open(path, "rb").read()
    at, now, status, waiting, notes = 22, 0, 0, {}, []
    while at < len(data):
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
            waiting[pitch] = (now, vel)
        else:
            start, v = waiting.pop(pitch)
            notes.append((start, pitch, now - start, v))
    return sorted(notes)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source = open(sys.argv[1], encoding="ascii").read()
    groobler, work = sys.argv[2], sys.argv[3]
    os.makedirs(work, exist_ok=True)
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    # Notes just after tick 0, chords of three, single notes, no pitch
    # repeated within a note's reach, some short, soft and loud; a chord
    # played over 20 ticks and gestures a 64th note and a tick apart.
    notes = [(k, 20 + k, 50, 64) for k in range(12)]  # one gesture near tick 0
    notes += [(40000 + 5 * k, 60 + 4 * k, 200, 80) for k in range(5)]
    notes += [(41000 + 31 * k, 30 + k, 20, 70) for k in range(12)]
    for i in range(60):
        time = i * TIMEBASE // 2
        pitches = [40 + i % 30, 72 + i % 20, 95 + i % 10] if i % 4 == 0 else [40 + i % 30]
        for pitch in pitches:
            notes.append((time, pitch, 1 + (i * 37) % 400, [1, 2, 64, 126, 127][i % 5]))
    notes.sort()

    # Cancel: nothing changes, no message, no (exit) box.
    events = events_for(notes)
    before = [dict(e) for e in events]
    cal = Interpreter(source, 0, events)
    try:
        cal.run()
    except Exit:
        failures.append("0 ended with (exit), which shows a box")
    check(cal.dll_calls == 1, f"the DLL was called {cal.dll_calls} times")
    check(events == before and not cal.messages, "a result of 0 changed something or said something")

    results = []
    for result in (999999, 305070, 990000, 99, 9900):
        events = events_for(notes)
        cal = Interpreter(source, result, events)
        try:
            cal.run()
        except AssertionError as error:
            failures.append(f"at {result}: {error}")
            continue
        parts = (result // 10000, result // 100 % 100, result % 100)
        check(cal.messages == [f"grooble: timing {parts[0]}, length {parts[1]}, velocity {parts[2]}"],
              f"{result} shown as {cal.messages}")
        for event in events:
            if event["kind"] != "NOTE":
                check(event["vel"] == 7 and event["dur"] == 0, "a controller changed")
                continue
            check(event["time"] >= 0, "a note before tick 0")
            check(1 <= event["dur"] <= 65535, f"a length of {event['dur']}")
            check(1 <= event["vel"] <= 127, f"a velocity of {event['vel']}")
        starts = [e["time"] for e in events if e["kind"] == "NOTE"]
        check(starts == sorted(starts), f"at {result} notes changed order")
        got = sorted((e["time"], e["pitch"], e["dur"], e["vel"]) for e in events if e["kind"] == "NOTE")

        # groobler on the same notes, in the same order, seeded as the
        # script seeds itself: from the notes.
        write_midi(f"{work}/in.mid", notes)
        subprocess.run([groobler, "--strengths", ",".join(map(str, parts))] +
                       [f"{work}/in.mid", f"{work}/out.mid"], check=True, stdout=subprocess.DEVNULL)
        check(got == read_midi_notes(f"{work}/out.mid"), f"the script and groobler differ at {result}")
        results.append(got)

    # The same selection twice: the same moves. The same notes a semitone
    # higher (which a fixed seed would move exactly alike): other moves.
    def offsets(selection, chan=0):
        events = events_for(selection, chan)
        Interpreter(source, 999999, events).run()
        return [e["time"] - n[0] for e, n in zip([e for e in events if e["kind"] == "NOTE"], selection)]

    check(offsets(notes) == offsets(notes), "the same selection was humanized differently")
    higher = [(time, pitch + 1, dur, vel) for time, pitch, dur, vel in notes]
    check(offsets(notes) != offsets(higher), "another selection got the same moves")
    check(offsets(notes) != offsets(notes, 1), "the same notes on another channel got the same moves")

    for failure in failures:
        print("FAIL:", failure)
    print("grooble.cal:", "all checks passed" if not failures else f"{len(failures)} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
