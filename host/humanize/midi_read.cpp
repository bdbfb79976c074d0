// Reading a Standard MIDI File: the header, the chunks, each track checked
// against the grammar, then its notes paired.
#include <algorithm>
#include <array>
#include <limits>

#include "midi_file.h"
#include "note_pairing.h"
#include "track_walk.h"

namespace humanize {

std::string MidiError::Describe() const
{
    return "at byte " + std::to_string(offset) + ": expected " + expected;
}

bool ReadMidi(std::vector<std::uint8_t> bytes, MidiFile* file, MidiError* error)
{
    file->bytes = std::move(bytes);
    file->chunks.clear();
    file->notes.clear();
    file->fixed = FixedEvents();
    file->sysexSpans.clear();
    file->echoOffs.clear();
    const std::vector<std::uint8_t>& b = file->bytes;
    if (b.size() < 14 || b[0] != 'M' || b[1] != 'T' || b[2] != 'h' || b[3] != 'd')
        return Fail(error, 0, "a MIDI file header chunk (\"MThd\", 14 bytes or more)");
    if (b.size() > std::numeric_limits<std::uint32_t>::max())
        return Fail(error, 0, "a file smaller than 4 GiB");
    const std::uint32_t headerLength = Big32(&b[4]);
    if (headerLength < 6 || headerLength > b.size() - 8)
        return Fail(error, 4, "a header length of at least 6 that fits the file");
    file->format = static_cast<std::uint16_t>(b[8] << 8 | b[9]);
    file->tracks = static_cast<std::uint16_t>(b[10] << 8 | b[11]);
    file->division = static_cast<std::uint16_t>(b[12] << 8 | b[13]);
    // Format 2's tracks are independent patterns: humanized each on its
    // own, as every track is, and written back as they were, format 2.
    if (file->format > 2)
        return Fail(error, 8, "format 0, 1 or 2");
    if (file->format == 0 && file->tracks != 1)
        return Fail(error, 10, "one track in a format 0 file");
    if (file->division & 0x8000)
        return Fail(error, 12, "ticks per quarter note (SMPTE time is not supported)");
    if (file->division == 0)
        return Fail(error, 12, "a nonzero number of ticks per quarter note");
    file->headerSize = 8 + headerLength;

    // The chunks, each track checked, its note-ons counted by channel so
    // that the notes are held in one list of their size. Foreign chunks in
    // a row are kept as one span of bytes.
    std::size_t at = file->headerSize;
    std::size_t found = 0, notes = 0, programs = 0;
    std::vector<std::array<std::uint32_t, 16>> ons;
    while (at < b.size()) {
        if (b.size() - at < 8)
            return Fail(error, at, "a chunk header (type and length, 8 bytes)");
        const std::uint32_t length = Big32(&b[at + 4]);
        if (length > b.size() - at - 8)
            return Fail(error, at + 4, "a chunk length that fits the file");
        MidiChunk chunk;
        chunk.track = b[at] == 'M' && b[at + 1] == 'T' && b[at + 2] == 'r' && b[at + 3] == 'k';
        chunk.offset = static_cast<std::uint32_t>(at + 8);
        chunk.size = length;
        if (chunk.track) {
            if (++found > file->tracks)
                return Fail(error, at, "no more track chunks than the header says");
            std::array<std::uint32_t, 16> counts = {};
            if (!WalkTrack<true>(b, chunk.offset, chunk.offset + std::size_t{length}, error, [&](const Event& e) {
                    ++chunk.events;
                    chunk.largestGap = std::max(chunk.largestGap, e.delta);
                    if (e.size == 2 && IsNoteOn(e.status, b[e.data + 1]))
                        ++counts[e.status & 0x0F];
                    programs += (e.status & 0xF0) == 0xC0;
                }))
                return false;
            for (const std::uint32_t count : counts)
                notes += count;
            ons.push_back(counts);
        }
        at += 8 + static_cast<std::size_t>(length);
        if (!chunk.track && !file->chunks.empty() && !file->chunks.back().track)
            file->chunks.back().size = static_cast<std::uint32_t>(at - file->chunks.back().offset);
        else
            file->chunks.push_back(std::move(chunk));
    }
    if (found != file->tracks)
        return Fail(error, b.size(), "as many track chunks as the header says");

    file->notes.resize(notes);
    file->fixed.programs.reserve(programs);
    NotePairing pairing(file);
    std::uint16_t track = 0;
    std::uint32_t first = 0;
    for (MidiChunk& chunk : file->chunks)
        if (chunk.track) {
            first = pairing.PairTrack(&chunk, track, ons[track], first);
            ++track;
        }
    file->notes.resize(first);
    std::stable_sort(file->echoOffs.begin(), file->echoOffs.end(),
                     [](const MidiFile::EchoOff& a, const MidiFile::EchoOff& b) { return a.note < b.note; });
    return true;
}

}  // namespace humanize
