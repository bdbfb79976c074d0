// The humanizer's promises, checked on whole files: real music nobody here
// wrote (a Debian package of game soundtracks) and small hostile files,
// each humanized at a few settings and read back. One checker, one table.
#include "../humanize/humanize.h"
#include "../humanize/midi_file.h"
#include "midi_bytes.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using midi_bytes::Bytes;
using humanize::Note;
using humanize::Strengths;

#ifndef GROOBLE_REAL_MIDI_DIR
#define GROOBLE_REAL_MIDI_DIR "/usr/share/planetblupi/music"
#endif

std::tuple<int, std::uint32_t, int, int, std::uint32_t, int> Key(const Note& n)
{
    return std::make_tuple(n.track, n.start, n.channel, n.pitch, n.length, n.velocity);
}

// Humanizes a file and checks every promise that can be seen in the result;
// returns what broke, empty when all held.
std::vector<std::string> CheckPromises(const Bytes& input, const Strengths& s, std::uint32_t seed)
{
    std::vector<std::string> broken;
    auto expect = [&](bool held, const std::string& what) {
        if (!held && std::find(broken.begin(), broken.end(), what) == broken.end())
            broken.push_back(what);
    };
    humanize::MidiFile file;
    humanize::MidiError error;
    if (!humanize::ReadMidi(input, &file, &error))
        return {"the input does not read: " + error.Describe()};
    const std::vector<Note> before = file.notes;
    humanize::HumanizeFile(&file, s, seed);
    const std::vector<Note>& after = file.notes;
    const Bytes output = humanize::WriteMidi(file);

    // Every file written reads again, and pairs its notes as they were.
    humanize::MidiFile again;
    if (!humanize::ReadMidi(output, &again, &error))
        return {"the output does not read: " + error.Describe()};
    std::vector<std::tuple<int, std::uint32_t, int, int, std::uint32_t, int>> wrote, read;
    for (const Note& n : after)
        wrote.push_back(Key(n));
    for (const Note& n : again.notes)
        read.push_back(Key(n));
    std::sort(wrote.begin(), wrote.end());
    std::sort(read.begin(), read.end());
    expect(wrote == read, "read back, the notes pair differently");

    // Untouched tracks come back byte for byte; every track keeps its
    // fixed events.
    for (std::size_t c = 0; c < file.chunks.size(); ++c) {
        const humanize::MidiChunk& chunk = file.chunks[c];
        bool touched = false;
        for (std::uint32_t i = 0; i < chunk.noteCount; ++i)
            touched |= (after[chunk.firstNote + i].flags & (humanize::kTimesChanged | humanize::kVelocityChanged)) != 0;
        const auto& other = again.chunks[c];
        if (!touched)
            expect(std::equal(input.begin() + chunk.offset - 8, input.begin() + chunk.offset + chunk.size,
                              output.begin() + other.offset - 8, output.begin() + other.offset + other.size),
                   "an untouched track changed");
    }
    auto programs = [](const humanize::MidiFile& f) {
        std::vector<std::tuple<int, std::uint32_t, int>> list;
        for (const auto& p : f.fixed.programs)
            list.emplace_back(p.track, p.time, p.channel);
        return list;
    };
    expect(programs(file) == programs(again), "a program change moved");

    std::vector<std::vector<std::uint32_t>> programTimes(16);
    for (const auto& p : file.fixed.programs)
        programTimes[p.channel & 15].push_back(p.time);
    for (auto& times : programTimes)
        std::sort(times.begin(), times.end());
    std::map<std::pair<int, std::uint32_t>, std::uint32_t> chords;
    std::map<std::tuple<int, int, int>, std::vector<std::size_t>> voices;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const Note& b = before[i];
        const Note& a = after[i];
        // A strength of 0 leaves its field bit-identical.
        if (s.timing == 0)
            expect(a.start == b.start, "a start moved at timing 0");
        if (s.length == 0)
            expect(a.length == b.length, "a length changed at length 0");
        if (s.velocity == 0)
            expect(a.velocity == b.velocity, "a velocity changed at velocity 0");
        expect(a.velocity <= 127 && (b.velocity == 0 || a.velocity >= 1), "a velocity left 1..127");
        expect(std::uint64_t{a.start} + a.length <= 0xFFFFFFFFu, "a note ends past 2^32 - 1 ticks");
        // Chords, doubled notes included, move as one.
        const auto chord = std::make_pair(int{b.track}, b.start);
        if (!chords.count(chord))
            chords[chord] = a.start;
        expect(chords[chord] == a.start, "a chord was split");
        voices[std::make_tuple(int{b.track}, int{b.channel}, int{b.pitch})].push_back(i);
        // No note crosses a program change of its channel.
        const std::vector<std::uint32_t>& changes = programTimes[b.channel & 15];
        const auto first = std::upper_bound(changes.begin(), changes.end(), std::min(a.start, b.start));
        expect(first == changes.end() || *first >= std::max(a.start, b.start), "a note crossed a program change");
    }
    // Notes of a voice keep their order; apart, they stay apart.
    for (auto& entry : voices) {
        std::vector<std::size_t>& list = entry.second;
        std::sort(list.begin(), list.end(), [&](std::size_t x, std::size_t y) {
            return std::make_pair(before[x].start, before[x].onEvent) < std::make_pair(before[y].start, before[y].onEvent);
        });
        for (std::size_t k = 1; k < list.size(); ++k) {
            const Note& b0 = before[list[k - 1]];
            const Note& b1 = before[list[k]];
            const Note& a0 = after[list[k - 1]];
            const Note& a1 = after[list[k]];
            expect(a0.start <= a1.start, "notes of one voice swapped");
            if (std::uint64_t{b0.start} + b0.length <= b1.start)
                expect(std::uint64_t{a0.start} + a0.length <= a1.start, "notes of one voice came to overlap");
        }
    }
    return broken;
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Strengths kSettings[] = {{99, 99, 99}, {60, 0, 0}, {0, 99, 0}, {0, 0, 99}, {99, 0, 50}, {30, 60, 0}};

TEST(Promises, HoldOnRealMusic)
{
    DIR* folder = opendir(GROOBLE_REAL_MIDI_DIR);
    ASSERT_NE(folder, nullptr) << GROOBLE_REAL_MIDI_DIR
                               << " is missing: scripts/install-deps.sh installs planetblupi-music-midi";
    std::vector<std::string> files;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".mid")
            files.push_back(std::string(GROOBLE_REAL_MIDI_DIR) + "/" + name);
    }
    closedir(folder);
    ASSERT_GE(files.size(), 10u);
    std::size_t notes = 0;
    std::set<std::uint32_t> seeds;
    for (const std::string& path : files) {
        const Bytes bytes = ReadBytes(path);
        humanize::MidiFile file;
        humanize::MidiError error;
        ASSERT_TRUE(humanize::ReadMidi(bytes, &file, &error)) << path << ": " << error.Describe();
        notes += file.notes.size();
        seeds.insert(humanize::SeedFromNotes(file.notes));
        for (const Strengths& s : kSettings) {
            SCOPED_TRACE(path + " at " + std::to_string(s.timing) + "," + std::to_string(s.length) + "," +
                         std::to_string(s.velocity));
            for (const std::string& fault : CheckPromises(bytes, s, 7))
                ADD_FAILURE() << fault;
        }
    }
    EXPECT_GT(notes, 100000u);
    EXPECT_EQ(seeds.size(), files.size()) << "two songs gave one seed";
}

// Small files written as bytes, each reproducing a fault once found.
using Track = midi_bytes::Events;

// A file of tracks, each given as (delta, bytes) events.
Bytes MakeFile(const std::vector<Track>& tracks, std::uint16_t tpq = 480)
{
    std::vector<Bytes> chunks;
    for (const Track& track : tracks)
        chunks.push_back(midi_bytes::Track(track));
    return midi_bytes::File(1, chunks, tpq);
}

Track Repeated(int count, std::uint32_t step, std::uint32_t length, std::uint8_t channel, std::uint8_t pitch)
{
    Track track;
    for (int i = 0; i < count; ++i) {
        track.push_back({i == 0 ? 0 : step - length, {std::uint8_t(0x90 | channel), pitch, 90}});
        track.push_back({length, {std::uint8_t(0x80 | channel), pitch, 0}});
    }
    return track;
}

TEST(Promises, HoldOnHostileFiles)
{
    // Drums: flams and rolls, chords of snare and hi-hat on one tick.
    Track drums;
    for (int i = 0; i < 200; ++i) {
        drums.push_back({i == 0 ? 0u : 20u, {0x99, 38, 100}});
        drums.push_back({0, {0x99, 42, 80}});
        drums.push_back({1, {0x89, 38, 0}});          // a flam: the snare again a tick later
        drums.push_back({0, {0x99, 38, 60}});
        drums.push_back({9, {0x89, 38, 0}});
        drums.push_back({0, {0x89, 42, 0}});
    }
    // Doubled notes and same-pitch notes that overlap, nested and not.
    Track doubled;
    for (int i = 0; i < 100; ++i) {
        doubled.push_back({i == 0 ? 0u : 10u, {0x90, 60, 90}});
        doubled.push_back({0, {0x90, 60, 70}});      // the same key twice on one tick
        doubled.push_back({5, {0x90, 62, 50}});
        doubled.push_back({5, {0x90, 62, 40}});      // overlapping the one before
        doubled.push_back({30, {0x80, 60, 0}});
        doubled.push_back({0, {0x80, 60, 0}});
        doubled.push_back({3, {0x80, 62, 0}});
        doubled.push_back({1, {0x90, 62, 0}});
    }
    // Program changes on the notes' own ticks, before and after them.
    Track programs;
    for (int i = 0; i < 100; ++i) {
        programs.push_back({i == 0 ? 0u : 40u, {0xC0, std::uint8_t(i % 100)}});
        programs.push_back({0, {0x90, std::uint8_t(50 + i % 20), 90}});
        programs.push_back({30, {0x80, std::uint8_t(50 + i % 20), 0}});
        programs.push_back({0, {0x90, 40, 90}});
        programs.push_back({10, {0xC0, 3}});
        programs.push_back({0, {0x80, 40, 0}});
    }
    // Stray note events: offs with nothing to end, an on never ended.
    Track strays = Repeated(50, 60, 40, 0, 64);
    strays.insert(strays.begin() + 10, {0, {0x80, 64, 0}});
    strays.insert(strays.begin() + 31, {5, {0x80, 64, 0}});
    strays.push_back({10, {0x90, 64, 99}});
    // Running status across a meta event; a padded delta.
    const Track across = {{0, {0x90, 60, 90}}, {0, {0xFF, 0x01, 0x01, 'x'}}, {100, {60, 0}},
                          {0, {0x90, 62, 90}}, {100, {62, 0}}};
    // Gaps a move could stretch past what a delta holds.
    const Track longNote = {{0, {0x90, 60, 90}}, {0x0FFFFFFF, {0x80, 60, 0}}};
    const Track longGap = {{0, {0x90, 60, 90}}, {10, {0x80, 60, 0}}, {0x0FFFFFFF - 10, {0x90, 61, 90}},
                           {10, {0x80, 61, 0}}};
    // Notes on the last ticks a file can hold.
    Track late;
    for (int i = 0; i < 15; ++i)
        late.push_back({0x0FFFFFFF, {0xFF, 0x01, 0x00}});
    late.push_back({0x0FFFFFFF, {0x90, 60, 90}});
    late.push_back({0x0F, {0x90, 61, 90}});
    late.push_back({0, {0x80, 60, 0}});
    late.push_back({0, {0x80, 61, 0}});
    // Many tracks, each a chord on one tick.
    std::vector<Track> manyTracks(2000);
    for (Track& track : manyTracks)
        for (int k = 0; k < 16; ++k)
            track.push_back({0, {0x90, std::uint8_t(40 + k), 90}});
    for (Track& track : manyTracks)
        for (int k = 0; k < 16; ++k)
            track.push_back({k == 0 ? 480u : 0u, {0x80, std::uint8_t(40 + k), 0}});

    const struct {
        const char* what;
        Bytes bytes;
    } files[] = {
        {"drum flams and rolls", MakeFile({drums}, 96)},
        {"doubled and overlapping notes", MakeFile({doubled})},
        {"program changes", MakeFile({programs})},
        {"program changes in another track", MakeFile({{{0, {0xC0, 5}}, {500, {0xC0, 6}}}, Repeated(40, 25, 20, 0, 70)})},
        {"stray note events", MakeFile({strays})},
        {"running status across a meta event", MakeFile({across})},
        {"a note 0x0FFFFFFF ticks long", MakeFile({longNote}, 960)},
        {"a gap of 0x0FFFFFFF ticks", MakeFile({longGap}, 960)},
        {"notes on the last ticks", MakeFile({late}, 960)},
        {"2000 tracks of one chord each", MakeFile(manyTracks)},
        {"back-to-back repeated notes", MakeFile({Repeated(500, 240, 240, 0, 50)})},
    };
    for (const auto& f : files)
        for (const Strengths& s : kSettings)
            for (std::uint32_t seed : {1u, 2u, 4000000000u}) {
                SCOPED_TRACE(std::string(f.what) + " at " + std::to_string(s.timing) + "," +
                             std::to_string(s.length) + "," + std::to_string(s.velocity) + " seed " +
                             std::to_string(seed));
                for (const std::string& fault : CheckPromises(f.bytes, s, seed))
                    ADD_FAILURE() << fault;
            }
}

}  // namespace
