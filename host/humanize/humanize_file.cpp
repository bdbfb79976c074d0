#include "humanize_file.h"

#include <algorithm>
#include <tuple>
#include <vector>

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
    const auto voiceTime = [](const StrayNoteEvent* s) { return std::make_tuple(s->track, s->channel, s->pitch, s->time); };
    std::sort(ons.begin(), ons.end(), [&](const StrayNoteEvent* a, const StrayNoteEvent* b) { return voiceTime(a) < voiceTime(b); });
    const std::int64_t timing = LargestMove(file->division, strengths.timing);
    for (const MidiFile::EchoOff& echo : file->echoOffs) {
        Note& note = file->notes[echo.note];
        const auto first = std::lower_bound(ons.begin(), ons.end(), note, [](const StrayNoteEvent* s, const Note& n) {
            return std::make_tuple(s->track, s->channel, s->pitch) < std::make_tuple(n.track, n.channel, n.pitch);
        });
        if (first == ons.end() || (*first)->track != note.track || (*first)->channel != note.channel ||
            (*first)->pitch != note.pitch)
            continue;
        const std::int64_t reach = timing + ScaledOffset(255, std::int64_t{note.length} * strengths.length, 396) + 1;
        if (std::int64_t{note.start} + note.length + reach >= (*first)->time)
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
