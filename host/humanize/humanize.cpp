#include "humanize.h"

#include <algorithm>
#include <cstdlib>

namespace humanize {

namespace {

const std::int32_t kMultiplier = 16807;
const std::int64_t kLastTick = 0xFFFFFFFF;
const std::uint32_t kNone = 0xFFFFFFFF;
// The top bit of a successor's position: this note and its successor in
// the voice overlapped before humanizing.
const std::uint32_t kOverlapsNext = 0x80000000u;

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high)
{
    return value < low ? low : value > high ? high : value;
}

// One round of the seed's scrambling: a MINSTD step, then a multiplication
// by a small number taken from the value.
std::int32_t ScrambleRound(std::int32_t x)
{
    x = MultiplyModulo(x, kMultiplier);
    return MultiplyModulo(x, x % 40000 + 2);
}

}  // namespace

bool UnpackResult(long packed, Strengths* strengths)
{
    if (packed < 0 || packed > 999999)
        return false;
    strengths->timing = static_cast<int>(packed / 10000);
    strengths->length = static_cast<int>(packed / 100 % 100);
    strengths->velocity = static_cast<int>(packed % 100);
    return strengths->timing <= 99;
}

Minstd::Minstd(std::uint32_t state)
{
    std::uint32_t s = state % static_cast<std::uint32_t>(kModulus);
    state_ = static_cast<std::int32_t>(s == 0 ? 1 : s);
}

std::int32_t Minstd::Next()
{
    state_ = MultiplyModulo(state_, kMultiplier);
    return state_;
}

std::int32_t MultiplyModulo(std::int32_t x, std::int32_t multiplier)
{
    // Schrage: kModulus = multiplier * quotient + remainder, and remainder
    // < quotient for every multiplier up to sqrt(kModulus).
    const std::int32_t quotient = kModulus / multiplier;
    const std::int32_t remainder = kModulus % multiplier;
    const std::int32_t high = x / quotient;
    const std::int32_t low = x - high * quotient;
    std::int32_t next = multiplier * low - remainder * high;
    if (next < 0)
        next += kModulus;
    return next;
}

std::int32_t ScrambleSeed(std::uint32_t seed)
{
    // 4294967295 is just under twice the modulus: the quotient 0..2 is
    // folded in, so that seeds a modulus apart still differ.
    const std::uint32_t quotient = seed / static_cast<std::uint32_t>(kModulus);
    std::int64_t x = seed % static_cast<std::uint32_t>(kModulus) + std::int64_t{quotient} * 1234567;
    x %= kModulus;
    // 1..2^31-2, where MINSTD has no fixed point.
    std::int32_t state = x < kModulus - 1 ? static_cast<std::int32_t>(x) + 1 : 1234567;
    for (int round = 0; round < 3; ++round)
        state = ScrambleRound(state);
    return state;
}

std::int32_t NoteSeedTerm(std::uint32_t start, int pitch, int velocity)
{
    std::int64_t x = start % static_cast<std::uint32_t>(kModulus) + pitch * 128 + velocity;
    if (x >= kModulus)
        x -= kModulus;
    return ScrambleRound(static_cast<std::int32_t>(x));
}

std::uint32_t SeedFromNotes(const std::vector<Note>& notes)
{
    std::int64_t seed = 0;
    for (const Note& note : notes) {
        if (note.flags & kLeaveAlone)
            continue;
        seed += NoteSeedTerm(note.start, note.pitch, note.velocity);
        if (seed >= kModulus)
            seed -= kModulus;
    }
    return static_cast<std::uint32_t>(seed);
}

std::int64_t ScaledOffset(int draw, std::int64_t numerator, std::int64_t denominator)
{
    // draw / 255 * numerator / denominator, rounded half away from zero.
    const std::int64_t scaledDenominator = 255 * denominator;
    const std::int64_t product = static_cast<std::int64_t>(std::abs(draw)) * numerator;
    const std::int64_t magnitude = (2 * product + scaledDenominator) / (2 * scaledDenominator);
    return draw < 0 ? -magnitude : magnitude;
}

namespace {

void Account(FieldSummary& field, std::int64_t was, std::int64_t now)
{
    const std::int64_t offset = now - was;
    if (offset != 0)
        ++field.changed;
    field.meanOffset += static_cast<double>(offset);
    if (std::llabs(offset) > std::llabs(field.largestOffset))
        field.largestOffset = offset;
}

// The program changes of each channel in time order, and the window they
// leave a note of that channel.
class ProgramBarriers {
public:
    explicit ProgramBarriers(const std::vector<ProgramChange>& programs) : byChannel_(16)
    {
        for (const ProgramChange& change : programs)
            byChannel_[change.channel & 15].push_back(change);
        for (auto& list : byChannel_)
            std::sort(list.begin(), list.end(), [](const ProgramChange& a, const ProgramChange& b) {
                return a.time < b.time;
            });
    }

    // Narrows [lo, hi] to where the note's start may go without crossing a
    // program change of its channel. One on the note's own tick and track
    // keeps its order with the note; one of another track on that tick is
    // taken to come first, as a setup track's does. Onto the tick of one
    // in another track the note never moves, since the order of two tracks
    // on one tick is the player's choice.
    void Narrow(const Note& note, std::int64_t& lo, std::int64_t& hi) const
    {
        const std::vector<ProgramChange>& list = byChannel_[note.channel & 15];
        if (list.empty())
            return;
        const std::size_t after = static_cast<std::size_t>(
            std::upper_bound(list.begin(), list.end(), note.start,
                             [](std::uint32_t t, const ProgramChange& c) { return t < c.time; }) -
            list.begin());
        std::size_t i = after;
        while (i > 0 && list[i - 1].time == note.start) {
            const ProgramChange& change = list[i - 1];
            if (change.track == note.track && change.event > note.onEvent)
                hi = std::min<std::int64_t>(hi, note.start);
            else
                lo = std::max<std::int64_t>(lo, note.start);
            --i;
        }
        if (i > 0) {
            const std::uint32_t time = list[i - 1].time;
            for (; i > 0 && list[i - 1].time == time; --i)
                lo = std::max<std::int64_t>(lo, std::int64_t{time} + (list[i - 1].track != note.track));
        }
        if (after < list.size()) {
            const std::uint32_t time = list[after].time;
            for (std::size_t j = after; j < list.size() && list[j].time == time; ++j)
                hi = std::min<std::int64_t>(hi, std::int64_t{time} - (list[j].track != note.track));
        }
    }

private:
    std::vector<std::vector<ProgramChange>> byChannel_;
};

// The stray note events of every voice, and the room they leave a note of
// that voice: each note lies wholly before or wholly after a stray note-off
// (none was sounding there), and starts before a stray note-on (which
// comes after every note of its voice).
class StrayBarriers {
public:
    explicit StrayBarriers(const std::vector<StrayNoteEvent>& strays) : strays_(strays)
    {
        std::sort(strays_.begin(), strays_.end(), Less);
    }

    // The latest end the note may have, from the first stray after it.
    std::int64_t EndLimit(const Note& note, std::int64_t limit) const
    {
        const std::size_t i = FirstAfterStart(note);
        if (i < strays_.size() && SameVoice(strays_[i], note))
            limit = std::min<std::int64_t>(limit, strays_[i].on ? kLastTick : strays_[i].time);
        return limit;
    }

    // Narrows the note's start window [lo, hi] for a note now length long.
    void Narrow(const Note& note, std::int64_t length, std::int64_t& lo, std::int64_t& hi) const
    {
        const std::size_t i = FirstAfterStart(note);
        if (i > 0 && SameVoice(strays_[i - 1], note))
            lo = std::max<std::int64_t>(lo, strays_[i - 1].time);
        if (i < strays_.size() && SameVoice(strays_[i], note))
            hi = std::min<std::int64_t>(hi, strays_[i].on ? std::int64_t{strays_[i].time}
                                                          : strays_[i].time - length);
    }

private:
    static bool Less(const StrayNoteEvent& a, const StrayNoteEvent& b)
    {
        if (a.track != b.track) return a.track < b.track;
        if (a.channel != b.channel) return a.channel < b.channel;
        if (a.pitch != b.pitch) return a.pitch < b.pitch;
        if (a.time != b.time) return a.time < b.time;
        return a.event < b.event;
    }

    static bool SameVoice(const StrayNoteEvent& stray, const Note& note)
    {
        return stray.track == note.track && stray.channel == note.channel && stray.pitch == note.pitch;
    }

    // The first stray of the note's voice (or of a later voice) that comes
    // after the note's note-on.
    std::size_t FirstAfterStart(const Note& note) const
    {
        StrayNoteEvent key;
        key.track = note.track;
        key.channel = note.channel;
        key.pitch = note.pitch;
        key.time = note.start;
        key.event = note.onEvent;
        return static_cast<std::size_t>(std::upper_bound(strays_.begin(), strays_.end(), key, Less) -
                                        strays_.begin());
    }

    std::vector<StrayNoteEvent> strays_;
};

// What a note learns of the note before it in its voice, at its turn.
enum class Before { kNone, kApart, kOverlapping, kSameTick };

struct Predecessor {
    Before kind = Before::kNone;
    std::int64_t start = 0;  // where it now starts
    std::int64_t end = 0;    // and ends
};

}  // namespace

Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed,
                 const FixedEvents& fixed)
{
    Summary summary;

    // The draw order, of the notes humanized.
    std::vector<std::uint32_t> order;
    std::uint32_t tracks = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i].flags & kLeaveAlone)
            continue;
        order.push_back(static_cast<std::uint32_t>(i));
        tracks = std::max<std::uint32_t>(tracks, notes[i].track + 1u);
    }
    const std::size_t n = order.size();
    summary.notes = static_cast<std::int64_t>(n);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Note& x = notes[a];
        const Note& y = notes[b];
        if (x.start != y.start) return x.start < y.start;
        if (x.pitch != y.pitch) return x.pitch < y.pitch;
        if (x.channel != y.channel) return x.channel < y.channel;
        if (x.track != y.track) return x.track < y.track;
        return a < b;
    });

    // Each note's neighbours in its voice, as positions in the draw order:
    // the positions sorted by voice (in previous's room, by a voice number
    // held for the sort in next's room, which keeps the sort in two small
    // arrays), then linked. The successor's top bit says whether the two
    // overlapped.
    std::vector<std::uint32_t> next(n);
    std::vector<std::uint32_t> previous(n);
    for (std::size_t p = 0; p < n; ++p) {
        const Note& note = notes[order[p]];
        next[p] = std::uint32_t{note.track} << 11 | std::uint32_t{note.channel} << 7 | note.pitch;
        previous[p] = static_cast<std::uint32_t>(p);
    }
    std::sort(previous.begin(), previous.end(),
              [&](std::uint32_t a, std::uint32_t b) { return next[a] != next[b] ? next[a] < next[b] : a < b; });
    // A note's voice number is read for the last time before its own link
    // replaces it.
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t a = previous[i];
        if (i + 1 < n && next[a] == next[previous[i + 1]]) {
            const Note& x = notes[order[a]];
            const Note& y = notes[order[previous[i + 1]]];
            next[a] = previous[i + 1] | (std::int64_t{x.start} + x.length > y.start ? kOverlapsNext : 0);
        } else {
            next[a] = kNone;
        }
    }
    std::fill(previous.begin(), previous.end(), kNone);
    for (std::size_t p = 0; p < n; ++p)
        if (next[p] != kNone)
            previous[next[p] & ~kOverlapsNext] = static_cast<std::uint32_t>(p);
    auto successor = [&](std::size_t p) { return next[p] & ~kOverlapsNext; };
    auto overlapsNext = [&](std::size_t p) { return (next[p] & kOverlapsNext) != 0; };

    const ProgramBarriers barriers(fixed.programs);
    const StrayBarriers strays(fixed.strays);
    Minstd random(static_cast<std::uint32_t>(ScrambleSeed(seed)));

    // Per track, the chord of the tick being visited: its timing draw and
    // the window its start may move in.
    std::vector<std::uint32_t> chordTick(tracks, kNone);
    std::vector<int> chordDraw(tracks);
    std::vector<std::int64_t> chordLow(tracks), chordHigh(tracks);
    // Per note of the tick being visited.
    std::vector<int> lengthDraws, velocityDraws;
    std::vector<Predecessor> predecessors;

    std::uint32_t tick = 0;
    for (std::size_t begin = 0; begin < n; ++tick) {
        const std::uint32_t start = notes[order[begin]].start;
        std::size_t end = begin;
        while (end < n && notes[order[end]].start == start)
            ++end;
        lengthDraws.clear();
        velocityDraws.clear();
        predecessors.assign(end - begin, Predecessor());

        // The draws, in their fixed order.
        for (std::size_t p = begin; p < end; ++p) {
            const std::uint16_t track = notes[order[p]].track;
            if (chordTick[track] != tick) {
                chordTick[track] = tick;
                chordDraw[track] = random.Triangular();
                chordLow[track] = 0;
                chordHigh[track] = kLastTick;
            }
            lengthDraws.push_back(random.Triangular());
            velocityDraws.push_back(random.Triangular());
        }

        // Lengths. A note's end may grow only as far as its voice's next
        // note started (or, where the two overlapped, ended), and must stay
        // at or after the end of an overlapping note before it, so that
        // the notes' order and pairing hold wherever the starts go.
        for (std::size_t p = begin; p < end; ++p) {
            Note& note = notes[order[p]];
            const std::int64_t length = note.length;
            std::int64_t wanted = length;
            if (strengths.length > 0 && !(note.flags & kKeepTimes))
                wanted = Clamp(length + ScaledOffset(lengthDraws[p - begin], length * strengths.length, 396),
                               1, kLastTick - start);
            std::int64_t low = 0;
            std::int64_t high = strays.EndLimit(note, kLastTick) - start;
            if (next[p] != kNone) {
                const Note& after = notes[order[successor(p)]];
                high = std::min<std::int64_t>(high, overlapsNext(p)
                                                        ? std::int64_t{after.start} + after.length - start
                                                        : std::int64_t{after.start} - start);
            }
            Predecessor& before = predecessors[p - begin];
            if (previous[p] != kNone) {
                const std::uint32_t q = previous[p];
                const Note& earlier = notes[order[q]];
                const bool overlapped = overlapsNext(q);
                if (q >= begin) {
                    // Doubled: the same start, so the same move.
                    before.kind = Before::kSameTick;
                    if (overlapped)
                        low = earlier.length;
                } else {
                    before.kind = overlapped ? Before::kOverlapping : Before::kApart;
                    before.start = earlier.start;
                    before.end = std::int64_t{earlier.start} + earlier.length;
                    if (overlapped)
                        low = std::max<std::int64_t>(0, before.end - start);
                }
            }
            note.length = static_cast<std::uint32_t>(Clamp(wanted, low, std::max(low, high)));
            Account(summary.length, length, note.length);
            if (note.length != length)
                note.flags |= kTimesChanged;
        }

        // Each chord's window: the intersection of its notes' windows, each
        // of which holds the note's own start, so the chord's start fits.
        for (std::size_t p = begin; p < end; ++p) {
            const Note& note = notes[order[p]];
            const std::int64_t length = note.length;
            std::int64_t lo = 0;
            std::int64_t hi = kLastTick - length;
            const Predecessor& before = predecessors[p - begin];
            if (before.kind == Before::kApart)
                lo = std::max(lo, before.end);
            else if (before.kind == Before::kOverlapping)
                lo = std::max({lo, before.start, before.end - length});
            if (next[p] != kNone && successor(p) >= end) {
                const Note& after = notes[order[successor(p)]];
                if (overlapsNext(p))
                    hi = std::min({hi, std::int64_t{after.start}, std::int64_t{after.start} + after.length - length});
                else
                    hi = std::min(hi, std::int64_t{after.start} - length);
            }
            barriers.Narrow(note, lo, hi);
            strays.Narrow(note, length, lo, hi);
            if (strengths.timing == 0 || (note.flags & kKeepTimes)) {
                lo = std::max<std::int64_t>(lo, start);
                hi = std::min<std::int64_t>(hi, start);
            }
            chordLow[note.track] = std::max(chordLow[note.track], lo);
            chordHigh[note.track] = std::min(chordHigh[note.track], hi);
        }

        // Starts and velocities.
        for (std::size_t p = begin; p < end; ++p) {
            Note& note = notes[order[p]];
            const std::uint16_t track = note.track;
            std::int64_t moved = start;
            if (strengths.timing > 0 && chordLow[track] <= chordHigh[track])
                moved = Clamp(start + ScaledOffset(chordDraw[track], std::int64_t{tpq} * strengths.timing, 792),
                              chordLow[track], chordHigh[track]);
            const std::uint8_t velocity = note.velocity;
            if (strengths.velocity > 0 && velocity > 0)
                note.velocity = static_cast<std::uint8_t>(
                    Clamp(velocity + ScaledOffset(velocityDraws[p - begin], 20 * strengths.velocity, 99), 1, 127));
            Account(summary.timing, start, moved);
            Account(summary.velocity, velocity, note.velocity);
            if (moved != start)
                note.flags |= kTimesChanged;
            note.start = static_cast<std::uint32_t>(moved);
            if (note.velocity != velocity)
                note.flags |= kVelocityChanged;
        }
        begin = end;
    }
    if (n > 0) {
        summary.timing.meanOffset /= static_cast<double>(n);
        summary.length.meanOffset /= static_cast<double>(n);
        summary.velocity.meanOffset /= static_cast<double>(n);
    }
    return summary;
}

}  // namespace humanize
