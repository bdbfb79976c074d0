// Standard MIDI Files written as bytes, for the tests: chunks, variable-
// length numbers, tracks of (delta time, event bytes), whole files.
#ifndef GROOBLE_MIDI_BYTES_H
#define GROOBLE_MIDI_BYTES_H

#include <cstdint>
#include <utility>
#include <vector>

namespace midi_bytes {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::pair<std::uint32_t, Bytes>>;

inline Bytes Vlq(std::uint32_t value)
{
    Bytes out;
    int shift = 28;
    while (shift > 0 && (value >> shift) == 0)
        shift -= 7;
    for (; shift > 0; shift -= 7)
        out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> shift) & 0x7F)));
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
    return out;
}

inline Bytes Chunk(const char* type, const Bytes& body)
{
    Bytes out(type, type + 4);
    const auto n = static_cast<std::uint32_t>(body.size());
    out.insert(out.end(), {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A track chunk of the events, each after its delta time, ended by an
// end-of-track event.
inline Bytes Track(const Events& events)
{
    Bytes body;
    for (const auto& event : events) {
        const Bytes delta = Vlq(event.first);
        body.insert(body.end(), delta.begin(), delta.end());
        body.insert(body.end(), event.second.begin(), event.second.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    return Chunk("MTrk", body);
}

// A header for as many tracks as chunks are given, then the chunks.
inline Bytes File(std::uint16_t format, const std::vector<Bytes>& chunks, std::uint16_t tpq = 480)
{
    const auto tracks = static_cast<std::uint16_t>(chunks.size());
    Bytes out = Chunk("MThd", {0, std::uint8_t(format), std::uint8_t(tracks >> 8), std::uint8_t(tracks),
                               std::uint8_t(tpq >> 8), std::uint8_t(tpq)});
    for (const Bytes& chunk : chunks)
        out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

}  // namespace midi_bytes

#endif
