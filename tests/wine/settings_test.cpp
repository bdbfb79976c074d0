// What the dialog reads from grooble.ini at set-up and writes back.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "harness.h"

namespace {

class SettingsTest : public DialogTest {};

struct Shown {
    std::string text[3];
    int slider[3] = {-1, -1, -1};
};

Shown ShowStored(const std::string& ini)
{
    WriteIni(ini);
    Shown shown;
    RunGrooblerDialog([&](HWND dialog) {
        for (int i = 0; i < 3; ++i) {
            shown.text[i] = ItemText(dialog, IDC_TIMING_EDIT + i);
            shown.slider[i] = SliderPosition(dialog, IDC_TIMING_SLIDER + i);
        }
        Click(dialog, IDCANCEL);
    });
    return shown;
}

TEST_F(SettingsTest, StoredStrengthsAreShownAndHeldToTheirRange)
{
    const struct {
        const char* stored;
        const char* text[3];
        int slider[3];
    } rows[] = {
        {"120540", {"12", "5", "40"}, {12, 5, 40}},
        {"5", {"0", "0", "5"}, {0, 0, 5}},
        {"999999", {"99", "99", "99"}, {99, 99, 99}},
        // Timing 123 is more than a strength can be.
        {"1234567", {"99", "45", "67"}, {99, 45, 67}},
        // Timing 70000 shows through its low 16 bits as 4464, held to 99.
        {"700000000", {"99", "0", "0"}, {99, 0, 0}},
        // Timing 40000 shows as -25536, which is no unsigned number: 0.
        {"400000000", {"0", "0", "0"}, {0, 0, 0}},
        // A negative value is read as an unsigned number: 4294967295.
        {"-1", {"0", "72", "95"}, {0, 72, 95}},
        {"garbage", {"0", "0", "0"}, {0, 0, 0}},
        {"", {"0", "0", "0"}, {0, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("DefaultPreset=") + row.stored);
        const Shown shown = ShowStored(std::string("[Main]\r\nDefaultPreset=") + row.stored + "\r\n");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(shown.text[i], row.text[i]) << "row " << i;
            EXPECT_EQ(shown.slider[i], row.slider[i]) << "row " << i;
        }
    }
}

TEST_F(SettingsTest, MissingFileOpensCenteredWithZeros)
{
    RECT rect = {};
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const Shown shown = ShowStored("");
    RemoveIni();
    RunGrooblerDialog([&](HWND dialog) {
        GetWindowRect(dialog, &rect);
        Click(dialog, IDOK);
    });
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(shown.text[i], "0");
    const int centerX = (rect.left + rect.right) / 2;
    const int centerY = (rect.top + rect.bottom) / 2;
    EXPECT_NEAR(centerX, (work.left + work.right) / 2, 2);
    EXPECT_NEAR(centerY, (work.top + work.bottom) / 2, 2);
    EXPECT_EQ(ReadIni(), "[Main]\r\nLeft=" + std::to_string(rect.left) + "\r\nTop=" +
                             std::to_string(rect.top) + "\r\nDefaultPreset=0\r\nIsSaveDlgPos=0\r\n");
}

// Only the low byte of IsSaveDlgPos counts; the flag goes back as the
// signed byte it is held in, and the system-menu entry flips it to 0 or 1.
TEST_F(SettingsTest, RememberPositionFlag)
{
    const struct {
        const char* stored;
        bool toggle;
        bool moved;
        const char* written;
    } rows[] = {
        {"0", false, false, "0"},     {"1", false, true, "1"},   {"2", false, true, "2"},
        {"256", false, false, "0"},   {"257", false, true, "1"}, {"255", false, true, "-1"},
        {"-1", false, true, "-1"},    {"0", true, false, "1"},   {"2", true, true, "0"},
        {"256", true, false, "1"},    {"junk", false, false, "0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("IsSaveDlgPos=") + row.stored + (row.toggle ? " toggled" : ""));
        WriteIni(std::string("[Main]\r\nIsSaveDlgPos=") + row.stored + "\r\nLeft=37\r\nTop=53\r\n");
        RECT rect = {};
        RunGrooblerDialog([&](HWND dialog) {
            GetWindowRect(dialog, &rect);
            if (row.toggle)
                SendMessageA(dialog, WM_SYSCOMMAND, IDM_SAVE_POSITION, 0);
            Click(dialog, IDCANCEL);
        });
        EXPECT_EQ(rect.left == 37 && rect.top == 53, row.moved)
            << "dialog at " << rect.left << "," << rect.top;
        EXPECT_EQ(ReadIni(), std::string("[Main]\r\nIsSaveDlgPos=") + row.written + "\r\nLeft=" +
                                 std::to_string(rect.left) + "\r\nTop=" + std::to_string(rect.top) +
                                 "\r\n");
    }
}

TEST_F(SettingsTest, StoredPositionIsUsedEvenOffScreen)
{
    WriteIni("[Main]\r\nIsSaveDlgPos=1\r\nLeft=-300\r\nTop=2000\r\n");
    RECT rect = {};
    RunGrooblerDialog([&](HWND dialog) {
        GetWindowRect(dialog, &rect);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(rect.left, -300);
    EXPECT_EQ(rect.top, 2000);
}

TEST_F(SettingsTest, PositionWrittenOnOkIsWhereTheNextDialogOpens)
{
    WriteIni("[Main]\r\nIsSaveDlgPos=1\r\nLeft=100\r\nTop=120\r\n");
    RunGrooblerDialog([](HWND dialog) {
        // Where a user would have dragged it.
        SetWindowPos(dialog, NULL, 210, 230, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        Click(dialog, IDOK);
    });
    RECT rect = {};
    RunGrooblerDialog([&](HWND dialog) {
        GetWindowRect(dialog, &rect);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(rect.left, 210);
    EXPECT_EQ(rect.top, 230);
}

std::vector<std::string> ListedPresets(const std::string& ini)
{
    WriteIni(ini);
    std::vector<std::string> names;
    RunGrooblerDialog([&](HWND dialog) {
        names = ListedNames(dialog);
        Click(dialog, IDCANCEL);
    });
    return names;
}

TEST_F(SettingsTest, PresetBoxListsTheStoredNamesSorted)
{
    EXPECT_TRUE(ListedPresets("[Main]\r\nDefaultPreset=5\r\n").empty());
    EXPECT_TRUE(ListedPresets("[Preset]\r\n").empty());

    // Over 512 bytes of section, so the reading buffer has to grow; names
    // come back in the list's sort order, not in file order.
    std::string ini = "[Preset]\r\n";
    std::vector<std::string> expected;
    for (int i = 40; i >= 1; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "Groove preset no.%02d", i);
        ini += std::string(name) + "=" + std::to_string(i * 10101) + "\r\n";
        expected.insert(expected.begin(), name);
    }
    // A hand-written line without "=" is listed whole; a name longer than
    // the dialog can handle is left out.
    ini += "Apply me\r\n" + std::string(300, 'L') + "=5\r\n";
    expected.insert(expected.begin(), "Apply me");
    ini += "[Main]\r\nDefaultPreset=1\r\n";
    EXPECT_EQ(ListedPresets(ini), expected);
}

}  // namespace
