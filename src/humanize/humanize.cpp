#include "humanize.h"

#include <algorithm>
#include <cstdlib>

namespace groove {

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

Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed)
{
    Summary summary;
    summary.notes = static_cast<std::int64_t>(notes.size());
    const std::size_t n = notes.size();
    const std::vector<Note> original = notes;

    // The draw order.
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Note& x = original[a];
        const Note& y = original[b];
        if (x.start != y.start) return x.start < y.start;
        if (x.pitch != y.pitch) return x.pitch < y.pitch;
        if (x.channel != y.channel) return x.channel < y.channel;
        if (x.track != y.track) return x.track < y.track;
        return a < b;
    });

    Minstd random(seed);
    // The timing draw of the chord being visited, per track: chords of
    // different tracks at one tick interleave in the draw order.
    struct ChordDraw {
        std::uint32_t track;
        std::uint32_t start;
        int draw;
    };
    std::vector<ChordDraw> chords;
    std::int64_t chordsAt = -1;  // no tick yet
    for (std::uint32_t index : order) {
        Note& note = notes[index];
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
            chords.push_back({note.track, note.start, timingDraw});
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
    }

    // Notes of one pitch, channel and track, in their original order: each
    // starts no earlier than the one before (strictly later where it was
    // strictly later), and one that did not overlap the next still does not.
    if (strengths.timing > 0 || strengths.length > 0) {
        std::vector<std::uint32_t> voices(order);
        std::stable_sort(voices.begin(), voices.end(), [&](std::uint32_t a, std::uint32_t b) {
            const Note& x = original[a];
            const Note& y = original[b];
            if (x.track != y.track) return x.track < y.track;
            if (x.channel != y.channel) return x.channel < y.channel;
            return x.pitch < y.pitch;
        });
        for (std::size_t k = 1; k < n; ++k) {
            const std::uint32_t before = voices[k - 1];
            const std::uint32_t here = voices[k];
            const Note& a = original[before];
            const Note& b = original[here];
            if (a.track != b.track || a.channel != b.channel || a.pitch != b.pitch)
                continue;
            Note& earlier = notes[before];
            Note& later = notes[here];
            const std::int64_t earliest =
                static_cast<std::int64_t>(earlier.start) + (b.start > a.start ? 1 : 0);
            if (later.start < earliest)
                later.start = Ticks(earliest, 0);
            if (static_cast<std::int64_t>(a.start) + a.length <= b.start &&
                static_cast<std::int64_t>(earlier.start) + earlier.length > later.start)
                earlier.length = Ticks(static_cast<std::int64_t>(later.start) - earlier.start, 1);
        }
    }

    auto account = [&](FieldSummary& field, std::int64_t was, std::int64_t now) {
        const std::int64_t offset = now - was;  // from 32-bit values: exact
        if (offset != 0) ++field.changed;
        field.meanOffset += static_cast<double>(offset);
        if (std::llabs(offset) > std::llabs(field.largestOffset)) field.largestOffset = offset;
    };
    for (std::size_t i = 0; i < n; ++i) {
        account(summary.timing, original[i].start, notes[i].start);
        account(summary.length, original[i].length, notes[i].length);
        account(summary.velocity, original[i].velocity, notes[i].velocity);
    }
    if (n > 0) {
        summary.timing.meanOffset /= static_cast<double>(n);
        summary.length.meanOffset /= static_cast<double>(n);
        summary.velocity.meanOffset /= static_cast<double>(n);
    }
    return summary;
}

}  // namespace groove
