// Standard MIDI Files, formats 0, 1 and 2: read into notes that know where
// their events are, and written back so that a track whose notes did not
// change comes out byte for byte as it went in. Reading and writing only:
// what may be humanized is humanize_file.h's business. Portable C++ with
// no platform headers.
#ifndef GROOBLE_MIDI_FILE_H
#define GROOBLE_MIDI_FILE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "notes.h"

namespace humanize {

// The largest delta time a file can hold: four bytes of seven bits.
const std::uint32_t kLargestDelta = 0x0FFFFFFF;

struct MidiChunk {
    bool track = false;              // an MTrk chunk, else foreign ones in a row, passed through
    std::uint32_t offset = 0;        // of the chunk's body
    std::uint32_t size = 0;
    std::uint32_t events = 0;        // for tracks: its events, end-of-track included
    std::uint32_t firstNote = 0;     // its notes in MidiFile::notes
    std::uint32_t noteCount = 0;
    std::uint32_t largestGap = 0;    // its largest delta time
    std::uint32_t longestNote = 0;   // the length of its longest note, as read
};

struct MidiFile {
    std::vector<std::uint8_t> bytes;  // the file as read
    std::uint16_t format = 0;
    std::uint16_t division = 0;       // ticks per quarter note
    std::uint32_t headerSize = 0;     // bytes of the MThd chunk, header included
    std::uint16_t tracks = 0;
    std::vector<MidiChunk> chunks;
    // Every note, track by track: a note-on with a velocity above 0 paired
    // with the next note-off (or note-on of velocity 0) of its channel and
    // pitch in its track, first on with first off. A note-on never ended,
    // or a note-off with nothing to end, is no note: it stays where it is,
    // among the fixed events with the program changes.
    std::vector<Note> notes;
    FixedEvents fixed;
    // Split system-exclusive messages: from the tick of the F0 packet to
    // that of the F7 packet that ends it. No note event may come between.
    struct SysexSpan {
        std::uint16_t track;
        std::uint32_t first, last;
    };
    std::vector<SysexSpan> sysexSpans;
    // A second note-off of a note's voice after its end and before the
    // voice's next note-on, with nothing left to end (often where a played
    // note is released twice): no stray, but part of the note's release
    // (R17), written distance ticks after its note-off wherever the end
    // goes (right after it at 0), so that the note's length is free and
    // reading again pairs the same way. In the order of note.
    struct EchoOff {
        std::uint32_t note;   // in notes
        std::uint32_t event;  // among its track's events
        std::uint8_t status;
        std::uint8_t velocity;
        std::uint32_t distance;  // ticks after the note's end
    };
    std::vector<EchoOff> echoOffs;
};

// The tick a note's note-off comes on, within a file's 32 bits.
inline std::uint32_t EndOf(const Note& note)
{
    const std::uint64_t end = std::uint64_t{note.start} + note.length;
    return end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(end);
}

struct MidiError {
    std::size_t offset = 0;
    std::string expected;
    std::string Describe() const;
};

// Reads a whole file's bytes. On a malformed file, false with the offset of
// the first byte that is wrong and what was expected there.
bool ReadMidi(std::vector<std::uint8_t> bytes, MidiFile* file, MidiError* error);

// Writes the file through sink, chunk by chunk. A track none of whose
// notes changed is written byte for byte as read; one whose notes changed
// only their velocities, likewise with those bytes changed; others in time
// order (events at one tick keep their order), with the end-of-track moved
// past the last note where needed. It stops at the first write the sink
// refuses, or at a track in which a gap between two events grew past what
// a delta time holds (the humanizer's guards keep that from happening),
// and says which.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;
enum class Written { kAll, kRefused, kGapTooLarge };
Written WriteMidi(const MidiFile& file, const ByteSink& sink);

// The whole file in memory.
std::vector<std::uint8_t> WriteMidi(const MidiFile& file);

}  // namespace humanize

#endif
