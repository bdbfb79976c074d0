// Where the DLL bets on how Windows behaves, checked on the system at hand
// and reported as what was found: reading a number from an edit box, and
// centring a window larger than the work area. (The list order, long
// names, message-box centring and painting bets sit with their own tests.)
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "../../res/resource.h"
#include "../../src/placement/placement.h"
#include "../../src/settings/number_text.h"
#include "harness.h"

namespace {

INT_PTR CALLBACK BareDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

std::string Shown(const char* text)
{
    std::string shown = "\"";
    for (const char* c = text; *c; ++c) {
        char hex[8];
        if (static_cast<unsigned char>(*c) < 0x20 || static_cast<unsigned char>(*c) >= 0x80) {
            wsprintfA(hex, "\\x%02X", static_cast<unsigned char>(*c));
            shown += hex;
        } else {
            shown += *c;
        }
    }
    return shown + "\"";
}

std::string Answer(bool ok, unsigned value)
{
    return ok ? std::to_string(value) : std::string("refused");
}

// The documented rule of an unsigned GetDlgItemInt, which the DLL follows
// with its own reader: leading spaces skipped, then decimal digits and
// nothing else, at most 4294967295; anything else is refused.
const struct {
    const char* text;
    bool ok;
    unsigned value;
} kTexts[] = {
    {"", false, 0}, {" ", false, 0}, {"0", true, 0}, {"7", true, 7}, {"42", true, 42}, {"99", true, 99},
    {"100", true, 100}, {"150", true, 150}, {"999", true, 999}, {"007", true, 7}, {"00", true, 0},
    {" 5", true, 5}, {"   12", true, 12}, {"000000000000001", true, 1}, {"65536", true, 65536},
    {"2147483647", true, 2147483647u}, {"2147483648", true, 2147483648u}, {"4294967295", true, 4294967295u},
    {"4294967296", false, 0}, {"99999999999", false, 0}, {"5 ", false, 0}, {"1 2", false, 0},
    {"\t5", false, 0}, {"+5", false, 0}, {"-5", false, 0}, {"-0", false, 0}, {"--5", false, 0},
    {"+", false, 0}, {"-", false, 0}, {"5a", false, 0}, {"12abc", false, 0}, {"a5", false, 0},
    {"0x10", false, 0}, {"1.5", false, 0}, {"1,000", false, 0}, {"1e3", false, 0},
    {"\x82\x51", false, 0},               // a full-width 2
    {"\x82\x54\x82\x4F", false, 0},       // a full-width 50
    {"\x81\x40" "5", false, 0},           // an ideographic space before 5
    {"5\x81\x40", false, 0},              // and after it
};

// Where Wine 8's GetDlgItemInt departs from the documented rule (it takes
// a sign, a tab, and stops at the first non-digit, all as success). The DLL does
// not use it for that reason; under Wine these are listed, not counted.
bool KnownWineDeparture(const char* text)
{
    for (const char* known : {"-5", "-0", "+5", "5a", "12abc", "5 ", "1 2", "1.5", "1,000", "1e3", "0x10",
                              "5\x81\x40", "\t5"})
        if (std::string(text) == known)
            return true;
    return false;
}

TEST(BetsTest, NumberReadingFollowsTheSystemsGetDlgItemInt)
{
    InitCommonControls();
    const HMODULE module = LoadGroobleBesideExe().module;
    ASSERT_NE(module, nullptr);
    // The template's own edit box, under a procedure that leaves it alone.
    const HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_STRENGTH), NULL, BareDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    int agree = 0;
    std::string departures, wineDepartures;
    for (const auto& t : kTexts) {
        SetDlgItemTextA(dialog, IDC_TIMING_EDIT, t.text);
        BOOL translated = FALSE;
        const UINT platform = GetDlgItemInt(dialog, IDC_TIMING_EDIT, &translated, FALSE);
        unsigned mine = 0;
        const bool mineOk = ReadUnsignedText(t.text, &mine);
        EXPECT_EQ(mineOk, t.ok) << Shown(t.text) << ": the DLL's reader breaks the rule";
        EXPECT_EQ(mine, t.value) << Shown(t.text) << ": the DLL's reader breaks the rule";
        const bool same = (translated != FALSE) == t.ok && (!t.ok || platform == t.value);
        if (same) {
            ++agree;
            continue;
        }
        const std::string difference = Shown(t.text) + " " + Answer(translated != FALSE, platform);
        if (UnderWine() && KnownWineDeparture(t.text))
            wineDepartures += (wineDepartures.empty() ? "" : ", ") + difference;
        else
            departures += (departures.empty() ? "" : ", ") + difference;
    }
    DestroyWindow(dialog);
    std::string found = "GetDlgItemInt follows the documented rule the DLL reads by on " + std::to_string(agree) +
                        " of " + std::to_string(sizeof kTexts / sizeof kTexts[0]) + " texts";
    if (!departures.empty())
        found += "; it answers otherwise for " + departures;
    if (!wineDepartures.empty())
        found += "; Wine's known departures, which the DLL's own reader avoids: " + wineDepartures;
    ReportBet("number reading: the edit boxes read as this system's GetDlgItemInt reads them", departures.empty(),
              found);
}

TEST(BetsTest, AWindowLargerThanTheWorkAreaKeepsItsTitleBarOnScreen)
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                       area.left + width / 4, area.top + height / 4, width / 2, height / 2,
                                       NULL, NULL, NULL, NULL);
    const HWND window = CreateWindowExA(0, "STATIC", "too large", WS_POPUP | WS_CAPTION, 0, 0, width + 200,
                                        height + 160, owner, NULL, NULL, NULL);
    ASSERT_NE(window, nullptr);
    CenterWindow(window, NULL);
    RECT got;
    GetWindowRect(window, &got);
    DestroyWindow(window);
    DestroyWindow(owner);
    ReportBet("centring: a window larger than the work area keeps its near edges, title bar on screen",
              got.left == area.left && got.top == area.top,
              "placed at " + std::to_string(got.left) + "," + std::to_string(got.top) + " in a work area from " +
                  std::to_string(area.left) + "," + std::to_string(area.top));
}

}  // namespace
