// The humanizer's promises, checked on whole files: real music nobody here
// wrote (a Debian package of game soundtracks) and small hostile files,
// each humanized at a few settings and read back. One checker, one table.
#include "../humanize/humanize.h"
#include "../humanize/humanize_file.h"
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

// A folder of real music nobody here wrote, from a Debian package.
struct RealFolder {
    const char* folder;
    const char* package;
    std::size_t files;
    std::size_t notes;
};
class RealMusic : public testing::TestWithParam<RealFolder> {};

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

    std::map<std::tuple<int, int, std::uint32_t>, std::uint32_t> chords;
    std::map<std::tuple<int, int, int>, std::vector<std::size_t>> voices;
    std::map<std::pair<int, int>, std::vector<std::size_t>> lanes;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const Note& b = before[i];
        const Note& a = after[i];
        // A strength of 0 leaves its field bit-identical (lengths: below).
        if (s.timing == 0)
            expect(a.start == b.start, "a start moved at timing 0");
        if (s.velocity == 0)
            expect(a.velocity == b.velocity, "a velocity changed at velocity 0");
        expect(a.velocity <= 127 && (b.velocity == 0 || a.velocity >= 1), "a velocity left 1..127");
        expect(std::uint64_t{a.start} + a.length <= 0xFFFFFFFFu, "a note ends past 2^32 - 1 ticks");
        expect(a.length >= std::min<std::uint32_t>(b.length, 1), "a note lost its last tick");
        // Chords, doubled notes included, move as one.
        const auto chord = std::make_tuple(int{b.track}, int{b.channel}, b.start);
        if (!chords.count(chord))
            chords[chord] = a.start;
        expect(chords[chord] == a.start, "a chord was split");
        voices[std::make_tuple(int{b.track}, int{b.channel}, int{b.pitch})].push_back(i);
        lanes[std::make_pair(int{b.track}, int{b.channel})].push_back(i);
        // No note crosses a program change of its channel: one of its own
        // track keeps its side by event order on one tick; onto the tick of
        // another track's none moves.
        for (const humanize::ProgramChange& p : file.fixed.programs) {
            if (p.channel != b.channel)
                continue;
            auto side = [&](std::uint32_t start) {
                const auto note = std::make_pair(start, p.track == b.track ? b.onEvent : 0u);
                const auto change = std::make_pair(p.time, p.track == b.track ? p.event : 0u);
                return (note > change) - (note < change);
            };
            expect(side(a.start) == side(b.start) || (side(b.start) == 0 && side(a.start) > 0),
                   "a note crossed a program change");
        }
        // No note event comes into a split system-exclusive message.
        for (const auto& span : file.sysexSpans) {
            auto inside = [&](const Note& n) {
                return span.track == n.track && std::uint64_t{n.start} + n.length >= span.first && n.start <= span.last;
            };
            expect(!inside(a) || inside(b), "a note came into a split system-exclusive message");
        }
    }
    auto byStart = [&](std::vector<std::size_t>& list) {
        std::sort(list.begin(), list.end(), [&](std::size_t x, std::size_t y) {
            return std::make_pair(before[x].start, before[x].onEvent) < std::make_pair(before[y].start, before[y].onEvent);
        });
    };
    // Notes of a voice keep their order; apart, they stay apart; touching,
    // they still touch. At length 0 an end moves only to keep a join or to
    // give way to the next note.
    for (auto& entry : voices) {
        std::vector<std::size_t>& list = entry.second;
        byStart(list);
        for (std::size_t k = 0; k < list.size(); ++k) {
            const Note& b0 = before[list[k]];
            const Note& a0 = after[list[k]];
            const std::uint64_t wasEnd = std::uint64_t{b0.start} + b0.length, end = std::uint64_t{a0.start} + a0.length;
            const Note* b1 = k + 1 < list.size() ? &before[list[k + 1]] : nullptr;
            const Note* a1 = k + 1 < list.size() ? &after[list[k + 1]] : nullptr;
            if (s.length == 0 && a0.length != b0.length)
                expect(a1 && (end == a1->start || (wasEnd > b1->start && end - a1->start == wasEnd - b1->start) ||
                              end == std::uint64_t{a1->start} + a1->length),
                       "a length changed at length 0 that kept no join");
            if (!a1)
                continue;
            expect(a0.start <= a1->start, "notes of one voice swapped");
            if (wasEnd <= b1->start)
                expect(end <= a1->start, "notes of one voice came to overlap");
            if (wasEnd == b1->start)
                expect(end == a1->start, "a join came apart");
        }
    }
    // Gestures of a lane keep their order.
    for (auto& entry : lanes) {
        std::vector<std::size_t>& list = entry.second;
        byStart(list);
        for (std::size_t k = 1; k < list.size(); ++k)
            expect(after[list[k - 1]].start <= after[list[k]].start, "notes of one lane swapped");
    }
    return broken;
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Strengths kSettings[] = {{99, 99, 99}, {60, 0, 0}, {0, 99, 0}, {0, 0, 99}, {99, 0, 50}, {30, 60, 0}};

TEST_P(RealMusic, PromisesHold)
{
    const RealFolder& music = GetParam();
    DIR* folder = opendir(music.folder);
    ASSERT_NE(folder, nullptr) << music.folder << " is missing: scripts/install-deps.sh installs " << music.package;
    std::vector<std::string> files;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".mid")
            files.push_back(std::string(music.folder) + "/" + name);
    }
    closedir(folder);
    ASSERT_GE(files.size(), music.files);
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
    EXPECT_GT(notes, music.notes);
    EXPECT_EQ(seeds.size(), files.size()) << "two songs gave one seed";
}

// Game soundtracks with drums and played-in parts, and tunes for a train game.
INSTANTIATE_TEST_SUITE_P(TwoDebianPackages, RealMusic,
                         testing::Values(RealFolder{"/usr/share/planetblupi/music", "planetblupi-music-midi", 10, 200000},
                                         RealFolder{"/usr/share/games/openttd/baseset/openmsx", "openttd-openmsx", 30, 80000}),
                         [](const testing::TestParamInfo<RealFolder>& info) {
                             std::string name = info.param.package;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

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
        programs.push_back({10, {0x90, 41, 90}});     // a note-on before a change on its tick
        programs.push_back({0, {0xC0, 3}});
        programs.push_back({0, {0x80, 40, 0}});
        programs.push_back({5, {0x80, 41, 0}});
    }
    // Stray note events: offs with nothing to end, an on never ended.
    Track strays = Repeated(50, 60, 40, 0, 64);
    strays.insert(strays.begin() + 10, {0, {0x80, 64, 0}});
    strays.insert(strays.begin() + 31, {5, {0x80, 64, 0}});
    strays.push_back({10, {0x90, 64, 99}});
    // Notes released twice, as played-in files have it: on their end tick
    // or a few ticks after it (then up to the next note's tick), apart and
    // back to back, the second release as a note-on of 0 or not.
    Track twice;
    for (int i = 0; i < 100; ++i) {
        const std::uint8_t pitch = std::uint8_t(50 + i % 3);
        const std::uint32_t late = i % 5 == 4 ? 3u : 0u;
        twice.push_back({i % 4 == 3 ? 0u : 30u - late, {0x90, pitch, 90}});
        twice.push_back({50, {0x80, pitch, 0}});
        twice.push_back({late, {std::uint8_t(i % 2 ? 0x90 : 0x80), pitch, 0}});
    }
    twice.push_back({1, {0x90, 50, 90}});  // a note-on never ended, just after the last release
    // A split system-exclusive message among notes: F0 without F7, then
    // an F7 packet that ends it.
    Track split = Repeated(60, 40, 30, 0, 55);
    split.insert(split.begin() + 40, {5, {0xF0, 0x02, 0x7E, 0x01}});
    split.insert(split.begin() + 41, {10, {0xF7, 0x02, 0x02, 0xF7}});
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
        {"notes released twice", MakeFile({twice})},
        {"a split system-exclusive message", MakeFile({split})},
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

// Each guard at its edge, where a guard a little short would let a move
// through: a note 10 ticks after another track's program change of its
// channel; a gap 130 ticks short of what a delta holds, at 960 ticks a
// quarter (the reach counts twice, once each side); a note ending 20 ticks
// before a split system-exclusive message. Over forty seeds (and sixteen
// gaps), so that some draws go to each edge.
TEST(Promises, HoldAtTheGuardsEdges)
{
    const Track changes = {{0, {0xC0, 5}}, {500, {0xC0, 6}}};
    Track near;
    for (int i = 0; i < 8; ++i) {
        near.push_back({i == 0 ? 510u : 90u, {0x90, std::uint8_t(60 + i), 90}});
        near.push_back({10, {0x80, std::uint8_t(60 + i), 0}});
    }
    std::vector<Track> gaps;  // one a channel: sixteen players, sixteen draws
    for (std::uint8_t c = 0; c < 16; ++c)
        gaps.push_back({{1000, {std::uint8_t(0x90 | c), 60, 90}}, {10, {std::uint8_t(0x80 | c), 60, 0}},
                        {0x0FFFFFFF - 130, {std::uint8_t(0x90 | c), 61, 90}}, {10, {std::uint8_t(0x80 | c), 61, 0}}});
    const Track split = {{1000, {0x90, 60, 90}}, {20, {0x80, 60, 0}}, {20, {0xF0, 0x02, 0x7E, 0x01}},
                         {60, {0xF7, 0x02, 0x02, 0xF7}}};
    const struct {
        const char* what;
        Bytes bytes;
    } files[] = {
        {"a note 10 ticks after another track's program change", MakeFile({changes, near})},
        {"sixteen tracks, each a gap 130 ticks short of the largest delta", MakeFile(gaps, 960)},
        {"a note 20 ticks before a split system-exclusive message", MakeFile({split})},
    };
    for (const auto& f : files)
        for (const Strengths& s : {Strengths{99, 0, 0}, Strengths{99, 99, 99}})
            for (std::uint32_t seed = 1; seed <= 40; ++seed) {
                SCOPED_TRACE(std::string(f.what) + " at " + std::to_string(s.timing) + "," + std::to_string(s.length) +
                             " seed " + std::to_string(seed));
                for (const std::string& fault : CheckPromises(f.bytes, s, seed))
                    ADD_FAILURE() << fault;
            }
}

}  // namespace
