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
// its peak memory; --command GROOBLER [COMMAND...] times whole processes on
// a generated file of 100,000 notes in eight tracks: groobler at 60,40,60,
// cp (a process that only reads and writes the file: the floor), and, if
// given, another humanizer run as COMMAND... 60,40,60 7 IN OUT; --song
// [NOTES] times the phases in memory on that song (100,000 notes unless
// given).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <utility>
#include <string>
#include <vector>

#include "../humanize/humanize.h"
#include "../humanize/humanize_file.h"
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

// 100,000 notes in eight tracks of two channels each, as a song has them:
// a chord part, a bass, drums and lines of notes of varied lengths that
// overlap, with a controller now and then.
std::vector<std::uint8_t> Song(long notes)
{
    const int tpq = 480, tracks = 8;
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, tracks, tpq >> 8, tpq & 0xFF};
    for (int t = 0; t < tracks; ++t) {
        // (time, order, three bytes), sorted into the track.
        std::vector<std::pair<std::pair<std::uint32_t, int>, std::uint32_t>> events;
        std::uint32_t seed = 12345 + t;
        auto next = [&seed](std::uint32_t n) { seed = seed * 1103515245 + 12345; return (seed >> 8) % n; };
        std::uint32_t time = 0;
        for (long i = 0; i < notes / tracks; ++i) {
            const std::uint32_t channel = t * 2 + i % 2 == 9 ? 8 : t * 2 + i % 2;
            const std::uint32_t pitch = 30 + next(70), length = 20 + next(900);
            events.push_back({{time, 1}, 0x90 | channel | pitch << 8 | (20 + next(100)) << 16});
            events.push_back({{time + length, 0}, 0x80 | channel | pitch << 8});
            if (i % 50 == 0)
                events.push_back({{time, 2}, 0xB0 | channel | 7 << 8 | next(128) << 16});
            time += next(4) == 0 ? 0 : 60 + next(180);
        }
        std::sort(events.begin(), events.end());
        std::vector<std::uint8_t> track;
        std::uint32_t now = 0;
        for (const auto& e : events) {
            Vlq(track, e.first.first - now);
            now = e.first.first;
            track.insert(track.end(), {std::uint8_t(e.second), std::uint8_t(e.second >> 8), std::uint8_t(e.second >> 16)});
        }
        AppendTrack(file, std::move(track));
    }
    return file;
}

// The best of runs of a command: CPU seconds (user and system) and wall
// seconds. Exits when the command fails.
std::pair<double, double> TimeCommand(const std::vector<std::string>& command, int runs)
{
    std::vector<char*> args;
    for (const std::string& a : command)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    double cpu = 1e9, wall = 1e9;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        pid_t child;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ) != 0) {
            std::fprintf(stderr, "cannot run %s\n", args[0]);
            std::exit(1);
        }
        posix_spawn_file_actions_destroy(&actions);
        int status;
        rusage usage;
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed\n", args[0]);
            std::exit(1);
        }
        wall = std::min(wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu = std::min(cpu, usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
    }
    return {cpu, wall};
}

int CommandBenchmark(int argc, char** argv)
{
    char folder[] = "/tmp/groobler-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string in = std::string(folder) + "/song.mid", out = std::string(folder) + "/out.mid";
    const std::vector<std::uint8_t> song = Song(100000);
    FILE* f = std::fopen(in.c_str(), "wb");
    std::fwrite(song.data(), 1, song.size(), f);
    std::fclose(f);
    const auto groobler = TimeCommand({argv[2], "--strengths", "60,40,60", "--seed", "7", in, out}, 20);
    const auto floor = TimeCommand({"cp", in, out}, 20);
    std::printf("100,000 notes in 8 tracks (%zu bytes), best of 20: groobler %.1f ms CPU (%.1f ms wall), "
                "cp %.1f ms CPU (%.1f ms wall)\n",
                song.size(), groobler.first * 1e3, groobler.second * 1e3, floor.first * 1e3, floor.second * 1e3);
    if (argc > 3) {
        std::vector<std::string> other(argv + 3, argv + argc);
        other.insert(other.end(), {"60,40,60", "7", in, out});
        const auto them = TimeCommand(other, 3);
        std::printf("%s: %.0f ms CPU (%.0f ms wall), best of 3: groobler is %.0f times faster (CPU)\n", argv[3],
                    them.first * 1e3, them.second * 1e3, them.first / groobler.first);
    }
    unlink(in.c_str());
    unlink(out.c_str());
    rmdir(folder);
    return 0;
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--command")
        return CommandBenchmark(argc, argv);
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
    // --song [NOTES]: the phases on the song the command benchmark runs.
    const bool song = argc > 1 && std::string(argv[1]) == "--song";
    const int countArg = song ? 2 : 1;
    const long count = argc > countArg ? std::atol(argv[countArg]) : song ? 100000 : 1000000;
    std::vector<std::uint8_t> input = song ? Song(count) : Generate(count);
    const std::vector<std::uint8_t> again = input;  // for the later runs
    const std::size_t inputSize = input.size();
    rusage before;
    getrusage(RUSAGE_SELF, &before);

    // Five runs on a shared machine, each from the file's bytes: the
    // memory of the first, the times of the fastest and of the middle one.
    const humanize::Strengths strengths{50, 50, 50};
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    struct Run {
        double read, humanize, write;
        double Total() const { return read + humanize + write; }
    };
    std::vector<Run> runs;
    std::size_t notes = 0, written = 0;
    double peakBytes = 0;
    for (int r = 0; r < 5; ++r) {
        const auto start = Clock::now();
        humanize::MidiFile file;
        humanize::MidiError error;
        if (!humanize::ReadMidi(r == 0 ? std::move(input) : again, &file, &error)) {
            std::fprintf(stderr, "generated file unreadable: %s\n", error.Describe().c_str());
            return 1;
        }
        const auto read = Clock::now();
        humanize::HumanizeFile(&file, strengths, 1);
        const auto humanized = Clock::now();
        // Written as groobler writes, chunk by chunk to its file.
        written = 0;
        humanize::WriteMidi(file, [&](const std::uint8_t*, std::size_t size) {
            written += size;
            return true;
        });
        const auto end = Clock::now();
        runs.push_back({ms(start, read), ms(read, humanized), ms(humanized, end)});
        notes = file.notes.size();
        if (r == 0) {
            // ru_maxrss is the peak resident size in KiB, before the input
            // existed and at the end; the difference is what the work took.
            rusage after;
            getrusage(RUSAGE_SELF, &after);
            peakBytes = static_cast<double>(after.ru_maxrss - before.ru_maxrss) * 1024.0;
        }
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.Total() < b.Total(); });
    for (const Run* run : {&runs.front(), &runs[runs.size() / 2]}) {
        const double seconds = run->Total() / 1e3;
        std::printf("%zu notes (%zu-byte file, %zu bytes out), %s of 5: %.3f s, %.2f million notes/s "
                    "(read and pair %.0f ms, humanize %.0f ms, write %.0f ms)\n",
                    notes, inputSize, written, run == &runs.front() ? "fastest" : "middle", seconds,
                    notes / seconds / 1e6, run->read, run->humanize, run->write);
    }
    std::printf("peak memory above the input: %.1f bytes per note, or %.1f per note beyond the "
                "file's size\n",
                peakBytes / notes, (peakBytes - inputSize) / notes);
    return 0;
}
