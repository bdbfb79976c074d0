// The three rows of slider, edit box and spin button, driven as a user
// drives them: keys and characters, mouse presses and drags on the
// controls themselves. The result of OK is the oracle for what the dialog
// took each strength to be.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "../../res/resource.h"
#include "harness.h"

namespace {

class StrengthControlsTest : public DialogTest {};

LPARAM ClientPoint(int x, int y)
{
    return MAKELPARAM(x, y);
}

// A left-button press and release on a control, at a point of its client
// area, as the mouse would deliver them.
void ClickAt(HWND control, int x, int y)
{
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(x, y));
    SendMessageA(control, WM_LBUTTONUP, 0, ClientPoint(x, y));
}

// A key pressed while control has the focus, through the dialog manager.
void KeyOn(HWND dialog, int id, UINT key)
{
    SetFocus(GetDlgItem(dialog, id));
    PressKey(dialog, key);
}

// Typing character by character into a row's box. Each entry of afterEach
// is what the box must hold after that character.
struct Typing {
    const char* what;
    const char* keys;  // '\b' is Backspace; the box is selected first
    std::vector<std::string> afterEach;
    int slider;
    int packed;  // the timing row's share of OK's result
};

TEST_F(StrengthControlsTest, TypedTextIsHeldToZeroToNinetyNine)
{
    const Typing rows[] = {
        {"150 becomes 99 at its third digit", "150", {"1", "15", "99"}, 99, 990000},
        {"emptied box becomes 0 at once", "\b", {"0"}, 0, 0},
        {"007 stays as typed and counts as 7", "007", {"0", "00", "007"}, 7, 70000},
        {"letters are refused", "4x2", {"4", "4", "42"}, 42, 420000},
        {"99 is kept", "99", {"9", "99"}, 99, 990000},
        {"100 becomes 99 at its third digit", "100", {"1", "10", "99"}, 99, 990000},
        {"0 is kept", "0", {"0"}, 0, 0},
    };
    for (const Typing& row : rows) {
        SCOPED_TRACE(row.what);
        WriteIni("[Main]\r\nDefaultPreset=550000\r\n");
        const int result = RunGrooblerDialog([&](HWND dialog) {
            HWND edit = GetDlgItem(dialog, IDC_TIMING_EDIT);
            // The stand-in for ＭＳ Ｐゴシック under Wine has wider digits, and a
            // box without ES_AUTOHSCROLL refuses what does not fit: widen it
            // so that three digits fit, as they do on Windows.
            RECT box;
            GetWindowRect(edit, &box);
            SetWindowPos(edit, NULL, 0, 0, 3 * (box.right - box.left), box.bottom - box.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            SetFocus(edit);
            SendMessageA(edit, EM_SETSEL, 0, -1);
            for (size_t i = 0; row.keys[i] != '\0'; ++i) {
                SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(row.keys[i]), 0);
                ASSERT_LT(i, row.afterEach.size());
                EXPECT_EQ(ItemText(dialog, IDC_TIMING_EDIT), row.afterEach[i]) << "key " << i;
            }
            EXPECT_EQ(SliderPosition(dialog, IDC_TIMING_SLIDER), row.slider);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(result, row.packed);
    }
}

// Texts pasted whole (set with WM_SETTEXT), read by the DLL's own reader:
// leading blanks are skipped, anything else that is not a digit makes the
// box 0.
TEST_F(StrengthControlsTest, PastedTextIsReadByTheDllsOwnRule)
{
    const struct {
        const char* pasted;
        const char* shown;
        int packed;
    } rows[] = {{"12abc", "0", 0}, {"+5", "0", 0}, {"5 ", "0", 0}, {" 7", " 7", 70000}, {"100", "99", 990000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pasted);
        WriteIni("[Main]\r\nDefaultPreset=550000\r\n");
        const int result = RunGrooblerDialog([&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_TIMING_EDIT, row.pasted);
            EXPECT_EQ(ItemText(dialog, IDC_TIMING_EDIT), row.shown);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(result, row.packed);
    }
}

TEST_F(StrengthControlsTest, DraggingUpdatesTheBoxBeforeRelease)
{
    WriteIni("[Main]\r\nDefaultPreset=10\r\n");
    const int result = RunGrooblerDialog([](HWND dialog) {
        HWND slider = GetDlgItem(dialog, IDC_VELOCITY_SLIDER);
        RECT thumb, channel;
        SendMessageA(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        SendMessageA(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        const int y = (thumb.top + thumb.bottom) / 2;
        int x = (thumb.left + thumb.right) / 2;
        SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(x, y));
        std::string last = ItemText(dialog, IDC_VELOCITY_EDIT);
        int changes = 0;
        for (int step = 0; step < 4; ++step) {
            x += (channel.right - channel.left) / 8;
            SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(x, y));
            const std::string now = ItemText(dialog, IDC_VELOCITY_EDIT);
            // Still held: the box follows the thumb as it moves.
            EXPECT_EQ(now, std::to_string(SliderPosition(dialog, IDC_VELOCITY_SLIDER)));
            if (now != last)
                ++changes;
            last = now;
        }
        EXPECT_EQ(changes, 4) << "the box moved only " << changes << " times in 4 moves";
        SendMessageA(slider, WM_LBUTTONUP, 0, ClientPoint(x, y));
        EXPECT_EQ(ItemText(dialog, IDC_VELOCITY_EDIT), last);
        EXPECT_GT(SliderPosition(dialog, IDC_VELOCITY_SLIDER), 40);
        Click(dialog, IDOK);
    });
    EXPECT_GT(result, 40);
    EXPECT_LE(result, 99);
}

// Keys and channel clicks send line, page and end codes, whose position is
// the slider's own: the box must show it, never a stale or zero value.
TEST_F(StrengthControlsTest, KeyboardAndPageMovesShowTheSlidersPosition)
{
    const struct {
        const char* what;
        UINT key;  // 0: a click in the channel right of the thumb
        int expected;
    } moves[] = {
        {"Right", VK_RIGHT, 51}, {"Left", VK_LEFT, 50},  {"Page Down", VK_NEXT, 60},
        {"Page Up", VK_PRIOR, 50}, {"channel click", 0, 60}, {"End", VK_END, 99},
        {"Right at the end", VK_RIGHT, 99}, {"Home", VK_HOME, 0}, {"Left at 0", VK_LEFT, 0},
    };
    WriteIni("[Main]\r\nDefaultPreset=5000\r\n");
    const int result = RunGrooblerDialog([&](HWND dialog) {
        HWND slider = GetDlgItem(dialog, IDC_LENGTH_SLIDER);
        for (const auto& move : moves) {
            SCOPED_TRACE(move.what);
            if (move.key != 0) {
                KeyOn(dialog, IDC_LENGTH_SLIDER, move.key);
            } else {
                RECT thumb, channel;
                SendMessageA(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
                SendMessageA(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
                ClickAt(slider, (thumb.right + channel.right) / 2, (thumb.top + thumb.bottom) / 2);
            }
            EXPECT_EQ(SliderPosition(dialog, IDC_LENGTH_SLIDER), move.expected);
            EXPECT_EQ(ItemText(dialog, IDC_LENGTH_EDIT), std::to_string(move.expected));
        }
        KeyOn(dialog, IDC_LENGTH_SLIDER, VK_NEXT);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 1000);
}

TEST_F(StrengthControlsTest, SpinButtonsAndArrowKeysStopAtBothEnds)
{
    WriteIni("[Main]\r\nDefaultPreset=980001\r\n");
    const int result = RunGrooblerDialog([](HWND dialog) {
        const struct {
            const char* what;
            int spin, edit, slider;
            bool up;
            bool byKey;  // an arrow key in the box rather than a click
            const char* expected;
        } steps[] = {
            {"up to 99", IDC_TIMING_SPIN, IDC_TIMING_EDIT, IDC_TIMING_SLIDER, true, false, "99"},
            {"up at 99", IDC_TIMING_SPIN, IDC_TIMING_EDIT, IDC_TIMING_SLIDER, true, false, "99"},
            {"Up key at 99", IDC_TIMING_SPIN, IDC_TIMING_EDIT, IDC_TIMING_SLIDER, true, true, "99"},
            {"Down key", IDC_TIMING_SPIN, IDC_TIMING_EDIT, IDC_TIMING_SLIDER, false, true, "98"},
            {"down to 0", IDC_VELOCITY_SPIN, IDC_VELOCITY_EDIT, IDC_VELOCITY_SLIDER, false, false, "0"},
            {"down at 0", IDC_VELOCITY_SPIN, IDC_VELOCITY_EDIT, IDC_VELOCITY_SLIDER, false, false, "0"},
            {"Down key at 0", IDC_VELOCITY_SPIN, IDC_VELOCITY_EDIT, IDC_VELOCITY_SLIDER, false, true, "0"},
            {"Up key", IDC_LENGTH_SPIN, IDC_LENGTH_EDIT, IDC_LENGTH_SLIDER, true, true, "1"},
            {"up", IDC_LENGTH_SPIN, IDC_LENGTH_EDIT, IDC_LENGTH_SLIDER, true, false, "2"},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.what);
            if (step.byKey) {
                KeyOn(dialog, step.edit, step.up ? VK_UP : VK_DOWN);
            } else {
                HWND spin = GetDlgItem(dialog, step.spin);
                RECT rect;
                GetClientRect(spin, &rect);
                const int h = rect.bottom - rect.top;
                ClickAt(spin, rect.right / 2, step.up ? h / 4 : h - h / 4);
            }
            EXPECT_EQ(ItemText(dialog, step.edit), step.expected);
            EXPECT_EQ(std::to_string(SliderPosition(dialog, step.slider)), step.expected);
        }
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 980200);
}

// Counts what reaches a row's box and slider while one scroll message is
// handled, through a hook of the test's own on the dialog's thread.
HHOOK gCountHook;
HWND gCountedEdit, gCountedSlider;
int gSetTexts, gSetPositions, gScrolls;

LRESULT CALLBACK CountMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* record = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0) {
        if (record->hwnd == gCountedEdit && record->message == WM_SETTEXT) ++gSetTexts;
        if (record->hwnd == gCountedSlider && record->message == TBM_SETPOS) ++gSetPositions;
        if (record->message == WM_HSCROLL && record->lParam == reinterpret_cast<LPARAM>(gCountedSlider))
            ++gScrolls;
    }
    return CallNextHookEx(gCountHook, code, wParam, lParam);
}

TEST_F(StrengthControlsTest, OneSliderMoveGivesOneBoxUpdateAndOneSliderSet)
{
    WriteIni("[Main]\r\nDefaultPreset=200000\r\n");
    RunGrooblerDialog([](HWND dialog) {
        gCountedEdit = GetDlgItem(dialog, IDC_TIMING_EDIT);
        gCountedSlider = GetDlgItem(dialog, IDC_TIMING_SLIDER);
        SetFocus(gCountedSlider);
        gSetTexts = gSetPositions = gScrolls = 0;
        gCountHook = SetWindowsHookExA(WH_CALLWNDPROC, CountMessages, NULL, GetCurrentThreadId());
        // The key's press alone: one line move, one scroll message.
        SendMessageA(gCountedSlider, WM_KEYDOWN, VK_RIGHT, 1);
        UnhookWindowsHookEx(gCountHook);
        EXPECT_EQ(gScrolls, 1);
        EXPECT_EQ(gSetTexts, 1);
        EXPECT_EQ(gSetPositions, 1);
        EXPECT_EQ(ItemText(dialog, IDC_TIMING_EDIT), "21");
        EXPECT_EQ(SliderPosition(dialog, IDC_TIMING_SLIDER), 21);
        Click(dialog, IDCANCEL);
    });
}

}  // namespace
