// The humanizer: varies the start, length and velocity of notes by bounded
// random amounts that grow linearly with three strengths 0..99. Portable
// C++ with no platform headers. The rules are numbered in
// docs/algorithm.md (R1, R2, ...), which also says which of them the
// companion script grooble.cal keeps, and how.
#ifndef GROOBLE_HUMANIZE_H
#define GROOBLE_HUMANIZE_H

#include <cstdint>
#include <vector>

#include "notes.h"

namespace humanize {

struct Strengths {
    int timing = 0;
    int length = 0;
    int velocity = 0;
};

// The strengths of a packed value as GrooblerDialog returns it: timing *
// 10000 + length * 100 + velocity. False for a value outside 0..999999 or
// with a field above 99.
bool UnpackResult(long packed, Strengths* strengths);

// The generator's modulus, 2^31 - 1 (R5).
const std::int32_t kModulus = 2147483647;

// x * multiplier mod (2^31 - 1) for x and multiplier below it, in 64 bits:
// the product's high bits folded onto its low 31, as 2^31 = 1 modulo
// 2^31 - 1. One subtraction at most is left, since the product of two
// numbers the prime modulus does not divide is never 0. The same numbers
// as MultiplyModulo, the script's way, gives.
inline std::int32_t TimesModulo(std::int32_t x, std::uint32_t multiplier)
{
    std::uint64_t product = static_cast<std::uint64_t>(x) * multiplier;
    product = (product & 0x7FFFFFFF) + (product >> 31);
    return static_cast<std::int32_t>(product >= 0x7FFFFFFF ? product - 0x7FFFFFFF : product);
}

// x * multiplier mod (2^31 - 1) for x in 0..2^31-1 and a multiplier of at
// most 46340, by Schrage's method in signed 32-bit arithmetic, as the
// script works it.
std::int32_t MultiplyModulo(std::int32_t x, std::int32_t multiplier);

// The seed's first scramble (R5): folded into 1..2^31-2, then three rounds
// of a MINSTD step and a multiplication by (x mod 40000 + 2), which is not
// linear, so that nearby seeds and multiples of a seed give unrelated
// draws. Only signed 32-bit arithmetic, as the script can do it. Returns
// 1..2^31-2.
std::int32_t ScrambleSeed(std::uint32_t seed);

// The draws, made from the note and the seed alone (R5 to R8): a
// counter-based generator. Nothing depends on the order the notes are
// visited in, or on which other notes there are, so a host that visits a
// selection track by track, clip by clip and a tick's notes in any order
// draws the same as groobler.
class KeyedDraws {
public:
    explicit KeyedDraws(std::uint32_t seed);
    // R6: the hash of one channel and start.
    std::int32_t StartHash(int channel, std::uint32_t start) const;
    // R7: the hash of one note of that start, by its key.
    static std::int32_t NoteHash(std::int32_t startHash, int pitch);
    // R8: the k-th (0..3) of a hash's four uniform numbers 0..127.
    static int Uniform(std::int32_t hash, int k) { return hash >> (24 - 7 * k) & 127; }
    // The run's keys (R5): the base added to a start, the multiplier.
    std::int32_t Base() const { return base_; }
    std::int32_t Multiplier() const { return multiplier_; }

private:
    std::int32_t base_;
    std::int32_t multiplier_;
};

// A seed from the notes themselves, for a run given none (R4): the sum of
// one term per note, (start mod 46337 + 1) * (key * 128 + velocity),
// modulo 1,000,000,007 and taken in 1..1,000,000,007 (0 for no notes or
// none with a term). A sum does not depend on the order the notes are
// visited in, which the host chooses; the same selection of the same song
// gives the same seed, and another selection another one. Notes marked
// kLeaveAlone do not count.
std::uint32_t SeedFromNotes(const std::vector<Note>& notes);
// One note's term of that sum.
std::int64_t NoteSeedTerm(std::uint32_t start, int pitch, int velocity);

// R9: the change of a field for a draw r = u1 - u2 (-127..127) of two
// uniform numbers 0..127, a triangular draw: round(r / 127 * numerator /
// denominator), halves away from zero, so the changes have no bias and
// grow with the strength.
//   timing:   TPQ * s / 792 ticks    (s = 99: a 32nd note)
//   length:   L * s / 396 ticks      (s = 99: a quarter of the note)
//   velocity: 20 * s / 99 steps      (s = 99: 20 steps)
inline std::int64_t ScaledOffset(int draw, std::int64_t numerator, std::int64_t denominator)
{
    const std::int64_t size = (2 * (draw < 0 ? -draw : draw) * numerator + 127 * denominator) / (2 * 127 * denominator);
    return draw < 0 ? -size : size;
}

struct FieldSummary {
    std::int64_t changed = 0;       // notes whose field changed
    double meanOffset = 0;          // mean signed change over all notes
    std::int64_t largestOffset = 0; // largest change by size
};

struct Summary {
    std::int64_t notes = 0;         // notes humanized (not left alone)
    FieldSummary timing, length, velocity;
    std::int64_t endsJoined = 0;    // ends moved to keep touching (or overlapping) the next note of the voice
    std::int64_t endsTrimmed = 0;   // ends cut back so as not to run into the next note of the voice
};

// The largest timing move at a strength, in ticks: TPQ * s / 792, rounded (R9).
std::int64_t LargestMove(int tpq, int timing);

// Whether a note starting at start joins the gesture that began at first:
// within a 64th note (TPQ / 16 ticks) of the gesture's first start (R3).
inline bool InGesture(std::uint32_t first, std::uint32_t start, int tpq)
{
    return std::uint64_t{start - first} * 16 <= static_cast<std::uint64_t>(tpq);
}

// Humanizes notes in place. tpq is the file's ticks per quarter note. The
// rule: moves are kept, and ends give way (docs/algorithm.md).
//  - R16: a strength of 0 leaves its field bit-identical, whatever the
//    others (lengths at 0 change only as R13 and R14 need).
//  - R3, R10: the notes of one lane whose starts lie within a 64th note of
//    the first start of their gesture (a chord, a played chord, a flam, a
//    roll) move as a whole by one draw, their inner intervals exact.
//  - R11, R12: a start is limited only where two gestures of a lane would
//    meet, or where a program change of its channel or a stray note event
//    of its voice would be crossed; never to spare a length.
//  - R13, R14: ends give way. A note that touched or overlapped the next
//    note of its voice keeps doing so; any other takes its length change
//    and is cut back to the next note of its voice where it would run into
//    it.
//  - R15: velocities within 1..127; a note of velocity 0 is left alone.
//  - R5 to R8: each draw is keyed by the seed and the note (a gesture's
//    timing by its channel and first start, a note's length and velocity
//    by its channel, start and key), so that nothing depends on the order
//    the notes come in or on the other notes, one strength never changes
//    another's offsets, and raising a strength only scales the same
//    pattern (up to the limits).
// Sets kTimesChanged and kVelocityChanged on the notes it changed.
Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed,
                 const FixedEvents& fixed = FixedEvents());

}  // namespace humanize

#endif
