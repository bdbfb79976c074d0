// The order a track's notes are written in: by a key of each note.
#ifndef GROOBLE_NOTE_ORDER_H
#define GROOBLE_NOTE_ORDER_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "notes.h"

namespace humanize {

// Whether a track's notes come in the order of a key from a to b as they
// are (a track of one channel, humanized, does).
template <typename Key>
bool Ordered(const Note* notes, std::uint32_t a, std::uint32_t b, Key key)
{
    for (std::uint32_t i = a + 1; i < b; ++i)
        if (!(key(notes[i - 1]) < key(notes[i])))
            return false;
    return true;
}

// The places 0 to count - 1, as they are.
inline std::vector<std::uint32_t> Places(std::uint32_t count)
{
    std::vector<std::uint32_t> places(count);
    for (std::uint32_t i = 0; i < count; ++i)
        places[i] = i;
    return places;
}

// The places of a track's notes in the order of a key, sorted: the plain
// way, which InOrder must give.
template <typename Key>
std::vector<std::uint32_t> SortedOrder(const Note* notes, std::uint32_t count, Key key)
{
    std::vector<std::uint32_t> order = Places(count);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return key(notes[a]) < key(notes[b]); });
    return order;
}

// The same for a track whose notes do not come so as they are: each
// channel's notes, as the reader lays them out, come so after humanizing,
// and are merged, the fast way for a track of several channels; where one
// does not, all are sorted.
template <typename Key>
std::vector<std::uint32_t> InOrder(const Note* notes, std::uint32_t count, Key key)
{
    std::vector<std::uint32_t> order = Places(count);
    const auto less = [&](std::uint32_t a, std::uint32_t b) { return key(notes[a]) < key(notes[b]); };
    std::vector<std::uint32_t> runs;  // where each channel's notes begin
    bool merge = true;
    for (std::uint32_t a = 0, b; a < count && merge; a = b) {
        for (b = a + 1; b < count && notes[b].channel == notes[a].channel; ++b) {
        }
        merge = Ordered(notes, a, b, key) && (runs.empty() || notes[runs.back()].channel < notes[a].channel);
        runs.push_back(a);
    }
    if (!merge)
        return SortedOrder(notes, count, key);
    for (std::size_t r = 1; r < runs.size(); ++r)
        std::inplace_merge(order.begin(), order.begin() + runs[r], r + 1 < runs.size() ? order.begin() + runs[r + 1] : order.end(), less);
    return order;
}

}  // namespace humanize

#endif
