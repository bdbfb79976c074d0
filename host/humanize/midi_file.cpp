#include "midi_file.h"

#include <algorithm>
#include <limits>

namespace humanize {

namespace {

const std::uint8_t kMeta = 0xFF;
const std::uint8_t kEndOfTrack = 0x2F;

std::uint32_t Big32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

class Reader {
public:
    Reader(const std::vector<std::uint8_t>& bytes, MidiError* error) : bytes_(bytes), error_(error) {}

    bool Fail(std::size_t at, const char* expected)
    {
        error_->offset = at;
        error_->expected = expected;
        return false;
    }

    // A variable-length quantity of at most four bytes ending before end.
    bool Vlq(std::size_t& at, std::size_t end, std::uint32_t* value, std::uint8_t* used,
             const char* what)
    {
        std::uint32_t result = 0;
        for (std::uint8_t n = 1; n <= 4; ++n) {
            if (at >= end)
                return Fail(at, what);
            const std::uint8_t byte = bytes_[at++];
            result = result << 7 | (byte & 0x7F);
            if (!(byte & 0x80)) {
                *value = result;
                if (used) *used = n;
                return true;
            }
        }
        return Fail(at - 1, "the last byte of a variable-length number (at most 4 bytes)");
    }

    bool Track(std::size_t begin, std::size_t end, std::vector<MidiEvent>* events)
    {
        std::size_t at = begin;
        std::uint64_t time = 0;
        std::uint8_t runningStatus = 0;
        bool ended = false;
        while (at < end) {
            if (ended)
                return Fail(at, "the end of the track chunk after its end-of-track event");
            MidiEvent event = {};
            std::uint32_t delta;
            if (!Vlq(at, end, &delta, &event.deltaBytes, "a delta time"))
                return false;
            time += delta;
            if (time > std::numeric_limits<std::uint32_t>::max())
                return Fail(at, "a track no longer than 2^32 ticks");
            event.time = static_cast<std::uint32_t>(time);
            if (at >= end)
                return Fail(at, "an event after the delta time");
            std::uint8_t status = bytes_[at];
            if (status & 0x80) {
                ++at;
            } else {
                if (runningStatus == 0)
                    return Fail(at, "a status byte (no running status is in effect)");
                status = runningStatus;
                event.running = 1;
            }
            event.status = status;
            if (status < 0xF0) {
                const std::uint32_t count = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (end - at < count)
                    return Fail(end, "the data bytes of a channel message");
                for (std::uint32_t i = 0; i < count; ++i)
                    if (bytes_[at + i] & 0x80)
                        return Fail(at + i, "a data byte (below 0x80)");
                event.data = static_cast<std::uint32_t>(at);
                event.size = count;
                if (count == 2)
                    event.velocity = bytes_[at + 1];
                at += count;
                runningStatus = status;
            } else if (status == 0xF0 || status == 0xF7 || status == kMeta) {
                const std::size_t start = at;
                if (status == kMeta) {
                    if (at >= end)
                        return Fail(at, "the type of a meta event");
                    ++at;
                }
                std::uint32_t length;
                if (!Vlq(at, end, &length, nullptr, "the length of a meta or system-exclusive event"))
                    return false;
                if (end - at < length)
                    return Fail(end, "as many bytes as the event's length says");
                at += length;
                event.data = static_cast<std::uint32_t>(start);
                event.size = static_cast<std::uint32_t>(at - start);
                // Running status goes on past system-exclusive and meta
                // events here, as many files expect; the writer does not
                // rely on that.
                if (status == kMeta && bytes_[start] == kEndOfTrack)
                    ended = true;
            } else {
                return Fail(at - 1, "a channel, system-exclusive or meta event status byte");
            }
            events->push_back(event);
        }
        if (!ended)
            return Fail(end, "an end-of-track meta event (FF 2F 00) before the chunk ends");
        return true;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    MidiError* error_;
};

void PutVlq(std::vector<std::uint8_t>& out, std::uint32_t value, std::uint8_t width)
{
    std::uint8_t digits[5];
    std::uint8_t n = 0;
    do {
        digits[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    // The width the file used, where the value fits it: an untouched file
    // keeps even a padded delta time as it was.
    while (n < width && n < 4)
        digits[n++] = 0;
    while (n > 0) {
        --n;
        out.push_back(static_cast<std::uint8_t>(digits[n] | (n > 0 ? 0x80 : 0)));
    }
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    out[at] = static_cast<std::uint8_t>(value >> 24);
    out[at + 1] = static_cast<std::uint8_t>(value >> 16);
    out[at + 2] = static_cast<std::uint8_t>(value >> 8);
    out[at + 3] = static_cast<std::uint8_t>(value);
}

bool IsNoteOn(const MidiEvent& e) { return (e.status & 0xF0) == 0x90 && e.velocity > 0; }
bool IsNoteOff(const MidiEvent& e)
{
    return (e.status & 0xF0) == 0x80 || ((e.status & 0xF0) == 0x90 && e.velocity == 0);
}

}  // namespace

std::string MidiError::Describe() const
{
    return "at byte " + std::to_string(offset) + ": expected " + expected;
}

bool ReadMidi(std::vector<std::uint8_t> bytes, MidiFile* file, MidiError* error)
{
    file->bytes = std::move(bytes);
    file->chunks.clear();
    const std::vector<std::uint8_t>& b = file->bytes;
    Reader reader(b, error);
    if (b.size() < 14 || b[0] != 'M' || b[1] != 'T' || b[2] != 'h' || b[3] != 'd')
        return reader.Fail(0, "a MIDI file header chunk (\"MThd\", 14 bytes or more)");
    const std::uint32_t headerLength = Big32(&b[4]);
    if (headerLength < 6 || headerLength > b.size() - 8)
        return reader.Fail(4, "a header length of at least 6 that fits the file");
    file->format = static_cast<std::uint16_t>(b[8] << 8 | b[9]);
    const std::uint16_t tracks = static_cast<std::uint16_t>(b[10] << 8 | b[11]);
    file->division = static_cast<std::uint16_t>(b[12] << 8 | b[13]);
    if (file->format > 1)
        return reader.Fail(8, "format 0 or 1");
    if (file->format == 0 && tracks != 1)
        return reader.Fail(10, "one track in a format 0 file");
    if (file->division & 0x8000)
        return reader.Fail(12, "ticks per quarter note (SMPTE time is not supported)");
    if (file->division == 0)
        return reader.Fail(12, "a nonzero number of ticks per quarter note");
    file->headerSize = 8 + headerLength;

    std::size_t at = file->headerSize;
    unsigned found = 0;
    while (at < b.size()) {
        if (b.size() - at < 8)
            return reader.Fail(at, "a chunk header (type and length, 8 bytes)");
        const std::uint32_t length = Big32(&b[at + 4]);
        if (length > b.size() - at - 8)
            return reader.Fail(at + 4, "a chunk length that fits the file");
        MidiChunk chunk;
        chunk.track = b[at] == 'M' && b[at + 1] == 'T' && b[at + 2] == 'r' && b[at + 3] == 'k';
        chunk.offset = static_cast<std::uint32_t>(at + 8);
        chunk.size = length;
        if (chunk.track) {
            ++found;
            if (!reader.Track(at + 8, at + 8 + length, &chunk.events))
                return false;
        }
        file->chunks.push_back(std::move(chunk));
        at += 8 + static_cast<std::size_t>(length);
    }
    if (found != tracks)
        return reader.Fail(b.size(), "as many track chunks as the header says");
    return true;
}

std::vector<std::uint8_t> WriteMidi(const MidiFile& file)
{
    const std::vector<std::uint8_t>& b = file.bytes;
    std::vector<std::uint8_t> out(b.begin(), b.begin() + file.headerSize);
    out.reserve(b.size() + b.size() / 8);
    for (const MidiChunk& chunk : file.chunks) {
        const std::size_t header = out.size();
        out.insert(out.end(), b.begin() + chunk.offset - 8, b.begin() + chunk.offset);
        if (!chunk.track) {
            out.insert(out.end(), b.begin() + chunk.offset, b.begin() + chunk.offset + chunk.size);
            continue;
        }
        std::uint32_t previous = 0;
        std::uint8_t runningStatus = 0;
        for (const MidiEvent& e : chunk.events) {
            PutVlq(out, e.time - previous, e.deltaBytes);
            previous = e.time;
            // The status byte is left out only where the file left it out
            // and the same status is still running.
            if (!(e.running && e.status == runningStatus && e.status < 0xF0))
                out.push_back(e.status);
            if (e.status < 0xF0) {
                out.push_back(b[e.data]);
                if (e.size == 2)
                    out.push_back(e.velocity);
                runningStatus = e.status;
            } else {
                // System-exclusive and meta events end any running status.
                out.insert(out.end(), b.begin() + e.data, b.begin() + e.data + e.size);
                runningStatus = 0;
            }
        }
        Put32(out, header + 4, static_cast<std::uint32_t>(out.size() - header - 8));
    }
    return out;
}

std::vector<Note> CollectNotes(const MidiFile& file, std::vector<NoteLink>* links)
{
    std::vector<Note> notes;
    links->clear();
    // Note-ons waiting for their note-off, per channel and pitch, oldest
    // first from head onwards.
    std::vector<std::vector<std::uint32_t>> waiting(16 * 128);
    std::vector<std::size_t> head(16 * 128);
    std::uint32_t trackIndex = 0;
    for (std::size_t c = 0; c < file.chunks.size(); ++c) {
        const MidiChunk& chunk = file.chunks[c];
        if (!chunk.track)
            continue;
        for (auto& list : waiting) list.clear();
        std::fill(head.begin(), head.end(), 0);
        for (std::uint32_t i = 0; i < chunk.events.size(); ++i) {
            const MidiEvent& e = chunk.events[i];
            if (!IsNoteOn(e) && !IsNoteOff(e))
                continue;
            const std::size_t voice = (e.status & 0x0F) * 128u + file.bytes[e.data];
            if (IsNoteOn(e)) {
                waiting[voice].push_back(i);
                continue;
            }
            if (head[voice] == waiting[voice].size())
                continue;  // a note-off with nothing to end
            const std::uint32_t on = waiting[voice][head[voice]++];
            const MidiEvent& start = chunk.events[on];
            Note note;
            note.track = trackIndex;
            note.channel = static_cast<std::uint8_t>(start.status & 0x0F);
            note.pitch = file.bytes[start.data];
            note.velocity = start.velocity;
            note.start = start.time;
            note.length = e.time - start.time;
            notes.push_back(note);
            links->push_back({static_cast<std::uint32_t>(c), on, i});
        }
        ++trackIndex;
    }
    return notes;
}

void ApplyNotes(MidiFile* file, const std::vector<Note>& notes, const std::vector<NoteLink>& links)
{
    std::vector<bool> changed(file->chunks.size());
    const std::uint64_t last = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t i = 0; i < links.size(); ++i) {
        const NoteLink& link = links[i];
        std::vector<MidiEvent>& events = file->chunks[link.chunk].events;
        MidiEvent& on = events[link.on];
        MidiEvent& off = events[link.off];
        const std::uint32_t start = notes[i].start;
        const std::uint32_t end = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(start) + notes[i].length, last));
        if (on.time != start || off.time != end)
            changed[link.chunk] = true;
        on.time = start;
        off.time = end;
        on.velocity = notes[i].velocity;
    }
    for (std::size_t c = 0; c < file->chunks.size(); ++c) {
        if (!changed[c])
            continue;
        std::vector<MidiEvent>& events = file->chunks[c].events;
        // The end-of-track is last, at or after every other event.
        MidiEvent end = events.back();
        events.pop_back();
        std::stable_sort(events.begin(), events.end(),
                         [](const MidiEvent& a, const MidiEvent& b) { return a.time < b.time; });
        if (!events.empty() && events.back().time > end.time)
            end.time = events.back().time;
        events.push_back(end);
    }
}

}  // namespace humanize
