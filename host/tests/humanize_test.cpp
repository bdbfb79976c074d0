// The humanizer's rules, each test aimed at a fault other humanizers
// shipped: velocity 0, a one-sided mean, overlapping or zero-length notes,
// moves before tick 0, chords split apart, and offsets reshuffled when one
// strength changes.
#include "../humanize/humanize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using humanize::Note;
using humanize::Strengths;

Note MakeNote(std::uint32_t start, std::uint32_t length, int pitch, int velocity = 64,
              std::uint32_t track = 0, int channel = 0)
{
    Note note;
    note.start = start;
    note.length = length;
    note.pitch = static_cast<std::uint8_t>(pitch);
    note.velocity = static_cast<std::uint8_t>(velocity);
    note.track = track;
    note.channel = static_cast<std::uint8_t>(channel);
    return note;
}

std::int64_t Delta(std::int64_t now, std::int64_t was)
{
    return now - was;
}

// A long run of eighth notes cycling through pitches, with some chords.
std::vector<Note> Music(int count, int tpq = 480)
{
    std::vector<Note> notes;
    for (int i = 0; i < count; ++i) {
        notes.push_back(MakeNote(i * tpq / 2, tpq / 2, 40 + i % 24, 20 + i % 100));
        if (i % 4 == 0)
            notes.push_back(MakeNote(i * tpq / 2, tpq / 2, 70 + i % 12, 90));
    }
    return notes;
}

// R5 to R7: the steps the script takes by Schrage's method give what the
// 64-bit products give, for any state and every multiplier it uses; the
// MINSTD step is Park and Miller's (from 1, the 10,000th value is
// 1043618065).
TEST(KeyedDraws, R5ToR7TheScriptsArithmeticGivesTheSameHashes)
{
    std::int32_t x = 1;
    for (int i = 0; i < 10000; ++i)
        x = humanize::TimesModulo(x, 16807);
    EXPECT_EQ(x, 1043618065);
    for (int i = 0; i < 20000; ++i) {
        x = humanize::TimesModulo(x, 16807);
        const std::int32_t multiplier = i % 3 == 0 ? 2 + i % 46339 : i % 3 == 1 ? 16807 : (i % 128) * 181 + 2;
        ASSERT_EQ(humanize::TimesModulo(x, static_cast<std::uint32_t>(multiplier)),
                  humanize::MultiplyModulo(x, multiplier)) << x << " * " << multiplier;
    }
    // The run's keys stay where the script's arithmetic holds.
    for (std::uint32_t seed : {0u, 1u, 999u, 1000000007u, 4294967295u}) {
        const humanize::KeyedDraws keys(seed);
        EXPECT_GE(keys.Base(), 1);
        EXPECT_LT(keys.Base(), 1 << 20);
        EXPECT_GE(keys.Multiplier(), 23170);
        EXPECT_LE(keys.Multiplier(), 46340);
    }
}

TEST(Mapping, R9LargestOffsetsAtStrength99AndZeroAtZero)
{
    for (int tpq : {96, 120, 480, 960}) {
        SCOPED_TRACE(tpq);
        EXPECT_EQ(humanize::ScaledOffset(127, tpq * 99, 792), (tpq + 4) / 8);   // a 32nd note
        EXPECT_EQ(humanize::ScaledOffset(-127, tpq * 99, 792), -((tpq + 4) / 8));
        EXPECT_EQ(humanize::ScaledOffset(127, 0, 792), 0);
    }
    EXPECT_EQ(humanize::ScaledOffset(127, 20 * 99, 99), 20);
    EXPECT_EQ(humanize::ScaledOffset(127, 400 * 99, 396), 100);  // a quarter of 400 ticks
    // Half away from zero, the same on both sides: 63.5 / 127 is a half.
    EXPECT_EQ(humanize::ScaledOffset(64, 1, 1), 1);
    EXPECT_EQ(humanize::ScaledOffset(-64, 1, 1), -1);
    EXPECT_EQ(humanize::ScaledOffset(63, 1, 1), 0);
    EXPECT_EQ(humanize::ScaledOffset(-63, 1, 1), 0);
    // Monotone in the strength.
    for (int s = 1; s < 99; ++s)
        EXPECT_LE(humanize::ScaledOffset(100, 480 * s, 792), humanize::ScaledOffset(100, 480 * (s + 1), 792));
}

TEST(Humanize, R16StrengthZeroLeavesEveryFieldBitIdentical)
{
    // With back-to-back repeated notes, which limit one another's moves.
    std::vector<Note> before = Music(500);
    for (int i = 0; i < 300; ++i)
        before.push_back(MakeNote(i * 120, 120, 30, 64, 1));
    before.push_back(MakeNote(100000, 0, 90));  // 0 ticks long
    for (Strengths s : {Strengths{0, 0, 0}, Strengths{0, 50, 50}, Strengths{50, 0, 50}, Strengths{50, 50, 0}}) {
        std::vector<Note> notes = before;
        humanize::Humanize(notes, 480, s, 3);
        for (size_t i = 0; i < notes.size(); ++i) {
            if (s.timing == 0) {
                ASSERT_EQ(notes[i].start, before[i].start) << i;
            }
            if (s.length == 0 && s.timing == 0) {
                ASSERT_EQ(notes[i].length, before[i].length) << i;
            }
            if (s.velocity == 0) {
                ASSERT_EQ(notes[i].velocity, before[i].velocity) << i;
            }
        }
    }
}

// Over many draws the offsets are centred, spread as the triangular draw
// says, bounded, and go both ways: no one-sided bias, no dead range.
TEST(Humanize, R9OffsetsAreCentredBoundedAndSpreadAsDrawn)
{
    const int tpq = 960;
    std::vector<Note> notes;
    for (int i = 0; i < 20000; ++i)
        notes.push_back(MakeNote(10000 + i * 1000, 960, 40 + i % 2, 64));
    const std::vector<Note> before = notes;
    humanize::Humanize(notes, tpq, Strengths{99, 99, 99}, 12345);
    const double a[3] = {tpq / 8.0, 960 / 4.0, 20.0};
    double sum[3] = {}, squares[3] = {};
    int negative[3] = {}, positive[3] = {};
    for (size_t i = 0; i < notes.size(); ++i) {
        const double d[3] = {static_cast<double>(Delta(notes[i].start, before[i].start)),
                             static_cast<double>(Delta(notes[i].length, before[i].length)),
                             static_cast<double>(Delta(notes[i].velocity, before[i].velocity))};
        for (int f = 0; f < 3; ++f) {
            sum[f] += d[f];
            squares[f] += d[f] * d[f];
            ASSERT_LE(std::fabs(d[f]), std::round(a[f])) << "field " << f << " note " << i;
            (d[f] < 0 ? negative[f] : positive[f]) += d[f] != 0;
        }
    }
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const double mean = sum[f] / notes.size();
        const double sigma = std::sqrt(squares[f] / notes.size() - mean * mean);
        EXPECT_LT(std::fabs(mean), 0.05 * a[f]);
        EXPECT_NEAR(sigma, a[f] / std::sqrt(6.0), 0.05 * a[f] / std::sqrt(6.0));
        EXPECT_GT(negative[f], 5000);
        EXPECT_GT(positive[f], 5000);
    }
}

TEST(Humanize, R11R13R15LimitsHoldAtTheEdges)
{
    std::vector<Note> notes;
    for (int i = 0; i < 400; ++i) {
        notes.push_back(MakeNote(i % 5, 1 + i % 2, 30 + i % 50, i % 2 ? 1 : 127, i % 3));
        notes.push_back(MakeNote(5000 + i * 100, 2, 90, i % 2 ? 2 : 126, i % 3));
    }
    notes.push_back(MakeNote(50, 10, 20, 0));  // a velocity of 0 stays 0: it is no note-on
    humanize::Humanize(notes, 960, Strengths{99, 99, 99}, 99);
    for (const Note& note : notes) {
        EXPECT_GE(note.start, 0);
        EXPECT_GE(note.length, 1);
        if (note.pitch != 20) {
            EXPECT_GE(note.velocity, 1);
            EXPECT_LE(note.velocity, 127);
        }
    }
    EXPECT_EQ(notes.back().velocity, 0);
}

// R2, R10: a chord moves as one; tracks of other channels are other
// players and move apart; tracks of one channel are one player, and the
// chords they share move as one.
TEST(Humanize, R10ChordsMoveAsOnePlayersApart)
{
    std::vector<Note> notes;
    const int channels[] = {0, 1, 0};
    for (int bar = 0; bar < 200; ++bar)
        for (int pitch : {60, 64, 67})
            for (std::uint32_t track : {0u, 1u, 2u})
                notes.push_back(MakeNote(1000 + bar * 480, 240, pitch + static_cast<int>(track), 80, track, channels[track]));
    const std::vector<Note> before = notes;
    humanize::Humanize(notes, 480, Strengths{99, 50, 50}, 4);
    std::map<std::pair<std::uint32_t, std::int64_t>, std::int64_t> moved;
    int otherChannel = 0, sameChannel = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        const auto key = std::make_pair(before[i].track, before[i].start);
        if (!moved.count(key))
            moved[key] = notes[i].start;
        EXPECT_EQ(notes[i].start, moved[key]) << "a chord was split, note " << i;
    }
    for (int bar = 0; bar < 200; ++bar) {
        otherChannel += moved[{0u, 1000 + bar * 480}] != moved[{1u, 1000 + bar * 480}];
        sameChannel += moved[{0u, 1000 + bar * 480}] == moved[{2u, 1000 + bar * 480}];
    }
    EXPECT_GT(otherChannel, 100) << "two channels' chords moved as one";
    EXPECT_EQ(sameChannel, 200) << "one channel's chords in two tracks moved apart";
}

// A gesture reaches exactly a 64th note (TPQ/16) past its first start,
// not past each note in turn: once a bar, at 99,0,0, a pair exactly a 64th
// apart keeps its interval; a roll of 8 notes 20 ticks apart moves as four
// pairs, not as one rigid block.
TEST(Humanize, R3GesturesReachAFixed64thFromTheirFirstStart)
{
    const struct {
        const char* what;
        int count, step;
        int rigidAtMost;  // bars of 400 whose intervals all stayed as read
    } rows[] = {{"a pair a 64th apart", 2, 30, 400}, {"a roll 20 ticks apart", 8, 20, 40}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<Note> notes;
        for (int bar = 0; bar < 400; ++bar)
            for (int k = 0; k < row.count; ++k)
                notes.push_back(MakeNote(1000 + bar * 1920 + k * row.step, 10, 50 + k));
        const std::vector<Note> before = notes;
        humanize::Humanize(notes, 480, Strengths{99, 0, 0}, 21);
        int rigid = 0;
        for (int bar = 0; bar < 400; ++bar) {
            const Note* n = &notes[static_cast<size_t>(bar * row.count)];
            bool same = true;
            for (int k = 1; k < row.count; ++k) {
                const std::int64_t interval = Delta(n[k].start, n[k - 1].start);
                same = same && interval == row.step;
                if (k % 2 == 1) {
                    ASSERT_EQ(interval, row.step) << "a gesture came apart in bar " << bar;
                }
            }
            rigid += same;
        }
        EXPECT_LE(rigid, row.rigidAtMost) << "later gestures joined the first";
    }
}

// A generated groove at 60,40,60, every kind of note against what the draw
// alone gives (97 % moved, a spread of 1/sqrt(6) of the largest move, no
// mean): a legato bass of repeated eighths in runs of four, a kick and a
// hat on its track, a chord played over 20 ticks, and a band of three
// channels in one track, as a format-0 file holds it.
TEST(Humanize, R3R14EveryKindOfNoteMovesAsTheDrawSays)
{
    enum Kind { kFirst, kMiddle, kLast, kDrum, kChord, kBand, kKinds };
    std::vector<Note> notes;
    std::vector<int> kinds;
    auto add = [&](std::uint32_t start, std::uint32_t length, int pitch, int channel, std::uint32_t track, int kind) {
        notes.push_back(MakeNote(start, length, pitch, 80, track, channel));
        kinds.push_back(kind);
    };
    for (std::uint32_t bar = 0, base = 0; bar < 1000; ++bar, base += 1920) {
        for (std::uint32_t e = 0; e < 8; ++e) {
            add(base + e * 240, 240, 40 + (bar * 2 + e / 4) % 12, 0, 0, e % 4 == 0 ? kFirst : e % 4 == 3 ? kLast : kMiddle);
            add(base + e * 240, 60, 42, 9, 0, kDrum);
            if (e % 2 == 0)
                add(base + e * 240, 60, 36, 9, 0, kDrum);
        }
        for (int k = 0; k < 4; ++k)
            add(base + 960 + std::vector<std::uint32_t>{0, 7, 13, 20}[k], 700, 60 + 4 * k, 1, 1, kChord);
        for (int channel = 2; channel < 5; ++channel)
            for (std::uint32_t q = 0; q < 4; ++q)
                add(base + q * 480, 400, 50 + channel * 5, channel, 2, kBand);
    }
    const std::vector<Note> before = notes;
    const humanize::Summary summary = humanize::Humanize(notes, 480, Strengths{60, 40, 60}, 7);
    const double largest = static_cast<double>(humanize::LargestMove(480, 60));
    std::vector<double> moves[kKinds];
    std::vector<size_t> bass;
    int bandPairs = 0, bandAsOne = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        moves[kinds[i]].push_back(Delta(notes[i].start, before[i].start) / largest);
        if (kinds[i] <= kLast)
            bass.push_back(i);
        if (kinds[i] == kChord && kinds[i + 1] == kChord) {
            ASSERT_EQ(notes[i + 1].start - notes[i].start, before[i + 1].start - before[i].start) << "a played chord changed";
        }
        if (kinds[i] == kBand && before[i].channel > 2) {
            ++bandPairs;
            bandAsOne += Delta(notes[i].start, before[i].start) == Delta(notes[i - 4].start, before[i - 4].start);
        }
    }
    for (int kind = 0; kind < kKinds; ++kind) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        const std::vector<double>& m = moves[kind];
        double mean = 0, squares = 0, moved = 0;
        for (double x : m) {
            mean += x / m.size();
            squares += x * x / m.size();
            moved += (x != 0) / static_cast<double>(m.size());
        }
        EXPECT_GT(moved, 0.92);
        EXPECT_NEAR(std::sqrt(squares - mean * mean), 1 / std::sqrt(6.0), 0.08 / std::sqrt(6.0));
        EXPECT_LT(std::fabs(mean), 0.03);
    }
    int joins = 0, joined = 0, followed = 0;
    for (size_t k = 0; k + 1 < bass.size(); ++k)
        if (kinds[bass[k]] != kLast) {
            const Note& next = notes[bass[k + 1]];
            ++joins;
            joined += notes[bass[k]].start + notes[bass[k]].length == next.start;
            followed += next.start != before[bass[k + 1]].start;
        }
    EXPECT_EQ(joined, joins) << "legato joins came apart";
    EXPECT_EQ(summary.endsJoined, followed);
    EXPECT_LT(bandAsOne, bandPairs / 10) << "the band's channels moved as one";
}

// A line of 10,000 gestures: the bound held, the draw's spread kept
// within a tenth, and successive moves independent (lag-1 autocorrelation
// within 0.05). A guard: timing whose moves drift together (long-range
// correlated) is a patented method until 2028 and must not come back.
TEST(Humanize, R10GestureMovesAreBoundedAndIndependent)
{
    std::vector<Note> notes;
    for (int i = 0; i < 10000; ++i)
        notes.push_back(MakeNote(1000 + i * 240, 200, 40 + i % 30));
    const std::vector<Note> before = notes;
    humanize::Humanize(notes, 480, Strengths{60, 0, 0}, 11);
    const double largest = static_cast<double>(humanize::LargestMove(480, 60));
    std::vector<double> moves;
    double squares = 0, mean = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        moves.push_back(Delta(notes[i].start, before[i].start) / largest);
        squares += moves.back() * moves.back() / notes.size();
        mean += moves.back() / notes.size();
        ASSERT_LE(std::fabs(moves.back()), 1.0) << i;
    }
    EXPECT_NEAR(std::sqrt(squares), 1 / std::sqrt(6.0), 0.1 / std::sqrt(6.0));
    double lagged = 0, variance = 0;
    for (size_t i = 0; i < moves.size(); ++i) {
        variance += (moves[i] - mean) * (moves[i] - mean);
        if (i > 0)
            lagged += (moves[i] - mean) * (moves[i - 1] - mean);
    }
    EXPECT_NEAR(lagged / variance, 0.0, 0.05);
}

TEST(Humanize, R12R13RepeatedPitchesKeepTheirOrderAndNeverOverlap)
{
    // Back-to-back notes of one pitch, some only a tick long.
    std::vector<Note> notes;
    for (int i = 0; i < 3000; ++i)
        notes.push_back(MakeNote(i * 30, i % 7 == 0 ? 1 : 30, 50, 64));
    const std::vector<Note> before = notes;
    humanize::Humanize(notes, 960, Strengths{99, 99, 0}, 8);
    for (size_t i = 1; i < notes.size(); ++i) {
        ASSERT_GT(notes[i].start, notes[i - 1].start) << i;
        ASSERT_LE(Delta(notes[i - 1].start, 0) + notes[i - 1].length, notes[i].start) << i;
        ASSERT_GE(notes[i].length, 1);
    }
}

TEST(Humanize, R8SameSeedSameResultAndOneStrengthNeverReshufflesAnother)
{
    const std::vector<Note> music = Music(2000);
    auto run = [&](Strengths s, std::uint32_t seed) {
        std::vector<Note> notes = music;
        humanize::Humanize(notes, 480, s, seed);
        return notes;
    };
    const auto a = run({40, 40, 40}, 5);
    const auto b = run({40, 40, 40}, 5);
    const auto c = run({40, 40, 40}, 6);
    const auto louder = run({40, 40, 90}, 5);
    const auto stronger = run({80, 40, 40}, 5);
    int differ = 0;
    for (size_t i = 0; i < music.size(); ++i) {
        ASSERT_EQ(a[i].start, b[i].start);
        ASSERT_EQ(a[i].velocity, b[i].velocity);
        differ += a[i].start != c[i].start;
        // Another velocity strength: the same timing and lengths.
        ASSERT_EQ(louder[i].start, a[i].start) << i;
        ASSERT_EQ(louder[i].length, a[i].length) << i;
        // A stronger timing scales the same pattern: the same direction.
        const std::int64_t small = Delta(a[i].start, music[i].start);
        const std::int64_t large = Delta(stronger[i].start, music[i].start);
        if (music[i].start > 240 && small != 0) {
            ASSERT_TRUE((small > 0) == (large > 0) && std::llabs(large) >= std::llabs(small)) << i;
        }
    }
    EXPECT_GT(differ, 1000) << "another seed gave nearly the same offsets";
}

// The notes are drawn for in lane order whatever order they come in: in
// that order already, by start with the notes of a start in any order (a
// file's chords, and a crowd of 40 on one tick), or in none.
TEST(Humanize, R8TheOrderTheNotesComeInChangesNothing)
{
    std::vector<Note> music = Music(300);
    for (int pitch = 30; pitch < 70; ++pitch)
        music.push_back(MakeNote(150 * 240 + 7, 100, pitch));
    std::stable_sort(music.begin(), music.end(), [](const Note& a, const Note& b) {
        return std::make_pair(a.start, a.pitch) < std::make_pair(b.start, b.pitch);
    });
    auto byPitchDown = music;
    std::stable_sort(byPitchDown.begin(), byPitchDown.end(), [](const Note& a, const Note& b) {
        return a.start != b.start ? a.start < b.start : a.pitch > b.pitch;
    });
    auto reversed = music;
    std::reverse(reversed.begin(), reversed.end());
    // Each note's result by where it was read: its start and pitch.
    auto results = [](std::vector<Note> notes) {
        std::vector<std::uint32_t> readStarts;
        for (const Note& note : notes)
            readStarts.push_back(note.start);
        humanize::Humanize(notes, 480, {60, 50, 60}, 9);
        std::map<std::pair<std::uint32_t, int>, std::tuple<std::uint32_t, std::uint32_t, int>> byNote;
        for (std::size_t i = 0; i < notes.size(); ++i)
            byNote[{readStarts[i], notes[i].pitch}] = {notes[i].start, notes[i].length, notes[i].velocity};
        return byNote;
    };
    const auto want = results(music);
    EXPECT_EQ(results(byPitchDown), want) << "notes of one start by pitch downward";
    EXPECT_EQ(results(reversed), want) << "notes in no order";
}

// Pearson's correlation of two equally long series.
double Correlation(const std::vector<double>& x, const std::vector<double>& y)
{
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= x.size();
    my /= y.size();
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

// The timing draws (R10) of a line of gestures a beat apart.
std::vector<double> Draws(std::uint32_t seed, int count)
{
    const humanize::KeyedDraws keys(seed);
    std::vector<double> draws;
    for (int i = 0; i < count; ++i) {
        const std::int32_t hash = keys.StartHash(0, 1000 + static_cast<std::uint32_t>(i) * 480);
        draws.push_back(humanize::KeyedDraws::Uniform(hash, 0) - humanize::KeyedDraws::Uniform(hash, 1));
    }
    return draws;
}

// R5: MINSTD is linear, and so is a start added to a base: unscrambled,
// seed k * s would give k times the draws of s, and s + 1 those of s a
// tick later.
TEST(Seeds, R5ScrambledSeedsAreUnrelated)
{
    std::set<std::pair<std::int32_t, std::int32_t>> keys;
    for (std::uint32_t seed : {0u, 1u, 2147483647u, 2147483648u, 4294967295u}) {
        const humanize::KeyedDraws k(seed);
        keys.insert({k.Base(), k.Multiplier()});
    }
    EXPECT_EQ(keys.size(), 5u) << "two of the seeds 0, 1, 2^31-1, 2^31, 2^32-1 draw alike";
    for (std::uint32_t s : {1u, 2u, 3u, 7u, 1000u, 20261208u, 1765000000u, 2147483646u})
        for (std::uint32_t k : {2u, 3u, 10u}) {
            SCOPED_TRACE(std::to_string(s) + " and " + std::to_string(k) + " times it");
            EXPECT_LT(std::fabs(Correlation(Draws(s, 10000), Draws(s * k, 10000))), 0.05);
            EXPECT_LT(std::fabs(Correlation(Draws(s, 10000), Draws(s + k - 1, 10000))), 0.05);
        }
    // The first draw no longer follows the seed: over small seeds and over
    // successive clock seeds it goes either way.
    for (std::uint32_t base : {0u, 1765000000u}) {
        std::vector<double> seeds, first;
        for (std::uint32_t i = 0; i < 10000; ++i) {
            seeds.push_back(i);
            first.push_back(Draws(base + i, 1)[0]);
        }
        EXPECT_LT(std::fabs(Correlation(seeds, first)), 0.05);
        EXPECT_NEAR(std::count_if(first.begin(), first.end(), [](double d) { return d < 0; }), 5000 * 127 / 128.0, 300);
    }
}

// R6 to R8: over gestures on grids of every spacing and over the notes of
// chords, the uniform numbers are even and the draws unrelated: a line's
// successive timing draws, a chord's keys, and a note's length against its
// velocity and its gesture's timing.
TEST(KeyedDraws, R6ToR8DrawsAreEvenAndUnrelated)
{
    for (std::uint32_t seed : {5u, 123456789u})
        for (std::uint32_t grid : {4u, 31u, 120u, 240u, 1920u}) {
            SCOPED_TRACE(std::to_string(seed) + ", every " + std::to_string(grid));
            const humanize::KeyedDraws keys(seed);
            std::vector<double> timing, keyA, keyB, length, velocity;
            int counts[4][8] = {};
            for (std::uint32_t i = 0; i < 8000; ++i) {
                const std::int32_t h = keys.StartHash(3, 10 + i * grid);
                const std::int32_t a = humanize::KeyedDraws::NoteHash(h, 60), b = humanize::KeyedDraws::NoteHash(h, 64);
                using D = humanize::KeyedDraws;
                timing.push_back(D::Uniform(h, 0) - D::Uniform(h, 1));
                length.push_back(D::Uniform(a, 0) - D::Uniform(a, 1));
                velocity.push_back(D::Uniform(a, 2) - D::Uniform(a, 3));
                keyA.push_back(velocity.back());
                keyB.push_back(D::Uniform(b, 2) - D::Uniform(b, 3));
                for (int u = 0; u < 4; ++u)
                    ++counts[u][D::Uniform(a, u) / 16];
            }
            const std::vector<double> later(timing.begin() + 1, timing.end()), before(timing.begin(), timing.end() - 1);
            EXPECT_LT(std::fabs(Correlation(later, before)), 0.05);
            EXPECT_LT(std::fabs(Correlation(keyA, keyB)), 0.05);
            EXPECT_LT(std::fabs(Correlation(length, velocity)), 0.05);
            EXPECT_LT(std::fabs(Correlation(timing, length)), 0.05);
            for (int u = 0; u < 4; ++u)
                for (int bin = 0; bin < 8; ++bin)
                    EXPECT_NEAR(counts[u][bin], 1000, 130) << "uniform " << u << ", eighth " << bin;
        }
}

TEST(Seeds, R4FromTheNotesInAnyOrderAndOnlyTheSelected)
{
    std::vector<Note> notes = Music(300);
    const std::uint32_t seed = humanize::SeedFromNotes(notes);
    std::reverse(notes.begin(), notes.end());
    EXPECT_EQ(humanize::SeedFromNotes(notes), seed) << "the visiting order changed the seed";
    notes[7].velocity++;
    EXPECT_NE(humanize::SeedFromNotes(notes), seed) << "another selection, the same seed";
    notes[7].velocity--;
    notes.push_back(MakeNote(5, 5, 5));
    notes.back().flags = humanize::kLeaveAlone;
    EXPECT_EQ(humanize::SeedFromNotes(notes), seed) << "a note left alone counted";
    // The same notes on another channel of the same track are another
    // player (R2), and move otherwise.
    notes.pop_back();
    std::vector<Note> other = notes;
    for (Note& note : other)
        note.channel = 1;
    std::vector<Note> a = notes, b = other;
    humanize::Humanize(a, 480, Strengths{60, 0, 60}, humanize::SeedFromNotes(a));
    humanize::Humanize(b, 480, Strengths{60, 0, 60}, humanize::SeedFromNotes(b));
    int same = 0;
    for (size_t i = 0; i < a.size(); ++i)
        same += a[i].start == b[i].start && a[i].velocity == b[i].velocity;
    EXPECT_LT(same, static_cast<int>(a.size()) / 4) << "two channels of one track moved alike";
}

// Notes left alone stay as they are and take no draws: the others move as
// they would without them.
TEST(Humanize, R8NotesLeftAloneAreUntouchedAndTakeNoDraws)
{
    const std::vector<Note> music = Music(300);
    std::vector<Note> alone = music;
    humanize::Humanize(alone, 480, Strengths{70, 70, 70}, 9);
    std::vector<Note> mixed = music;
    for (int i = 0; i < 300; ++i) {
        mixed.push_back(MakeNote(i * 100, 50, 36, 100, 0, 9));
        mixed.back().flags = humanize::kLeaveAlone;
    }
    humanize::Humanize(mixed, 480, Strengths{70, 70, 70}, 9);
    for (size_t i = 0; i < music.size(); ++i) {
        ASSERT_EQ(mixed[i].start, alone[i].start) << i;
        ASSERT_EQ(mixed[i].velocity, alone[i].velocity) << i;
    }
    for (size_t i = music.size(); i < mixed.size(); ++i) {
        ASSERT_EQ(mixed[i].start, (i - music.size()) * 100) << i;
        ASSERT_EQ(mixed[i].velocity, 100) << i;
    }
}

TEST(UnpackResult, R1ThePackedValueOfTheDialog)
{
    Strengths s;
    ASSERT_TRUE(humanize::UnpackResult(999999, &s));
    EXPECT_EQ(s.timing, 99);
    EXPECT_EQ(s.length, 99);
    EXPECT_EQ(s.velocity, 99);
    ASSERT_TRUE(humanize::UnpackResult(305070, &s));
    EXPECT_EQ(s.timing, 30);
    EXPECT_EQ(s.length, 50);
    EXPECT_EQ(s.velocity, 70);
    EXPECT_FALSE(humanize::UnpackResult(-1, &s));
    EXPECT_FALSE(humanize::UnpackResult(1000000, &s));
}

}  // namespace
