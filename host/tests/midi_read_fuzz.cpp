// Any bytes as a MIDI file: the reader either refuses them at an offset
// inside the file or reads them; what it reads, written back untouched,
// reads again and writes the same; humanized, it still reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../humanize/humanize.h"
#include "../humanize/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    humanize::MidiFile file;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::vector<std::uint8_t>(data, data + size), &file, &error)) {
        if (error.offset > size || error.expected.empty())
            std::abort();
        return 0;
    }
    const std::vector<std::uint8_t> once = humanize::WriteMidi(file);
    humanize::MidiFile again;
    if (!humanize::ReadMidi(once, &again, &error) || humanize::WriteMidi(again) != once)
        std::abort();

    std::vector<humanize::NoteLink> links;
    std::vector<humanize::Note> notes = humanize::CollectNotes(file, &links);
    const humanize::Strengths strengths{size > 0 ? data[0] % 100 : 50, size > 1 ? data[1] % 100 : 50,
                                      size > 2 ? data[2] % 100 : 50};
    humanize::Humanize(notes, file.division, strengths, static_cast<std::uint32_t>(size));
    for (const humanize::Note& note : notes)
        if (note.length < 1 || note.velocity > 127)
            std::abort();
    humanize::ApplyNotes(&file, notes, links);
    humanize::MidiFile humanized;
    if (!humanize::ReadMidi(humanize::WriteMidi(file), &humanized, &error))
        std::abort();
    return 0;
}
