// Standard MIDI Files, formats 0 and 1, read into events that keep their
// place in the file's bytes and written back so that a file whose notes
// did not change comes out byte for byte as it went in. Portable C++ with
// no platform headers.
#ifndef GROOBLE_MIDI_FILE_H
#define GROOBLE_MIDI_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "humanize.h"

namespace humanize {

// One event of a track. Its bytes after the status byte stay in the file's
// buffer (data, size); a note-on's velocity is kept here so that it can be
// changed without touching the buffer.
struct MidiEvent {
    std::uint32_t time;      // absolute, in ticks
    std::uint32_t data;      // offset of the bytes after the status byte
    std::uint32_t size;      // their count (for sysex and meta: all of them)
    std::uint8_t status;
    std::uint8_t velocity;   // note-on and note-off: the second data byte
    std::uint8_t deltaBytes; // how many bytes its delta time took
    std::uint8_t running;    // 1 when the file left its status byte out
};

struct MidiChunk {
    bool track;                    // an MTrk chunk, else one passed through
    std::uint32_t offset, size;    // of the chunk's body, for others
    std::vector<MidiEvent> events; // for tracks
};

struct MidiFile {
    std::vector<std::uint8_t> bytes;  // the file as read
    std::uint16_t format = 0;
    std::uint16_t division = 0;       // ticks per quarter note
    std::uint32_t headerSize = 0;     // bytes of the MThd chunk, header included
    std::vector<MidiChunk> chunks;
};

struct MidiError {
    std::size_t offset = 0;
    std::string expected;
    std::string Describe() const;
};

// Reads a whole file's bytes. On a malformed file, false with the offset of
// the first byte that is wrong and what was expected there.
bool ReadMidi(std::vector<std::uint8_t> bytes, MidiFile* file, MidiError* error);

std::vector<std::uint8_t> WriteMidi(const MidiFile& file);

// Where a note's two events are: track index (among MTrk chunks), and the
// indices of its note-on and note-off in that track's events.
struct NoteLink {
    std::uint32_t chunk;
    std::uint32_t on, off;
};

// Every note of the file: a note-on with a velocity above 0 paired with the
// next note-off (or note-on of velocity 0) of its channel and pitch in its
// track, first on with first off. A note-on never ended is no note.
std::vector<Note> CollectNotes(const MidiFile& file, std::vector<NoteLink>* links);

// Puts the notes' new starts, lengths and velocities into their events,
// re-orders each changed track by time (events at one tick keep their
// order) and moves its end-of-track past its last event when needed.
void ApplyNotes(MidiFile* file, const std::vector<Note>& notes, const std::vector<NoteLink>& links);

}  // namespace humanize

#endif
