// What a note of the humanizer's may not move across (R11): the program
// changes of its channel and the stray note events of its voice, each
// narrowing the window of starts the note may take.
#ifndef GROOBLE_BARRIERS_H
#define GROOBLE_BARRIERS_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "notes.h"

namespace humanize {

// The last tick a file can hold: no barrier lies past it.
const std::int64_t kLastBarrierTick = 0xFFFFFFFF;

// The program changes of each channel, and the window they leave a note of
// that channel. A note finds its place among them by binary searches, so
// that any number of changes on one tick costs it a few steps.
class ProgramBarriers {
public:
    // Only the changes of the channels that have notes to move count.
    ProgramBarriers(const std::vector<ProgramChange>& programs, const bool (&used)[16]) : changes_(16), ticks_(16)
    {
        for (const ProgramChange& change : programs)
            if (used[change.channel & 15]) {
                changes_[change.channel & 15].push_back({change.time, change.event, change.track});
                empty_ = false;
            }
        for (int channel = 0; channel < 16; ++channel) {
            std::vector<Change>& list = changes_[channel];
            if (!std::is_sorted(list.begin(), list.end(), Less))
                std::sort(list.begin(), list.end(), Less);
            std::vector<Tick>& ticks = ticks_[channel];
            for (std::uint32_t i = 0; i < list.size(); ++i) {
                if (ticks.empty() || ticks.back().time != list[i].time)
                    ticks.push_back({list[i].time, i, list[i].track, true});
                else if (ticks.back().track != list[i].track)
                    ticks.back().oneTrack = false;
            }
        }
    }

    // Narrows [lo, hi], the starts the note may take, so that it crosses no
    // program change of its channel. One on the note's own tick and track
    // keeps its order with the note; one of another track on that tick is
    // taken to come first, as a setup track's does. Onto the tick of one in
    // another track the note never moves, since the order of two tracks on
    // one tick is the player's choice.
    bool Empty() const { return empty_; }

    void Narrow(const Note& note, std::int64_t& lo, std::int64_t& hi) const
    {
        const std::vector<Tick>& ticks = ticks_[note.channel & 15];
        if (ticks.empty())
            return;
        const std::vector<Change>& list = changes_[note.channel & 15];
        const std::size_t at = static_cast<std::size_t>(
            std::lower_bound(ticks.begin(), ticks.end(), note.start,
                             [](const Tick& tick, std::uint32_t time) { return tick.time < time; }) -
            ticks.begin());
        std::size_t after = at;
        if (at < ticks.size() && ticks[at].time == note.start) {
            if (!OnlyTrack(ticks[at], note.track))
                lo = std::max<std::int64_t>(lo, note.start);
            const auto begin = list.begin() + ticks[at].first;
            const auto end = at + 1 < ticks.size() ? list.begin() + ticks[at + 1].first : list.end();
            const auto place = std::lower_bound(begin, end, Change{note.start, note.onEvent, note.track}, Less);
            if (place != end && place->track == note.track)
                hi = std::min<std::int64_t>(hi, note.start);
            if (place != begin && (place - 1)->track == note.track)
                lo = std::max<std::int64_t>(lo, note.start);
            after = at + 1;
        }
        if (at > 0)
            lo = std::max<std::int64_t>(lo, std::int64_t{ticks[at - 1].time} + !OnlyTrack(ticks[at - 1], note.track));
        if (after < ticks.size())
            hi = std::min<std::int64_t>(hi, std::int64_t{ticks[after].time} - !OnlyTrack(ticks[after], note.track));
    }

private:
    struct Change {
        std::uint32_t time;
        std::uint32_t event;
        std::uint16_t track;
    };
    // The changes of one tick: where they begin in the list, and whether
    // they all come from one track (which).
    struct Tick {
        std::uint32_t time;
        std::uint32_t first;
        std::uint16_t track;
        bool oneTrack;
    };

    static bool Less(const Change& a, const Change& b)
    {
        if (a.time != b.time) return a.time < b.time;
        if (a.track != b.track) return a.track < b.track;
        return a.event < b.event;
    }

    static bool OnlyTrack(const Tick& tick, std::uint16_t track) { return tick.oneTrack && tick.track == track; }
    bool empty_ = true;

    std::vector<std::vector<Change>> changes_;
    std::vector<std::vector<Tick>> ticks_;
};

// The stray note events of every voice, and the room they leave a note of
// that voice: each note lies wholly before or wholly after a stray note-off
// (none was sounding there), and starts before a stray note-on (which
// comes after every note of its voice).
class StrayBarriers {
public:
    // Sorted as places in the list, so that millions of strays cost 4
    // bytes more each, not a copy.
    // Only the strays of voices that have notes to move count.
    template <typename Used>
    StrayBarriers(const std::vector<StrayNoteEvent>& strays, Used used) : strays_(strays)
    {
        for (std::uint32_t i = 0; i < strays.size(); ++i)
            if (used(strays[i].track, strays[i].channel, strays[i].pitch))
                order_.push_back(i);
        std::sort(order_.begin(), order_.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return Less(strays_[a], strays_[b]); });
    }

    // The latest end the note, at its place as read, may have.
    bool Empty() const { return order_.empty(); }

    std::int64_t EndLimit(const Note& note) const
    {
        if (order_.empty())
            return kLastBarrierTick;
        const StrayNoteEvent* after = At(FirstAfterStart(note), note);
        return after && !after->on ? after->time : kLastBarrierTick;
    }

    // Narrows [lo, hi], the starts the note may take; a note-off after it
    // leaves room for the note's shortest length, a tick, before it.
    void Narrow(const Note& note, std::int64_t& lo, std::int64_t& hi) const
    {
        if (order_.empty())
            return;
        const std::size_t i = FirstAfterStart(note);
        if (const StrayNoteEvent* before = i > 0 ? At(i - 1, note) : nullptr)
            lo = std::max<std::int64_t>(lo, before->time);
        if (const StrayNoteEvent* after = At(i, note))
            hi = std::min<std::int64_t>(hi, std::int64_t{after->time} - (!after->on && note.length > 0));
    }

private:
    static bool Less(const StrayNoteEvent& a, const StrayNoteEvent& b)
    {
        if (a.track != b.track) return a.track < b.track;
        if (a.channel != b.channel) return a.channel < b.channel;
        if (a.pitch != b.pitch) return a.pitch < b.pitch;
        if (a.time != b.time) return a.time < b.time;
        return a.event < b.event;
    }

    // The stray at place i of the order if it is of the note's voice.
    const StrayNoteEvent* At(std::size_t i, const Note& note) const
    {
        if (i >= order_.size())
            return nullptr;
        const StrayNoteEvent& stray = strays_[order_[i]];
        const bool same = stray.track == note.track && stray.channel == note.channel && stray.pitch == note.pitch;
        return same ? &stray : nullptr;
    }

    // The place of the first stray of the note's voice (or of a later
    // voice) that comes after the note's note-on.
    std::size_t FirstAfterStart(const Note& note) const
    {
        StrayNoteEvent key;
        key.track = note.track;
        key.channel = note.channel;
        key.pitch = note.pitch;
        key.time = note.start;
        key.event = note.onEvent;
        return static_cast<std::size_t>(
            std::upper_bound(order_.begin(), order_.end(), key,
                             [&](const StrayNoteEvent& k, std::uint32_t i) { return Less(k, strays_[i]); }) -
            order_.begin());
    }

    const std::vector<StrayNoteEvent>& strays_;
    std::vector<std::uint32_t> order_;
};

}  // namespace humanize

#endif
