// Settings files nobody should write, written as raw bytes: the dialog
// opens, every strength shows within 0..99, OK returns what the boxes show,
// and afterwards the file differs from before only in the keys the system
// writes.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "harness.h"

namespace {

class HostileSettingsTest : public DialogTest {};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

bool StartsWithKey(const std::string& line, const char* key)
{
    const size_t n = lstrlenA(key);
    return line.size() > n && lstrcmpiA(line.substr(0, n).c_str(), key) == 0 && line[n] == '=';
}

// The file's lines without what the system itself writes: Left, Top,
// DefaultPreset and IsSaveDlgPos of the first [Main] section, and that
// section's header when the system had to add it.
std::vector<std::string> WithoutSystemKeys(const std::string& text, bool dropMainHeader)
{
    std::vector<std::string> kept;
    bool inMain = false;
    bool mainSeen = false;
    for (const std::string& line : Lines(text)) {
        if (!line.empty() && line[0] == '[') {
            const bool isMain = lstrcmpiA(line.c_str(), "[Main]") == 0;
            inMain = isMain && !mainSeen;
            mainSeen = mainSeen || isMain;
            if (inMain && dropMainHeader)
                continue;
        }
        if (inMain && (StartsWithKey(line, "Left") || StartsWithKey(line, "Top") ||
                       StartsWithKey(line, "DefaultPreset") || StartsWithKey(line, "IsSaveDlgPos")))
            continue;
        kept.push_back(line);
    }
    return kept;
}

std::string Presets(int count)
{
    std::string text = "[Preset]\r\n";
    for (int i = 0; i < count; ++i)
        text += "Preset number " + std::to_string(100000 + i) + "=" + std::to_string(i % 999999) + "\r\n";
    return text;
}

struct Hostile {
    const char* what;
    std::string bytes;  // "<none>": no file at all
    // Whether the platform's own writer keeps the file's other lines as
    // they were. It rewrites the whole file from what it read, so a file
    // that is not text comes back as the text it read it as; only what it
    // reads then can be compared.
    bool linesKept = true;
};

// Every section and entry the platform reads from the file at path, but
// the keys the system writes.
std::vector<std::string> Readable(const std::string& path)
{
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    std::vector<char> names(1 << 20);
    const DWORD length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), path.c_str());
    std::vector<std::string> entries;
    std::vector<char> section(1 << 22);
    for (const char* name = names.data(); name < names.data() + length && *name; name += lstrlenA(name) + 1) {
        entries.push_back(std::string("[") + name + "]");
        const DWORD n = GetPrivateProfileSectionA(name, section.data(), static_cast<DWORD>(section.size()), path.c_str());
        const bool main = lstrcmpiA(name, "Main") == 0;
        for (const char* entry = section.data(); entry < section.data() + n && *entry; entry += lstrlenA(entry) + 1) {
            if (main && (StartsWithKey(entry, "Left") || StartsWithKey(entry, "Top") ||
                         StartsWithKey(entry, "DefaultPreset") || StartsWithKey(entry, "IsSaveDlgPos")))
                continue;
            entries.push_back(entry);
        }
        if (main && entries.back() == "[Main]")
            entries.pop_back();
    }
    return entries;
}

std::vector<Hostile> Cases()
{
    const std::string bom = "\xFF\xFE";
    std::string utf16;
    for (char c : std::string("[Main]\r\nDefaultPreset=102030\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 2654435761u) >> 13);
    return {
        {"no file", "<none>"},
        {"empty file", ""},
        {"binary garbage", garbage, false},
        {"NUL bytes in the middle", std::string("[Main]\r\nDefault\0Preset=5\r\n", 27), false},
        {"UTF-16 with a byte-order mark", bom + utf16, false},
        {"DefaultPreset=abc", "[Main]\r\nDefaultPreset=abc\r\n"},
        {"DefaultPreset=-5", "[Main]\r\nDefaultPreset=-5\r\n"},
        {"DefaultPreset=4294967296", "[Main]\r\nDefaultPreset=4294967296\r\n"},
        {"DefaultPreset=99999999999", "[Main]\r\nDefaultPreset=99999999999\r\n"},
        {"DefaultPreset= 12", "[Main]\r\nDefaultPreset= 12\r\n"},
        {"DefaultPreset=12abc", "[Main]\r\nDefaultPreset=12abc\r\n"},
        {"DefaultPreset=0x1F", "[Main]\r\nDefaultPreset=0x1F\r\n"},
        {"DefaultPreset=2147483648", "[Main]\r\nDefaultPreset=2147483648\r\n"},
        {"DefaultPreset=-2147483648", "[Main]\r\nDefaultPreset=-2147483648\r\n"},
        {"IsSaveDlgPos huge", "[Main]\r\nIsSaveDlgPos=99999999999\r\nLeft=10\r\nTop=10\r\n"},
        {"IsSaveDlgPos negative", "[Main]\r\nIsSaveDlgPos=-1\r\nLeft=10\r\nTop=10\r\n"},
        {"Left and Top far off every screen", "[Main]\r\nIsSaveDlgPos=1\r\nLeft=-2000000000\r\nTop=2000000000\r\n"},
        {"Left and Top past 32 bits", "[Main]\r\nIsSaveDlgPos=1\r\nLeft=99999999999\r\nTop=-99999999999\r\n"},
        {"a 100 KB line", "[Main]\r\nDefaultPreset=" + std::string(100000, '7') + "\r\n"},
        {"a 100 KB key", "[Main]\r\n" + std::string(100000, 'K') + "=1\r\nDefaultPreset=10203\r\n"},
        {"20,000 presets", "[Main]\r\nDefaultPreset=10203\r\n" + Presets(20000)},
        {"names with trail bytes 0x5C", "[Preset]\r\n\x83\x5C=10101\r\n\x95\x5C\x83\x5C=20202\r\n\x83\x5C\x83\x5C\x83\x5C=30303\r\n"},
        {"duplicate keys", "[Main]\r\nDefaultPreset=10101\r\nDefaultPreset=20202\r\n[Preset]\r\na=1\r\na=2\r\n"},
        {"repeated section headers", "[Main]\r\nDefaultPreset=10101\r\n[Preset]\r\na=1\r\n[Main]\r\nLeft=5\r\n[Preset]\r\nb=2\r\n"},
        {"lines without =", "[Main]\r\njust text\r\nDefaultPreset=30303\r\n[Preset]\r\nno equals\r\n"},
        {"no final line end", "[Main]\r\nDefaultPreset=40404"},
        {"Unix line ends", "[Main]\nDefaultPreset=50505\n[Preset]\nx=1\n"},
        {"old Mac line ends", "[Main]\rDefaultPreset=60606\r", false},
        {"a section header never closed", "[Main\r\nDefaultPreset=70707\r\n"},
        {"keys before any section", "DefaultPreset=80808\r\n[Main]\r\nTop=3\r\n"},
        {"spaces and tabs around everything", "  [ Main ]  \r\n\t DefaultPreset \t= 90909 \r\n", false},
        {"a comment line", "; settings\r\n[Main]\r\n;DefaultPreset=1\r\nDefaultPreset=11111\r\n"},
        {"a preset section of empty names", "[Preset]\r\n=1\r\n==\r\n=\r\n", false},
        {"a preset value far too large", "[Preset]\r\nbig=99999999999999999999\r\n"},
        {"Shift-JIS everywhere", "[\x83\x5C]\r\n\x95\x5C=\x83\x5C\r\n[Main]\r\nDefaultPreset=12\r\n"},
    };
}

TEST_F(HostileSettingsTest, TheDialogCopesAndKeepsWhatItDidNotWrite)
{
    const std::vector<Hostile> cases = Cases();
    ASSERT_GE(cases.size(), 30u);
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.what);
        const bool existed = c.bytes != "<none>";
        if (existed)
            WriteIni(c.bytes);
        else
            RemoveIni();
        int shown[3] = {-1, -1, -1};
        const int result = RunGrooblerDialog([&](HWND dialog) {
            for (int i = 0; i < 3; ++i) {
                const std::string text = ItemText(dialog, IDC_TIMING_EDIT + i);
                shown[i] = text.empty() ? -1 : std::atoi(text.c_str());
                EXPECT_GE(shown[i], 0) << "row " << i << " shows \"" << text << "\"";
                EXPECT_LE(shown[i], 99) << "row " << i;
                EXPECT_EQ(SliderPosition(dialog, IDC_TIMING_SLIDER + i), shown[i]) << "row " << i;
            }
            // The dialog may stand anywhere, but it stands somewhere.
            RECT rect;
            EXPECT_TRUE(GetWindowRect(dialog, &rect));
            Click(dialog, IDOK);
        });
        EXPECT_EQ(result, shown[0] * 10000 + shown[1] * 100 + shown[2]);
        const std::string after = ReadIni();
        ASSERT_NE(after, "<missing>");
        if (existed && c.linesKept) {
            bool hadMain = false;
            for (const std::string& line : Lines(c.bytes))
                hadMain = hadMain || lstrcmpiA(line.c_str(), "[Main]") == 0;
            EXPECT_EQ(WithoutSystemKeys(after, !hadMain), WithoutSystemKeys(c.bytes, false));
        }
        if (existed) {
            // What the platform reads is the same, but for the system's keys.
            const std::string before = ExeDirectory() + "\\before.ini";
            FILE* file = std::fopen(before.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            std::fwrite(c.bytes.data(), 1, c.bytes.size(), file);
            std::fclose(file);
            EXPECT_EQ(Readable(IniPath()), Readable(before));
            DeleteFileA(before.c_str());
        }
        if (HasFailure())
            break;
    }
}

}  // namespace
