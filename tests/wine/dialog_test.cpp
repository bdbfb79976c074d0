// The strength dialog as built from its template: layout, system menu,
// button bitmaps, tooltips, painting and the rows of strength controls.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "../../res/resource.h"
#include "../../host/driver/screen_capture.h"
#include "harness.h"
#include "template_reader.h"

namespace {

class DialogLayoutTest : public DialogTest {};

// Every text check here compares code page 932 bytes; a run in another code
// page proves nothing about them, so it fails loudly instead.
TEST(Environment, AnsiCodePageIs932)
{
    EXPECT_EQ(GetACP(), 932u) << "run under Wine with LC_ALL=ja_JP.UTF-8 (scripts/test.sh does)";
}

HMODULE Grooble()
{
    return GetModuleHandleA("grooble.dll");
}

TEST_F(DialogLayoutTest, TemplateIsTheJapaneseStrengthDialog)
{
    HMODULE module = LoadGroobleBesideExe().module;
    TemplateReader r;
    ASSERT_TRUE(r.Open(module, IDD_STRENGTH));
    const WORD count = r.Header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME |
                                    DS_SETFONT,
                                263, 125, L"Groobler");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD edit = child | WS_BORDER | WS_TABSTOP | ES_NUMBER;
    const DWORD slider = child | WS_TABSTOP | TBS_AUTOTICKS;
    const DWORD spin = child | 0xB6;
    const std::vector<Item> expected = {
        {-1, L"STATIC", L"プリセット(&P):", child | WS_GROUP | SS_LEFT, 0, 7, 10, 38, 8},
        {IDC_PRESET_COMBO, L"COMBOBOX", L"", child | WS_VSCROLL | WS_TABSTOP | CBS_SORT | CBS_DROPDOWN,
         0, 49, 8, 119, 79},
        {IDC_SAVE_PRESET, L"BUTTON", L"プリセットの保存", child | WS_TABSTOP | BS_BITMAP,
         WS_EX_STATICEDGE, 168, 7, 15, 16},
        {IDC_DELETE_PRESET, L"BUTTON", L"プリセットの削除", child | WS_TABSTOP | BS_BITMAP,
         WS_EX_STATICEDGE, 183, 7, 15, 16},
        {IDC_TIMING_SLIDER, L"msctls_trackbar32", L"Slider1", slider, 0, 60, 40, 101, 20},
        {IDC_TIMING_EDIT, L"EDIT", L"", edit, 0, 164, 43, 24, 13},
        {IDC_TIMING_SPIN, L"msctls_updown32", L"Spin1", spin, 0, 215, 67, 9, 15},
        {IDC_LENGTH_SLIDER, L"msctls_trackbar32", L"Slider1", slider, 0, 60, 64, 101, 20},
        {IDC_LENGTH_EDIT, L"EDIT", L"", edit, 0, 164, 67, 24, 13},
        {IDC_LENGTH_SPIN, L"msctls_updown32", L"Spin1", spin, 0, 228, 67, 9, 15},
        {IDC_VELOCITY_SLIDER, L"msctls_trackbar32", L"Slider1", slider, 0, 60, 88, 101, 20},
        {IDC_VELOCITY_EDIT, L"EDIT", L"", edit, 0, 164, 91, 24, 13},
        {IDC_VELOCITY_SPIN, L"msctls_updown32", L"Spin1", spin, 0, 241, 67, 9, 15},
        {IDOK, L"BUTTON", L"OK", child | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 208, 7, 48, 15},
        {IDCANCEL, L"BUTTON", L"キャンセル", child | WS_TABSTOP | BS_PUSHBUTTON, 0, 208, 26, 48, 15},
    };
    ASSERT_EQ(count, expected.size());
    for (const Item& want : expected)
        r.ExpectItem(want);

    wchar_t tip[64];
    ASSERT_GT(LoadStringW(module, IDS_SAVE_PRESET_TIP, tip, 64), 0);
    EXPECT_STREQ(tip, L"プリセットの保存");
    ASSERT_GT(LoadStringW(module, IDS_DELETE_PRESET_TIP, tip, 64), 0);
    EXPECT_STREQ(tip, L"プリセットの削除");
    FreeLibrary(module);
}

TEST_F(DialogLayoutTest, SystemMenuEntriesAndTheirCheckMark)
{
    WriteIni("[Main]\r\nIsSaveDlgPos=0\r\n");
    RunGrooblerDialog([](HWND dialog) {
        HMENU menu = GetSystemMenu(dialog, FALSE);
        const int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 3);
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID;
        GetMenuItemInfoA(menu, count - 3, TRUE, &info);
        EXPECT_TRUE(info.fType & MFT_SEPARATOR);
        EXPECT_EQ(info.wID, static_cast<UINT>(IDM_SEPARATOR));
        EXPECT_EQ(GetMenuItemID(menu, count - 2), static_cast<UINT>(IDM_SAVE_POSITION));
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUT));
        char text[64] = "";
        GetMenuStringA(menu, IDM_SAVE_POSITION, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, "位置を保存(&P)");
        GetMenuStringA(menu, IDM_ABOUT, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, "バージョン情報(&V)...");

        auto checkedWhenOpened = [&](BOOL systemMenu) {
            SendMessageA(dialog, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                         MAKELPARAM(0, systemMenu));
            return (GetMenuState(menu, IDM_SAVE_POSITION, MF_BYCOMMAND) & MF_CHECKED) != 0;
        };
        EXPECT_FALSE(checkedWhenOpened(TRUE));
        SendMessageA(dialog, WM_SYSCOMMAND, IDM_SAVE_POSITION, 0);
        EXPECT_TRUE(checkedWhenOpened(TRUE));
        SendMessageA(dialog, WM_SYSCOMMAND, IDM_SAVE_POSITION, 0);
        // Another popup's opening leaves the mark alone.
        EXPECT_TRUE(checkedWhenOpened(FALSE));
        EXPECT_FALSE(checkedWhenOpened(TRUE));
        Click(dialog, IDCANCEL);
    });
}

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
};

Bitmap ReadBitmap(HBITMAP bitmap)
{
    Bitmap result;
    BITMAP header;
    if (!GetObjectA(bitmap, sizeof header, &header))
        return result;
    result.width = header.bmWidth;
    result.height = header.bmHeight;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = header.bmWidth;
    info.bmiHeader.biHeight = -header.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> raw(static_cast<size_t>(header.bmWidth) * header.bmHeight);
    HDC dc = GetDC(NULL);
    GetDIBits(dc, bitmap, 0, header.bmHeight, raw.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(NULL, dc);
    for (DWORD p : raw)
        result.pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    return result;
}

HBITMAP ButtonImage(HWND dialog, int id)
{
    return reinterpret_cast<HBITMAP>(SendDlgItemMessageA(dialog, id, BM_GETIMAGE, IMAGE_BITMAP, 0));
}

TEST_F(DialogLayoutTest, ButtonBitmapsAreMappedAndReplacedWithoutLeaks)
{
    HBITMAP last[2] = {};
    RunGrooblerDialog([&](HWND dialog) {
        const HBITMAP before[2] = {ButtonImage(dialog, IDC_SAVE_PRESET),
                                   ButtonImage(dialog, IDC_DELETE_PRESET)};
        ASSERT_EQ(GetObjectType(before[0]), static_cast<DWORD>(OBJ_BITMAP));
        ASSERT_EQ(GetObjectType(before[1]), static_cast<DWORD>(OBJ_BITMAP));

        // Black, grey, light grey and white become the button colours; the
        // dark red of the cross stays.
        const Bitmap save = ReadBitmap(before[0]);
        ASSERT_EQ(save.width, 14);
        ASSERT_EQ(save.height, 14);
        EXPECT_EQ(save.pixels[0], GetSysColor(COLOR_BTNTEXT));
        EXPECT_EQ(save.pixels[1 * 14 + 1], GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(save.pixels[1 * 14 + 3], GetSysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(save.pixels[10 * 14 + 4], GetSysColor(COLOR_BTNFACE));
        const Bitmap cross = ReadBitmap(before[1]);
        ASSERT_EQ(cross.width, 12);
        ASSERT_EQ(cross.height, 12);
        EXPECT_EQ(cross.pixels[0], GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(cross.pixels[1 * 12 + 1], RGB(128, 0, 0));

        SendMessageA(dialog, WM_SYSCOLORCHANGE, 0, 0);
        last[0] = ButtonImage(dialog, IDC_SAVE_PRESET);
        last[1] = ButtonImage(dialog, IDC_DELETE_PRESET);
        for (int i = 0; i < 2; ++i) {
            EXPECT_NE(last[i], before[i]);
            EXPECT_EQ(GetObjectType(before[i]), 0u) << "old bitmap " << i << " was not deleted";
            EXPECT_EQ(GetObjectType(last[i]), static_cast<DWORD>(OBJ_BITMAP));
        }
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(GetObjectType(last[0]), 0u) << "bitmap outlived the dialog";
    EXPECT_EQ(GetObjectType(last[1]), 0u) << "bitmap outlived the dialog";
}

BOOL CALLBACK FindTooltip(HWND window, LPARAM found)
{
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpiA(className, TOOLTIPS_CLASSA) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

TEST_F(DialogLayoutTest, PresetButtonsCarryTooltipsFromTheStringTable)
{
    RunGrooblerDialog([](HWND dialog) {
        HWND tooltip = NULL;
        EnumThreadWindows(GetCurrentThreadId(), FindTooltip, reinterpret_cast<LPARAM>(&tooltip));
        ASSERT_NE(tooltip, nullptr);
        EXPECT_EQ(GetWindow(tooltip, GW_OWNER), dialog);
        EXPECT_EQ(SendMessageA(tooltip, TTM_GETTOOLCOUNT, 0, 0), 2);
        const int buttons[2] = {IDC_SAVE_PRESET, IDC_DELETE_PRESET};
        const int strings[2] = {IDS_SAVE_PRESET_TIP, IDS_DELETE_PRESET_TIP};
        for (int i = 0; i < 2; ++i) {
            char text[80] = "";
            TOOLINFOA tool = {};
            tool.cbSize = TTTOOLINFOA_V2_SIZE;
            tool.lpszText = text;
            ASSERT_TRUE(SendMessageA(tooltip, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(&tool)));
            EXPECT_EQ(tool.hwnd, GetDlgItem(dialog, buttons[i]));
            EXPECT_TRUE(tool.uFlags & TTF_SUBCLASS);
            EXPECT_EQ(tool.hinst, Grooble());
            EXPECT_EQ(tool.lpszText, MAKEINTRESOURCEA(strings[i]));
        }
        Click(dialog, IDCANCEL);
    });
}

TEST_F(DialogLayoutTest, SlidersSpinsAndEditBoxesMoveTogether)
{
    WriteIni("[Main]\r\nDefaultPreset=10203\r\n");
    int result = RunGrooblerDialog([](HWND dialog) {
        const char* const labels[3] = {"タイム(&M):", "音の長さ(&D):", "ベロシティ(&V):"};
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            HWND slider = GetDlgItem(dialog, IDC_TIMING_SLIDER + i);
            char text[32] = "";
            GetWindowTextA(slider, text, sizeof text);
            EXPECT_STREQ(text, labels[i]);
            EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 0);
            EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 99);
            EXPECT_EQ(SendMessageA(slider, TBM_GETPAGESIZE, 0, 0), 10);
            EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_TIMING_SPIN + i, UDM_GETRANGE, 0, 0),
                      MAKELONG(99, 0));
            EXPECT_EQ(GetParent(reinterpret_cast<HWND>(SendDlgItemMessageA(
                          dialog, IDC_TIMING_SPIN + i, UDM_GETBUDDY, 0, 0))),
                      dialog);
            EXPECT_EQ(reinterpret_cast<HWND>(
                          SendDlgItemMessageA(dialog, IDC_TIMING_SPIN + i, UDM_GETBUDDY, 0, 0)),
                      GetDlgItem(dialog, IDC_TIMING_EDIT + i));
        }
        // A text past 99 is held to 99; clearing a box makes it 0. The 150
        // is set, not typed: with Wine's stand-in font a third digit does
        // not fit the narrow box, which stops typing at its visible width.
        SetDlgItemTextA(dialog, IDC_TIMING_EDIT, "150");
        EXPECT_EQ(ItemText(dialog, IDC_TIMING_EDIT), "99");
        EXPECT_EQ(SliderPosition(dialog, IDC_TIMING_SLIDER), 99);
        TypeInto(dialog, IDC_LENGTH_EDIT, "");
        EXPECT_EQ(ItemText(dialog, IDC_LENGTH_EDIT), "0");
        EXPECT_EQ(SliderPosition(dialog, IDC_LENGTH_SLIDER), 0);
        // Dragging the velocity slider updates its box while it moves.
        HWND slider = GetDlgItem(dialog, IDC_VELOCITY_SLIDER);
        SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 42),
                     reinterpret_cast<LPARAM>(slider));
        EXPECT_EQ(ItemText(dialog, IDC_VELOCITY_EDIT), "42");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 990042);
}

// Client pixels of the painted group at the reference resolution, scaled
// as the dialog's base units are.
struct Scale {
    int baseX, baseY;
    int X(int x) const { return MulDiv(x, baseX, 7); }
    int Y(int y) const { return MulDiv(y, baseY, 12); }
};

int CountDark(const ScreenImage& image, int left, int top, int right, int bottom)
{
    int dark = 0;
    for (int y = top; y < bottom && y < image.height; ++y)
        for (int x = left; x < right && x < image.width; ++x) {
            const COLORREF c = image.At(x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 200)
                ++dark;
        }
    return dark;
}

void ExpectGroupPainted(HWND dialog, const Scale& s)
{
    const ScreenImage image = CaptureClient(dialog);
    ASSERT_GT(image.width, s.X(346));
    // The etched frame: a shadow line outside a highlight line.
    EXPECT_EQ(image.At(s.X(12), s.Y(120)), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(image.At(s.X(200), s.Y(44)), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(image.At(s.X(346) - 2, s.Y(120)), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_GT(CountDark(image, s.X(19), s.Y(38), s.X(19) + 30, s.Y(38) + 12), 10) << "強さ:";
    const int labelTops[3] = {68, 104, 140};
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(CountDark(image, s.X(30), s.Y(labelTops[i]), s.X(83), s.Y(labelTops[i] + 12)), 10)
            << "label " << i;
}

TEST_F(DialogLayoutTest, GroupFrameAndLabelsSurviveAClientRepaint)
{
    RunGrooblerDialog([](HWND dialog) {
        RECT units = {0, 0, 4, 8};
        MapDialogRect(dialog, &units);
        const Scale s{units.right, units.bottom};
        // Wine's stand-in font gives other base units than the reference
        // 7 x 12; the test output records them.
        RecordProperty("dialog_base_units",
                       std::to_string(units.right) + "x" + std::to_string(units.bottom));
        UpdateWindow(dialog);
        {
            SCOPED_TRACE("first paint");
            ExpectGroupPainted(dialog, s);
        }
        // Only a part of the client area is invalidated and erased, as when
        // a window that covered the labels goes away: no frame repaint.
        RECT part = {0, s.Y(30), s.X(110), s.Y(160)};
        InvalidateRect(dialog, &part, TRUE);
        UpdateWindow(dialog);
        {
            SCOPED_TRACE("client repaint");
            ExpectGroupPainted(dialog, s);
        }
        // Each label ends left of its slider and sits at its height.
        const int labelTops[3] = {68, 104, 140};
        for (int i = 0; i < 3; ++i) {
            RECT slider;
            GetWindowRect(GetDlgItem(dialog, IDC_TIMING_SLIDER + i), &slider);
            MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&slider), 2);
            EXPECT_LT(s.X(30), slider.left) << "label " << i;
            const int labelMiddle = (s.Y(labelTops[i]) + s.Y(labelTops[i] + 12)) / 2;
            EXPECT_NEAR(labelMiddle, (slider.top + slider.bottom) / 2, s.baseY / 2) << "label " << i;
        }
        const HDC screen = GetDC(NULL);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(NULL, screen);
        ReportBet("painting: the frame and labels follow the controls at this machine's resolution",
                  !HasFailure(), std::to_string(dpi) + " dpi, dialog base units " + std::to_string(units.right) +
                                     " x " + std::to_string(units.bottom));
        Click(dialog, IDCANCEL);
    });
}

}  // namespace
