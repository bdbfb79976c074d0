// A MIDI file humanized as a whole: the file's notes, with its own ticks
// per quarter and fixed events, and the guards that keep every file
// written readable. Above both the humanizer and the file code, which
// know nothing of each other.
#ifndef GROOBLE_HUMANIZE_FILE_H
#define GROOBLE_HUMANIZE_FILE_H

#include <cstdint>

#include "humanize.h"
#include "midi_file.h"

namespace humanize {

// Humanizes the file's notes (all but those marked kLeaveAlone). First the
// notes of every track where moves of these strengths could open a gap
// between two events wider than a delta time can hold (a track with gaps
// of some 2^28 ticks) are marked kKeepTimes, so that every file written
// can be read again, and so are the notes that could reach into a split
// system-exclusive message, and a note released twice whose end could
// reach a note-on of its voice that is never ended.
Summary HumanizeFile(MidiFile* file, const Strengths& strengths, std::uint32_t seed);

}  // namespace humanize

#endif
