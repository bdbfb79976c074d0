#include "humanize.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace humanize {

namespace {

const std::int32_t kMultiplier = 16807;
const std::int64_t kLastTick = 0xFFFFFFFF;
const std::uint32_t kNone = 0xFFFFFFFF;
// The humanizer's own flags while it runs.
const std::uint8_t kGestureHead = 32;   // the first note of its gesture
const std::uint8_t kTouchesNext = 64;   // it ended where the next note of its voice started
const std::uint8_t kOverlapsNext = 128; // it ended after the next note of its voice started
const std::uint8_t kOwnFlags = kGestureHead | kTouchesNext | kOverlapsNext;

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

std::int32_t NoteSeedTerm(std::uint32_t start, int pitch, int velocity, int channel)
{
    std::int64_t x = start % static_cast<std::uint32_t>(kModulus) + pitch * 128 + velocity + channel * 16384;
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
        seed += NoteSeedTerm(note.start, note.pitch, note.velocity, note.channel);
        if (seed >= kModulus)
            seed -= kModulus;
    }
    return static_cast<std::uint32_t>(seed);
}

std::int64_t LargestMove(int tpq, int timing)
{
    return ScaledOffset(255, std::int64_t{tpq} * timing, 792);
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

// The program changes of each channel, and the window they leave a note of
// that channel. A note finds its place among them by binary searches, so
// that any number of changes on one tick costs it a few steps.
class ProgramBarriers {
public:
    // Only the changes of the channels that have notes to move count.
    ProgramBarriers(const std::vector<ProgramChange>& programs, const bool (&used)[16]) : changes_(16), ticks_(16)
    {
        for (const ProgramChange& change : programs)
            if (used[change.channel & 15])
                changes_[change.channel & 15].push_back({change.time, change.event, change.track});
        for (int channel = 0; channel < 16; ++channel) {
            std::vector<Change>& list = changes_[channel];
            if (!std::is_sorted(list.begin(), list.end(), Less))
                std::sort(list.begin(), list.end(), Less);
            std::vector<Tick>& ticks = ticks_[channel];
            for (std::uint32_t i = 0; i < list.size(); ++i) {
                if (ticks.empty() || ticks.back().time != list[i].time)
                    ticks.push_back({list[i].time, i, list[i].track, true});
                else if (ticks.back().track != list[i].track)
                    ticks.back().oneTrack = false;
            }
        }
    }

    // Narrows [lo, hi], the starts the note may take, so that it crosses no
    // program change of its channel. One on the note's own tick and track
    // keeps its order with the note; one of another track on that tick is
    // taken to come first, as a setup track's does. Onto the tick of one in
    // another track the note never moves, since the order of two tracks on
    // one tick is the player's choice.
    void Narrow(const Note& note, std::int64_t& lo, std::int64_t& hi) const
    {
        const std::vector<Tick>& ticks = ticks_[note.channel & 15];
        if (ticks.empty())
            return;
        const std::vector<Change>& list = changes_[note.channel & 15];
        const std::size_t at = static_cast<std::size_t>(
            std::lower_bound(ticks.begin(), ticks.end(), note.start,
                             [](const Tick& tick, std::uint32_t time) { return tick.time < time; }) -
            ticks.begin());
        std::size_t after = at;
        if (at < ticks.size() && ticks[at].time == note.start) {
            if (!OnlyTrack(ticks[at], note.track))
                lo = std::max<std::int64_t>(lo, note.start);
            const auto begin = list.begin() + ticks[at].first;
            const auto end = at + 1 < ticks.size() ? list.begin() + ticks[at + 1].first : list.end();
            const auto place = std::lower_bound(begin, end, Change{note.start, note.onEvent, note.track}, Less);
            if (place != end && place->track == note.track)
                hi = std::min<std::int64_t>(hi, note.start);
            if (place != begin && (place - 1)->track == note.track)
                lo = std::max<std::int64_t>(lo, note.start);
            after = at + 1;
        }
        if (at > 0)
            lo = std::max<std::int64_t>(lo, std::int64_t{ticks[at - 1].time} + !OnlyTrack(ticks[at - 1], note.track));
        if (after < ticks.size())
            hi = std::min<std::int64_t>(hi, std::int64_t{ticks[after].time} - !OnlyTrack(ticks[after], note.track));
    }

private:
    struct Change {
        std::uint32_t time;
        std::uint32_t event;
        std::uint16_t track;
    };
    // The changes of one tick: where they begin in the list, and whether
    // they all come from one track (which).
    struct Tick {
        std::uint32_t time;
        std::uint32_t first;
        std::uint16_t track;
        bool oneTrack;
    };

    static bool Less(const Change& a, const Change& b)
    {
        if (a.time != b.time) return a.time < b.time;
        if (a.track != b.track) return a.track < b.track;
        return a.event < b.event;
    }

    static bool OnlyTrack(const Tick& tick, std::uint16_t track) { return tick.oneTrack && tick.track == track; }

    std::vector<std::vector<Change>> changes_;
    std::vector<std::vector<Tick>> ticks_;
};

// The stray note events of every voice, and the room they leave a note of
// that voice: each note lies wholly before or wholly after a stray note-off
// (none was sounding there), and starts before a stray note-on (which
// comes after every note of its voice).
class StrayBarriers {
public:
    // Sorted as places in the list, so that millions of strays cost 4
    // bytes more each, not a copy.
    // Only the strays of voices that have notes to move count.
    template <typename Used>
    StrayBarriers(const std::vector<StrayNoteEvent>& strays, Used used) : strays_(strays)
    {
        for (std::uint32_t i = 0; i < strays.size(); ++i)
            if (used(strays[i].track, strays[i].channel, strays[i].pitch))
                order_.push_back(i);
        std::sort(order_.begin(), order_.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return Less(strays_[a], strays_[b]); });
    }

    // The latest end the note, at its place as read, may have.
    std::int64_t EndLimit(const Note& note) const
    {
        const StrayNoteEvent* after = At(FirstAfterStart(note), note);
        return after && !after->on ? after->time : kLastTick;
    }

    // Narrows [lo, hi], the starts the note may take; a note-off after it
    // leaves room for the note's shortest length, a tick, before it.
    void Narrow(const Note& note, std::int64_t& lo, std::int64_t& hi) const
    {
        const std::size_t i = FirstAfterStart(note);
        if (const StrayNoteEvent* before = i > 0 ? At(i - 1, note) : nullptr)
            lo = std::max<std::int64_t>(lo, before->time);
        if (const StrayNoteEvent* after = At(i, note))
            hi = std::min<std::int64_t>(hi, std::int64_t{after->time} - (!after->on && note.length > 0));
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

    // The stray at place i of the order if it is of the note's voice.
    const StrayNoteEvent* At(std::size_t i, const Note& note) const
    {
        if (i >= order_.size())
            return nullptr;
        const StrayNoteEvent& stray = strays_[order_[i]];
        const bool same = stray.track == note.track && stray.channel == note.channel && stray.pitch == note.pitch;
        return same ? &stray : nullptr;
    }

    // The place of the first stray of the note's voice (or of a later
    // voice) that comes after the note's note-on.
    std::size_t FirstAfterStart(const Note& note) const
    {
        StrayNoteEvent key;
        key.track = note.track;
        key.channel = note.channel;
        key.pitch = note.pitch;
        key.time = note.start;
        key.event = note.onEvent;
        return static_cast<std::size_t>(
            std::upper_bound(order_.begin(), order_.end(), key,
                             [&](const StrayNoteEvent& k, std::uint32_t i) { return Less(k, strays_[i]); }) -
            order_.begin());
    }

    const std::vector<StrayNoteEvent>& strays_;
    std::vector<std::uint32_t> order_;
};

bool SameLane(const Note& a, const Note& b)
{
    return a.track == b.track && a.channel == b.channel;
}

// The latest note met of each pitch in the lane being walked: the notes of
// a voice lie in a row of their lane's positions.
class VoiceTable {
public:
    VoiceTable() : slots_(128, Slot{kNone, kNone}) {}
    // The position of the pitch's note met last in this lane (kNone if
    // none), which becomes position.
    std::uint32_t Swap(std::uint8_t pitch, std::uint32_t lane, std::uint32_t position)
    {
        Slot& slot = slots_[pitch & 127];
        const std::uint32_t met = slot.lane == lane ? slot.position : kNone;
        slot = {position, lane};
        return met;
    }

private:
    struct Slot {
        std::uint32_t position;
        std::uint32_t lane;
    };
    std::vector<Slot> slots_;
};

// The moves a gesture may make, in ticks, within the largest move (at most
// 2^12 ticks, for 32,767 ticks per quarter).
struct Window {
    std::int16_t low;
    std::int16_t high;
};

}  // namespace

Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed,
                 const FixedEvents& fixed)
{
    Summary summary;

    // The notes humanized in lane order (by track, channel, start, pitch
    // and place), in which each lane's gestures and voices lie in a row.
    std::vector<std::uint32_t> lane;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        notes[i].flags &= static_cast<std::uint8_t>(~kOwnFlags);
        if (!(notes[i].flags & kLeaveAlone))
            lane.push_back(static_cast<std::uint32_t>(i));
    }
    const std::size_t n = lane.size();
    summary.notes = static_cast<std::int64_t>(n);
    std::sort(lane.begin(), lane.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Note& x = notes[a];
        const Note& y = notes[b];
        return std::tie(x.track, x.channel, x.start, x.pitch, a) < std::tie(y.track, y.channel, y.start, y.pitch, b);
    });

    // Gestures, and how each note met the next of its voice as read.
    {
        VoiceTable voices;
        std::uint32_t laneNumber = 0;
        std::uint32_t first = 0;
        for (std::size_t k = 0; k < n; ++k) {
            Note& note = notes[lane[k]];
            const bool newLane = k == 0 || !SameLane(notes[lane[k - 1]], note);
            laneNumber += newLane;
            if (newLane || !InGesture(first, note.start, tpq)) {
                note.flags |= kGestureHead;
                first = note.start;
            }
            const std::uint32_t met = voices.Swap(note.pitch, laneNumber, static_cast<std::uint32_t>(k));
            if (met != kNone) {
                Note& before = notes[lane[met]];
                const std::uint64_t end = std::uint64_t{before.start} + before.length;
                if (end == note.start)
                    before.flags |= kTouchesNext;
                else if (end > note.start)
                    before.flags |= kOverlapsNext;
            }
        }
    }

    // The draws, in their fixed order; velocities change at once. shift
    // holds each gesture's timing draw at its first note, and later every
    // note's move.
    std::vector<std::int16_t> shift(notes.size()), lengthDraw(notes.size());
    {
        std::vector<std::uint32_t> order(lane);
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            const Note& x = notes[a];
            const Note& y = notes[b];
            return std::tie(x.start, x.pitch, x.channel, x.track, a) < std::tie(y.start, y.pitch, y.channel, y.track, b);
        });
        Minstd random(static_cast<std::uint32_t>(ScrambleSeed(seed)));
        for (const std::uint32_t i : order) {
            Note& note = notes[i];
            if (note.flags & kGestureHead)
                shift[i] = static_cast<std::int16_t>(random.Triangular());
            lengthDraw[i] = static_cast<std::int16_t>(random.Triangular());
            const int draw = random.Triangular();
            const std::uint8_t velocity = note.velocity;
            if (strengths.velocity > 0 && velocity > 0)
                note.velocity = static_cast<std::uint8_t>(
                    Clamp(velocity + ScaledOffset(draw, 20 * strengths.velocity, 99), 1, 127));
            Account(summary.velocity, velocity, note.velocity);
            if (note.velocity != velocity)
                note.flags |= kVelocityChanged;
        }
    }

    // Starts, lane by lane: each gesture's window is where all its notes
    // may go; walked backward, a gesture may move late only as far as
    // leaves every later gesture room after it; walked forward, each
    // gesture takes its drawn move within that window, a tick after the
    // gesture before at least.
    const std::int64_t largest = LargestMove(tpq, strengths.timing);
    const std::int64_t timingScale = std::int64_t{tpq} * strengths.timing;
    // The voices and channels that have notes to move: other program
    // changes and strays cannot limit anything.
    bool channels[16] = {};
    std::vector<bool> used(n == 0 ? 0 : (std::size_t{notes[lane[n - 1]].track} + 1) * 2048);
    for (const std::uint32_t i : lane) {
        channels[notes[i].channel & 15] = true;
        used[std::size_t{notes[i].track} * 2048 + (notes[i].channel & 15) * 128u + (notes[i].pitch & 127)] = true;
    }
    const ProgramBarriers programs(fixed.programs, channels);
    const StrayBarriers strays(fixed.strays, [&](std::size_t track, int channel, int pitch) {
        const std::size_t voice = track * 2048 + (channel & 15) * 128u + (pitch & 127);
        return voice < used.size() && used[voice];
    });
    std::vector<Window> windows(n);
    auto isHead = [&](std::size_t k) { return (notes[lane[k]].flags & kGestureHead) != 0; };
    for (std::size_t a = 0, b; a < n; a = b) {
        for (b = a + 1; b < n && SameLane(notes[lane[a]], notes[lane[b]]);)
            ++b;
        for (std::size_t g = a, h; g < b; g = h) {
            std::int64_t low = -largest, high = largest;
            for (h = g; h < b && (h == g || !isHead(h)); ++h) {
                const Note& note = notes[lane[h]];
                std::int64_t lo = 0, hi = kLastTick - (note.length > 0);
                programs.Narrow(note, lo, hi);
                strays.Narrow(note, lo, hi);
                if (strengths.timing == 0 || (note.flags & kKeepTimes)) {
                    lo = std::max<std::int64_t>(lo, note.start);
                    hi = std::min<std::int64_t>(hi, note.start);
                }
                low = std::max<std::int64_t>(low, lo - note.start);
                high = std::min<std::int64_t>(high, hi - note.start);
            }
            windows[g] = {static_cast<std::int16_t>(low), static_cast<std::int16_t>(high)};
        }
        std::int64_t laterFirst = 0, laterHigh = 0;
        bool haveLater = false;
        std::uint32_t lastStart = 0;
        for (std::size_t k = b; k-- > a;) {
            if (k + 1 == b || isHead(k + 1))
                lastStart = notes[lane[k]].start;
            if (!isHead(k))
                continue;
            std::int64_t high = windows[k].high;
            if (haveLater)
                high = std::min<std::int64_t>(high, laterFirst + laterHigh - lastStart - 1);
            windows[k].high = static_cast<std::int16_t>(high);
            laterFirst = notes[lane[k]].start;
            laterHigh = high;
            haveLater = true;
        }
        std::int64_t previousLast = -1;
        for (std::size_t g = a, h; g < b; g = h) {
            const std::uint32_t head = lane[g];
            const std::int64_t low = std::max<std::int64_t>(windows[g].low, previousLast + 1 - notes[head].start);
            const int draw = shift[head];
            const std::int64_t move =
                strengths.timing > 0 ? Clamp(ScaledOffset(draw, timingScale, 792), low, windows[g].high) : 0;
            for (h = g; h < b && (h == g || !isHead(h)); ++h) {
                Note& note = notes[lane[h]];
                Account(summary.timing, 0, move);
                note.start = static_cast<std::uint32_t>(note.start + move);
                shift[lane[h]] = static_cast<std::int16_t>(move);
                if (move != 0)
                    note.flags |= kTimesChanged;
            }
            previousLast = notes[lane[h - 1]].start;
        }
    }

    // Ends, walked backward so that the next note of each voice is done:
    // a joined end follows the next note's new start; any other takes its
    // length draw and gives way to the next note.
    VoiceTable voices;
    std::uint32_t laneNumber = 0;
    for (std::size_t k = n; k-- > 0;) {
        const std::uint32_t i = lane[k];
        Note& note = notes[i];
        laneNumber += k + 1 == n || !SameLane(notes[lane[k + 1]], note);
        const std::uint32_t later = voices.Swap(note.pitch, laneNumber, static_cast<std::uint32_t>(k));
        const Note* next = later != kNone ? &notes[lane[later]] : nullptr;
        const std::int64_t start = note.start;
        const std::int64_t length = note.length;
        Note asRead = note;
        asRead.start = static_cast<std::uint32_t>(start - shift[i]);
        std::int64_t end;
        const bool joined = next && (note.flags & (kTouchesNext | kOverlapsNext));
        std::int64_t wanted = length;
        if (joined) {
            const std::int64_t overlap = std::int64_t{asRead.start} + length - (next->start - shift[lane[later]]);
            end = std::min<std::int64_t>(std::int64_t{next->start} + overlap, std::int64_t{next->start} + next->length);
        } else {
            if (strengths.length > 0 && !(note.flags & kKeepTimes))
                wanted = Clamp(length + ScaledOffset(lengthDraw[i], length * strengths.length, 396), 1, kLastTick);
            end = start + wanted;
            if (next)
                end = std::min<std::int64_t>(end, next->start);
        }
        end = std::max(start, std::min({end, strays.EndLimit(asRead), kLastTick}));
        if (joined)
            summary.endsJoined += end != std::int64_t{asRead.start} + length;
        else
            summary.endsTrimmed += end < start + wanted;
        note.length = static_cast<std::uint32_t>(end - start);
        Account(summary.length, length, note.length);
        if (note.length != length)
            note.flags |= kTimesChanged;
        note.flags &= static_cast<std::uint8_t>(~kOwnFlags);
    }
    if (n > 0) {
        summary.timing.meanOffset /= static_cast<double>(n);
        summary.length.meanOffset /= static_cast<double>(n);
        summary.velocity.meanOffset /= static_cast<double>(n);
    }
    return summary;
}

}  // namespace humanize
