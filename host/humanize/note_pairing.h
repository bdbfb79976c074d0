// Pairs a track's note events into notes, in one pass over its checked
// bytes: each note-on waits in its voice's queue, first in, first out,
// until a note-off of the voice ends it. What the pass also finds: the
// program changes, the stray note events (a note-off with nothing to end;
// the note-ons still waiting at the track's end), the second releases of a
// note (R17), and the spans of split system-exclusive messages.
#ifndef GROOBLE_NOTE_PAIRING_H
#define GROOBLE_NOTE_PAIRING_H

#include <array>
#include <cstdint>
#include <vector>

#include "midi_file.h"
#include "track_walk.h"

namespace humanize {

class NotePairing {
public:
    explicit NotePairing(MidiFile* file);

    // Pairs the track of chunk, the file's track-th, placing its notes from
    // first on: channel by channel (ons holds each channel's note-ons), and
    // within a channel in the order of their note-ons. Sets the chunk's
    // notes and longest note. Returns the place after its last note.
    std::uint32_t PairTrack(MidiChunk* chunk, std::uint16_t track, const std::array<std::uint32_t, 16>& ons,
                            std::uint32_t first);

private:
    struct Voice {
        std::vector<std::uint32_t> waiting;  // places of its notes not yet ended, first first,
        std::size_t head = 0;                // from here on
        std::uint32_t lastEnded = 0;         // the place of the note that ended last, if any did
        bool used = false;                   // it had a note-on in this track
    };
    void NoteOn(std::uint32_t voice, std::uint32_t place, const Event& e);
    void NoteOff(std::uint32_t voice, const Event& e);
    void Other(const Event& e);
    void EndTrack();

    MidiFile* file_;
    std::vector<Voice> voices_;
    std::vector<std::uint32_t> used_;  // voices with note-ons in this track, in the order of their first
    std::uint16_t track_ = 0;
    std::uint32_t longest_ = 0;
    std::size_t firstEcho_ = 0;        // this track's second releases begin here
    bool splitOpen_ = false;           // a system-exclusive message goes on in F7 packets
    std::uint32_t splitStart_ = 0;
    std::uint32_t lastTime_ = 0;       // of the track's last event but the notes'
};

}  // namespace humanize

#endif
