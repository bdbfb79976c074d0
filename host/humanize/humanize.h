// The humanizer: varies the start, length and velocity of notes by bounded
// random amounts that grow linearly with three strengths 0..99. Portable
// C++ with no platform headers; the companion script grooble.cal applies
// the same mapping with the same generator and the same seeding.
#ifndef GROOBLE_HUMANIZE_H
#define GROOBLE_HUMANIZE_H

#include <cstdint>
#include <vector>

namespace humanize {

// What the caller and the humanizer tell each other about a note.
enum NoteFlags : std::uint8_t {
    kLeaveAlone = 1,       // not selected: untouched, and takes no draws
    kKeepTimes = 2,        // its start and length must stay (velocity may change)
    kOffIsNoteOn = 4,      // its note-off is a note-on of velocity 0 (for the writer)
    kTimesChanged = 8,     // set by Humanize: its start or length changed
    kVelocityChanged = 16, // set by Humanize: its velocity changed
    // 32, 64 and 128 are the humanizer's own while it runs; it clears them.
};

// One note: where it starts and how long it lasts in ticks (a MIDI file's
// times are 32-bit), its velocity (1..127), and what it belongs to. A lane
// is one track and channel: one player. A voice is one lane and pitch. onEvent and offEvent say where its two events are in
// its track, offVelocity is the note-off's second byte: the file's
// business, which the humanizer leaves alone. 24 bytes, for files of
// millions of notes.
struct Note {
    std::uint32_t start = 0;
    std::uint32_t length = 1;
    std::uint32_t onEvent = 0;
    std::uint32_t offEvent = 0;
    std::uint16_t track = 0;
    std::uint8_t channel = 0;
    std::uint8_t pitch = 0;
    std::uint8_t velocity = 64;
    std::uint8_t offVelocity = 0;
    std::uint8_t flags = 0;
};

// A program change of a channel: no note of that channel is moved across
// it, so that every note keeps the sound it had. event is its index in its
// track, which orders it against notes on its own tick.
struct ProgramChange {
    std::uint32_t time = 0;
    std::uint32_t event = 0;
    std::uint16_t track = 0;
    std::uint8_t channel = 0;
};

// A note event that belongs to no note: a note-off with nothing to end, or
// a note-on never ended. No note of its voice moves across it, or reading
// the file again would pair note-ons and note-offs differently.
struct StrayNoteEvent {
    std::uint32_t time = 0;
    std::uint32_t event = 0;
    std::uint16_t track = 0;
    std::uint8_t channel = 0;
    std::uint8_t pitch = 0;
    bool on = false;
};

// The events that stay where they are and that notes must not cross.
struct FixedEvents {
    std::vector<ProgramChange> programs;
    std::vector<StrayNoteEvent> strays;
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

// The generator's modulus, 2^31 - 1.
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

// MINSTD (Park and Miller's minimal standard generator, x' = 16807 x mod
// (2^31 - 1)), computed by Schrage's method so that no step leaves signed
// 32-bit arithmetic: the script language of the host has nothing wider.
// A state of 0, or one at or above the modulus, is mapped into 1..2^31-2.
class Minstd {
public:
    explicit Minstd(std::uint32_t state);
    // 16807 x mod (2^31 - 1): the same numbers as Schrage's method gives.
    std::int32_t Next()
    {
        state_ = Times(state_, 16807);
        return state_;
    }
    // A uniform whole number 0..255: the top 8 of the generator's 31 bits.
    int Byte() { return Top(Next()); }
    // The bell-shaped unit draw: the difference of two uniform draws,
    // -255..255, triangular around 0.
    int Triangular() { const int a = Byte(); return a - Byte(); }
    // The next two triangular draws, as two calls of Triangular give them;
    // the four states are worked out from this one side by side (16807^k
    // mod 2^31 - 1 for k = 1..4), not one after another.
    void TwoTriangular(int* first, int* second)
    {
        const std::int32_t x = state_;
        const int a = Top(Times(x, 16807)), b = Top(Times(x, 282475249));
        const int c = Top(Times(x, 1622650073));
        state_ = Times(x, 984943658);
        *first = a - b;
        *second = c - Top(state_);
    }

private:
    static std::int32_t Times(std::int32_t x, std::uint32_t multiplier) { return TimesModulo(x, multiplier); }
    // The top 8 of a state's 31 bits.
    static int Top(std::int32_t x) { return static_cast<int>(static_cast<std::uint32_t>(x) >> 23); }

    std::int32_t state_;
};

// x * multiplier mod (2^31 - 1) for x in 0..2^31-2 and a multiplier of at
// most 46340, by Schrage's method in signed 32-bit arithmetic.
std::int32_t MultiplyModulo(std::int32_t x, std::int32_t multiplier);

// The generator's first state for a seed. MINSTD is linear: started from
// k * s it gives k times the draws of s. So the seed (0..2^31 - 2, which
// plus one are the generator's states; larger seeds are folded into that
// range and would repeat smaller ones, so callers offer only these) is
// scrambled by three rounds of a MINSTD step and a multiplication by a
// number taken from the value itself (x * (x mod 40000 + 2)), which is not
// linear. The multiplication is not one-to-one: of the seeds 0..2^31 - 2,
// 1,344,221,716 share their first state with a smaller seed, so the seeds
// give some 803 million different patterns of moves (two seeds chosen at
// random meet one in 803 million times). Only signed 32-bit arithmetic, as
// the script can do it. Returns 1..2^31-2.
std::int32_t ScrambleSeed(std::uint32_t seed);

// The first state of the generator of one lane (groobler) or run (the
// script), numbered from 0 in the order they are humanized: the scrambled
// seed plus the number, modulo 2^31 - 1 (0 taken as 1), then two rounds of
// the scramble. Each lane drawing on its own, its moves do not depend on
// the order the host visits lanes in. Returns 1..2^31-2.
std::int32_t LaneState(std::int32_t scrambled, std::uint32_t lane);

// A seed from the notes themselves, for a run given none: the sum, modulo
// 2^31 - 1, of one scrambled term per note made from its start, pitch,
// velocity and channel. A sum does not depend on the order the notes are visited in,
// which the host chooses; the same selection of the same song gives the
// same seed, and another selection another one. Notes marked kLeaveAlone
// do not count.
std::uint32_t SeedFromNotes(const std::vector<Note>& notes);
// One note's term of that sum: 0..2^31-2. The channel counts, so that a
// part doubled on another channel and humanized on its own moves otherwise.
std::int32_t NoteSeedTerm(std::uint32_t start, int pitch, int velocity, int channel);

// The largest offset of each field, in 1/255 units of the draw: an offset
// is round(r * numerator / denominator) for a draw r of -255..255.
//   timing:   TPQ * s / 792 ticks    (s = 99: a 32nd note)
//   length:   L * s / 396 ticks      (s = 99: a quarter of the note)
//   velocity: 20 * s / 99 steps      (s = 99: 20 steps)
// Rounding is half away from zero, so the offsets have no bias.
std::int64_t ScaledOffset(int draw, std::int64_t numerator, std::int64_t denominator);

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

// The largest timing move at a strength, in ticks: TPQ * s / 792, rounded.
std::int64_t LargestMove(int tpq, int timing);

// Whether a note starting at start joins the gesture that began at first:
// within a 64th note (TPQ / 16 ticks) of the gesture's first start.
inline bool InGesture(std::uint32_t first, std::uint32_t start, int tpq)
{
    return std::uint64_t{start - first} * 16 <= static_cast<std::uint64_t>(tpq);
}

// Humanizes notes in place. tpq is the file's ticks per quarter note. The
// rule: moves are kept, and ends give way.
//  - A strength of 0 leaves its field bit-identical, whatever the others
//    (lengths at 0 change only as the next rules need).
//  - Gestures: the notes of one lane whose starts lie within a 64th note of
//    the first start of their gesture (a chord, a played chord, a flam, a
//    roll) move as a whole by one draw, their inner intervals exact.
//    Gestures of a lane keep their order, one tick apart at least; lanes
//    move apart, even within one track.
//  - A start is limited only where two gestures of a lane would meet, or
//    where a program change of its channel or a stray note event of its
//    voice would be crossed; never to spare a length.
//  - Ends give way. A note that touched or overlapped the next note of its
//    voice keeps doing so: its end follows that note's new start (by as
//    much as it overlapped, and never past that note's end, so that
//    note-ons and note-offs pair as read). Any other note takes its length
//    change, and its end is cut back to the next note of its voice where it
//    would run into it.
//  - Starts stay at or after tick 0, ends at or before tick 2^32 - 1,
//    lengths at 1 tick or more (a note 0 ticks long stays so at length
//    0), velocities within 1..127 (a note of velocity 0 is left alone).
//  - Draws come from one Minstd per lane, started at LaneState of
//    ScrambleSeed(seed) and the lane's number (lanes by track, then
//    channel, counting only those with notes to humanize), in a fixed
//    order: the lane's notes by start and pitch; each gesture's first note
//    draws the gesture's timing, then every note draws its length and
//    velocity. Every draw is taken whatever the strengths,
//    so that changing one strength never changes the others' offsets, and
//    raising a strength only scales the same pattern (up to the limits).
// Sets kTimesChanged and kVelocityChanged on the notes it changed.
Summary Humanize(std::vector<Note>& notes, int tpq, const Strengths& strengths, std::uint32_t seed,
                 const FixedEvents& fixed = FixedEvents());

}  // namespace humanize

#endif
