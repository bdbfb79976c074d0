// The preset box's commands, driven through the real dialog: typing a
// name, the Save and Delete buttons, picking from the list with the
// keyboard, and answering the message boxes they show. After each command
// the whole settings file is compared byte for byte.
#include <windows.h>

#include <algorithm>

#include <string>
#include <vector>

#include "../../res/resource.h"
#include "harness.h"

namespace {

const char kSaveCaption[] = "プリセットの保存";
const char kDeleteCaption[] = "プリセットの削除";
const char kSaveWarning[] = "プリセット名をコンボ ボックスに入力してください。";
const char kDeleteWarning[] = "削除するプリセットをコンボ ボックスから選択してください。";
const char kSaveQuestion[] = "\nこのプリセットは、すでに存在します。\n上書きしますか？";
const char kDeleteQuestion[] = "\nこのプリセットを削除しますか？";

const char kStored[] =
    "[Main]\r\nDefaultPreset=102030\r\n"
    "[Preset]\r\nBeta=405060\r\nalpha=10203\r\nGamma=999999\r\n";

class PresetTest : public DialogTest {};

using Names = std::vector<std::string>;

void TypeName(HWND dialog, const std::string& name)
{
    HWND box = GetDlgItem(dialog, IDC_PRESET_COMBO);
    SetFocus(box);
    SetWindowTextA(box, "");
    // Characters as an input method hands them over: whole, in UTF-16.
    HWND edit = GetWindow(box, GW_CHILD);
    wchar_t wide[300] = L"";
    MultiByteToWideChar(932, 0, name.c_str(), -1, wide, 300);
    for (const wchar_t* c = wide; *c; ++c)
        SendMessageW(edit, WM_CHAR, *c, 0);
}

// Picks list entry index as a user does with the mouse: drops the list
// down, scrolls the entry into view and clicks it.
void Pick(HWND dialog, int index)
{
    HWND box = GetDlgItem(dialog, IDC_PRESET_COMBO);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(box, &info));
    SendMessageA(box, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageA(info.hwndList, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    RECT item;
    SendMessageA(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(info.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(info.hwndList, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), index);
}

void SetStrengths(HWND dialog, const char* timing, const char* length, const char* velocity)
{
    TypeInto(dialog, IDC_TIMING_EDIT, timing);
    TypeInto(dialog, IDC_LENGTH_EDIT, length);
    TypeInto(dialog, IDC_VELOCITY_EDIT, velocity);
}

std::string Strengths(HWND dialog)
{
    return ItemText(dialog, IDC_TIMING_EDIT) + "," + ItemText(dialog, IDC_LENGTH_EDIT) + "," +
           ItemText(dialog, IDC_VELOCITY_EDIT);
}

// What a message box must have shown.
struct Box {
    const char* caption;
    std::string text;
    bool question;
};

// Clicks a preset button, answers the boxes it shows with buttons, and
// checks each against expected (no box at all when expected is empty).
void ClickAnswering(HWND dialog, int id, std::vector<int> buttons, const std::vector<Box>& expected)
{
    MessageBoxAnswer answer(std::move(buttons));
    Click(dialog, id);
    ASSERT_EQ(answer.seen.size(), expected.size()) << "message boxes shown";
    RECT outer;
    GetWindowRect(dialog, &outer);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const MessageBoxSeen& seen = answer.seen[i];
        EXPECT_EQ(seen.caption, expected[i].caption);
        EXPECT_EQ(seen.text, expected[i].text);
        EXPECT_EQ(seen.yesNo, expected[i].question);
        EXPECT_EQ(seen.question, expected[i].question);
        EXPECT_EQ(seen.exclamation, !expected[i].question);
        EXPECT_EQ(seen.owner, dialog);
        // Centred over the dialog's outer rectangle when first seen.
        const RECT& r = seen.rect;
        EXPECT_EQ(r.left, (outer.left + outer.right) / 2 - (r.right - r.left) / 2);
        EXPECT_EQ(r.top, (outer.top + outer.bottom) / 2 - (r.bottom - r.top) / 2);
    }
}

void ClickAnswering(HWND dialog, int id, int button, const char* caption, const std::string& text,
                    bool question)
{
    std::vector<Box> expected;
    if (caption)
        expected.push_back({caption, text, question});
    ClickAnswering(dialog, id, {button}, expected);
}

struct SaveCase {
    const char* what;
    const char* typed;
    int answer;             // the button pressed if a box shows
    const char* caption;    // the box expected, or null
    std::string text;
    bool question;
    Names listed;           // the list afterwards
    std::string file;       // the settings file afterwards
};

TEST_F(PresetTest, SaveAsksWarnsAndWritesOnlyWhatItShould)
{
    const std::string main = "[Main]\r\nDefaultPreset=102030\r\n";
    const std::string presets = "[Preset]\r\nBeta=405060\r\nalpha=10203\r\nGamma=999999\r\n";
    const SaveCase cases[] = {
        {"a new name: added at its place, written without asking", "Bass", IDOK, nullptr, "", false,
         {"alpha", "Bass", "Beta", "Gamma"}, main + presets + "Bass=112233\r\n"},
        {"an empty box: a warning and nothing written", "", IDOK, kSaveCaption, kSaveWarning, false,
         {"alpha", "Beta", "Gamma"}, kStored},
        {"another case of a stored name, No: nothing written", "BETA", IDNO, kSaveCaption,
         std::string("BETA") + kSaveQuestion, true, {"alpha", "Beta", "Gamma"}, kStored},
        {"another case of a stored name, Yes: the strengths written", "BETA", IDYES, kSaveCaption,
         std::string("BETA") + kSaveQuestion, true, {"alpha", "Beta", "Gamma"},
         main + "[Preset]\r\nBeta=112233\r\nalpha=10203\r\nGamma=999999\r\n"},
        {"ソ表 (trail bytes 0x5C)", "\x83\x5C\x95\x5C", IDOK, nullptr, "", false,
         {"alpha", "Beta", "Gamma", "\x83\x5C\x95\x5C"}, main + presets + "\x83\x5C\x95\x5C=112233\r\n"},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteIni(kStored);
        RunGrooblerDialog([&](HWND dialog) {
            SetStrengths(dialog, "11", "22", "33");
            TypeName(dialog, c.typed);
            ClickAnswering(dialog, IDC_SAVE_PRESET, c.answer, c.caption, c.text, c.question);
            EXPECT_EQ(ListedNames(dialog), c.listed);
            EXPECT_EQ(ReadIni(), c.file);
            Click(dialog, IDCANCEL);
        });
    }
}

WNDPROC gDialogProc;
HWND gCentreOver;

LRESULT CALLBACK AnswerCentreQuery(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYCENTERWND)
        return reinterpret_cast<LRESULT>(gCentreOver);
    return CallWindowProcA(gDialogProc, window, message, wParam, lParam);
}

// A host that subclasses the dialog and names another window in answer to
// the centring query gets its warnings centred over that window.
TEST_F(PresetTest, AWarningIsCentredOverTheWindowTheDialogNames)
{
    RunGrooblerDialog([](HWND dialog) {
        gCentreOver = CreateWindowExA(0, "STATIC", "named", WS_POPUP | WS_VISIBLE, 60, 40, 420, 260, NULL, NULL,
                                      NULL, NULL);
        gDialogProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnswerCentreQuery)));
        MessageBoxAnswer answer({IDOK});
        Click(dialog, IDC_SAVE_PRESET);  // an empty name: a warning
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gDialogProc));
        DestroyWindow(gCentreOver);
        ASSERT_EQ(answer.seen.size(), 1u);
        const RECT& r = answer.seen[0].rect;
        EXPECT_EQ(r.left, (60 + 480) / 2 - (r.right - r.left) / 2);
        EXPECT_EQ(r.top, (40 + 300) / 2 - (r.bottom - r.top) / 2);
        Click(dialog, IDCANCEL);
    });
}

TEST_F(PresetTest, NamesTheFileCannotGiveBackAreRefused)
{
    const char kRefused[] =
        "このプリセット名は保存できません。\n「=」と制御文字は使えません。また、名前の先頭に「;」と「[」、"
        "前後に空白は使えません。";
    for (const char* name : {"a=b", ";note", "[Main]", " lead", "trail ", "\x81\x40wide"}) {
        SCOPED_TRACE(name);
        WriteIni(kStored);
        RunGrooblerDialog([&](HWND dialog) {
            TypeName(dialog, name);
            ClickAnswering(dialog, IDC_SAVE_PRESET, IDOK, kSaveCaption, kRefused, false);
            EXPECT_EQ(ListedNames(dialog), (Names{"alpha", "Beta", "Gamma"}));
            EXPECT_EQ(ReadIni(), kStored);
            Click(dialog, IDCANCEL);
        });
    }
}

TEST_F(PresetTest, DeleteWarnsAsksAndRemovesFromListAndFile)
{
    // Without a pick: typed text does not count.
    WriteIni(kStored);
    RunGrooblerDialog([](HWND dialog) {
        TypeName(dialog, "Beta");
        ClickAnswering(dialog, IDC_DELETE_PRESET, IDOK, kDeleteCaption, kDeleteWarning, false);
        // No keeps everything.
        Pick(dialog, 1);
        ClickAnswering(dialog, IDC_DELETE_PRESET, IDNO, kDeleteCaption,
                       std::string("Beta") + kDeleteQuestion, true);
        EXPECT_EQ(ListedNames(dialog), (Names{"alpha", "Beta", "Gamma"}));
        EXPECT_EQ(ReadIni(), kStored);
        // Yes: gone from the list and the file, the box emptied, the
        // strengths as they were.
        const std::string before = Strengths(dialog);
        ClickAnswering(dialog, IDC_DELETE_PRESET, IDYES, kDeleteCaption,
                       std::string("Beta") + kDeleteQuestion, true);
        EXPECT_EQ(ListedNames(dialog), (Names{"alpha", "Gamma"}));
        EXPECT_EQ(ItemText(dialog, IDC_PRESET_COMBO), "");
        EXPECT_EQ(Strengths(dialog), before);
        EXPECT_EQ(ReadIni(),
                  "[Main]\r\nDefaultPreset=102030\r\n[Preset]\r\nalpha=10203\r\nGamma=999999\r\n");
        Click(dialog, IDCANCEL);
    });
}

TEST_F(PresetTest, PickingLoadsAllThreeClampedAndGivesBackWhatWasSaved)
{
    WriteIni("[Preset]\r\nBig=1234567\r\nNegative=400000000\r\nPlain=10203\r\nText=abc\r\n");
    const int result = RunGrooblerDialog([](HWND dialog) {
        const struct {
            int index;
            const char* shown;
        } picks[] = {{0, "99,45,67"}, {1, "0,0,0"}, {2, "1,2,3"}, {3, "0,0,0"}};
        for (const auto& pick : picks) {
            SCOPED_TRACE(pick.index);
            SetStrengths(dialog, "50", "50", "50");
            Pick(dialog, pick.index);
            EXPECT_EQ(Strengths(dialog), pick.shown);
            EXPECT_EQ(SliderPosition(dialog, IDC_TIMING_SLIDER),
                      std::stoi(ItemText(dialog, IDC_TIMING_EDIT)));
        }
        // Save and pick back, under a name with trail bytes 0x5C.
        SetStrengths(dialog, "7", "08", "90");
        TypeName(dialog, "\x95\x5C");
        ClickAnswering(dialog, IDC_SAVE_PRESET, IDOK, nullptr, "", false);
        SetStrengths(dialog, "1", "1", "1");
        Pick(dialog, 4);
        EXPECT_EQ(Strengths(dialog), "7,8,90");
        // A selection change that leaves nothing selected loads nothing.
        SendDlgItemMessageA(dialog, IDC_PRESET_COMBO, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PRESET_COMBO, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_PRESET_COMBO)));
        EXPECT_EQ(Strengths(dialog), "7,8,90");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 70890);
    // The next dialog lists it again and loads it.
    RunGrooblerDialog([](HWND dialog) {
        EXPECT_EQ(ListedNames(dialog), (Names{"Big", "Negative", "Plain", "Text", "\x95\x5C"}));
        SetStrengths(dialog, "1", "1", "1");
        Pick(dialog, 4);
        EXPECT_EQ(Strengths(dialog), "7,8,90");
        Click(dialog, IDCANCEL);
    });
}

TEST_F(PresetTest, OverlongHandWrittenEntriesHarmNothing)
{
    const std::string longName(300, 'N');
    const std::string hugeValue(100000, '7');
    const std::string ini = "[Preset]\r\n" + longName + "=10101\r\nKeep=20202\r\nWide=" + hugeValue +
                            "\r\nZed=30303\r\n";
    WriteIni(ini);
    RunGrooblerDialog([&](HWND dialog) {
        EXPECT_EQ(ListedNames(dialog), (Names{"Keep", "Wide", "Zed"}));
        Pick(dialog, 0);
        EXPECT_EQ(Strengths(dialog), "2,2,2");
        TypeName(dialog, "New");
        ClickAnswering(dialog, IDC_SAVE_PRESET, IDOK, nullptr, "", false);
        Pick(dialog, 2);
        ClickAnswering(dialog, IDC_DELETE_PRESET, IDYES, kDeleteCaption,
                       std::string("Wide") + kDeleteQuestion, true);
        Click(dialog, IDCANCEL);
    });
    const std::string after = ReadIni();
    EXPECT_NE(after.find(longName + "=10101\r\nKeep=20202\r\nZed=30303\r\nNew=20202\r\n"),
              std::string::npos);
    EXPECT_EQ(after.find("Wide="), std::string::npos);
}

TEST_F(PresetTest, AFileThatCannotBeWrittenKeepsListAndFileInStep)
{
    WriteIni(kStored);
    // Held open without write sharing, as an editor or a backup program
    // may hold it: every write is refused. (A read-only attribute is no
    // test here: the tests run as root, whom Wine lets write anyway.)
    HANDLE held = CreateFileA(IniPath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const char kWriteFailed[] =
        "設定ファイル grooble.ini に書き込めませんでした。\n"
        "ファイルまたはフォルダーが書き込み禁止になっていないか確認してください。";
    RunGrooblerDialog([&](HWND dialog) {
        // A new name is not left in the list when the file refused it.
        TypeName(dialog, "Bass");
        ClickAnswering(dialog, IDC_SAVE_PRESET, IDOK, kSaveCaption, kWriteFailed, false);
        EXPECT_EQ(ListedNames(dialog), (Names{"alpha", "Beta", "Gamma"}));
        // An overwrite: the question, then the failure.
        TypeName(dialog, "Gamma");
        ClickAnswering(dialog, IDC_SAVE_PRESET, {IDYES, IDOK},
                       {{kSaveCaption, std::string("Gamma") + kSaveQuestion, true},
                        {kSaveCaption, kWriteFailed, false}});
        // A delete the file refused leaves the name listed.
        Pick(dialog, 0);
        ClickAnswering(dialog, IDC_DELETE_PRESET, {IDYES, IDOK},
                       {{kDeleteCaption, std::string("alpha") + kDeleteQuestion, true},
                        {kDeleteCaption, kWriteFailed, false}});
        EXPECT_EQ(ListedNames(dialog), (Names{"alpha", "Beta", "Gamma"}));
        EXPECT_EQ(ReadIni(), kStored);
        Click(dialog, IDCANCEL);
    });
    CloseHandle(held);
    EXPECT_NE(ReadIni().find(kStored), std::string::npos) << "a stored preset was lost";
}

// Windows documents that CB_GETLBTEXTLEN may report more than the text's
// length where ANSI and Unicode mix; the DLL refuses list texts over 259
// bytes by that length, so a long hand-written name that fits must still
// be picked, loaded and deleted.
TEST_F(PresetTest, LongMixedNamesArePickedLoadedAndDeleted)
{
    const char* const units[] = {"a", "\x82\xA0", "Z", "\x83\x5C", "\x95\x5C", "-"};  // あ, ソ, 表
    Names names, loaded;
    std::string ini = "[Preset]\r\n";
    for (int length : {130, 170, 210, 250, 259}) {
        // Strengths of its own: timing from the length, velocity its place.
        const int timing = length % 100, velocity = static_cast<int>(names.size()) + 1;
        std::string name;
        for (int i = 0; static_cast<int>(name.size()) < length; ++i)
            name += length - name.size() >= 2 ? units[i % 6] : "b";
        names.push_back(name);
        loaded.push_back(std::to_string(timing) + ",20," + std::to_string(velocity));
        ini += name + "=" + std::to_string(timing * 10000 + 2000 + velocity) + "\r\n";
    }
    WriteIni(ini + "Keep=20202\r\n");
    std::string reported;
    RunGrooblerDialog([&](HWND dialog) {
        for (size_t k = 0; k < names.size(); ++k) {
            const std::string& name = names[k];
            const Names listed = ListedNames(dialog);
            const auto at = std::find(listed.begin(), listed.end(), name);
            ASSERT_NE(at, listed.end()) << name.size() << " bytes: not listed";
            const int index = static_cast<int>(at - listed.begin());
            reported += (reported.empty() ? "" : ", ") +
                        std::to_string(SendDlgItemMessageA(dialog, IDC_PRESET_COMBO, CB_GETLBTEXTLEN, index, 0));
            Pick(dialog, index);
            EXPECT_EQ(Strengths(dialog), loaded[k]) << name.size() << " bytes: not loaded";
        }
        for (const std::string& name : {names.front(), names.back()}) {
            const Names listed = ListedNames(dialog);
            Pick(dialog, static_cast<int>(std::find(listed.begin(), listed.end(), name) - listed.begin()));
            ClickAnswering(dialog, IDC_DELETE_PRESET, IDYES, kDeleteCaption, name + kDeleteQuestion, true);
        }
        EXPECT_EQ(ListedNames(dialog).size(), 4u);
        Click(dialog, IDCANCEL);
    });
    const std::string after = ReadIni();
    EXPECT_EQ(after.find(names.front() + "="), std::string::npos) << "the 130-byte name was not deleted";
    EXPECT_EQ(after.find(names.back() + "="), std::string::npos) << "the 259-byte name was not deleted";
    EXPECT_NE(after.find(names[2] + "=102003"), std::string::npos) << "another name was lost";
    ReportBet("long names: names of 130 to 259 bytes, single- and double-byte mixed, are picked, loaded and "
              "deleted",
              !HasFailure(), "CB_GETLBTEXTLEN reported " + reported + " for 130, 170, 210, 250, 259 bytes");
}

}  // namespace

namespace {

// The list a sorted combo box makes of names added one by one in file
// order: what the preset box must show, however it is filled.
Names AddedOneByOne(const Names& names)
{
    HWND box = CreateWindowA("COMBOBOX", "", WS_POPUP | CBS_DROPDOWN | CBS_SORT, 0, 0, 100, 100,
                             NULL, NULL, NULL, NULL);
    for (const std::string& name : names)
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    Names listed;
    const int count = static_cast<int>(SendMessageA(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char name[300] = "";
        SendMessageA(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
        listed.push_back(name);
    }
    DestroyWindow(box);
    return listed;
}

TEST_F(PresetTest, TheListIsTheSortedBoxsOwnOrderWhateverTheNames)
{
    Names many;
    for (int i = 0; i < 3000; ++i)
        many.push_back("Groove " + std::to_string((i * 7919) % 100000) + (i % 3 ? " soft" : " Hard"));
    const struct {
        const char* what;
        Names names;
    } sets[] = {
        {"plain names", {"beta", "Alpha", "gamma", "delta 2", "delta 10", "Delta 1"}},
        {"punctuation the byte order sorts otherwise", {"a-b", "ab", "a b", "a_b", "a'c", "a.b", "A1"}},
        {"names equal but for case", {"Soft", "SOFT", "soft", "Hard", "sOFT"}},
        {"names equal but for case, the lower-case twin first", {"soft", "Soft", "Hard", "SOFT"}},
        {"Japanese names", {"\x83\x5C\x83\x74\x83\x67", "\x95\x5C\x8C\xBB", "\x82\xA0", "\x83\x41",
                            "\x88\x9F", "abc", "\x82\x60"}},
        {"3,000 presets", many},
    };
    std::string differ;
    for (const auto& set : sets) {
        SCOPED_TRACE(set.what);
        std::string ini = "[Preset]\r\n";
        for (const std::string& name : set.names)
            ini += name + "=10101\r\n";
        WriteIni(ini);
        RunGrooblerDialog([&](HWND dialog) {
            const Names listed = ListedNames(dialog);
            EXPECT_EQ(listed, AddedOneByOne(set.names));
            if (listed != AddedOneByOne(set.names))
                differ += std::string(differ.empty() ? "differs for " : ", ") + set.what;
            Click(dialog, IDCANCEL);
        });
    }
    ReportBet("list order: the DLL's fast fill gives the list of a plain sorted combo box", differ.empty(),
              differ.empty() ? "the same for plain names, punctuation, case twins, Japanese with trail "
                               "bytes 0x5C, 3,000 presets"
                             : differ);
}

}  // namespace
