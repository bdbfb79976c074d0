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
    return LargestMove(file.division, strengths.timing) + ScaledOffset(255, length * strengths.length, 396) + 1;
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
            const std::int64_t high = std::int64_t{notes[i].start} + notes[i].length + reach;
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
        if (std::int64_t{note.start} + note.length + Reach(*file, strengths, note.length) >= (*first)->time)
            note.flags |= kKeepTimes;
    }
}

}  // namespace

Summary HumanizeFile(MidiFile* file, const Strengths& strengths, std::uint32_t seed)
{
    KeepTimesWhereGapsCouldOverflow(file, strengths);
    KeepNotesOutOfSplitSysex(file, strengths);
    KeepEchoesShortOfNeverEnded(file, strengths);
    return Humanize(file->notes, file->division, strengths, seed, file->fixed);
}

}  // namespace humanize
