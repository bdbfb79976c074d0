#include "note_pairing.h"

#include <algorithm>
#include <limits>

namespace humanize {

namespace {

const std::uint32_t kNotEnded = 0xFFFFFFFF;  // a note's offEvent until its note-off comes
const std::uint32_t kNone = 0xFFFFFFFF;

}  // namespace

NotePairing::NotePairing(MidiFile* file) : file_(file), voices_(16 * 128) {}

std::uint32_t NotePairing::PairTrack(MidiChunk* chunk, std::uint16_t track, const std::array<std::uint32_t, 16>& ons,
                                     std::uint32_t first)
{
    track_ = track;
    longest_ = 0;
    firstEcho_ = file_->echoOffs.size();
    splitOpen_ = false;
    lastTime_ = 0;
    std::uint32_t next[16];
    std::uint32_t end = first;
    for (int channel = 0; channel < 16; ++channel) {
        next[channel] = end;
        end += ons[channel];
    }
    const std::vector<std::uint8_t>& b = file_->bytes;
    WalkTrack<false>(b, chunk->offset, std::size_t{chunk->offset} + chunk->size, nullptr, [&](const Event& e) {
        const std::uint8_t kind = e.status & 0xF0;
        if (kind != 0x80 && kind != 0x90) {
            Other(e);
            return;
        }
        const std::uint32_t voice = (e.status & 0x0Fu) * 128u + b[e.data];
        if (IsNoteOn(e.status, b[e.data + 1]))
            NoteOn(voice, next[e.status & 0x0F]++, e);
        else
            NoteOff(voice, e);
    });
    EndTrack();
    chunk->firstNote = first;
    chunk->noteCount = 0;
    for (std::uint32_t i = first; i < end; ++i)
        chunk->noteCount += file_->notes[i].offEvent != kNotEnded;
    chunk->longestNote = longest_;
    // The note-ons never ended leave holes: the notes after them close up,
    // and the second releases follow their notes.
    if (chunk->noteCount != end - first) {
        std::vector<std::uint32_t> shift(end - first + 1, 0);
        std::uint32_t kept = first;
        for (std::uint32_t i = first; i < end; ++i) {
            shift[i - first] = i - kept;
            if (file_->notes[i].offEvent != kNotEnded)
                file_->notes[kept++] = file_->notes[i];
        }
        for (std::size_t k = firstEcho_; k < file_->echoOffs.size(); ++k)
            file_->echoOffs[k].note -= shift[file_->echoOffs[k].note - first];
    }
    return first + chunk->noteCount;
}

void NotePairing::NoteOn(std::uint32_t voice, std::uint32_t place, const Event& e)
{
    const std::uint8_t* b = file_->bytes.data();
    Voice& v = voices_[voice];
    if (!v.used) {
        v.used = true;
        used_.push_back(voice);
        v.lastEnded = kNone;
    }
    Note& note = file_->notes[place];
    note = Note();
    note.track = track_;
    note.channel = static_cast<std::uint8_t>(e.status & 0x0F);
    note.pitch = b[e.data];
    note.velocity = b[e.data + 1];
    note.start = e.time;
    note.onEvent = e.index;
    note.offEvent = kNotEnded;
    v.waiting.push_back(place);
}

void NotePairing::NoteOff(std::uint32_t voice, const Event& e)
{
    const std::uint8_t velocity = file_->bytes[e.data + 1];
    Voice& v = voices_[voice];
    if (v.head < v.waiting.size()) {
        const std::uint32_t place = v.waiting[v.head++];
        Note& note = file_->notes[place];
        note.length = e.time - note.start;
        longest_ = std::max(longest_, note.length);
        note.offEvent = e.index;
        note.offVelocity = velocity;
        if ((e.status & 0xF0) == 0x90)
            note.flags |= kOffIsNoteOn;
        v.lastEnded = place;
        if (v.head == v.waiting.size()) {  // none waits: the queue starts again
            v.waiting.clear();
            v.head = 0;
        }
        return;
    }
    // Nothing waits. R17: after a note of the voice, a second release of
    // the note that ended last (nothing having started since), at its
    // distance from that end; before any, a stray.
    if (v.used && v.lastEnded != kNone) {
        const std::uint32_t end = EndOf(file_->notes[v.lastEnded]);
        file_->echoOffs.push_back({v.lastEnded, e.index, e.status, velocity, e.time - end});
        return;
    }
    StrayNoteEvent stray;
    stray.time = e.time;
    stray.event = e.index;
    stray.track = track_;
    stray.channel = static_cast<std::uint8_t>(voice / 128);
    stray.pitch = static_cast<std::uint8_t>(voice % 128);
    file_->fixed.strays.push_back(stray);
}

void NotePairing::Other(const Event& e)
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
}

// The note-ons still waiting are strays that are never ended, voice by
// voice. A split system-exclusive message never finished lasts to the
// track's end.
void NotePairing::EndTrack()
{
    for (const std::uint32_t voice : used_) {
        Voice& v = voices_[voice];
        for (std::size_t k = v.head; k < v.waiting.size(); ++k) {
            const Note& note = file_->notes[v.waiting[k]];
            StrayNoteEvent stray;
            stray.time = note.start;
            stray.event = note.onEvent;
            stray.track = track_;
            stray.channel = note.channel;
            stray.pitch = note.pitch;
            stray.on = true;
            file_->fixed.strays.push_back(stray);
        }
        v = Voice();
    }
    used_.clear();
    if (splitOpen_)
        file_->sysexSpans.push_back({track_, splitStart_, lastTime_});
}

}  // namespace humanize
