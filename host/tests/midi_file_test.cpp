// Standard MIDI Files: byte-stable round trips, the notes found in them,
// changed notes written back, and malformed files refused at the right
// byte.
#include "../humanize/humanize_file.h"
#include "../humanize/midi_file.h"
#include "../humanize/note_order.h"
#include "midi_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using midi_bytes::Bytes;
using midi_bytes::Chunk;
using midi_bytes::File;

// A track that uses what real files use: running status, a note-on of
// velocity 0 as note-off, a padded delta time, system exclusive, a program
// change of one data byte.
const Bytes kTrack = Chunk("MTrk", {
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,        // tempo
    0x00, 0xFF, 0x01, 0x01, 0x78,                    // a text event
    0x00, 0xC0, 0x05,                                // program change
    0x00, 0x90, 0x3C, 0x64,                          // C on
    0x00, 0x40, 0x50,                                // E on, running status
    0x83, 0x60, 0x3C, 0x00,                          // C off (velocity 0), 480 later
    0x80, 0x00, 0x40, 0x00,                          // E off, padded delta 0, running status
    0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,              // system exclusive
    0x00, 0xFF, 0x2F, 0x00,                          // end of track
});

humanize::MidiFile Read(const Bytes& bytes)
{
    humanize::MidiFile file;
    humanize::MidiError error;
    EXPECT_TRUE(humanize::ReadMidi(bytes, &file, &error)) << error.Describe();
    return file;
}

TEST(MidiFile, UntouchedTracksRoundTripByteForByte)
{
    const Bytes unknown = Chunk("XFIH", {1, 2, 3});
    Bytes withUnknown = File(1, {kTrack, kTrack});
    withUnknown.insert(withUnknown.end(), unknown.begin(), unknown.end());
    // Running status across a meta event: not allowed by the standard, found
    // in files all the same, and kept as it was.
    const Bytes across = Chunk("MTrk", {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01, 0x78,
                                        0x10, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    for (const Bytes& bytes : {File(0, {kTrack}), File(1, {kTrack, kTrack}), withUnknown, File(0, {across})}) {
        humanize::MidiFile file = Read(bytes);
        EXPECT_EQ(humanize::WriteMidi(file), bytes);
        // Humanized at strength 0 nothing changes either.
        humanize::HumanizeFile(&file, humanize::Strengths{0, 0, 0}, 1);
        EXPECT_EQ(humanize::WriteMidi(file), bytes);
    }
}

TEST(MidiFile, NotesPairFirstOnWithFirstOffAndTheRestAreStrays)
{
    const Bytes track = Chunk("MTrk", {
        0x00, 0xC1, 0x07,         // program change
        0x00, 0x91, 0x30, 0x10,   // on A
        0x0A, 0x91, 0x30, 0x20,   // on B, same pitch, overlapping
        0x0A, 0x81, 0x30, 0x00,   // off: ends A
        0x0A, 0x91, 0x30, 0x00,   // on with velocity 0: ends B
        0x0A, 0x91, 0x31, 0x30,   // never ended: no note
        0x00, 0x81, 0x32, 0x00,   // ends nothing
        0x00, 0xFF, 0x2F, 0x00});
    humanize::MidiFile file = Read(File(0, {track}));
    const auto& notes = file.notes;
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].start, 0u);
    EXPECT_EQ(notes[0].length, 20u);
    EXPECT_EQ(notes[0].velocity, 0x10);
    EXPECT_EQ(notes[0].channel, 1);
    EXPECT_EQ(notes[0].flags & humanize::kOffIsNoteOn, 0);
    EXPECT_EQ(notes[1].start, 10u);
    EXPECT_EQ(notes[1].length, 20u);
    EXPECT_EQ(notes[1].velocity, 0x20);
    EXPECT_NE(notes[1].flags & humanize::kOffIsNoteOn, 0);
    ASSERT_EQ(file.fixed.programs.size(), 1u);
    EXPECT_EQ(file.fixed.programs[0].channel, 1);
    ASSERT_EQ(file.fixed.strays.size(), 2u);
    EXPECT_EQ(file.fixed.strays[0].pitch, 0x32);
    EXPECT_FALSE(file.fixed.strays[0].on);
    EXPECT_EQ(file.fixed.strays[1].pitch, 0x31);
    EXPECT_TRUE(file.fixed.strays[1].on);
}

TEST(MidiFile, ChangedNotesAreWrittenInTimeOrderAndReadBackAsWritten)
{
    humanize::MidiFile file = Read(File(0, {kTrack}));
    ASSERT_EQ(file.notes.size(), 2u);  // C and E
    humanize::Note& c = file.notes[0].pitch == 0x3C ? file.notes[0] : file.notes[1];
    c.start = 5;
    c.length = 1000;  // now ends after everything else, the end of track with it
    c.velocity = 99;
    c.flags |= humanize::kTimesChanged | humanize::kVelocityChanged;
    humanize::MidiFile again = Read(humanize::WriteMidi(file));
    ASSERT_EQ(again.notes.size(), 2u);
    const humanize::Note& back = again.notes[0].pitch == 0x3C ? again.notes[0] : again.notes[1];
    EXPECT_EQ(back.start, 5u);
    EXPECT_EQ(back.length, 1000u);
    EXPECT_EQ(back.velocity, 99);
    EXPECT_EQ(again.fixed.programs.size(), 1u);
    // A meta event ends running status: the note-on after a lyric has its
    // status byte again (a player that reads the standard drops it else).
    const Bytes lyric = Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x05, 0x01, 'a', 0x00, 0x3E, 0x40,
                                       0x0A, 0x80, 0x3C, 0x00, 0x00, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    humanize::MidiFile sung = Read(File(0, {lyric}));
    for (humanize::Note& note : sung.notes)
        note.flags |= humanize::kTimesChanged;
    const Bytes sungBack = humanize::WriteMidi(sung);
    const Bytes want = Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x05, 0x01, 'a', 0x00, 0x90, 0x3E, 0x40,
                                      0x0A, 0x80, 0x3C, 0x00, 0x00, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(Bytes(sungBack.begin() + 14, sungBack.end()), want);
    // A note moved past what one delta time holds is refused, not written.
    c.start = 0x10000300;
    EXPECT_EQ(humanize::WriteMidi(file, [](const std::uint8_t*, std::size_t) { return true; }),
              humanize::Written::kGapTooLarge);
    EXPECT_EQ(humanize::WriteMidi(file, [](const std::uint8_t*, std::size_t) { return false; }), humanize::Written::kRefused);
}

TEST(MidiFile, OnlyVelocitiesChangedKeepsEveryOtherByte)
{
    const Bytes bytes = File(0, {kTrack});
    humanize::MidiFile file = Read(bytes);
    for (humanize::Note& note : file.notes) {
        note.velocity = 1;
        note.flags |= humanize::kVelocityChanged;
    }
    const Bytes written = humanize::WriteMidi(file);
    ASSERT_EQ(written.size(), bytes.size());
    int differ = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        differ += written[i] != bytes[i];
    EXPECT_EQ(differ, 2) << "the two note-on velocities, nothing else";
}

TEST(MidiFile, MalformedFilesNameTheByteAndWhatWasExpected)
{
    const Bytes good = File(0, {kTrack});
    auto with = [&](size_t at, std::uint8_t value) { Bytes b = good; b[at] = value; return b; };
    auto cut = [&](size_t size) { return Bytes(good.begin(), good.begin() + size); };
    const struct {
        const char* what;
        Bytes bytes;
        size_t offset;
        const char* expected;
    } cases[] = {
        {"empty", {}, 0, "header chunk"},
        {"not MIDI", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0}, 0, "header chunk"},
        {"format 3", with(9, 3), 8, "format 0, 1 or 2"},
        {"SMPTE time", with(12, 0xE7), 12, "SMPTE"},
        {"cut in a track", cut(good.size() - 3), 18, "chunk length that fits"},
        {"a data byte with its top bit set", with(14 + 8 + 14, 0x90), 36, "data byte"},
        {"a status byte where none can run", with(14 + 8 + 1, 0x3C), 23, "status byte"},
        {"an undefined status byte", with(14 + 8 + 1, 0xF4), 23, "status byte"},
        {"running status after a system-exclusive event", with(14 + 8 + 37, 0x3C), 59, "system-exclusive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        humanize::MidiFile file;
        humanize::MidiError error;
        ASSERT_FALSE(humanize::ReadMidi(c.bytes, &file, &error));
        EXPECT_EQ(error.offset, c.offset) << error.Describe();
        EXPECT_NE(error.expected.find(c.expected), std::string::npos) << error.Describe();
    }
    // No end of track, and a track count the header does not keep.
    humanize::MidiFile file;
    humanize::MidiError error;
    EXPECT_FALSE(humanize::ReadMidi(File(1, {Chunk("MTrk", {0x00, 0x90, 0x3C, 0x40})}), &file, &error));
    EXPECT_NE(error.expected.find("end-of-track"), std::string::npos) << error.Describe();
    Bytes twoSaid = File(1, {kTrack});
    twoSaid[11] = 2;
    EXPECT_FALSE(humanize::ReadMidi(twoSaid, &file, &error));
    EXPECT_NE(error.expected.find("as many track chunks"), std::string::npos) << error.Describe();
}

// A track's notes by note-on: the merge of its channels, the writer's fast
// way, gives what sorting them gives, for tracks of one to sixteen
// channels, each in order or not.
TEST(MidiFile, NotesComeByNoteOnAsSortingThemWouldGive)
{
    std::mt19937 random(5);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<humanize::Note> notes;
        const int channels = 1 + trial % 16;
        std::uint32_t event = 0;
        for (int channel = 0; channel < channels; ++channel) {
            std::uint32_t start = random() % 50;
            for (int k = 0, n = static_cast<int>(random() % 40); k < n; ++k) {
                humanize::Note note;
                note.channel = static_cast<std::uint8_t>(channel);
                note.start = trial % 3 == 0 ? static_cast<std::uint32_t>(random() % 500) : start += random() % 30;
                note.onEvent = event += 1 + random() % 3;  // unique, as a track's events are
                notes.push_back(note);
            }
        }
        const auto key = [](const humanize::Note& n) { return std::uint64_t{n.start} << 32 | n.onEvent; };
        const auto count = static_cast<std::uint32_t>(notes.size());
        ASSERT_EQ(humanize::InOrder(notes.data(), count, key), humanize::SortedOrder(notes.data(), count, key))
            << channels << " channels, trial " << trial;
    }
}

}  // namespace
