#include "humanize_file.h"

#include <algorithm>

namespace humanize {

namespace {

void KeepTimesWhereGapsCouldOverflow(MidiFile* file, const Strengths& strengths)
{
    // An event moves by at most the largest timing move plus its note's
    // largest length change (and a tick for the shortest length), so no
    // gap grows by more than twice that.
    const std::int64_t timing = ScaledOffset(255, std::int64_t{file->division} * strengths.timing, 792);
    for (const MidiChunk& chunk : file->chunks) {
        if (!chunk.track || chunk.noteCount == 0)
            continue;
        Note* notes = file->notes.data() + chunk.firstNote;
        std::int64_t longest = 0;
        for (std::uint32_t i = 0; i < chunk.noteCount; ++i)
            longest = std::max<std::int64_t>(longest, notes[i].length);
        const std::int64_t move = timing + ScaledOffset(255, longest * strengths.length, 396) + 1;
        if (std::int64_t{chunk.largestGap} + 2 * move <= kLargestDelta)
            continue;
        for (std::uint32_t i = 0; i < chunk.noteCount; ++i)
            notes[i].flags |= kKeepTimes;
    }
}

// Marks kKeepTimes on the notes whose events could move into a split
// system-exclusive message of their track, where no other event may come:
// within the largest timing move plus their largest length change (and a
// tick) of one.
void KeepNotesOutOfSplitSysex(MidiFile* file, const Strengths& strengths)
{
    using Span = MidiFile::SysexSpan;
    const std::vector<Span>& spans = file->sysexSpans;
    const std::int64_t timing = LargestMove(file->division, strengths.timing);
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
            const std::int64_t reach = timing + ScaledOffset(255, std::int64_t{notes[i].length} * strengths.length, 396) + 1;
            const std::int64_t low = notes[i].start - reach;
            const std::int64_t high = std::int64_t{notes[i].start} + notes[i].length + reach;
            const auto span = std::lower_bound(range.first, range.second, low,
                                               [](const Span& a, std::int64_t t) { return a.last < t; });
            if (span != range.second && span->first <= high)
                notes[i].flags |= kKeepTimes;
        }
    }
}

}  // namespace

Summary HumanizeFile(MidiFile* file, const Strengths& strengths, std::uint32_t seed)
{
    KeepTimesWhereGapsCouldOverflow(file, strengths);
    KeepNotesOutOfSplitSysex(file, strengths);
    return Humanize(file->notes, file->division, strengths, seed, file->fixed);
}

}  // namespace humanize
