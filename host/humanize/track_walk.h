// The grammar of a track chunk, once: its events walked in order. Walked
// checked when a file is read (each byte as the standard and common readers
// want it, or the offset of the first that is not and what was expected
// there), and unchecked afterwards over bytes already checked, by the note
// pairing and the writer.
#ifndef GROOBLE_TRACK_WALK_H
#define GROOBLE_TRACK_WALK_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "midi_file.h"

namespace humanize {

const std::uint8_t kMeta = 0xFF;
const std::uint8_t kEndOfTrack = 0x2F;

// One event as the walk meets it.
struct Event {
    std::uint32_t index;  // among the track's events
    std::uint32_t time;   // absolute, in ticks
    std::uint32_t delta;
    std::uint32_t data;   // offset of the bytes after the status byte
    std::uint32_t size;   // their count (for system-exclusive and meta events: all of them)
    std::uint8_t status;
};

inline bool IsNoteOn(std::uint8_t status, std::uint8_t velocity)
{
    return (status & 0xF0) == 0x90 && velocity > 0;
}

inline bool IsNoteOff(std::uint8_t status, std::uint8_t velocity)
{
    return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0);
}

inline std::uint32_t Big32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

inline bool Fail(MidiError* error, std::size_t at, const char* expected)
{
    if (error) {
        error->offset = at;
        error->expected = expected;
    }
    return false;
}

// A variable-length quantity of at most four bytes, read at at, which it
// passes; checked, it must end before end.
template <bool kCheck>
bool ReadVlq(const std::uint8_t* b, std::size_t& at, std::size_t end, std::uint32_t* value, const char* what,
             MidiError* error)
{
    std::uint32_t result = 0;
    for (int n = 1; n <= 4 || !kCheck; ++n) {
        if (kCheck && at >= end)
            return Fail(error, at, what);
        const std::uint8_t byte = b[at++];
        result = result << 7 | (byte & 0x7F);
        if (!(byte & 0x80)) {
            *value = result;
            return true;
        }
    }
    return Fail(error, at - 1, "the last byte of a variable-length number (at most 4 bytes)");
}

// Walks the events of the track chunk body bytes[begin, end), handing each
// to visit. Running status goes on past a meta event, as many files expect,
// but not past a system-exclusive one, which the standard says cancels it
// and common readers read apart. Unchecked, it always succeeds.
template <bool kCheck, typename Visit>
bool WalkTrack(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end, MidiError* error,
               Visit&& visit)
{
    const std::uint8_t* const b = bytes.data();
    std::size_t at = begin;
    std::uint64_t time = 0;
    std::uint8_t running = 0;
    bool afterSysex = false, ended = false;
    for (std::uint32_t index = 0; at < end; ++index) {
        if (kCheck && ended)
            return Fail(error, at, "the end of the track chunk after its end-of-track event");
        Event event = {};
        event.index = index;
        if (!ReadVlq<kCheck>(b, at, end, &event.delta, "a delta time", error))
            return false;
        time += event.delta;
        if (kCheck && time > std::numeric_limits<std::uint32_t>::max())
            return Fail(error, at, "a track no longer than 2^32 ticks");
        event.time = static_cast<std::uint32_t>(time);
        if (kCheck && at >= end)
            return Fail(error, at, "an event after the delta time");
        std::uint8_t status = b[at];
        if (status & 0x80) {
            ++at;
        } else {
            if (kCheck && afterSysex)
                return Fail(error, at, "a status byte (running status ends at a system-exclusive event)");
            if (kCheck && running == 0)
                return Fail(error, at, "a status byte (no running status is in effect)");
            status = running;
        }
        afterSysex = false;
        event.status = status;
        if (status < 0xF0) {
            const std::uint32_t count = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (kCheck && end - at < count)
                return Fail(error, end, "the data bytes of a channel message");
            if (kCheck && ((count == 2 ? b[at] | b[at + 1] : b[at]) & 0x80))
                return Fail(error, b[at] & 0x80 ? at : at + 1, "a data byte (below 0x80)");
            event.data = static_cast<std::uint32_t>(at);
            event.size = count;
            at += count;
            running = status;
        } else if (!kCheck || status == 0xF0 || status == 0xF7 || status == kMeta) {
            const std::size_t start = at;
            if (status == kMeta) {
                if (kCheck && at >= end)
                    return Fail(error, at, "the type of a meta event");
                ++at;
            }
            std::uint32_t length = 0;
            if (!ReadVlq<kCheck>(b, at, end, &length, "the length of a meta or system-exclusive event", error))
                return false;
            if (kCheck && end - at < length)
                return Fail(error, end, "as many bytes as the event's length says");
            at += length;
            event.data = static_cast<std::uint32_t>(start);
            event.size = static_cast<std::uint32_t>(at - start);
            if (status != kMeta) {
                running = 0;
                afterSysex = true;
            }
            ended = status == kMeta && b[start] == kEndOfTrack;
        } else {
            return Fail(error, at - 1, "a channel, system-exclusive or meta event status byte");
        }
        visit(event);
    }
    if (kCheck && !ended)
        return Fail(error, end, "an end-of-track meta event (FF 2F 00) before the chunk ends");
    return true;
}

}  // namespace humanize

#endif
