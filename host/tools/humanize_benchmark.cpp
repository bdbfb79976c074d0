// Reads, humanizes and writes a generated Standard MIDI File of a million
// notes in memory, and reports notes per second and the peak memory per
// note. Native only. An argument gives another number of notes; --tracks
// times the chord grouping instead: 65,535 tracks of 16 notes on one tick
// against the same notes spread out; --programs times N program changes of
// one channel on one tick followed by N notes, for N and 2N, to show that
// the time grows with N and not with N squared; --shape NAME [MIB] times a
// file of MIB mebibytes (256 unless given) of one shape that is not notes
// (ons: note-ons never ended; offs: note-offs that end nothing; programs:
// program changes; foreign: empty chunks of an unknown kind) and reports
// its peak memory; --drift [FOLDER...] measures the timing deviations of
// each track and channel, white against drift: their DFA exponent, largest
// move and spread over generated lines of 10,000 gestures and over the
// MIDI files in the folders, and the speed of both.
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <tuple>
#include <utility>
#include <string>
#include <vector>

#include "../humanize/humanize.h"
#include "../humanize/midi_file.h"
#include "dfa.h"

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

// Ends a track's events and appends it to file as an MTrk chunk.
void AppendTrack(std::vector<std::uint8_t>& file, std::vector<std::uint8_t> track)
{
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    const auto size = static_cast<std::uint32_t>(track.size());
    file.insert(file.end(), {'M', 'T', 'r', 'k', std::uint8_t(size >> 24), std::uint8_t(size >> 16),
                             std::uint8_t(size >> 8), std::uint8_t(size)});
    file.insert(file.end(), track.begin(), track.end());
}

// One track of notes on a sixteenth grid, with chords and running status.
std::vector<std::uint8_t> Generate(long notes)
{
    std::vector<std::uint8_t> track;
    const int tpq = 480;
    for (long i = 0; i < notes; i += 2) {
        Vlq(track, i == 0 ? 0 : tpq / 4 - tpq / 8);
        track.insert(track.end(), {0x90, std::uint8_t(40 + i % 40), std::uint8_t(30 + i % 90)});
        Vlq(track, 0);
        track.insert(track.end(), {std::uint8_t(52 + i % 40), 70});
        Vlq(track, tpq / 8);
        track.insert(track.end(), {std::uint8_t(40 + i % 40), 0});
        Vlq(track, 0);
        track.insert(track.end(), {std::uint8_t(52 + i % 40), 0});
    }
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, tpq >> 8, tpq & 0xFF};
    AppendTrack(file, std::move(track));
    return file;
}

// 65,535 tracks of 16 notes each: all on one tick (16 chords of 65,535
// tracks), or spread out one note per beat.
std::vector<std::uint8_t> ManyTracks(bool oneTick)
{
    const int tracks = 65535, tpq = 480;
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, tracks >> 8, tracks & 0xFF,
                                      tpq >> 8, tpq & 0xFF};
    for (int t = 0; t < tracks; ++t) {
        std::vector<std::uint8_t> track;
        for (int k = 0; k < 16; ++k) {
            Vlq(track, oneTick || k == 0 ? 0 : tpq - 240);
            track.insert(track.end(), {0x90, std::uint8_t(40 + k), 90});
            if (!oneTick) {
                Vlq(track, 240);
                track.insert(track.end(), {0x80, std::uint8_t(40 + k), 0});
            }
        }
        for (int k = 0; oneTick && k < 16; ++k) {
            Vlq(track, k == 0 ? 240 : 0);
            track.insert(track.end(), {0x80, std::uint8_t(40 + k), 0});
        }
        AppendTrack(file, std::move(track));
    }
    return file;
}

// count program changes on tick 0, then count notes of that channel.
std::vector<std::uint8_t> ProgramsThenNotes(long count)
{
    std::vector<std::uint8_t> track;
    for (long i = 0; i < count; ++i)
        track.insert(track.end(), {0x00, 0xC0, std::uint8_t(i % 128)});
    for (long i = 0; i < count; ++i) {
        track.insert(track.end(), {0x10, 0x90, std::uint8_t(40 + i % 40), 90});
        track.insert(track.end(), {0x08, 0x80, std::uint8_t(40 + i % 40), 0});
    }
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    AppendTrack(file, std::move(track));
    return file;
}

// A file of about mib mebibytes made of one shape of event.
std::vector<std::uint8_t> Shape(const std::string& shape, long mib)
{
    const std::size_t size = static_cast<std::size_t>(mib) << 20;
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0x01, 0xE0};
    std::vector<std::uint8_t> track;
    if (shape == "foreign") {
        while (file.size() + 8 < size)
            file.insert(file.end(), {'X', 'F', 'I', 'H', 0, 0, 0, 0});
    } else if (shape == "programs") {
        track = {0x00, 0xC0, 0x00};
        while (track.size() + 2 < size)
            track.insert(track.end(), {0x01, std::uint8_t(track.size() % 128)});
    } else {
        const bool on = shape == "ons";
        track = {0x00, std::uint8_t(on ? 0x90 : 0x80), 0x3C, std::uint8_t(on ? 0x40 : 0x00)};
        while (track.size() + 3 < size)
            track.insert(track.end(), {0x01, std::uint8_t(track.size() % 128), std::uint8_t(on ? 0x40 : 0x00)});
    }
    AppendTrack(file, std::move(track));
    return file;
}

double SecondsToHumanize(std::vector<std::uint8_t> bytes)
{
    const auto start = std::chrono::steady_clock::now();
    humanize::MidiFile file;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::move(bytes), &file, &error))
        std::exit(1);
    humanize::HumanizeFile(&file, humanize::Strengths{99, 99, 99}, 1);
    std::size_t written = 0;
    humanize::WriteMidi(file, [&](const std::uint8_t*, std::size_t size) {
        written += size;
        return true;
    });
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each lane's gesture moves in time order, as fractions of the largest move.
std::vector<std::vector<double>> GestureMoves(const std::vector<humanize::Note>& before,
                                              const std::vector<humanize::Note>& after, int tpq, double largest)
{
    std::vector<std::size_t> order(before.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const humanize::Note &x = before[a], &y = before[b];
        return std::tie(x.track, x.channel, x.start, a) < std::tie(y.track, y.channel, y.start, b);
    });
    std::vector<std::vector<double>> lanes;
    std::uint32_t first = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const humanize::Note& note = before[order[k]];
        const bool newLane = k == 0 || note.track != before[order[k - 1]].track ||
                             note.channel != before[order[k - 1]].channel;
        if (newLane)
            lanes.emplace_back();
        if (newLane || !humanize::InGesture(first, note.start, tpq)) {
            first = note.start;
            lanes.back().push_back((double(after[order[k]].start) - note.start) / largest);
        }
    }
    return lanes;
}

struct DriftFigures {
    double alphaSum = 0, alphaLow = 9, alphaHigh = -9;
    int lanes = 0;
    double squares = 0, count = 0, largest = 0;
    void Add(const std::vector<std::vector<double>>& moves, std::size_t shortest)
    {
        for (const std::vector<double>& lane : moves) {
            for (double m : lane) {
                squares += m * m;
                count += 1;
                largest = std::max(largest, std::fabs(m));
            }
            if (lane.size() < shortest)
                continue;
            const double alpha = DfaExponent(lane);
            alphaSum += alpha;
            alphaLow = std::min(alphaLow, alpha);
            alphaHigh = std::max(alphaHigh, alpha);
            ++lanes;
        }
    }
    void Print(const char* what) const
    {
        std::printf("  %-6s DFA alpha %.3f (%.3f..%.3f over %d lanes), spread %.3f of the largest move (the draw "
                    "alone: %.3f), largest move %.3f of the bound\n",
                    what, alphaSum / lanes, alphaLow, alphaHigh, lanes, std::sqrt(squares / count),
                    1 / std::sqrt(6.0), largest);
    }
};

int DriftBenchmark(int argc, char** argv)
{
    const humanize::Strengths strengths{60, 40, 60};
    const int tpq = 480;
    const double largest = static_cast<double>(humanize::LargestMove(tpq, strengths.timing));
    DriftFigures line[2];
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        std::vector<humanize::Note> notes(10000);
        for (std::size_t i = 0; i < notes.size(); ++i) {
            notes[i].start = static_cast<std::uint32_t>(1000 + i * 240);
            notes[i].length = 200;
            notes[i].pitch = static_cast<std::uint8_t>(40 + i % 30);
            notes[i].onEvent = static_cast<std::uint32_t>(2 * i);
        }
        for (int drift = 0; drift < 2; ++drift) {
            std::vector<humanize::Note> after = notes;
            humanize::Humanize(after, tpq, strengths, seed, humanize::FixedEvents(), drift != 0);
            line[drift].Add(GestureMoves(notes, after, tpq, largest), 10000);
        }
    }
    std::printf("ten generated lines of 10,000 gestures at 60,40,60:\n");
    line[0].Print("white");
    line[1].Print("drift");
    DriftFigures real[2];
    int files = 0;
    for (int a = 2; a < argc; ++a) {
        DIR* folder = opendir(argv[a]);
        while (const dirent* entry = folder ? readdir(folder) : nullptr) {
            const std::string name = entry->d_name;
            if (name.size() < 4 || name.substr(name.size() - 4) != ".mid")
                continue;
            FILE* in = std::fopen((std::string(argv[a]) + "/" + name).c_str(), "rb");
            std::vector<std::uint8_t> bytes;
            for (int c; in && (c = std::fgetc(in)) != EOF;)
                bytes.push_back(static_cast<std::uint8_t>(c));
            if (in)
                std::fclose(in);
            humanize::MidiFile file;
            humanize::MidiError error;
            if (!humanize::ReadMidi(bytes, &file, &error))
                continue;
            ++files;
            const double bound = static_cast<double>(humanize::LargestMove(file.division, strengths.timing));
            for (int drift = 0; drift < 2; ++drift) {
                humanize::MidiFile copy = file;
                humanize::HumanizeFile(&copy, strengths, 7, drift != 0);
                real[drift].Add(GestureMoves(file.notes, copy.notes, file.division, bound), 256);
            }
        }
        if (folder)
            closedir(folder);
    }
    if (files > 0) {
        std::printf("%d real files at 60,40,60 (lanes of 256 gestures or more for alpha):\n", files);
        real[0].Print("white");
        real[1].Print("drift");
    }
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 3; ++round)
        for (int drift = 0; drift < 2; ++drift) {
            humanize::MidiFile file;
            humanize::MidiError error;
            humanize::ReadMidi(Generate(1000000), &file, &error);
            const auto start = std::chrono::steady_clock::now();
            humanize::HumanizeFile(&file, humanize::Strengths{50, 50, 50}, 1, drift != 0);
            best[drift] = std::min(best[drift],
                                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    std::printf("humanizing a million notes, best of three: %.0f ms plain, %.0f ms with drift (%+.1f %%)\n",
                best[0] * 1e3, best[1] * 1e3, (best[1] / best[0] - 1) * 100);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--drift")
        return DriftBenchmark(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--tracks") {
        const double spread = SecondsToHumanize(ManyTracks(false));
        const double chords = SecondsToHumanize(ManyTracks(true));
        std::printf("65,535 tracks x 16 notes, read, humanized at 99,99,99 and written: spread out %.2f s, "
                    "all on one tick %.2f s (%.2f times)\n",
                    spread, chords, chords / spread);
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "--programs") {
        const long n = argc > 2 ? std::atol(argv[2]) : 160000;
        const double once = SecondsToHumanize(ProgramsThenNotes(n));
        const double twice = SecondsToHumanize(ProgramsThenNotes(2 * n));
        std::printf("%ld program changes on one tick, then %ld notes: %.3f s; twice as many: %.3f s (%.2f times)\n",
                    n, n, once, twice, twice / once);
        return 0;
    }
    if (argc > 2 && std::string(argv[1]) == "--shape") {
        std::vector<std::uint8_t> bytes = Shape(argv[2], argc > 3 ? std::atol(argv[3]) : 256);
        const double size = static_cast<double>(bytes.size());
        rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        const double seconds = SecondsToHumanize(std::move(bytes));
        getrusage(RUSAGE_SELF, &after);
        const double peak = static_cast<double>(after.ru_maxrss - before.ru_maxrss) * 1024.0;
        std::printf("%s, %.0f MiB: %.2f s, peak memory above the input %.0f MiB (%.2f times the file)\n", argv[2],
                    size / 1048576, seconds, peak / 1048576, peak / size);
        return 0;
    }
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
    std::vector<std::uint8_t> input = Generate(count);
    const std::size_t inputSize = input.size();
    rusage before;
    getrusage(RUSAGE_SELF, &before);

    const humanize::Strengths strengths{50, 50, 50};
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    humanize::MidiFile file;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::move(input), &file, &error)) {
        std::fprintf(stderr, "generated file unreadable: %s\n", error.Describe().c_str());
        return 1;
    }
    const auto read = Clock::now();
    humanize::HumanizeFile(&file, strengths, 1);
    const auto humanized = Clock::now();
    // Written as groobler writes, chunk by chunk to its file.
    std::size_t written = 0;
    humanize::WriteMidi(file, [&](const std::uint8_t*, std::size_t size) {
        written += size;
        return true;
    });
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
    const std::size_t notes = file.notes.size();
    std::printf("%zu notes (%zu-byte file, %zu bytes out): %.3f s, %.2f million notes/s\n", notes,
                inputSize, written, seconds, notes / seconds / 1e6);
    std::printf("peak memory above the input: %.1f bytes per note, or %.1f per note beyond the "
                "file's size\n",
                peakBytes / notes, (peakBytes - inputSize) / notes);
    std::printf("read and pair %.0f ms, humanize %.0f ms, write %.0f ms\n", ms(start, read),
                ms(read, humanized), ms(humanized, end));
    return 0;
}
