#include "midi_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
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

// A variable-length quantity in bytes already checked: read at at, which
// it passes.
template <typename Index>
std::uint32_t CheckedVlq(const std::uint8_t* b, Index& at)
{
    std::uint32_t value = 0;
    std::uint8_t byte;
    do {
        byte = b[at++];
        value = value << 7 | (byte & 0x7F);
    } while (byte & 0x80);
    return value;
}

// One event as the walk over a track meets it.
struct Event {
    std::uint32_t index;  // among the track's events
    std::uint32_t time;   // absolute, in ticks
    std::uint32_t delta;
    std::uint32_t data;   // offset of the bytes after the status byte
    std::uint32_t size;   // their count (for sysex and meta: all of them)
    std::uint8_t status;
};

bool IsNoteOn(std::uint8_t status, std::uint8_t velocity)
{
    return (status & 0xF0) == 0x90 && velocity > 0;
}

bool IsNoteOff(std::uint8_t status, std::uint8_t velocity)
{
    return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0);
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
    bool Vlq(std::size_t& at, std::size_t end, std::uint32_t* value, const char* what)
    {
        std::uint32_t result = 0;
        for (int n = 1; n <= 4; ++n) {
            if (at >= end)
                return Fail(at, what);
            const std::uint8_t byte = bytes_[at++];
            result = result << 7 | (byte & 0x7F);
            if (!(byte & 0x80)) {
                *value = result;
                return true;
            }
        }
        return Fail(at - 1, "the last byte of a variable-length number (at most 4 bytes)");
    }

    // Walks a track that Track has checked already, handing each event to
    // visit as Track does, without checking it again: the pairing and the
    // writers walk every track once more.
    template <typename Visit>
    void Checked(std::size_t begin, std::size_t end, Visit&& visit) const
    {
        const std::uint8_t* const b = bytes_.data();
        std::size_t at = begin;
        std::uint32_t time = 0;
        std::uint8_t running = 0;
        for (std::uint32_t index = 0; at < end; ++index) {
            Event event;
            event.index = index;
            // Delta times of one byte or two, and status bytes given or
            // running, come in no pattern a branch could learn: told
            // apart by selection. A delta is followed by its event, so
            // the byte after it is the track's.
            const std::uint8_t first = b[at], second = b[at + 1];
            if ((first & second) & 0x80) {
                event.delta = CheckedVlq(b, at);
            } else {
                const bool one = !(first & 0x80);
                event.delta = one ? first : (first & 0x7Fu) << 7 | second;
                at += one ? 1 : 2;
            }
            time += event.delta;
            event.time = time;
            const std::uint8_t byte = b[at];
            const bool given = (byte & 0x80) != 0;
            const std::uint8_t status = given ? byte : running;
            at += given;
            event.status = status;
            if (status < 0xF0) {
                event.size = (status & 0xE0) == 0xC0 ? 1 : 2;
                event.data = static_cast<std::uint32_t>(at);
                at += event.size;
                running = status;
            } else {
                const std::size_t start = at;
                at += status == kMeta;
                const std::uint32_t length = CheckedVlq(b, at);
                at += length;
                event.data = static_cast<std::uint32_t>(start);
                event.size = static_cast<std::uint32_t>(at - start);
                if (status != kMeta)
                    running = 0;
            }
            visit(event);
        }
    }

    // Walks the events of a track chunk's body, handing each to visit.
    template <typename Visit>
    bool Track(std::size_t begin, std::size_t end, Visit&& visit)
    {
        std::size_t at = begin;
        std::uint64_t time = 0;
        std::uint8_t runningStatus = 0;
        bool afterSysex = false;
        bool ended = false;
        for (std::uint32_t index = 0; at < end; ++index) {
            if (ended)
                return Fail(at, "the end of the track chunk after its end-of-track event");
            Event event = {};
            event.index = index;
            if (at < end && !(bytes_[at] & 0x80)) {
                event.delta = bytes_[at++];  // most delta times: one byte
            } else if (!Vlq(at, end, &event.delta, "a delta time")) {
                return false;
            }
            time += event.delta;
            if (time > std::numeric_limits<std::uint32_t>::max())
                return Fail(at, "a track no longer than 2^32 ticks");
            event.time = static_cast<std::uint32_t>(time);
            if (at >= end)
                return Fail(at, "an event after the delta time");
            std::uint8_t status = bytes_[at];
            if (status & 0x80) {
                ++at;
            } else {
                if (afterSysex)
                    return Fail(at, "a status byte (running status ends at a system-exclusive event)");
                if (runningStatus == 0)
                    return Fail(at, "a status byte (no running status is in effect)");
                status = runningStatus;
            }
            afterSysex = false;
            event.status = status;
            if (status < 0xF0) {
                const std::uint32_t count = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (end - at < count)
                    return Fail(end, "the data bytes of a channel message");
                const std::uint8_t high = count == 2 ? bytes_[at] | bytes_[at + 1] : bytes_[at];
                if (high & 0x80)
                    return Fail(bytes_[at] & 0x80 ? at : at + 1, "a data byte (below 0x80)");
                event.data = static_cast<std::uint32_t>(at);
                event.size = count;
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
                if (!Vlq(at, end, &length, "the length of a meta or system-exclusive event"))
                    return false;
                if (end - at < length)
                    return Fail(end, "as many bytes as the event's length says");
                at += length;
                event.data = static_cast<std::uint32_t>(start);
                event.size = static_cast<std::uint32_t>(at - start);
                // Running status goes on past a meta event, as many files
                // expect, but not past a system-exclusive one, which the
                // standard says cancels it and common readers read apart.
                if (status != kMeta) {
                    runningStatus = 0;
                    afterSysex = true;
                }
                if (status == kMeta && bytes_[start] == kEndOfTrack)
                    ended = true;
            } else {
                return Fail(at - 1, "a channel, system-exclusive or meta event status byte");
            }
            visit(event);
        }
        if (!ended)
            return Fail(end, "an end-of-track meta event (FF 2F 00) before the chunk ends");
        return true;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    MidiError* error_;
};

std::uint32_t EndOf(const Note& note)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{note.start} + note.length, std::numeric_limits<std::uint32_t>::max()));
}

const std::uint32_t kNoNote = 0xFFFFFFFF;

// What counting a file's tracks found, for pairing them in one go with
// every list allocated once at its size: the notes of each track and
// channel (a lane), and the voices whose last note-ons are never ended.
struct PairingPlan {
    std::vector<std::array<std::uint32_t, 16>> lanes;  // notes per track and channel
    struct Unended {
        std::uint16_t track;
        std::uint16_t voice;      // channel * 128 + pitch
        std::uint32_t firstStray; // the voice's note-ons from this one on (counted from 0) are never ended
    };
    std::vector<Unended> unended;  // by track
    std::size_t notes = 0, strays = 0, programs = 0;
};

// Counts what a track's pairing will make. Pairing is first in, first out
// per voice, so the note-ons a voice never ends are its last ones.
class PairingCount {
public:
    explicit PairingCount(PairingPlan* plan) : plan_(plan), voices_(16 * 128) {}
    void StartTrack(std::uint16_t track)
    {
        track_ = track;
        lanes_.fill(0);
    }
    void operator()(const std::vector<std::uint8_t>& b, const Event& e)
    {
        if (e.size != 2) {
            programs_ += (e.status & 0xF0) == 0xC0;
            return;
        }
        const std::uint8_t velocity = b[e.data + 1];
        const std::uint32_t voice = (e.status & 0x0Fu) * 128u + b[e.data];
        Voice& v = voices_[voice];
        if (IsNoteOn(e.status, velocity)) {
            if (v.ons++ == 0)
                used_.push_back(voice);
            ++v.waiting;
        } else if (IsNoteOff(e.status, velocity) && v.waiting > 0) {
            --v.waiting;
            ++lanes_[e.status & 0x0F];
        } else if (IsNoteOff(e.status, velocity)) {
            ++strays_;
        }
    }
    void EndTrack()
    {
        for (const std::uint32_t voice : used_) {
            Voice& v = voices_[voice];
            if (v.waiting > 0)
                plan_->unended.push_back({track_, static_cast<std::uint16_t>(voice), v.ons - v.waiting});
            strays_ += v.waiting;
            v = Voice();
        }
        used_.clear();
        plan_->lanes.push_back(lanes_);
        for (const std::uint32_t lane : lanes_)
            plan_->notes += lane;
        plan_->strays += strays_;
        plan_->programs += programs_;
        strays_ = programs_ = 0;
    }

private:
    // Kept here while a track is walked, and handed to the plan at its end.
    struct Voice {
        std::uint32_t waiting = 0, ons = 0;
    };
    PairingPlan* plan_;
    std::uint16_t track_ = 0;
    std::vector<Voice> voices_;
    std::vector<std::uint32_t> used_;
    std::array<std::uint32_t, 16> lanes_ = {};
    std::size_t strays_ = 0, programs_ = 0;
};


// Pairs the note events of one track first-in first-out per channel and
// pitch into file->notes, each note in the place the plan gives its lane
// at its note-on: so a track's notes come by channel, then in the order of
// their note-ons (by start). Collects the program changes, the strays and
// the spans of split system-exclusive messages.
class NotePairing {
public:
    explicit NotePairing(const PairingPlan& plan) : plan_(plan), voices_(16 * 128), neverEnded_(16 * 128) {}

    void StartTrack(MidiFile* file, MidiChunk* chunk, std::uint16_t track)
    {
        EndTrack();
        file_ = file;
        chunk_ = chunk;
        track_ = track;
        listed_ = chunk->listed;
        longest_ = 0;
        std::uint32_t next = chunk->firstNote;
        for (int channel = 0; channel < 16; ++channel) {
            next_[channel] = next;
            next += plan_.lanes[track][channel];
        }
        for (; unended_ < plan_.unended.size() && plan_.unended[unended_].track == track; ++unended_)
            voices_[plan_.unended[unended_].voice].firstStray = plan_.unended[unended_].firstStray;
    }

    // The note-ons never ended are strays, voice by voice. A split
    // system-exclusive message never finished lasts to the track's end.
    void EndTrack()
    {
        for (std::uint32_t voice : used_) {
            for (const auto& on : neverEnded_[voice])
                AddStray(on.first, on.second, voice, true);
            neverEnded_[voice].clear();
            voices_[voice] = Voice();
        }
        used_.clear();
        if (chunk_)
            chunk_->longestNote = longest_;
        if (splitOpen_)
            file_->sysexSpans.push_back({track_, splitStart_, lastTime_});
        splitOpen_ = false;
    }

    void operator()(const Event& e)
    {
        const std::uint8_t kind = e.status & 0xF0;
        const bool paired = kind == 0x80 || kind == 0x90 ? Pair(e) : Other(e);
        if (!paired && listed_)
            chunk_->fixedEvents.push_back({e.time, e.data, e.index, e.status});
    }

private:
    // One of a note's events, as the writer tells them apart.
    void Mark(const Event& e)
    {
        if (!listed_)
            chunk_->inNote[e.index] = true;
    }

    // An event no note's: a program change or a system-exclusive packet
    // is noted. False: a fixed event.
    bool Other(const Event& e)
    {
        lastTime_ = e.time;  // a track's last event is its end-of-track
        if ((e.status & 0xF0) == 0xC0)
            file_->fixed.programs.push_back({e.time, e.index, track_, static_cast<std::uint8_t>(e.status & 0x0F)});
        if (e.status == 0xF0 || (e.status == 0xF7 && splitOpen_)) {
            // A packet that does not end in F7 goes on in F7 packets.
            const bool finished = file_->bytes[e.data + e.size - 1] == 0xF7;
            if (e.status == 0xF0 && !splitOpen_)
                splitStart_ = e.time;
            if (finished && splitOpen_)
                file_->sysexSpans.push_back({track_, splitStart_, e.time});
            splitOpen_ = !finished;
        }
        return false;
    }

    // Pairs a note-on or note-off: false for one that stays a fixed event.
    bool Pair(const Event& e)
    {
        const std::uint8_t* const b = file_->bytes.data();
        const std::uint8_t velocity = b[e.data + 1];
        const std::uint32_t voice = (e.status & 0x0Fu) * 128u + b[e.data];
        Voice& v = voices_[voice];
        Note* const notes = file_->notes.data();
        if (IsNoteOn(e.status, velocity)) {
            if (v.ons == 0)
                used_.push_back(voice);
            if (v.ons++ >= v.firstStray) {
                neverEnded_[voice].push_back({e.index, e.time});
                return false;
            }
            const std::uint32_t slot = next_[e.status & 0x0F]++;
            Note& note = notes[slot];
            note.track = track_;
            note.channel = static_cast<std::uint8_t>(e.status & 0x0F);
            note.pitch = b[e.data];
            note.velocity = velocity;
            note.start = e.time;
            note.onEvent = e.index;
            Mark(e);
            note.offEvent = kNoNote;
            (v.first == kNoNote ? v.first : notes[v.last].offEvent) = slot;
            v.last = slot;
            return true;
        }
        if (v.first == kNoNote) {
            // R17: a second release of the note that ended last, nothing
            // having started since (nothing waits, and no note-on is left
            // that is never ended).
            const std::uint32_t last = v.lastEnded;
            if (last != kNoNote && (EndOf(notes[last]) == e.time || neverEnded_[voice].empty())) {
                file_->echoOffs.push_back({last, e.index, e.status, velocity, e.time - EndOf(notes[last])});
                Mark(e);
                return true;
            }
            AddStray(e.index, e.time, voice, false);  // a note-off with nothing to end
            return false;
        }
        const std::uint32_t slot = v.first;
        Note& note = notes[slot];
        v.first = note.offEvent;
        note.length = e.time - note.start;
        longest_ = std::max(longest_, note.length);
        note.offEvent = e.index;
        note.offVelocity = velocity;
        if ((e.status & 0xF0) == 0x90)
            note.flags |= kOffIsNoteOn;
        v.lastEnded = slot;
        Mark(e);
        return true;
    }

    void AddStray(std::uint32_t index, std::uint32_t time, std::uint32_t voice, bool on)
    {
        StrayNoteEvent stray;
        stray.time = time;
        stray.event = index;
        stray.track = track_;
        stray.channel = static_cast<std::uint8_t>(voice / 128);
        stray.pitch = static_cast<std::uint8_t>(voice % 128);
        stray.on = on;
        file_->fixed.strays.push_back(stray);
    }

    const PairingPlan& plan_;
    // What is known of a voice in the track being walked. Its note-ons
    // waiting for their note-offs, first in, first out, are a queue
    // threaded through the waiting notes themselves (first to last), each
    // note's offEvent holding the next one's place until its own note-off
    // comes, so that millions may wait at no cost.
    struct Voice {
        std::uint32_t first = kNoNote, last = kNoNote;
        std::uint32_t lastEnded = kNoNote;  // the note that ended last
        std::uint32_t ons = 0;              // note-ons met
        std::uint32_t firstStray = kNoNote; // the first note-on never ended
    };
    std::vector<Voice> voices_;
    std::vector<std::uint32_t> used_;  // voices with note-ons in this track
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> neverEnded_;  // (event, time)
    std::uint32_t next_[16] = {};      // the next place of each lane
    std::size_t unended_ = 0;
    MidiFile* file_ = nullptr;
    MidiChunk* chunk_ = nullptr;
    std::uint16_t track_ = 0;
    bool listed_ = false;
    std::uint32_t longest_ = 0;
    bool splitOpen_ = false;
    std::uint32_t splitStart_ = 0;
    std::uint32_t lastTime_ = 0;
};

void Put32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// A track's bytes as they are made, in blocks of 64 KiB or more: nothing
// copied as it grows, and little more room than it takes.
class Blocks {
public:
    // Room for size bytes more, at the end of the last block: a new block
    // if the last has less. Returns where the room begins; *end is where
    // the block's room ends.
    std::uint8_t* Room(std::size_t size, std::uint8_t** end = nullptr)
    {
        if (blocks_.empty() || blocks_.back().room - blocks_.back().used < size) {
            const std::size_t room = std::max<std::size_t>(64 * 1024, size);
            blocks_.push_back({std::unique_ptr<std::uint8_t[]>(new std::uint8_t[room]), 0, room});
        }
        Block& last = blocks_.back();
        if (end)
            *end = last.bytes.get() + last.room;
        return last.bytes.get() + last.used;
    }
    void Used(std::size_t size)
    {
        blocks_.back().used += size;
        size_ += size;
    }
    std::size_t Size() const { return size_; }
    bool Each(const ByteSink& sink) const
    {
        for (const Block& block : blocks_)
            if (block.used > 0 && !sink(block.bytes.get(), block.used))
                return false;
        return true;
    }

private:
    struct Block {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t used, room;
    };
    std::vector<Block> blocks_;
    std::size_t size_ = 0;
};

// Writes the events of one re-timed track in time order, with running
// status for channel messages (not across system-exclusive and meta
// events, as the standard has it) and the shortest delta times. It writes
// straight into the room of the last block, and tells the blocks what it
// used when it needs more room and when it is done.
class TrackWriter {
public:
    explicit TrackWriter(Blocks& out) : out_(out) {}

    // A note's event: a status and two data bytes.
    void PutNote(std::uint32_t time, std::uint8_t status, std::uint8_t key, std::uint8_t value)
    {
        std::uint8_t* at = Begin(time, 7);
        if (!at)
            return;
        *at = status;
        at += status != running_;
        running_ = status;
        at[0] = key;
        at[1] = value;
        at_ = at + 2;
    }

    void Put(std::uint32_t time, std::uint8_t status, const std::uint8_t* data, std::size_t size)
    {
        std::uint8_t* at = Begin(time, 5 + size);
        if (!at)
            return;
        if (status >= 0xF0 || status != running_)
            *at++ = status;
        running_ = status < 0xF0 ? status : 0;
        std::memcpy(at, data, size);
        at_ = at + size;
    }

    // Whether every event's delta time fitted; an event whose did not is
    // left out, and the track is no use.
    bool Ok() const { return ok_; }
    std::uint32_t Last() const { return previous_; }

    // Tells the blocks what was written since last told.
    void Finish()
    {
        if (at_ != begin_)
            out_.Used(static_cast<std::size_t>(at_ - begin_));
        begin_ = at_;
    }

private:
    // Room for an event of at most size bytes after its delta time, which
    // it writes: where the rest goes, or null if the delta does not fit.
    std::uint8_t* Begin(std::uint32_t time, std::size_t size)
    {
        const std::uint32_t delta = time - previous_;
        if (delta > kLargestDelta) {
            ok_ = false;
            return nullptr;
        }
        if (static_cast<std::size_t>(end_ - at_) < size) {
            Finish();
            begin_ = at_ = out_.Room(size, &end_);
        }
        std::uint8_t* at = at_;
        previous_ = time;
        if (delta < 0x80) {
            *at++ = static_cast<std::uint8_t>(delta);  // most events: one byte
            return at;
        }
        int digits = 2;
        while (digits < 4 && (delta >> (7 * digits)) != 0)
            ++digits;
        for (int d = digits - 1; d >= 0; --d)
            *at++ = static_cast<std::uint8_t>(((delta >> (7 * d)) & 0x7F) | (d > 0 ? 0x80 : 0));
        return at;
    }

    Blocks& out_;
    std::uint8_t* begin_ = nullptr;  // of what is not yet told to out_
    std::uint8_t* at_ = nullptr;
    std::uint8_t* end_ = nullptr;
    std::uint32_t previous_ = 0;
    std::uint8_t running_ = 0;
    bool ok_ = true;
};

// The second releases of a note (R17): right after its note-off, or, a
// distance after it, kept to be written in their turn.
class EchoOffs {
public:
    explicit EchoOffs(const MidiFile& file) : file_(file) {}

    void AfterOff(std::uint32_t note, TrackWriter& writer)
    {
        using Echo = MidiFile::EchoOff;
        const auto range = std::equal_range(file_.echoOffs.begin(), file_.echoOffs.end(), Echo{note, 0, 0, 0, 0},
                                            [](const Echo& a, const Echo& b) { return a.note < b.note; });
        const std::uint32_t end = EndOf(file_.notes[note]);
        for (auto echo = range.first; echo != range.second; ++echo) {
            if (echo->distance == 0) {
                writer.PutNote(end, echo->status, file_.notes[note].pitch, echo->velocity);
                continue;
            }
            const std::uint64_t key = std::uint64_t{end + echo->distance} << 32 | echo->event;
            later_.insert(std::upper_bound(later_.begin(), later_.end(), key,
                                           [](std::uint64_t k, const Later& l) { return k < l.key; }),
                          Later{key, &*echo});
        }
    }
    // The key of the first kept for later, all ones if none.
    std::uint64_t FirstKey() const { return later_.empty() ? ~0ull : later_.front().key; }
    void PutFirst(TrackWriter& writer)
    {
        const Later first = later_.front();
        later_.erase(later_.begin());
        writer.PutNote(static_cast<std::uint32_t>(first.key >> 32), first.echo->status, file_.notes[first.echo->note].pitch,
                       first.echo->velocity);
    }

private:
    struct Later {
        std::uint64_t key;
        const MidiFile::EchoOff* echo;
    };
    const MidiFile& file_;
    std::vector<Later> later_;  // by key: few sound at once
};

// The notes of a track, one at a time, in the order of a key (a time and
// an event, one 64-bit number): merged from the track's lanes, its runs of
// one channel (laid out by channel: each found by a binary search), each
// of which the reader and the humanizer leave in that order. Where a run
// is not (notes not as read), they are sorted instead: found at once when
// checkFirst, else as they are merged, when Disordered() says that the
// merge was no use and the track is to be written again, sorted.
template <typename Key>
class NoteOrder {
public:
    NoteOrder(const Note* notes, std::uint32_t count, Key key, bool checkFirst, bool sort = false)
        : notes_(notes), key_(key)
    {
        for (std::uint64_t& head : heads_)
            head = ~0ull;
        std::uint32_t a = 0;
        for (int channel = 0; channel < 16 && a < count && !sort; ++channel) {
            // The rest is the last run, whatever its channels: any runs
            // each in order make one order.
            const std::uint32_t b = channel == 15 ? count : EndOfChannel(notes, a, count, channel);
            if (b > a)
                runs_[runCount_++] = {a, b};
            a = b;
        }
        for (std::uint32_t r = 0; r < runCount_ && checkFirst && !sort; ++r)
            for (std::uint32_t i = runs_[r].next + 1; i < runs_[r].end && !sort; ++i)
                sort = !(key(notes[i - 1]) < key(notes[i]));
        if (sort) {
            sorted_.resize(count);
            for (std::uint32_t i = 0; i < count; ++i)
                sorted_[i] = i;
            std::sort(sorted_.begin(), sorted_.end(),
                      [&](std::uint32_t x, std::uint32_t y) { return key(notes[x]) < key(notes[y]); });
            runCount_ = 0;
            if (count > 0)
                runs_[runCount_++] = {0, count};
        }
        for (std::uint32_t r = 0; r < runCount_; ++r)
            heads_[r] = key_(notes_[At(runs_[r].next)]);
        Choose();
    }

    bool Done() const { return heads_[best_] == ~0ull; }
    // The next note's place among the track's notes, and its key (all
    // ones when done).
    std::uint32_t Next() const { return At(runs_[best_].next); }
    std::uint64_t NextKey() const { return heads_[best_]; }
    void Pop()
    {
        Run& run = runs_[best_];
        const std::uint64_t key = ++run.next == run.end ? ~0ull : key_(notes_[At(run.next)]);
        disordered_ |= key <= heads_[best_];
        heads_[best_] = key;
        Choose();
    }
    // Whether a run was found out of order while merging.
    bool Disordered() const { return disordered_; }

private:
    struct Run {
        std::uint32_t next, end;
    };

    // The run whose head comes first (the first if all are done): most
    // tracks have one or two.
    void Choose()
    {
        if (runCount_ <= 2) {
            best_ = heads_[1] < heads_[0] ? 1 : 0;
            return;
        }
        std::uint32_t best = 0;
        std::uint64_t least = heads_[0];
        for (std::uint32_t r = 1; r < runCount_; ++r) {
            const bool first = heads_[r] < least;  // by selection, not a branch
            least = first ? heads_[r] : least;
            best = first ? r : best;
        }
        best_ = best;
    }

    std::uint32_t At(std::uint32_t position) const { return sorted_.empty() ? position : sorted_[position]; }

    // The first place from a on whose channel is above channel, by
    // halving: where channels do not rise, some place from a to count.
    static std::uint32_t EndOfChannel(const Note* notes, std::uint32_t a, std::uint32_t count, int channel)
    {
        while (a < count) {
            const std::uint32_t middle = a + (count - a) / 2;
            if (notes[middle].channel <= channel)
                a = middle + 1;
            else
                count = middle;
        }
        return a;
    }

    const Note* notes_;
    Key key_;
    Run runs_[16] = {};
    std::uint64_t heads_[16];
    std::uint32_t runCount_ = 0;
    std::vector<std::uint32_t> sorted_;
    std::uint32_t best_ = 0;
    bool disordered_ = false;
};

struct OnKey {
    std::uint64_t operator()(const Note& note) const { return std::uint64_t{note.start} << 32 | note.onEvent; }
};

struct OnEventKey {
    std::uint64_t operator()(const Note& note) const { return note.onEvent; }
};

std::uint64_t OffKey(const Note& note)
{
    return std::uint64_t{EndOf(note)} << 32 | note.offEvent;
}

// The notes sounding, each to be ended in the order of its note-off: a
// binary heap of (note-off key, note) as large as the most notes that
// sound at once.
class Sounding {
public:
    explicit Sounding(const Note* notes) : notes_(notes) {}
    std::uint32_t First() const { return heap_.front().note; }
    std::uint64_t FirstKey() const { return heap_.empty() ? ~0ull : heap_.front().key; }
    // Keys are never equal (an event is one note's note-off), so the heap
    // orders by key alone.
    void Add(std::uint32_t note)
    {
        const Entry entry{OffKey(notes_[note]), note};
        std::size_t hole = heap_.size();
        heap_.push_back(entry);
        while (hole > 0) {
            const std::size_t parent = (hole - 1) / 2;
            if (heap_[parent].key < entry.key)
                break;
            heap_[hole] = heap_[parent];
            hole = parent;
        }
        heap_[hole] = entry;
    }
    void Remove()
    {
        const Entry last = heap_.back();
        heap_.pop_back();
        const std::size_t n = heap_.size();
        if (n == 0)
            return;
        std::size_t hole = 0;
        for (;;) {
            std::size_t child = 2 * hole + 1;
            if (child >= n)
                break;
            child += child + 1 < n && heap_[child + 1].key < heap_[child].key;
            if (last.key < heap_[child].key)
                break;
            heap_[hole] = heap_[child];
            hole = child;
        }
        heap_[hole] = last;
    }

private:
    struct Entry {
        std::uint64_t key;
        std::uint32_t note;
    };
    const Note* notes_;
    std::vector<Entry> heap_;
};

// The bytes of a listed event after its status byte: as many as its
// status says, or as the length of a meta or system-exclusive event does.
std::uint32_t FixedSize(const std::vector<std::uint8_t>& bytes, const MidiChunk::FixedEvent& e)
{
    if (e.status < 0xF0)
        return (e.status & 0xE0) == 0xC0 ? 1 : 2;
    std::uint32_t at = e.data + (e.status == kMeta);
    const std::uint32_t length = CheckedVlq(bytes.data(), at);
    return at + length - e.data;
}

// A re-timed track: its fixed events (everything but the notes), from the
// reader's list or walked again from the file's bytes, merged with the
// notes' events by time, and by their place in the file on one tick.
enum class TrackWritten { kDone, kGapTooLarge, kDisordered };

TrackWritten WriteRetimedTrack(const MidiFile& file, const MidiChunk& chunk, Blocks& out, bool sort)
{
    const Note* notes = file.notes.data() + chunk.firstNote;
    NoteOrder<OnKey> ons(notes, chunk.noteCount, OnKey(), false, sort);
    Sounding offs(notes);
    TrackWriter writer(out);
    const bool echoes = !file.echoOffs.empty();
    EchoOffs echoOffs(file);
    // Puts every note event that comes before (time, index): a note-on or
    // the note-off that comes first, until neither comes before.
    auto notesBefore = [&](std::uint64_t time, std::uint64_t index) {
        const std::uint64_t limit = time << 32 | index;
        for (;;) {
            const std::uint64_t onKey = ons.NextKey(), offKey = offs.FirstKey();
            if (echoes && echoOffs.FirstKey() < std::min(std::min(onKey, offKey), limit)) {
                echoOffs.PutFirst(writer);
                continue;
            }
            if (onKey < offKey) {
                if (onKey >= limit)
                    return;
                const std::uint32_t i = ons.Next();
                const Note& on = notes[i];
                writer.PutNote(on.start, static_cast<std::uint8_t>(0x90 | on.channel), on.pitch, on.velocity);
                ons.Pop();
                // A note that ends before anything else comes (a line's,
                // a drum's) ends at once, and never sounds in the heap.
                const std::uint64_t end = OffKey(on);
                if (end < ons.NextKey() && end < offKey && end < limit && (!echoes || end < echoOffs.FirstKey())) {
                    const std::uint8_t status = (on.flags & kOffIsNoteOn) ? 0x90 : 0x80;
                    writer.PutNote(EndOf(on), static_cast<std::uint8_t>(status | on.channel), on.pitch, on.offVelocity);
                    if (echoes)
                        echoOffs.AfterOff(chunk.firstNote + i, writer);
                } else {
                    offs.Add(i);
                }
            } else {
                if (offKey >= limit)
                    return;
                const std::uint32_t i = offs.First();
                const Note& off = notes[i];
                const std::uint8_t status = (off.flags & kOffIsNoteOn) ? 0x90 : 0x80;
                writer.PutNote(EndOf(off), static_cast<std::uint8_t>(status | off.channel), off.pitch, off.offVelocity);
                if (echoes)
                    echoOffs.AfterOff(chunk.firstNote + i, writer);
                offs.Remove();
            }
        }
    };
    auto putFixed = [&](std::uint32_t time, std::uint32_t index, std::uint8_t status, std::uint32_t at,
                        std::uint32_t size) {
        const std::uint8_t* data = &file.bytes[at];
        if (status == kMeta && data[0] == kEndOfTrack) {
            notesBefore(~0u, ~0u);
            writer.Put(std::max(time, writer.Last()), status, data, size);
            return;
        }
        notesBefore(time, index);
        writer.Put(time, status, data, size);
    };
    if (chunk.listed) {
        for (const MidiChunk::FixedEvent& e : chunk.fixedEvents)
            putFixed(e.time, e.index, static_cast<std::uint8_t>(e.status), e.data, FixedSize(file.bytes, e));
    } else {
        MidiError ignored;
        Reader reader(file.bytes, &ignored);
        reader.Checked(chunk.offset, chunk.offset + chunk.size, [&](const Event& e) {
            if (!chunk.inNote[e.index])
                putFixed(e.time, e.index, e.status, e.data, e.size);
        });
    }
    writer.Finish();
    if (ons.Disordered())
        return TrackWritten::kDisordered;
    return writer.Ok() ? TrackWritten::kDone : TrackWritten::kGapTooLarge;
}

// A track whose notes changed only their velocities: its bytes as read,
// each note-on's velocity byte replaced.
void WriteWithVelocities(const MidiFile& file, const MidiChunk& chunk, Blocks& out)
{
    std::uint8_t* const body = out.Room(chunk.size);
    std::memcpy(body, &file.bytes[chunk.offset], chunk.size);
    out.Used(chunk.size);
    const Note* notes = file.notes.data() + chunk.firstNote;
    NoteOrder<OnEventKey> byOn(notes, chunk.noteCount, OnEventKey(), true);
    MidiError ignored;
    Reader reader(file.bytes, &ignored);
    reader.Checked(chunk.offset, chunk.offset + chunk.size, [&](const Event& e) {
        if (!byOn.Done() && notes[byOn.Next()].onEvent == e.index) {
            body[e.data + 1 - chunk.offset] = notes[byOn.Next()].velocity;
            byOn.Pop();
        }
    });
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
    file->notes.clear();
    file->fixed = FixedEvents();
    file->sysexSpans.clear();
    file->echoOffs.clear();
    const std::vector<std::uint8_t>& b = file->bytes;
    Reader reader(b, error);
    if (b.size() < 14 || b[0] != 'M' || b[1] != 'T' || b[2] != 'h' || b[3] != 'd')
        return reader.Fail(0, "a MIDI file header chunk (\"MThd\", 14 bytes or more)");
    if (b.size() > std::numeric_limits<std::uint32_t>::max())
        return reader.Fail(0, "a file smaller than 4 GiB");
    const std::uint32_t headerLength = Big32(&b[4]);
    if (headerLength < 6 || headerLength > b.size() - 8)
        return reader.Fail(4, "a header length of at least 6 that fits the file");
    file->format = static_cast<std::uint16_t>(b[8] << 8 | b[9]);
    file->tracks = static_cast<std::uint16_t>(b[10] << 8 | b[11]);
    file->division = static_cast<std::uint16_t>(b[12] << 8 | b[13]);
    // Format 2's tracks are independent patterns: humanized each on its
    // own, as every track is, and written back as they were, format 2.
    if (file->format > 2)
        return reader.Fail(8, "format 0, 1 or 2");
    if (file->format == 0 && file->tracks != 1)
        return reader.Fail(10, "one track in a format 0 file");
    if (file->division & 0x8000)
        return reader.Fail(12, "ticks per quarter note (SMPTE time is not supported)");
    if (file->division == 0)
        return reader.Fail(12, "a nonzero number of ticks per quarter note");
    file->headerSize = 8 + headerLength;

    // First the chunks, each track checked and what its pairing will make
    // counted, so that each list is held in one allocation of its size.
    // Foreign chunks in a row are kept as one span of bytes.
    std::size_t at = file->headerSize;
    std::size_t found = 0;
    PairingPlan plan;
    PairingCount count(&plan);
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
            if (++found > file->tracks)
                return reader.Fail(at, "no more track chunks than the header says");
            count.StartTrack(static_cast<std::uint16_t>(found - 1));
            if (!reader.Track(chunk.offset, chunk.offset + length, [&](const Event& e) {
                    ++chunk.events;
                    chunk.largestGap = std::max(chunk.largestGap, e.delta);
                    count(b, e);
                }))
                return false;
            count.EndTrack();
        }
        at += 8 + static_cast<std::size_t>(length);
        if (!chunk.track && !file->chunks.empty() && !file->chunks.back().track)
            file->chunks.back().size = static_cast<std::uint32_t>(at - file->chunks.back().offset);
        else
            file->chunks.push_back(std::move(chunk));
    }
    if (found != file->tracks)
        return reader.Fail(b.size(), "as many track chunks as the header says");

    file->notes.resize(plan.notes);
    file->fixed.strays.reserve(plan.strays);
    file->fixed.programs.reserve(plan.programs);
    NotePairing pairing(plan);
    std::uint16_t track = 0;
    std::uint32_t firstNote = 0;
    for (MidiChunk& chunk : file->chunks) {
        if (!chunk.track)
            continue;
        chunk.firstNote = firstNote;
        chunk.noteCount = 0;
        for (const std::uint32_t lane : plan.lanes[track])
            chunk.noteCount += lane;
        // The events that are not the counted notes' own: fixed ones, and
        // second releases, which are not known yet and are fewer.
        const std::uint64_t others = chunk.events - 2ull * chunk.noteCount;
        chunk.listed = others <= chunk.noteCount / 32 + 16 && chunk.events < (1u << 24);
        if (chunk.listed)
            chunk.fixedEvents.reserve(static_cast<std::size_t>(others));
        else
            chunk.inNote.assign(chunk.events, false);
        firstNote += chunk.noteCount;
        pairing.StartTrack(file, &chunk, track++);
        reader.Checked(chunk.offset, chunk.offset + chunk.size, pairing);
    }
    pairing.EndTrack();
    std::stable_sort(file->echoOffs.begin(), file->echoOffs.end(),
                     [](const MidiFile::EchoOff& a, const MidiFile::EchoOff& b) { return a.note < b.note; });
    return true;
}

Written WriteMidi(const MidiFile& file, const ByteSink& sink)
{
    const std::vector<std::uint8_t>& b = file.bytes;
    if (!sink(b.data(), file.headerSize))
        return Written::kRefused;
    for (const MidiChunk& chunk : file.chunks) {
        const std::uint8_t* header = &b[chunk.offset - 8];
        // What changed in the track: looked for until both are found,
        // which in a humanized track is at once.
        const std::uint8_t both = kTimesChanged | kVelocityChanged;
        std::uint8_t changed = 0;
        for (std::uint32_t i = 0; chunk.track && i < chunk.noteCount && changed != both; ++i)
            changed |= file.notes[chunk.firstNote + i].flags & both;
        const bool retimed = (changed & kTimesChanged) != 0, revoiced = (changed & kVelocityChanged) != 0;
        if (!retimed && !revoiced) {
            if (!sink(header, 8 + static_cast<std::size_t>(chunk.size)))
                return Written::kRefused;
            continue;
        }
        Blocks body;
        if (retimed) {
            TrackWritten written = WriteRetimedTrack(file, chunk, body, false);
            if (written == TrackWritten::kDisordered) {
                body = Blocks();
                written = WriteRetimedTrack(file, chunk, body, true);
            }
            if (written != TrackWritten::kDone)
                return Written::kGapTooLarge;
        } else {
            WriteWithVelocities(file, chunk, body);
        }
        std::uint8_t head[8];
        std::memcpy(head, header, 4);
        Put32(head + 4, static_cast<std::uint32_t>(body.Size()));
        if (!sink(head, 8) || !body.Each(sink))
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
