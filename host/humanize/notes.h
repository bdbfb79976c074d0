// The notes and the events that stay where they are: what the file layer
// reads and writes, and what the humanizer moves. Below both.
#ifndef GROOBLE_NOTES_H
#define GROOBLE_NOTES_H

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
// is one track and channel; a voice is one lane and pitch. onEvent and
// offEvent say where its two events are in its track; offVelocity is the
// note-off's second byte: the file's business, which the humanizer leaves
// alone. 24 bytes, for files of millions of notes.
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

}  // namespace humanize

#endif
