// Reads, humanizes and writes a generated Standard MIDI File of a million
// notes in memory, and reports notes per second and the peak memory per
// note. Native only: scripts/humanize-benchmark.sh runs it.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../humanize/humanize.h"
#include "../humanize/midi_file.h"

namespace {

void Vlq(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t digits[5];
    int n = 0;
    do {
        digits[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n-- > 0)
        out.push_back(static_cast<std::uint8_t>(digits[n] | (n ? 0x80 : 0)));
}

// One track of notes on a sixteenth grid, with chords and running status.
std::vector<std::uint8_t> Generate(int notes)
{
    std::vector<std::uint8_t> track;
    const int tpq = 480;
    for (int i = 0; i < notes; i += 2) {
        Vlq(track, i == 0 ? 0 : tpq / 4 - tpq / 8);
        track.insert(track.end(), {0x90, std::uint8_t(40 + i % 40), std::uint8_t(30 + i % 90)});
        Vlq(track, 0);
        track.insert(track.end(), {std::uint8_t(52 + i % 40), 70});
        Vlq(track, tpq / 8);
        track.insert(track.end(), {std::uint8_t(40 + i % 40), 0});
        Vlq(track, 0);
        track.insert(track.end(), {std::uint8_t(52 + i % 40), 0});
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, tpq >> 8, tpq & 0xFF,
                                      'M', 'T', 'r', 'k'};
    const auto size = static_cast<std::uint32_t>(track.size());
    file.insert(file.end(), {std::uint8_t(size >> 24), std::uint8_t(size >> 16), std::uint8_t(size >> 8),
                             std::uint8_t(size)});
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    std::vector<std::uint8_t> input = Generate(count);
    const std::size_t inputSize = input.size();
    rusage before;
    getrusage(RUSAGE_SELF, &before);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    humanize::MidiFile file;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::move(input), &file, &error)) {
        std::fprintf(stderr, "generated file unreadable: %s\n", error.Describe().c_str());
        return 1;
    }
    const auto read = Clock::now();
    std::vector<humanize::NoteLink> links;
    std::vector<humanize::Note> notes = humanize::CollectNotes(file, &links);
    const auto collected = Clock::now();
    humanize::Humanize(notes, file.division, humanize::Strengths{50, 50, 50}, 1);
    const auto humanized = Clock::now();
    humanize::ApplyNotes(&file, notes, links);
    const auto applied = Clock::now();
    const std::vector<std::uint8_t> output = humanize::WriteMidi(file);
    const auto end = Clock::now();
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };

    rusage after;
    getrusage(RUSAGE_SELF, &after);
    const double seconds = std::chrono::duration<double>(end - start).count();
    // ru_maxrss is the peak resident size in KiB, before the input existed
    // and at the end; the difference is what the work itself took.
    const double peakBytes = static_cast<double>(after.ru_maxrss - before.ru_maxrss) * 1024.0;
    std::printf("%zu notes (%zu-byte file, %zu bytes out): %.3f s, %.2f million notes/s, "
                "peak %.1f bytes per note above the input\n",
                notes.size(), inputSize, output.size(), seconds, notes.size() / seconds / 1e6,
                peakBytes / notes.size());
    std::printf("read %.0f ms, pair notes %.0f ms, humanize %.0f ms, apply %.0f ms, write %.0f ms\n",
                ms(start, read), ms(read, collected), ms(collected, humanized), ms(humanized, applied),
                ms(applied, end));
    return 0;
}
