#include "humanize.h"

#include "barriers.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
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

// R4: the seed's sum is kept modulo this prime, which with a term of at
// most 46337 * 16383 leaves the script's sum within 31 bits.
const std::uint64_t kSeedFold = 1000000007;
// R4: a prime below 46341, whose remainders times a key and velocity
// keep a term within 31 bits.
const std::int32_t kSmallPrime = 46337;
// R5: a run's base is 1..2^20 - 1, and each channel adds 2^20 to it, so
// that a start below 2^31 - 2^24 plus the base stays below 2^31 - 1.
const std::int32_t kBaseSpan = 1048575;
const std::uint32_t kChannelStep = 1u << 20;
// R5: the multiplier is one of the upper half of those Schrage's method
// takes (up to 46340), so that starts a tick apart land far apart.
const std::int32_t kLowestMultiplier = 23170;
const std::int32_t kMultiplierSpan = 46340 - kLowestMultiplier + 1;

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high)
{
    return value < low ? low : value > high ? high : value;
}

// One round of the seed's scrambling: a MINSTD step, then a multiplication
// by a small number taken from the value.
std::int32_t ScrambleRound(std::int32_t x)
{
    x = TimesModulo(x, kMultiplier);
    return TimesModulo(x, static_cast<std::uint32_t>(x % 40000 + 2));
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

KeyedDraws::KeyedDraws(std::uint32_t seed)
{
    const std::int32_t first = ScrambleSeed(seed);
    base_ = first % kBaseSpan + 1;
    multiplier_ = ScrambleRound(first) % kMultiplierSpan + kLowestMultiplier;
}

std::int32_t KeyedDraws::StartHash(int channel, std::uint32_t start) const
{
    // The start and the run's base, times the run's multiplier: starts a
    // gesture apart land far apart. Then half of that plus the square of
    // its low 15 bits, which is not linear and stays below 2^31 - 1, and a
    // MINSTD step spreads what the square added over every bit.
    const std::uint64_t keyed = std::uint64_t{start} + static_cast<std::uint64_t>(base_) +
                                static_cast<std::uint64_t>(channel & 15) * kChannelStep;
    const std::int32_t x = TimesModulo(static_cast<std::int32_t>(keyed % kModulus), static_cast<std::uint32_t>(multiplier_));
    const std::int32_t low = x & 32767;
    return TimesModulo(x / 2 + low * low, kMultiplier);
}

std::int32_t KeyedDraws::NoteHash(std::int32_t startHash, int pitch)
{
    // A multiplier of its own for every key: the notes of one start move
    // apart by a multiple of the start's hash, which differs from start to
    // start, so no two keys are related the same way twice.
    return TimesModulo(startHash, static_cast<std::uint32_t>((pitch & 127) * 181 + 2));
}

std::int64_t NoteSeedTerm(std::uint32_t start, int pitch, int velocity)
{
    return (std::int64_t{start % static_cast<std::uint32_t>(kSmallPrime)} + 1) * ((pitch & 127) * 128 + (velocity & 127));
}

std::uint32_t SeedFromNotes(const std::vector<Note>& notes)
{
    std::uint64_t sum = 0;
    for (const Note& note : notes)
        if (!(note.flags & kLeaveAlone))
            sum += static_cast<std::uint64_t>(NoteSeedTerm(note.start, note.pitch, note.velocity));
    // The script keeps its sum in 1..kSeedFold once any term was above 0.
    return sum == 0 ? 0 : static_cast<std::uint32_t>((sum - 1) % kSeedFold + 1);
}

std::int64_t LargestMove(int tpq, int timing)
{
    return ScaledOffset(127, std::int64_t{tpq} * timing, 792);
}

namespace {

// What is counted of one field's changes while the notes are walked: the
// sum of the offsets for the mean, and the largest's size with it.
struct FieldCount {
    std::int64_t changed = 0, sum = 0, largest = 0, largestSize = 0;
    void Add(std::int64_t offset, std::int64_t times = 1)
    {
        changed += (offset != 0) * times;
        sum += offset * times;
        const std::int64_t size = offset < 0 ? -offset : offset;
        if (size > largestSize) {
            largestSize = size;
            largest = offset;
        }
    }
    // Into the summary, the mean over n notes.
    void Give(FieldSummary* field, std::size_t n) const
    {
        field->changed = changed;
        field->meanOffset = n > 0 ? static_cast<double>(sum) / static_cast<double>(n) : 0;
        field->largestOffset = largest;
    }
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

// R9: the offsets of one field for every draw -127..127 at one strength:
// a table, since the timing and velocity offsets depend on the draw alone.
class OffsetTable {
public:
    OffsetTable(std::int64_t numerator, std::int64_t denominator)
    {
        for (int draw = -127; draw <= 127; ++draw)
            offsets_[draw + 127] = static_cast<std::int16_t>(ScaledOffset(draw, numerator, denominator));
    }
    int operator()(int draw) const { return offsets_[draw + 127]; }

private:
    std::int16_t offsets_[255];
};

// What the phases of one run hand on: the notes humanized, in lane order
// (by track, channel, start, pitch and place), in which each lane's
// gestures and voices lie in a row; and a slot per note, which holds a
// gesture's window at its first note until the moves are taken, and from
// then on every note's move and length draw. Four bytes a note, not more:
// files of millions of notes.
struct Work {
    Work(std::vector<Note>& n, int t, const Strengths& s)
        : notes(n), tpq(t), strengths(s), timing(std::int64_t{t} * s.timing, 792), velocity(20 * s.velocity, 99)
    {
    }
    std::vector<Note>& notes;
    const int tpq;
    const Strengths strengths;
    const OffsetTable timing, velocity;
    // The lane order: where the notes come in it already, every one
    // humanized, no list is made.
    bool inLaneOrder = true;
    std::vector<std::uint32_t> lane;  // when not
    std::size_t count = 0;            // the notes humanized
    // The moves a gesture may make (R11, R12), relative to its notes' starts.
    struct Window {
        std::int16_t low, high;
    };
    // A note's move, and its length draw (R13).
    struct Draw {
        std::int16_t move, length;
    };
    union Slot {
        Window window;
        Draw draw;
    };
    std::vector<Slot> slots;
    std::vector<std::size_t> laneEnds;  // where each lane ends in the lane order
    Summary summary;
    FieldCount timingCount, lengthCount, velocityCount;

    // The note at place k of the lane order.
    std::uint32_t Index(std::size_t k) const { return inLaneOrder ? static_cast<std::uint32_t>(k) : lane[k]; }
    Note& At(std::size_t k) { return notes[Index(k)]; }
    bool IsHead(std::size_t k) const { return (notes[Index(k)].flags & kGestureHead) != 0; }
};

bool LaneLess(const std::vector<Note>& notes, std::uint32_t a, std::uint32_t b)
{
    const Note& x = notes[a];
    const Note& y = notes[b];
    return std::tie(x.track, x.channel, x.start, x.pitch, a) < std::tie(y.track, y.channel, y.start, y.pitch, b);
}

// Track, channel and start as one number: compared at once, not field by
// field.
std::uint64_t LaneKey(const Note& note)
{
    return std::uint64_t{note.track} << 40 | std::uint64_t{note.channel} << 32 | note.start;
}

// The notes to humanize, in lane order, with the humanizer's own flags
// cleared: every later phase walks lanes. One walk clears the flags,
// counts the notes and, as a file's notes come by track, channel and
// start already, puts each note of a start lower in pitch than the one
// before at its place among them. The list of the order is made only at
// the first note out of order or left alone (none if there is none); a
// crowd of more than 32 on one tick is sorted after, in time that grows as
// n log n, and notes that do not come by lane and start are all sorted.
void SortIntoLanes(Work& w)
{
    std::vector<Note>& notes = w.notes;
    std::vector<std::uint32_t>& list = w.lane;
    const auto less = [&](std::uint32_t x, std::uint32_t y) { return LaneLess(notes, x, y); };
    // The notes so far as a list: their own order up to here.
    const auto makeList = [&](std::size_t count) {
        list.reserve(notes.size());  // once: a list grown would be copied
        list.resize(count);
        std::iota(list.begin(), list.end(), 0u);
    };
    std::vector<std::pair<std::size_t, std::size_t>> crowds;
    bool byStart = true, crowded = false;
    std::size_t k = 0;      // the notes humanized so far: the place of the next
    std::size_t group = 0;  // the place where the notes of the start being walked begin
    std::uint64_t was = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        Note& note = notes[i];
        note.flags &= static_cast<std::uint8_t>(~kOwnFlags);
        if (note.flags & kLeaveAlone) {
            if (list.empty())
                makeList(k);
            continue;
        }
        if (!list.empty() || k != i)
            list.push_back(static_cast<std::uint32_t>(i));
        const std::size_t at = k++;
        const std::uint64_t is = LaneKey(note);
        if (at == 0 || is != was) {
            byStart &= was <= is;
            if (crowded)
                crowds.emplace_back(group, at);
            crowded = false;
            group = at;
            was = is;
            continue;
        }
        if (!byStart || notes[list.empty() ? at - 1 : list[at - 1]].pitch <= note.pitch)
            continue;
        if (list.empty())
            makeList(k);
        crowded |= at - group >= 32;
        if (crowded)
            continue;
        std::size_t j = at;
        for (; j > group && notes[list[j - 1]].pitch > note.pitch; --j)
            list[j] = list[j - 1];
        list[j] = static_cast<std::uint32_t>(i);
    }
    w.count = k;
    w.summary.notes = static_cast<std::int64_t>(k);
    if (!byStart) {
        if (list.empty())
            makeList(k);
        std::sort(list.begin(), list.end(), less);
    } else {
        if (crowded)
            crowds.emplace_back(group, k);
        for (const auto& crowd : crowds)
            std::sort(list.begin() + static_cast<std::ptrdiff_t>(crowd.first),
                      list.begin() + static_cast<std::ptrdiff_t>(crowd.second), less);
    }
    w.inLaneOrder = list.empty();
}

// A note's window: how far it may move without leaving the file's ticks
// or crossing a program change of its channel or a stray of its voice;
// none where times must stay. Narrows its gesture's [low, high].
void NarrowWindow(const Work& w, const Note& note, const ProgramBarriers& programs, const StrayBarriers& strays,
                  bool barriers, std::int64_t& low, std::int64_t& high)
{
    std::int64_t lo = 0, hi = kLastTick - (note.length > 0);
    if (barriers) {
        programs.Narrow(note, lo, hi);
        strays.Narrow(note, lo, hi);
    }
    if (w.strengths.timing == 0 || (note.flags & kKeepTimes)) {
        lo = std::max<std::int64_t>(lo, note.start);
        hi = std::min<std::int64_t>(hi, note.start);
    }
    low = std::max<std::int64_t>(low, lo - note.start);
    high = std::min<std::int64_t>(high, hi - note.start);
}

// One walk, before anything moves, of the lanes and the gestures (R3),
// each with its window (the moves all its notes may make, at most the
// largest move either way), kept at its first note.
void MarkGestures(Work& w, const ProgramBarriers& programs, const StrayBarriers& strays, std::int64_t largest)
{
    const bool barriers = !programs.Empty() || !strays.Empty();
    std::uint32_t first = 0;
    Work::Window* window = nullptr;  // the gesture's, at its first note
    std::int64_t low = 0, high = 0;
    for (std::size_t k = 0; k < w.count; ++k) {
        const std::uint32_t i = w.Index(k);
        Note& note = w.notes[i];
        const bool newLane = k == 0 || !SameLane(w.At(k - 1), note);
        if (newLane && k > 0)
            w.laneEnds.push_back(k);
        if (newLane || !InGesture(first, note.start, w.tpq)) {
            if (window)
                *window = {static_cast<std::int16_t>(low), static_cast<std::int16_t>(high)};
            note.flags |= kGestureHead;
            first = note.start;
            w.slots[i].window = {0, 0};
            window = &w.slots[i].window;
            low = -largest;
            high = largest;
        }
        NarrowWindow(w, note, programs, strays, barriers, low, high);
    }
    if (window) {
        *window = {static_cast<std::int16_t>(low), static_cast<std::int16_t>(high)};
        w.laneEnds.push_back(w.count);
    }
}

// How each note met the next of its voice, as read (R14): touching it or
// overlapping it.
void MarkJoins(Work& w)
{
    VoiceTable voices;
    std::uint32_t laneNumber = 0;
    for (std::size_t k = 0; k < w.count; ++k) {
        const Note& note = w.At(k);
        laneNumber += k == 0 || !SameLane(w.At(k - 1), note);
        const std::uint32_t met = voices.Swap(note.pitch, laneNumber, static_cast<std::uint32_t>(k));
        if (met == kNone)
            continue;
        Note& before = w.At(met);
        const std::uint64_t end = std::uint64_t{before.start} + before.length;
        if (end == note.start)
            before.flags |= kTouchesNext;
        else if (end > note.start)
            before.flags |= kOverlapsNext;
    }
}

// Walked backward: a gesture may move late only as far as leaves every
// later gesture of the lane room a tick after it, so that the forward walk
// never corners one.
void LeaveRoomForLater(Work& w, std::size_t a, std::size_t b)
{
    std::int64_t laterFirst = 0, laterHigh = 0;
    bool haveLater = false;
    std::uint32_t lastStart = 0;
    for (std::size_t k = b; k-- > a;) {
        if (k + 1 == b || w.IsHead(k + 1))
            lastStart = w.At(k).start;
        if (!w.IsHead(k))
            continue;
        std::int16_t& high = w.slots[w.Index(k)].window.high;
        if (haveLater)
            high = static_cast<std::int16_t>(std::min<std::int64_t>(high, laterFirst + laterHigh - lastStart - 1));
        laterFirst = w.At(k).start;
        laterHigh = high;
        haveLater = true;
    }
}

// A note's own draws, keyed by its channel, start (as read) and key (R7):
// its length and velocity draws. The velocity changes at once (R15:
// nothing limits it but 1..127); the length draw is returned, for the ends.
int DrawNote(Work& w, std::int32_t startHash, std::uint32_t i)
{
    Note& note = w.notes[i];
    const std::int32_t hash = KeyedDraws::NoteHash(startHash, note.pitch);
    const std::uint8_t velocity = note.velocity;
    if (w.strengths.velocity > 0 && velocity > 0)
        note.velocity = static_cast<std::uint8_t>(
            Clamp(velocity + w.velocity(KeyedDraws::Uniform(hash, 2) - KeyedDraws::Uniform(hash, 3)), 1, 127));
    w.velocityCount.Add(note.velocity - velocity);
    if (note.velocity != velocity)
        note.flags |= kVelocityChanged;
    return KeyedDraws::Uniform(hash, 0) - KeyedDraws::Uniform(hash, 1);
}

// Walked forward: each gesture takes the timing keyed by its channel and
// first start (R10) within its window, a tick after the gesture before at
// least (R12); then each of its notes draws and moves by it.
void TakeMoves(Work& w, std::size_t a, std::size_t b, const KeyedDraws& keys)
{
    std::int64_t previousLast = -1;
    for (std::size_t g = a, k; g < b; g = k) {
        const std::uint32_t head = w.Index(g);
        const Note& first = w.notes[head];
        const Work::Window window = w.slots[head].window;
        const std::int64_t low = std::max<std::int64_t>(window.low, previousLast + 1 - first.start);
        const std::int64_t high = window.high;
        std::uint32_t hashedStart = first.start;
        std::int32_t startHash = keys.StartHash(first.channel, hashedStart);
        const std::int64_t move = w.strengths.timing > 0
            ? Clamp(w.timing(KeyedDraws::Uniform(startHash, 0) - KeyedDraws::Uniform(startHash, 1)), low, high)
            : 0;
        const std::uint8_t changed = move != 0 ? kTimesChanged : 0;
        std::uint32_t last = 0;
        for (k = g; k < b && (k == g || !w.IsHead(k)); ++k) {
            const std::uint32_t i = w.Index(k);
            Note& note = w.notes[i];
            if (note.start != hashedStart) {
                hashedStart = note.start;
                startHash = keys.StartHash(note.channel, hashedStart);
            }
            const int length = DrawNote(w, startHash, i);
            last = note.start = static_cast<std::uint32_t>(note.start + move);
            w.slots[i].draw = {static_cast<std::int16_t>(move), static_cast<std::int16_t>(length)};
            note.flags |= changed;
        }
        w.timingCount.Add(move, static_cast<std::int64_t>(k - g));
        previousLast = last;
    }
}

// Starts, lane by lane: room for later gestures, then the moves.
void MoveStarts(Work& w, std::uint32_t seed)
{
    const KeyedDraws keys(seed);
    std::size_t a = 0;
    for (const std::size_t b : w.laneEnds) {
        LeaveRoomForLater(w, a, b);
        TakeMoves(w, a, b, keys);
        a = b;
    }
}

// Ends, walked backward so that the next note of each voice is done: a
// joined end follows the next note's new start; any other takes its length
// draw and gives way to the next note.
void PlaceEnds(Work& w, const StrayBarriers& strays)
{
    VoiceTable voices;
    std::uint32_t laneNumber = 0;
    const std::size_t n = w.count;
    for (std::size_t k = n; k-- > 0;) {
        const std::uint32_t i = w.Index(k);
        Note& note = w.notes[i];
        laneNumber += k + 1 == n || !SameLane(w.At(k + 1), note);
        const std::uint32_t later = voices.Swap(note.pitch, laneNumber, static_cast<std::uint32_t>(k));
        const Note* next = later != kNone ? &w.At(later) : nullptr;
        const std::int64_t start = note.start;
        const std::int64_t length = note.length;
        const std::int64_t readStart = start - w.slots[i].draw.move;
        std::int64_t end;
        const bool joined = next && (note.flags & (kTouchesNext | kOverlapsNext));
        std::int64_t wanted = length;
        if (joined) {
            const std::int64_t overlap = readStart + length - (next->start - w.slots[w.Index(later)].draw.move);
            end = std::min<std::int64_t>(std::int64_t{next->start} + overlap, std::int64_t{next->start} + next->length);
        } else {
            // R13: at most a quarter of the length, so a note of a tick or
            // more keeps a tick at least, and one of 0 ticks stays so.
            if (w.strengths.length > 0 && !(note.flags & kKeepTimes))
                wanted = Clamp(length + ScaledOffset(w.slots[i].draw.length, length * w.strengths.length, 396),
                               std::min<std::int64_t>(length, 1), kLastTick);
            end = start + wanted;
            if (next)
                end = std::min<std::int64_t>(end, next->start);
        }
        if (!strays.Empty()) {
            Note asRead = note;  // where it was read, for the strays of its voice
            asRead.start = static_cast<std::uint32_t>(readStart);
            end = std::min(end, strays.EndLimit(asRead));
        }
        end = std::max(start, std::min(end, kLastTick));
        if (joined)
            w.summary.endsJoined += end != readStart + length;
        else
            w.summary.endsTrimmed += end < start + wanted;
        note.length = static_cast<std::uint32_t>(end - start);
        w.lengthCount.Add(std::int64_t{note.length} - length);
        if (note.length != length)
            note.flags |= kTimesChanged;
        note.flags &= static_cast<std::uint8_t>(~kOwnFlags);
    }
}

}  // namespace

Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed,
                 const FixedEvents& fixed)
{
    Work w(notes, tpq, strengths);
    SortIntoLanes(w);

    // The channels and voices that have notes to move: other program
    // changes and strays cannot limit anything. Each looked for only where
    // there are program changes or strays at all.
    const std::size_t n = w.count;
    bool channels[16] = {};
    if (!fixed.programs.empty())
        for (std::size_t k = 0; k < n; ++k)
            channels[w.At(k).channel & 15] = true;
    std::vector<bool> used;
    if (!fixed.strays.empty()) {
        used.resize(n == 0 ? 0 : (std::size_t{w.At(n - 1).track} + 1) * 2048);
        for (std::size_t k = 0; k < n; ++k) {
            const Note& note = w.At(k);
            used[std::size_t{note.track} * 2048 + (note.channel & 15) * 128u + (note.pitch & 127)] = true;
        }
    }
    const ProgramBarriers programs(fixed.programs, channels);
    const StrayBarriers strays(fixed.strays, [&](std::size_t track, int channel, int pitch) {
        const std::size_t voice = track * 2048 + (channel & 15) * 128u + (pitch & 127);
        return voice < used.size() && used[voice];
    });
    w.slots.resize(notes.size());
    MarkGestures(w, programs, strays, LargestMove(tpq, strengths.timing));
    MarkJoins(w);
    MoveStarts(w, seed);
    PlaceEnds(w, strays);

    w.timingCount.Give(&w.summary.timing, n);
    w.lengthCount.Give(&w.summary.length, n);
    w.velocityCount.Give(&w.summary.velocity, n);
    return w.summary;
}

}  // namespace humanize
