// Standard MIDI Files: byte-stable round trips, the notes found in them,
// changed notes written back, and malformed files refused at the right
// byte.
#include "../humanize/midi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Chunk(const char* type, const Bytes& body)
{
    Bytes out(type, type + 4);
    const auto n = static_cast<std::uint32_t>(body.size());
    out.insert(out.end(), {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes File(std::uint16_t format, const std::vector<Bytes>& tracks, std::uint16_t tpq = 480)
{
    Bytes out = Chunk("MThd", {0, std::uint8_t(format), 0, std::uint8_t(tracks.size()),
                               std::uint8_t(tpq >> 8), std::uint8_t(tpq)});
    for (const Bytes& track : tracks)
        out.insert(out.end(), track.begin(), track.end());
    return out;
}

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

TEST(MidiFile, UntouchedFilesRoundTripByteForByte)
{
    const Bytes unknown = Chunk("XFIH", {1, 2, 3});
    Bytes withUnknown = File(1, {kTrack, kTrack});
    withUnknown.insert(withUnknown.end(), unknown.begin(), unknown.end());
    for (const Bytes& bytes : {File(0, {kTrack}), File(1, {kTrack, kTrack}), withUnknown}) {
        humanize::MidiFile file = Read(bytes);
        EXPECT_EQ(humanize::WriteMidi(file), bytes);
        // Notes read and put back unchanged change nothing either.
        std::vector<humanize::NoteLink> links;
        const auto notes = humanize::CollectNotes(file, &links);
        humanize::ApplyNotes(&file, notes, links);
        EXPECT_EQ(humanize::WriteMidi(file), bytes);
    }
}

TEST(MidiFile, RunningStatusAcrossAMetaEventIsReadAndWrittenOut)
{
    // Not allowed by the standard, found in files all the same.
    const Bytes track = Chunk("MTrk", {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01, 0x78,
                                       0x10, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    humanize::MidiFile file = Read(File(0, {track}));
    std::vector<humanize::NoteLink> links;
    EXPECT_EQ(humanize::CollectNotes(file, &links).size(), 1u);
    const Bytes written = humanize::WriteMidi(file);
    const Bytes expected = File(0, {Chunk("MTrk", {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01,
                                                   0x78, 0x10, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
    EXPECT_EQ(written, expected);
}

TEST(MidiFile, NotesPairFirstOnWithFirstOff)
{
    const Bytes track = Chunk("MTrk", {
        0x00, 0x91, 0x30, 0x10,   // on A
        0x0A, 0x91, 0x30, 0x20,   // on B, same pitch, overlapping
        0x0A, 0x81, 0x30, 0x00,   // off: ends A
        0x0A, 0x91, 0x30, 0x00,   // on with velocity 0: ends B
        0x0A, 0x91, 0x31, 0x30,   // never ended: no note
        0x00, 0x81, 0x32, 0x00,   // ends nothing
        0x00, 0xFF, 0x2F, 0x00});
    humanize::MidiFile file = Read(File(0, {track}));
    std::vector<humanize::NoteLink> links;
    const auto notes = humanize::CollectNotes(file, &links);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].start, 0);
    EXPECT_EQ(notes[0].length, 20);
    EXPECT_EQ(notes[0].velocity, 0x10);
    EXPECT_EQ(notes[0].channel, 1);
    EXPECT_EQ(notes[1].start, 10);
    EXPECT_EQ(notes[1].length, 20);
    EXPECT_EQ(notes[1].velocity, 0x20);
}

TEST(MidiFile, ChangedNotesAreWrittenInTimeOrderWithTheEndMovedOn)
{
    humanize::MidiFile file = Read(File(0, {kTrack}));
    std::vector<humanize::NoteLink> links;
    auto notes = humanize::CollectNotes(file, &links);
    ASSERT_EQ(notes.size(), 2u);  // C and E
    notes[0].start = 5;
    notes[0].length = 1000;       // now ends after everything else
    notes[0].velocity = 99;
    humanize::ApplyNotes(&file, notes, links);
    const Bytes written = humanize::WriteMidi(file);
    humanize::MidiFile again = Read(written);
    std::vector<humanize::NoteLink> links2;
    const auto notes2 = humanize::CollectNotes(again, &links2);
    ASSERT_EQ(notes2.size(), 2u);
    bool found = false;
    for (const auto& note : notes2)
        if (note.pitch == 0x3C) {
            found = true;
            EXPECT_EQ(note.start, 5);
            EXPECT_EQ(note.length, 1000);
            EXPECT_EQ(note.velocity, 99);
        }
    EXPECT_TRUE(found);
    const auto& events = again.chunks[0].events;
    for (size_t i = 1; i < events.size(); ++i)
        EXPECT_LE(events[i - 1].time, events[i].time);
    EXPECT_EQ(events.back().status, 0xFF);
    EXPECT_EQ(events.back().time, 1005u) << "the end of track follows the last note-off";
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
        {"format 2", with(9, 2), 8, "format 0 or 1"},
        {"SMPTE time", with(12, 0xE7), 12, "SMPTE"},
        {"cut in a track", cut(good.size() - 3), 18, "chunk length that fits"},
        {"a data byte with its top bit set", with(14 + 8 + 14, 0x90), 36, "data byte"},
        {"a status byte where none can run", with(14 + 8 + 1, 0x3C), 23, "status byte"},
        {"an undefined status byte", with(14 + 8 + 1, 0xF4), 23, "status byte"},
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

}  // namespace
