// The settings file's pure rules: the packed encoding, the settings path
// and the Windows rule for reading a number out of a control.
#include "../../src/settings/code_page.h"
#include "../../src/settings/name_sort.h"
#include "../../src/settings/number_text.h"
#include "../../src/settings/packed_strengths.h"
#include "../../src/settings/preset_section.h"
#include "../../src/settings/settings_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(PackParts, DigitsReadVelocityLengthTimingFromTheRight)
{
    EXPECT_EQ(PackParts(12, 5, 40), 120540);
    EXPECT_EQ(PackParts(0, 0, 0), 0);
    EXPECT_EQ(PackParts(99, 99, 99), 999999);
    EXPECT_EQ(PackParts(0, 0, 5), 5);
    // Only the low eight bits of each part enter the value.
    EXPECT_EQ(PackParts(256 + 1, 512 + 2, 768 + 3), 10203);
    EXPECT_EQ(PackParts(255, 255, 255), 2550000 + 25500 + 255);
}

TEST(UnpackStrengths, SplitsIntoSigned16BitFields)
{
    const struct {
        unsigned packed;
        short timing, length, velocity;
    } rows[] = {
        {120540, 12, 5, 40},
        {5, 0, 0, 5},
        {0, 0, 0, 0},
        {999999, 99, 99, 99},
        {1234567, 123, 45, 67},
        {327670000, 32767, 0, 0},
        {327680000, -32768, 0, 0},   // 32768 no longer fits a signed 16-bit field
        {400000000, -25536, 0, 0},
        {700000000, 4464, 0, 0},     // 70000 shows through its low 16 bits
        {4294967295u, -29256, 72, 95},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.packed);
        short parts[3] = {1, 1, 1};
        UnpackStrengths(row.packed, parts);
        EXPECT_EQ(parts[0], row.timing);
        EXPECT_EQ(parts[1], row.length);
        EXPECT_EQ(parts[2], row.velocity);
    }
}

TEST(UnpackStrengths, RoundTripsEveryStrengthTriple)
{
    for (unsigned t = 0; t < 100; ++t)
        for (unsigned l = 0; l < 100; l += 7)
            for (unsigned v = 0; v < 100; v += 3) {
                short parts[3];
                UnpackStrengths(static_cast<unsigned>(PackParts(t, l, v)), parts);
                ASSERT_EQ(parts[0], static_cast<short>(t));
                ASSERT_EQ(parts[1], static_cast<short>(l));
                ASSERT_EQ(parts[2], static_cast<short>(v));
            }
}

// Builds from a module path given as text; the buffer is canary-filled so
// that a write past outSize shows.
bool NoLeadBytes(unsigned char)
{
    return false;
}

std::string Build(const std::string& module, bool* ok, unsigned outSize = kPathBufferSize,
                  LeadBytePredicate isLeadByte = IsLeadByte932)
{
    std::vector<char> out(outSize + 16, '\xCC');
    *ok = BuildSettingsPathFrom(module.c_str(), static_cast<unsigned>(module.size()), out.data(),
                                outSize, isLeadByte);
    for (unsigned i = outSize; i < out.size(); ++i)
        EXPECT_EQ(out[i], '\xCC') << "written past the buffer at " << i;
    return std::string(out.data(), strnlen(out.data(), outSize));
}

TEST(BuildSettingsPath, SitsBesideTheHostExecutable)
{
    bool ok;
    EXPECT_EQ(Build("C:\\Cakewalk\\WINCAKE.EXE", &ok), "C:\\Cakewalk\\grooble.ini");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Build("C:\\host.exe", &ok), "C:\\grooble.ini");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Build("\\\\server\\share\\host.exe", &ok), "\\\\server\\share\\grooble.ini");
    EXPECT_TRUE(ok);
    // The last backslash counts; the second byte 0x5C of ソ (83 5C) and
    // 表 (95 5C) in the program's own name is part of its character.
    EXPECT_EQ(Build("C:\\a\\b\\c.exe", &ok), "C:\\a\\b\\grooble.ini");
    EXPECT_EQ(Build("C:\\x\\\x83\x5C" "foo.exe", &ok), "C:\\x\\grooble.ini");
    EXPECT_EQ(Build("C:\\\x95\x5C\\\x95\x5C.exe", &ok), "C:\\\x95\x5C\\grooble.ini");
    EXPECT_TRUE(ok);
    // In a code page without lead bytes the same bytes are single
    // characters: C:\café\host.exe in code page 1252.
    EXPECT_EQ(Build("C:\\caf\xE9\\host.exe", &ok, kPathBufferSize, NoLeadBytes),
              "C:\\caf\xE9\\grooble.ini");
}

TEST(BuildSettingsPath, RefusesWhatWouldBeWrongOrTruncated)
{
    bool ok = true;
    EXPECT_EQ(Build("", &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Build("host.exe", &ok), "");  // no folder at all
    EXPECT_FALSE(ok);
    EXPECT_EQ(Build("dir\\host.exe", &ok), "");  // relative
    EXPECT_FALSE(ok);

    // The longest folder that still fits: 259 characters with the name.
    const std::string fits = "C:\\" + std::string(260 - 1 - 12 - 3, 'd');
    ASSERT_EQ(fits.size() + 12, 259u);
    EXPECT_EQ(Build(fits + "\\h.exe", &ok), fits + "\\grooble.ini");
    EXPECT_TRUE(ok);
    // One more character and the file name no longer fits.
    EXPECT_EQ(Build(fits + "d\\h.exe", &ok), "");
    EXPECT_FALSE(ok);
    // A module name that filled the whole buffer may have been cut short.
    const std::string full = "C:\\" + std::string(255, 'd') + "\\e";
    ASSERT_EQ(full.size(), 260u);
    EXPECT_EQ(Build(full, &ok), "");
    EXPECT_FALSE(ok);
    // A small output buffer is never overrun.
    EXPECT_EQ(Build("C:\\Cakewalk\\WINCAKE.EXE", &ok, 16), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Build("C:\\Cakewalk\\WINCAKE.EXE", &ok, 0), "");
    EXPECT_FALSE(ok);
}

TEST(IsAbsoluteSettingsPath, DriveAndUncPathsOnly)
{
    EXPECT_TRUE(IsAbsoluteSettingsPath("C:\\grooble.ini"));
    EXPECT_TRUE(IsAbsoluteSettingsPath("z:\\x\\grooble.ini"));
    EXPECT_TRUE(IsAbsoluteSettingsPath("\\\\server\\share\\grooble.ini"));
    EXPECT_FALSE(IsAbsoluteSettingsPath(""));
    EXPECT_FALSE(IsAbsoluteSettingsPath("grooble.ini"));
    EXPECT_FALSE(IsAbsoluteSettingsPath("C:grooble.ini"));
    EXPECT_FALSE(IsAbsoluteSettingsPath("\\grooble.ini"));
    EXPECT_FALSE(IsAbsoluteSettingsPath("1:\\grooble.ini"));
}

TEST(ReadUnsignedText, FollowsTheWindowsRule)
{
    const struct {
        const char* text;
        bool ok;
        unsigned value;
    } rows[] = {
        {"0", true, 0},
        {"99", true, 99},
        {"007", true, 7},
        {"150", true, 150},
        {"  42", true, 42},
        {"4294967295", true, 4294967295u},
        {"4294967296", false, 0},
        {"99999999999", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"-5", false, 0},
        {"-25536", false, 0},
        {"+5", false, 0},
        {"12abc", false, 0},
        {"42 ", false, 0},
        {"\x83\x5C", false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("\"") + row.text + "\"");
        unsigned value = 12345;
        EXPECT_EQ(ReadUnsignedText(row.text, &value), row.ok);
        EXPECT_EQ(value, row.value);
    }
}

// The names a section yields, as the preset box receives them. entries are
// laid out as GetPrivateProfileSectionA lays them out: each ended by a NUL,
// the list by a second one.
std::vector<std::string> NamesOf(const std::vector<std::string>& entries)
{
    std::string section;
    for (const std::string& entry : entries)
        section += entry + '\0';
    const unsigned length = static_cast<unsigned>(section.size());
    section += '\0';
    std::vector<char> buffer(section.begin(), section.end());
    std::vector<std::string> names;
    ListPresetNames(buffer.data(), length, [](const char* name, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
    }, &names);
    return names;
}

using Names = std::vector<std::string>;

TEST(PresetNames, EachEntryGivesTheNameBeforeItsLastEquals)
{
    EXPECT_EQ(NamesOf({}), Names{});
    EXPECT_EQ(NamesOf({"Soft=102030"}), Names{"Soft"});
    EXPECT_EQ(NamesOf({"Soft=102030", "Hard=999999", "x=1"}), (Names{"Soft", "Hard", "x"}));
    // A name may hold "=" itself; only the last one ends it.
    EXPECT_EQ(NamesOf({"a=b=5"}), Names{"a=b"});
    // A hand-written line without "=" is the whole line; "=5" has an empty
    // name, which the list shows as such.
    EXPECT_EQ(NamesOf({"no equals sign", "=5"}), (Names{"no equals sign", ""}));
    // Shift-JIS names whose second bytes are 0x5C stay whole.
    EXPECT_EQ(NamesOf({"\x83\x5C\x95\x5C=10101"}), Names{"\x83\x5C\x95\x5C"});
}

TEST(PresetNames, EmptyTokensAreSkippedLikeStrtok)
{
    char joined[] = "\x0B\x0B" "a=1\x0B\x0B\x0B" "b=2\x0B";
    char* cursor = joined;
    EXPECT_STREQ(NextSectionEntry(&cursor), "a=1");
    EXPECT_STREQ(NextSectionEntry(&cursor), "b=2");
    EXPECT_EQ(NextSectionEntry(&cursor), nullptr);
    EXPECT_EQ(NextSectionEntry(&cursor), nullptr);
    char only[] = "\x0B\x0B";
    cursor = only;
    EXPECT_EQ(NextSectionEntry(&cursor), nullptr);
}

TEST(PresetNames, LongestNameFitsAndLongerIsRefused)
{
    const std::string longest(kPresetNameMax, 'n');
    EXPECT_EQ(NamesOf({longest + "=999999"}), Names{longest});
    // Longer names are left out; the entries around them are not harmed.
    EXPECT_EQ(NamesOf({"a=1", longest + "n=999999", "b=2"}), (Names{"a", "b"}));
    EXPECT_EQ(NamesOf({std::string(5000, 'x'), "c=3"}), Names{"c"});
    // A line far past any fixed entry buffer, with its name short.
    EXPECT_EQ(NamesOf({"d=" + std::string(100000, '7'), "e=4"}), (Names{"d", "e"}));
    // A long value does not make a short name too long.
    EXPECT_EQ(NamesOf({"a=" + std::string(400, '9')}), Names{"a"});
}

TEST(SortTexts, StableAndInOrderForEveryLength)
{
    // Every length up to 70 (the merge widths and their odd tails), with
    // many equal keys, against the standard library's stable sort.
    std::vector<std::string> pool = {"b", "A", "a", "c", "B", "ab", "Ab", "", "z", "aa"};
    for (unsigned count = 0; count <= 70; ++count) {
        SCOPED_TRACE(count);
        std::vector<const char*> texts;
        for (unsigned i = 0; i < count; ++i)
            texts.push_back(pool[(i * 7 + count) % pool.size()].c_str());
        std::vector<const char*> expected = texts;
        std::stable_sort(expected.begin(), expected.end(), [](const char* a, const char* b) {
            return CompareFoldedBytes(a, b) < 0;
        });
        std::vector<const char*> scratch(count);
        SortTexts(texts.data(), scratch.data(), count, CompareFoldedBytes);
        EXPECT_EQ(texts, expected);  // the same pointers: equal keys keep their order
    }
}

TEST(CompareFoldedBytes, FoldsAsciiLettersOnly)
{
    EXPECT_EQ(CompareFoldedBytes("ABC", "abc"), 0);
    EXPECT_LT(CompareFoldedBytes("ab", "abc"), 0);
    EXPECT_LT(CompareFoldedBytes("Z", "\x83\x5C"), 0);  // bytes compare unsigned
    EXPECT_LT(CompareFoldedBytes("[", "A"), 0);          // A folds to a (0x61), after [ (0x5B)
    EXPECT_EQ(CountSectionEntries("a=1\0b=2\0", 8), 2u);
    // A hand-written name holding a vertical tab is split in two.
    EXPECT_EQ(CountSectionEntries("a\x0B" "b=1\0", 6), 2u);
}

TEST(IsStorablePresetName, NamesTheFileCanGiveBack)
{
    const struct {
        const char* name;
        bool storable;
    } rows[] = {
        {"Soft", true},
        {"a b", true},
        {"\x83\x5C\x95\x5C", true},          // ソ表: trail bytes 0x5C
        {"\x88\x5B", true},                   // a trail byte 0x5B is no "["
        {"x;y[z]", true},
        {"", false},
        {"a=b", false},
        {"=", false},
        {";comment", false},
        {"[Main]", false},
        {" lead", false},
        {"trail ", false},
        {"\ttab", false},
        {"\x81\x40wide", false},               // ideographic space first
        {"wide\x81\x40", false},               // and last
        {"\x82\xA0\x81\x40\x82\xA0", true},   // and inside
        {"line\x0B" "break", false},
        {"del\x7F", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IsStorablePresetName(row.name, IsLeadByte932), row.storable);
    }
    const std::string longest(kPresetNameMax, 'n');
    EXPECT_TRUE(IsStorablePresetName(longest.c_str(), IsLeadByte932));
    EXPECT_FALSE(IsStorablePresetName((longest + "n").c_str(), IsLeadByte932));
    // A lead byte at the very end is taken as one character, not a pair.
    EXPECT_TRUE(IsStorablePresetName("ab\x83", IsLeadByte932));
}

}  // namespace
