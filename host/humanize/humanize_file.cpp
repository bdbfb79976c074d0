#include "humanize_file.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

namespace humanize {

namespace {

// The farthest an event of a note of this length can move at these
// strengths: the largest timing move, plus its largest length change, and
// a tick for the shortest length.
std::int64_t Reach(const MidiFile& file, const Strengths& strengths, std::int64_t length)
{
    return LargestMove(file.division, strengths.timing) + ScaledOffset(127, length * strengths.length, 396) + 1;
}

template <typename Event>
std::tuple<int, int, int> VoiceOf(const Event& e)
{
    return std::make_tuple(e.track, e.channel, e.pitch);
}

void KeepTimesWhereGapsCouldOverflow(MidiFile* file, const Strengths& strengths)
{
    // No gap between two events grows by more than twice the reach of the
    // track's longest note.
    for (const MidiChunk& chunk : file->chunks) {
        if (!chunk.track || chunk.noteCount == 0)
            continue;
        if (std::int64_t{chunk.largestGap} + 2 * Reach(*file, strengths, chunk.longestNote) <= kLargestDelta)
            continue;
        Note* notes = file->notes.data() + chunk.firstNote;
        for (std::uint32_t i = 0; i < chunk.noteCount; ++i)
            notes[i].flags |= kKeepTimes;
    }
}

// The farthest a note's second release comes after its end (R17), 0 if it
// has none.
std::int64_t LateEcho(const MidiFile& file, std::uint32_t note)
{
    using Echo = MidiFile::EchoOff;
    const auto range = std::equal_range(file.echoOffs.begin(), file.echoOffs.end(), Echo{note, 0, 0, 0, 0},
                                        [](const Echo& a, const Echo& b) { return a.note < b.note; });
    std::int64_t farthest = 0;
    for (auto echo = range.first; echo != range.second; ++echo)
        farthest = std::max<std::int64_t>(farthest, echo->distance);
    return farthest;
}

// Marks kKeepTimes on the notes whose events could move into a split
// system-exclusive message of their track, where no other event may come:
// within their reach of one.
void KeepNotesOutOfSplitSysex(MidiFile* file, const Strengths& strengths)
{
    using Span = MidiFile::SysexSpan;
    const std::vector<Span>& spans = file->sysexSpans;
    std::uint16_t track = 0;
    for (const MidiChunk& chunk : file->chunks) {
        if (!chunk.track)
            continue;
        // A track's spans were found in time order, one after another.
        const auto range = std::equal_range(spans.begin(), spans.end(), Span{track++, 0, 0},
                                            [](const Span& a, const Span& b) { return a.track < b.track; });
        if (range.first == range.second)
            continue;
        Note* notes = file->notes.data() + chunk.firstNote;
        for (std::uint32_t i = 0; i < chunk.noteCount; ++i) {
            const std::int64_t reach = Reach(*file, strengths, notes[i].length);
            const std::int64_t low = notes[i].start - reach;
            const std::int64_t high = std::int64_t{notes[i].start} + notes[i].length + LateEcho(*file, chunk.firstNote + i) + reach;
            const auto span = std::lower_bound(range.first, range.second, low,
                                               [](const Span& a, std::int64_t t) { return a.last < t; });
            if (span != range.second && span->first <= high)
                notes[i].flags |= kKeepTimes;
        }
    }
}

// Marks kKeepTimes on a note released twice whose end, and its second
// release with it, could move past a note-on of its voice that is never
// ended (such note-ons come after all the voice's notes): that release
// would end it, and the file would read otherwise.
void KeepEchoesShortOfNeverEnded(MidiFile* file, const Strengths& strengths)
{
    if (file->echoOffs.empty())
        return;
    std::vector<const StrayNoteEvent*> ons;
    for (const StrayNoteEvent& stray : file->fixed.strays)
        if (stray.on)
            ons.push_back(&stray);
    std::sort(ons.begin(), ons.end(), [](const StrayNoteEvent* a, const StrayNoteEvent* b) {
        return std::make_pair(VoiceOf(*a), a->time) < std::make_pair(VoiceOf(*b), b->time);
    });
    for (const MidiFile::EchoOff& echo : file->echoOffs) {
        Note& note = file->notes[echo.note];
        const auto first = std::lower_bound(ons.begin(), ons.end(), note, [](const StrayNoteEvent* s, const Note& n) {
            return VoiceOf(*s) < VoiceOf(n);
        });
        if (first == ons.end() || VoiceOf(**first) != VoiceOf(note))
            continue;
        if (std::int64_t{note.start} + note.length + echo.distance + Reach(*file, strengths, note.length) >= (*first)->time)
            note.flags |= kKeepTimes;
    }
}

// R17: a release a distance after its note's end must stay before the next
// note-on of the voice, and before the voice's next stray note-off, or
// reading again would pair it otherwise. Where the end could bring it
// within reach of either, the note keeps its times, and so does the next
// note of the voice (which could move early onto it); then neither end
// nor start can close the room.
void KeepLateEchoesClear(MidiFile* file, const Strengths& strengths)
{
    using Voice = std::tuple<int, int, int>;
    std::vector<const MidiFile::EchoOff*> late;
    for (const MidiFile::EchoOff& echo : file->echoOffs)
        if (echo.distance > 0)
            late.push_back(&echo);
    if (late.empty())
        return;
    std::vector<Voice> voices;
    for (const MidiFile::EchoOff* echo : late)
        voices.push_back(VoiceOf(file->notes[echo->note]));
    std::sort(voices.begin(), voices.end());
    const auto touched = [&](const Voice& voice) { return std::binary_search(voices.begin(), voices.end(), voice); };
    // The notes and stray note-offs of those voices, by voice and time.
    std::vector<std::pair<Voice, std::uint32_t>> starts, offs;
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < file->notes.size(); ++i)
        if (touched(VoiceOf(file->notes[i])))
            order.push_back(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Note& x = file->notes[a];
        const Note& y = file->notes[b];
        return std::make_tuple(VoiceOf(x), x.start, x.onEvent) < std::make_tuple(VoiceOf(y), y.start, y.onEvent);
    });
    for (const StrayNoteEvent& stray : file->fixed.strays)
        if (!stray.on && touched(VoiceOf(stray)))
            offs.push_back({VoiceOf(stray), stray.time});
    std::sort(offs.begin(), offs.end());
    for (const MidiFile::EchoOff* echo : late) {
        Note& note = file->notes[echo->note];
        const std::int64_t reach = Reach(*file, strengths, note.length);
        const std::int64_t at = std::int64_t{note.start} + note.length + echo->distance;  // the release as read
        const auto place = std::lower_bound(order.begin(), order.end(), echo->note, [&](std::uint32_t a, std::uint32_t) {
            const Note& x = file->notes[a];
            return std::make_tuple(VoiceOf(x), x.start, x.onEvent) < std::make_tuple(VoiceOf(note), note.start, note.onEvent);
        });
        Note* next = place + 1 < order.end() && VoiceOf(file->notes[place[1]]) == VoiceOf(note) ? &file->notes[place[1]] : nullptr;
        const auto stray = std::upper_bound(offs.begin(), offs.end(), std::make_pair(VoiceOf(note), static_cast<std::uint32_t>(at)));
        const bool nearNext = next && next->start - at <= 2 * reach;
        const bool nearStray = stray != offs.end() && stray->first == VoiceOf(note) && stray->second - at <= reach;
        if (nearNext || nearStray || at + reach > 0xFFFFFFFF) {
            note.flags |= kKeepTimes;
            if (nearNext)
                next->flags |= kKeepTimes;
        }
    }
}

}  // namespace

Summary HumanizeFile(MidiFile* file, const Strengths& strengths, std::uint32_t seed)
{
    KeepTimesWhereGapsCouldOverflow(file, strengths);
    KeepNotesOutOfSplitSysex(file, strengths);
    KeepEchoesShortOfNeverEnded(file, strengths);
    KeepLateEchoesClear(file, strengths);
    return Humanize(file->notes, file->division, strengths, seed, file->fixed);
}

}  // namespace humanize
