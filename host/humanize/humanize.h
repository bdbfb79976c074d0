// The humanizer: varies the start, length and velocity of notes by bounded
// random amounts that grow linearly with three strengths 0..99. Portable
// C++ with no platform headers; the companion script grooble.cal applies
// the same mapping with the same generator.
#ifndef GROOBLE_HUMANIZE_H
#define GROOBLE_HUMANIZE_H

#include <cstdint>
#include <vector>

namespace humanize {

// One note: where it starts and how long it lasts in ticks (a MIDI file's
// times are 32-bit), its velocity (1..127), and what it belongs to. Chords
// are notes of one track that start together. 16 bytes, for files of
// millions of notes.
struct Note {
    std::uint32_t track = 0;
    std::uint32_t start = 0;
    std::uint32_t length = 1;
    std::uint8_t channel = 0;
    std::uint8_t pitch = 0;
    std::uint8_t velocity = 64;
};

struct Strengths {
    int timing = 0;
    int length = 0;
    int velocity = 0;
};

// The strengths of a packed value as GrooblerDialog returns it: timing *
// 10000 + length * 100 + velocity. False for a value outside 0..999999 or
// with a field above 99.
bool UnpackResult(long packed, Strengths* strengths);

// MINSTD (Park and Miller's minimal standard generator, x' = 16807 x mod
// (2^31 - 1)), computed by Schrage's method so that no step leaves signed
// 32-bit arithmetic: the script language of the host has nothing wider.
// A seed of 0, or one at or above the modulus, is mapped into 1..2^31-2.
class Minstd {
public:
    explicit Minstd(std::uint32_t seed);
    std::int32_t Next();
    // A uniform whole number 0..255: the top 8 of the generator's 31 bits.
    int Byte() { return Next() / 8388608; }
    // The bell-shaped unit draw: the difference of two uniform draws,
    // -255..255, triangular around 0.
    int Triangular() { const int a = Byte(); return a - Byte(); }

private:
    std::int32_t state_;
};

// The largest offset of each field, in 1/255 units of the draw: an offset
// is round(r * numerator / denominator) for a draw r of -255..255.
//   timing:   TPQ * s / 792 ticks    (s = 99: a 32nd note)
//   length:   L * s / 396 ticks      (s = 99: a quarter of the note)
//   velocity: 20 * s / 99 steps      (s = 99: 20 steps)
// Rounding is half away from zero, so the offsets have no drift.
std::int64_t ScaledOffset(int draw, std::int64_t numerator, std::int64_t denominator);

struct FieldSummary {
    std::int64_t changed = 0;       // notes whose field changed
    double meanOffset = 0;          // mean signed change over all notes
    std::int64_t largestOffset = 0; // largest change by size
};

struct Summary {
    std::int64_t notes = 0;
    FieldSummary timing, length, velocity;
};

// Humanizes notes in place. tpq is the file's ticks per quarter note.
//  - A strength of 0 leaves its field exactly as it was.
//  - The notes of a chord (one track, one start) move together.
//  - Starts stay at or after tick 0, lengths at 1 tick or more, velocities
//    within 1..127 (a note of velocity 0 is left alone).
//  - Notes of one pitch on one channel of one track keep their order, and
//    where they did not overlap before they do not overlap after.
//  - Draws come from one Minstd seeded with seed, in a fixed order: the
//    notes sorted by start, pitch, channel and track; each chord's first
//    note draws the chord's timing, then every note draws its length and
//    velocity. Every draw is taken whatever the strengths, so that
//    changing one strength never changes the others' offsets, and raising
//    a strength only scales the same pattern.
Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed);

}  // namespace humanize

#endif
