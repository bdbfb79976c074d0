// Any bytes as a MIDI file: the reader either refuses them at an offset
// inside the file or reads them. What it reads, written back untouched,
// is the same bytes; humanized at any strengths (taken from the input), it
// reads again, with every note still paired with its own note-off.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "../humanize/humanize.h"
#include "../humanize/humanize_file.h"
#include "../humanize/midi_file.h"

namespace {

// What a note is, whatever order the reader found it in.
std::vector<std::tuple<int, std::uint32_t, int, int, std::uint32_t, int>> Sorted(
    const std::vector<humanize::Note>& notes)
{
    std::vector<std::tuple<int, std::uint32_t, int, int, std::uint32_t, int>> keys;
    for (const humanize::Note& n : notes)
        keys.emplace_back(n.track, n.start, n.channel, n.pitch, n.length, n.velocity);
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    humanize::MidiFile file;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::vector<std::uint8_t>(data, data + size), &file, &error)) {
        if (error.offset > size || error.expected.empty())
            std::abort();
        return 0;
    }
    if (humanize::WriteMidi(file) != std::vector<std::uint8_t>(data, data + size))
        std::abort();

    const humanize::Strengths strengths{size > 0 ? data[size - 1] % 100 : 50,
                                        size > 1 ? data[size - 2] % 100 : 50,
                                        size > 2 ? data[size - 3] % 100 : 50};
    humanize::HumanizeFile(&file, strengths, static_cast<std::uint32_t>(size));
    for (const humanize::Note& note : file.notes)
        if (note.velocity > 127 || std::uint64_t{note.start} + note.length > 0xFFFFFFFFu)
            std::abort();
    humanize::MidiFile humanized;
    if (!humanize::ReadMidi(humanize::WriteMidi(file), &humanized, &error))
        std::abort();
    if (Sorted(humanized.notes) != Sorted(file.notes))
        std::abort();
    return 0;
}
