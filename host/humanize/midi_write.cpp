// Writing a Standard MIDI File back: each chunk as read, or a track with
// its notes' velocities changed, or a track re-timed, its events written
// again in time order.
#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <queue>

#include "midi_file.h"
#include "note_order.h"
#include "track_walk.h"

namespace humanize {

namespace {

// Where an event comes among a track's: its time, then its place in the
// file, as one number.
std::uint64_t Key(std::uint32_t time, std::uint32_t index)
{
    return std::uint64_t{time} << 32 | index;
}

void Put32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Writes the events of a re-timed track in time order, with running status
// for channel messages (not across system-exclusive and meta events, as the
// standard has it) and the shortest delta times. An event whose delta time
// does not fit is left out, and the track is no use.
class TrackWriter {
public:
    explicit TrackWriter(std::vector<std::uint8_t>& out) : out_(out), used_(out.size()) { out_.resize(out_.capacity()); }
    // What was written, and no more.
    ~TrackWriter() { out_.resize(used_); }

    void Put(std::uint32_t time, std::uint8_t status, const std::uint8_t* data, std::size_t size)
    {
        const std::uint32_t delta = time - previous_;
        if (delta > kLargestDelta) {
            ok_ = false;
            return;
        }
        previous_ = time;
        if (out_.size() - used_ < 5 + size)
            out_.resize(std::max(2 * out_.size(), used_ + 5 + size));
        std::uint8_t* at = out_.data() + used_;
        int digits = 1;
        while (digits < 4 && (delta >> (7 * digits)) != 0)
            ++digits;
        for (int d = digits - 1; d >= 0; --d)
            *at++ = static_cast<std::uint8_t>(((delta >> (7 * d)) & 0x7F) | (d > 0 ? 0x80 : 0));
        if (status >= 0xF0 || status != running_)
            *at++ = status;
        running_ = status < 0xF0 ? status : 0;
        std::memcpy(at, data, size);
        used_ = static_cast<std::size_t>(at + size - out_.data());
    }
    void PutNote(std::uint32_t time, std::uint8_t status, std::uint8_t key, std::uint8_t value)
    {
        const std::uint8_t data[2] = {key, value};
        Put(time, status, data, 2);
    }
    bool Ok() const { return ok_; }
    std::uint32_t Last() const { return previous_; }

private:
    std::vector<std::uint8_t>& out_;  // written up to used_, room after it
    std::size_t used_;
    std::uint32_t previous_ = 0;
    std::uint8_t running_ = 0;
    bool ok_ = true;
};

// A re-timed track: its events other than its notes', walked again from the
// file's bytes, merged with the notes' events by time, and on one tick by
// their place in the file. The notes' note-offs and their second releases
// wait in one queue, by the same key.
bool WriteRetimedTrack(const MidiFile& file, const MidiChunk& chunk, std::vector<std::uint8_t>& out)
{
    using Echo = MidiFile::EchoOff;
    const Note* notes = file.notes.data() + chunk.firstNote;
    const std::uint32_t count = chunk.noteCount;
    const auto onKey = [](const Note& note) { return Key(note.start, note.onEvent); };
    const bool ordered = Ordered(notes, 0, count, onKey);
    const std::vector<std::uint32_t> order = ordered ? std::vector<std::uint32_t>() : InOrder(notes, count, onKey);
    // The track's second releases, by note.
    const auto byNote = [](const Echo& a, std::uint32_t note) { return a.note < note; };
    const std::pair<std::vector<Echo>::const_iterator, std::vector<Echo>::const_iterator> echoes = {
        std::lower_bound(file.echoOffs.begin(), file.echoOffs.end(), chunk.firstNote, byNote),
        std::lower_bound(file.echoOffs.begin(), file.echoOffs.end(), chunk.firstNote + count, byNote)};
    // Which of the track's events are its notes' own.
    std::vector<bool> ofNote(chunk.events, false);
    for (std::uint32_t i = 0; i < count; ++i)
        ofNote[notes[i].onEvent] = ofNote[notes[i].offEvent] = true;
    for (auto echo = echoes.first; echo != echoes.second; ++echo)
        ofNote[echo->event] = true;

    // A note-off (echo < 0) or a second release of a note (its place among
    // the file's second releases).
    struct Release {
        std::uint64_t key;
        std::int32_t echo;
        std::uint32_t note;
        bool operator>(const Release& other) const { return key > other.key; }
    };
    std::priority_queue<Release, std::vector<Release>, std::greater<Release>> releases;
    TrackWriter writer(out);
    std::uint32_t next = 0;  // in the order of note-ons
    const auto putOff = [&](std::uint32_t i) {
        const Note& note = notes[i];
        const std::uint8_t status = (note.flags & kOffIsNoteOn) ? 0x90 : 0x80;
        writer.PutNote(EndOf(note), static_cast<std::uint8_t>(status | note.channel), note.pitch, note.offVelocity);
        // R17: a second release on the end's tick right after it, a later
        // one at its distance, in its turn.
        const std::uint32_t place = chunk.firstNote + i;
        const auto mine = std::equal_range(echoes.first, echoes.second, Echo{place, 0, 0, 0, 0},
                                           [](const Echo& a, const Echo& b) { return a.note < b.note; });
        for (auto echo = mine.first; echo != mine.second; ++echo) {
            if (echo->distance == 0)
                writer.PutNote(EndOf(note), echo->status, note.pitch, echo->velocity);
            else
                releases.push({Key(EndOf(note) + echo->distance, echo->event),
                               static_cast<std::int32_t>(echo - file.echoOffs.begin()), i});
        }
    };
    // Every note event that comes before limit.
    const auto notesBefore = [&](std::uint64_t limit) {
        for (;;) {
            const std::uint32_t i = next < count ? (ordered ? next : order[next]) : 0;
            const std::uint64_t on = next < count ? onKey(notes[i]) : ~0ull;
            const std::uint64_t off = releases.empty() ? ~0ull : releases.top().key;
            if (std::min(on, off) >= limit)
                return;
            if (on < off) {
                const Note& note = notes[i];
                writer.PutNote(note.start, static_cast<std::uint8_t>(0x90 | note.channel), note.pitch, note.velocity);
                releases.push({Key(EndOf(note), note.offEvent), -1, i});
                ++next;
                continue;
            }
            const Release release = releases.top();
            releases.pop();
            if (release.echo < 0) {
                putOff(release.note);
            } else {
                const Echo& echo = file.echoOffs[static_cast<std::size_t>(release.echo)];
                writer.PutNote(static_cast<std::uint32_t>(release.key >> 32), echo.status, notes[release.note].pitch,
                               echo.velocity);
            }
        }
    };
    WalkTrack<false>(file.bytes, chunk.offset, std::size_t{chunk.offset} + chunk.size, nullptr, [&](const Event& e) {
        if (ofNote[e.index])
            return;
        const std::uint8_t* data = &file.bytes[e.data];
        if (e.status == kMeta && data[0] == kEndOfTrack) {
            notesBefore(~0ull);
            writer.Put(std::max(e.time, writer.Last()), e.status, data, e.size);
            return;
        }
        notesBefore(Key(e.time, e.index));
        writer.Put(e.time, e.status, data, e.size);
    });
    return writer.Ok();
}

// A track whose notes changed only their velocities: its bytes as read,
// each note-on's velocity byte replaced.
void WriteWithVelocities(const MidiFile& file, const MidiChunk& chunk, std::vector<std::uint8_t>& out)
{
    out.assign(file.bytes.begin() + chunk.offset, file.bytes.begin() + chunk.offset + chunk.size);
    const Note* notes = file.notes.data() + chunk.firstNote;
    const auto onEvent = [](const Note& note) { return note.onEvent; };
    const bool ordered = Ordered(notes, 0, chunk.noteCount, onEvent);
    const std::vector<std::uint32_t> order = ordered ? std::vector<std::uint32_t>() : InOrder(notes, chunk.noteCount, onEvent);
    std::uint32_t next = 0;
    WalkTrack<false>(file.bytes, chunk.offset, std::size_t{chunk.offset} + chunk.size, nullptr, [&](const Event& e) {
        if (next == chunk.noteCount)
            return;
        const Note& note = notes[ordered ? next : order[next]];
        if (note.onEvent != e.index)
            return;
        out[e.data + 1 - chunk.offset] = note.velocity;
        ++next;
    });
}

}  // namespace

Written WriteMidi(const MidiFile& file, const ByteSink& sink)
{
    const std::vector<std::uint8_t>& b = file.bytes;
    if (!sink(b.data(), file.headerSize))
        return Written::kRefused;
    std::vector<std::uint8_t> body;
    for (const MidiChunk& chunk : file.chunks) {
        const std::uint8_t* header = &b[chunk.offset - 8];
        // What changed in the track: looked for until both are found.
        const std::uint8_t both = kTimesChanged | kVelocityChanged;
        std::uint8_t changed = 0;
        for (std::uint32_t i = 0; chunk.track && i < chunk.noteCount && changed != both; ++i)
            changed |= file.notes[chunk.firstNote + i].flags & both;
        if (changed == 0) {
            if (!sink(header, 8 + static_cast<std::size_t>(chunk.size)))
                return Written::kRefused;
            continue;
        }
        body.clear();
        body.reserve(chunk.size);
        if (changed & kTimesChanged) {
            if (!WriteRetimedTrack(file, chunk, body))
                return Written::kGapTooLarge;
        } else {
            WriteWithVelocities(file, chunk, body);
        }
        std::uint8_t head[8];
        std::memcpy(head, header, 4);
        Put32(head + 4, static_cast<std::uint32_t>(body.size()));
        if (!sink(head, 8) || !sink(body.data(), body.size()))
            return Written::kRefused;
    }
    return Written::kAll;
}

std::vector<std::uint8_t> WriteMidi(const MidiFile& file)
{
    std::vector<std::uint8_t> out;
    out.reserve(file.bytes.size());
    WriteMidi(file, [&](const std::uint8_t* data, std::size_t size) {
        out.insert(out.end(), data, data + size);
        return true;
    });
    return out;
}

}  // namespace humanize
