#include "humanize.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace humanize {

namespace {

const std::int32_t kModulus = 2147483647;  // 2^31 - 1
const std::int32_t kMultiplier = 16807;
// Schrage: kModulus = kMultiplier * kQuotient + kRemainder.
const std::int32_t kQuotient = 127773;
const std::int32_t kRemainder = 2836;

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high)
{
    return value < low ? low : value > high ? high : value;
}

const std::int64_t kLastTick = 0xFFFFFFFF;

std::uint32_t Ticks(std::int64_t value, std::int64_t low)
{
    return static_cast<std::uint32_t>(Clamp(value, low, kLastTick));
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

Minstd::Minstd(std::uint32_t seed)
{
    std::uint32_t s = seed % static_cast<std::uint32_t>(kModulus);
    state_ = static_cast<std::int32_t>(s == 0 ? 1 : s);
}

std::int32_t Minstd::Next()
{
    const std::int32_t high = state_ / kQuotient;
    const std::int32_t low = state_ - high * kQuotient;
    std::int32_t next = kMultiplier * low - kRemainder * high;
    if (next <= 0)
        next += kModulus;
    state_ = next;
    return next;
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

// The last note visited of one voice (track, channel and pitch): which it
// is, and where it started and ended before it was humanized.
struct VoiceLast {
    std::uint32_t index = 0;
    std::uint32_t start = 0;
    std::int64_t end = -1;  // -1: none yet
};

// VoiceLast by voice: a flat table for the usual few tracks, a hash table
// beyond.
class Voices {
public:
    explicit Voices(std::uint32_t tracks)
    {
        if (tracks <= kFlatTracks)
            flat_.resize(static_cast<std::size_t>(tracks) * kPerTrack);
    }
    VoiceLast& operator[](const Note& note)
    {
        const std::uint64_t key =
            static_cast<std::uint64_t>(note.track) * kPerTrack + note.channel * 128u + note.pitch;
        return flat_.empty() ? map_[key] : flat_[key];
    }

private:
    static const std::uint32_t kPerTrack = 16 * 128;
    static const std::uint32_t kFlatTracks = 64;
    std::vector<VoiceLast> flat_;
    std::unordered_map<std::uint64_t, VoiceLast> map_;
};

void Account(FieldSummary& field, std::int64_t was, std::int64_t now)
{
    const std::int64_t offset = now - was;
    if (offset != 0)
        ++field.changed;
    field.meanOffset += static_cast<double>(offset);
    if (std::llabs(offset) > std::llabs(field.largestOffset))
        field.largestOffset = offset;
}

}  // namespace

Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed)
{
    Summary summary;
    summary.notes = static_cast<std::int64_t>(notes.size());
    const std::size_t n = notes.size();

    // The draw order.
    std::vector<std::uint32_t> order(n);
    std::uint32_t tracks = 0;
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = static_cast<std::uint32_t>(i);
        tracks = std::max(tracks, notes[i].track + 1);
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Note& x = notes[a];
        const Note& y = notes[b];
        if (x.start != y.start) return x.start < y.start;
        if (x.pitch != y.pitch) return x.pitch < y.pitch;
        if (x.channel != y.channel) return x.channel < y.channel;
        if (x.track != y.track) return x.track < y.track;
        return a < b;
    });
    // A note's length may still be trimmed after its own turn, by the next
    // note of its voice: the lengths' summary waits for the end.
    std::vector<std::uint32_t> originalLength(n);
    for (std::size_t i = 0; i < n; ++i)
        originalLength[i] = notes[i].length;

    Minstd random(seed);
    // The timing draw of the chord being visited, per track: chords of
    // different tracks at one tick interleave in the draw order.
    struct ChordDraw {
        std::uint32_t track;
        int draw;
    };
    std::vector<ChordDraw> chords;
    std::int64_t chordsAt = -1;  // no tick yet
    const bool moves = strengths.timing > 0 || strengths.length > 0;
    Voices voices(moves ? tracks : 0);
    for (std::uint32_t index : order) {
        Note& note = notes[index];
        const std::uint32_t wasStart = note.start;
        const std::uint8_t wasVelocity = note.velocity;
        if (static_cast<std::int64_t>(note.start) != chordsAt) {
            chords.clear();
            chordsAt = note.start;
        }
        int timingDraw = 0;
        bool found = false;
        for (const ChordDraw& chord : chords)
            if (chord.track == note.track) {
                timingDraw = chord.draw;
                found = true;
            }
        if (!found) {
            timingDraw = random.Triangular();
            chords.push_back({note.track, timingDraw});
        }
        const int lengthDraw = random.Triangular();
        const int velocityDraw = random.Triangular();

        if (strengths.timing > 0)
            note.start = Ticks(static_cast<std::int64_t>(note.start) +
                                   ScaledOffset(timingDraw, static_cast<std::int64_t>(tpq) * strengths.timing, 792),
                               0);
        if (strengths.length > 0)
            note.length = Ticks(static_cast<std::int64_t>(note.length) +
                                    ScaledOffset(lengthDraw, static_cast<std::int64_t>(note.length) * strengths.length, 396),
                                1);
        if (strengths.velocity > 0 && note.velocity > 0)
            note.velocity = static_cast<std::uint8_t>(
                Clamp(note.velocity + ScaledOffset(velocityDraw, 20 * strengths.velocity, 99), 1, 127));

        // The note before in the same voice, visited already: this note
        // starts no earlier than it (strictly later where it was strictly
        // later), and where they did not overlap they still do not.
        if (moves) {
            VoiceLast& last = voices[note];
            if (last.end >= 0) {
                Note& earlier = notes[last.index];
                const std::int64_t earliest =
                    static_cast<std::int64_t>(earlier.start) + (wasStart > last.start ? 1 : 0);
                if (note.start < earliest)
                    note.start = Ticks(earliest, 0);
                if (last.end <= wasStart &&
                    static_cast<std::int64_t>(earlier.start) + earlier.length > note.start)
                    earlier.length = Ticks(static_cast<std::int64_t>(note.start) - earlier.start, 1);
            }
            last.index = index;
            last.start = wasStart;
            last.end = static_cast<std::int64_t>(wasStart) + originalLength[index];
        }
        Account(summary.timing, wasStart, note.start);
        Account(summary.velocity, wasVelocity, note.velocity);
    }
    for (std::size_t i = 0; i < n; ++i)
        Account(summary.length, originalLength[i], notes[i].length);
    if (n > 0) {
        summary.timing.meanOffset /= static_cast<double>(n);
        summary.length.meanOffset /= static_cast<double>(n);
        summary.velocity.meanOffset /= static_cast<double>(n);
    }
    return summary;
}

}  // namespace humanize
