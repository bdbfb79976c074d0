// Any bytes as a MIDI file: the reader either refuses them at an offset
// inside the file or reads them; what it reads, written back untouched,
// reads again and writes the same; humanized, it still reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "humanize.h"
#include "midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    groove::MidiFile file;
    groove::MidiError error;
    if (!groove::ReadMidi(std::vector<std::uint8_t>(data, data + size), &file, &error)) {
        if (error.offset > size || error.expected.empty())
            std::abort();
        return 0;
    }
    const std::vector<std::uint8_t> once = groove::WriteMidi(file);
    groove::MidiFile again;
    if (!groove::ReadMidi(once, &again, &error) || groove::WriteMidi(again) != once)
        std::abort();

    std::vector<groove::NoteLink> links;
    std::vector<groove::Note> notes = groove::CollectNotes(file, &links);
    const groove::Strengths strengths{size > 0 ? data[0] % 100 : 50, size > 1 ? data[1] % 100 : 50,
                                      size > 2 ? data[2] % 100 : 50};
    groove::Humanize(notes, file.division, strengths, static_cast<std::uint32_t>(size));
    for (const groove::Note& note : notes)
        if (note.length < 1 || note.velocity > 127)
            std::abort();
    groove::ApplyNotes(&file, notes, links);
    groove::MidiFile humanized;
    if (!groove::ReadMidi(groove::WriteMidi(file), &humanized, &error))
        std::abort();
    return 0;
}
