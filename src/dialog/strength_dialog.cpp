#include "strength_dialog.h"

#include <commctrl.h>

#include "../../res/resource.h"
#include "../about/about_dialog.h"
#include "../instance.h"
#include "../settings/preset_list.h"
#include "../settings/settings.h"
#include "preset_commands.h"

// Handles kept from set-up to the next set-up. Index 0 is timing, 1 length,
// 2 velocity throughout.
static HWND gPresetCombo;
static HWND gSliders[3];
static HWND gEdits[3];
static HWND gTooltip;
static HMENU gSystemMenu;
// Borrowed from the OK button for painting; the dialog manager owns it.
static HFONT gDialogFont;
// The mapped bitmaps now on the Save and Delete buttons. A button does not
// own its image, so these are deleted here when replaced and at destroy.
static HBITMAP gButtonBitmaps[2];

static const int kStrengthMax = 99;

// The group frame and the row labels are painted, not controls. Their
// rectangles are client pixels for the template font at 96 dpi, whose
// dialog base units are 7 x 12 pixels; they are scaled by the dialog's own
// base units, so that they follow the controls at any resolution and with
// any substitute font.
static const int kReferenceBaseX = 7;
static const int kReferenceBaseY = 12;
static const RECT kGroupFrame = {12, 44, 346, 178};
static const POINT kGroupCaption = {19, 38};
static const char kGroupCaptionText[] = "強さ:";
static const char* const kRowLabels[3] = {"タイム(&M):", "音の長さ(&D):", "ベロシティ(&V):"};
static const RECT kRowLabelRects[3] = {
    {30, 68, 83, 80},
    {30, 104, 95, 116},
    {30, 140, 100, 152},
};

static void AddButtonTip(HWND dialog, int buttonId, int stringId)
{
    // The 44-byte record is the one every comctl32 version understands.
    TOOLINFOA tool;
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = GetDlgItem(dialog, buttonId);
    tool.uId = 0;
    GetClientRect(tool.hwnd, &tool.rect);
    tool.hinst = gInstance;
    tool.lpszText = MAKEINTRESOURCEA(stringId);
    tool.lParam = 0;
    SendMessageA(gTooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

// Puts freshly mapped bitmaps on both preset buttons. The ones shown before
// are deleted only after both new ones are in place, so that no button ever
// paints with a deleted bitmap.
static void SetButtonBitmaps(HWND dialog, bool deleteOld)
{
    const HBITMAP oldSave = gButtonBitmaps[0];
    const HBITMAP oldDelete = gButtonBitmaps[1];
    gButtonBitmaps[0] = CreateMappedBitmap(gInstance, IDB_SAVE_PRESET, 0, NULL, 0);
    SendDlgItemMessageA(dialog, IDC_SAVE_PRESET, BM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(gButtonBitmaps[0]));
    gButtonBitmaps[1] = CreateMappedBitmap(gInstance, IDB_DELETE_PRESET, 0, NULL, 0);
    SendDlgItemMessageA(dialog, IDC_DELETE_PRESET, BM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(gButtonBitmaps[1]));
    if (deleteOld) {
        DeleteObject(oldSave);
        DeleteObject(oldDelete);
    }
}

static void DeleteButtonBitmaps()
{
    DeleteObject(gButtonBitmaps[0]);
    DeleteObject(gButtonBitmaps[1]);
    gButtonBitmaps[0] = NULL;
    gButtonBitmaps[1] = NULL;
}

static void RestoreSavedPosition(HWND dialog)
{
    ReadSavePositionFlag();
    if (gSavePosition == 0)
        return;  // DS_CENTER has placed the dialog already.
    const int top = static_cast<int>(ReadSettingInt("Main", "Top"));
    const int left = static_cast<int>(ReadSettingInt("Main", "Left"));
    SetWindowPos(dialog, NULL, left, top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

static void ExtendSystemMenu(HWND dialog)
{
    gSystemMenu = GetSystemMenu(dialog, FALSE);
    AppendMenuA(gSystemMenu, MF_SEPARATOR, IDM_SEPARATOR, NULL);
    AppendMenuA(gSystemMenu, MF_STRING, IDM_SAVE_POSITION, "位置を保存(&P)");
    AppendMenuA(gSystemMenu, MF_STRING, IDM_ABOUT, "バージョン情報(&V)...");
}

static void InitStrengthDialog(HWND dialog)
{
    InitCommonControls();

    gTooltip = CreateWindowExA(0, TOOLTIPS_CLASSA, NULL, TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, NULL,
                               gInstance, NULL);
    AddButtonTip(dialog, IDC_SAVE_PRESET, IDS_SAVE_PRESET_TIP);
    AddButtonTip(dialog, IDC_DELETE_PRESET, IDS_DELETE_PRESET_TIP);

    BuildSettingsPath();

    gPresetCombo = GetDlgItem(dialog, IDC_PRESET_COMBO);
    for (int i = 0; i < 3; ++i) {
        gSliders[i] = GetDlgItem(dialog, IDC_TIMING_SLIDER + i);
        gEdits[i] = GetDlgItem(dialog, IDC_TIMING_EDIT + i);
    }
    for (int i = 0; i < 3; ++i) {
        SendMessageA(gSliders[i], TBM_SETRANGE, FALSE, MAKELPARAM(0, kStrengthMax));
        SendMessageA(gSliders[i], TBM_SETTICFREQ, 10, 0);
        SendMessageA(gSliders[i], TBM_SETPAGESIZE, 0, 10);
        SendDlgItemMessageA(dialog, IDC_TIMING_SPIN + i, UDM_SETRANGE, 0,
                            MAKELPARAM(kStrengthMax, 0));
    }

    RestoreSavedPosition(dialog);
    LoadStrengths(gEdits, "Main", "DefaultPreset");
    FillPresetList(gPresetCombo);
    ExtendSystemMenu(dialog);

    gDialogFont = reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDOK, WM_GETFONT, 0, 0));
    for (int i = 0; i < 3; ++i)
        SetWindowTextA(gSliders[i], kRowLabels[i]);

    SetButtonBitmaps(dialog, false);
}

static RECT ScaleRect(const RECT& rect, int baseX, int baseY)
{
    RECT scaled;
    scaled.left = MulDiv(rect.left, baseX, kReferenceBaseX);
    scaled.top = MulDiv(rect.top, baseY, kReferenceBaseY);
    scaled.right = MulDiv(rect.right, baseX, kReferenceBaseX);
    scaled.bottom = MulDiv(rect.bottom, baseY, kReferenceBaseY);
    return scaled;
}

// Painted on WM_PAINT, so that the frame and labels come back whenever any
// part of the client area is repainted, not only with the window frame.
// Text and background colours stay at the device context's defaults.
static void PaintGroup(HWND dialog)
{
    RECT units = {0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    const int baseX = units.right;
    const int baseY = units.bottom;

    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(dialog, &paint);
    SelectObject(dc, gDialogFont);

    RECT frame = ScaleRect(kGroupFrame, baseX, baseY);
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    TextOutA(dc, MulDiv(kGroupCaption.x, baseX, kReferenceBaseX),
             MulDiv(kGroupCaption.y, baseY, kReferenceBaseY), kGroupCaptionText,
             lstrlenA(kGroupCaptionText));
    for (int i = 0; i < 3; ++i) {
        RECT label = ScaleRect(kRowLabelRects[i], baseX, baseY);
        DrawTextA(dc, kRowLabels[i], -1, &label, DT_NOCLIP);
    }
    EndPaint(dialog, &paint);
}

static void CloseWithOk(HWND dialog)
{
    SaveWindowPosition(dialog);
    WritePackedStrengths(dialog, "Main", "DefaultPreset");
    EndDialog(dialog, PackStrengths(dialog));
}

static void CloseWithCancel(HWND dialog)
{
    SaveWindowPosition(dialog);
    EndDialog(dialog, 0);
}

// The edit box is the master copy of its row's strength: whatever reaches
// it is held to 0..99 here and then shown by the slider. A corrected text
// raises one more change notification, which finds a valid number and only
// sets the slider again.
static void CheckEditBox(HWND dialog, int editId)
{
    const int row = editId - IDC_TIMING_EDIT;
    bool ok;
    unsigned value = ReadItemUnsigned(dialog, editId, &ok);
    if (ok && value > static_cast<unsigned>(kStrengthMax)) {
        value = kStrengthMax;
        SetWindowTextA(gEdits[row], "99");
    } else if (!ok) {
        value = 0;
        SetWindowTextA(gEdits[row], "0");
    }
    SendMessageA(gSliders[row], TBM_SETPOS, TRUE, static_cast<LPARAM>(value));
}

static void SliderMoved(WPARAM wParam, LPARAM lParam)
{
    const HWND slider = reinterpret_cast<HWND>(lParam);
    for (int row = 0; row < 3; ++row) {
        if (gSliders[row] != slider)
            continue;
        const int code = LOWORD(wParam);
        const short position = static_cast<short>(
            code == TB_THUMBPOSITION || code == TB_THUMBTRACK
                ? HIWORD(wParam)
                : SendMessageA(slider, TBM_GETPOS, 0, 0));
        char text[8];
        wsprintfA(text, "%d", static_cast<int>(position));
        SetWindowTextA(gEdits[row], text);
        return;
    }
}

static void OnCommand(HWND dialog, WPARAM wParam)
{
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    switch (id) {
    case IDOK:
        CloseWithOk(dialog);
        break;
    case IDCANCEL:
        CloseWithCancel(dialog);
        break;
    case IDC_PRESET_COMBO:
        if (code == CBN_SELCHANGE)
            LoadPickedPreset(gPresetCombo, gEdits);
        break;
    case IDC_SAVE_PRESET:
        SavePreset(dialog, gPresetCombo);
        break;
    case IDC_DELETE_PRESET:
        DeletePreset(dialog, gPresetCombo);
        break;
    case IDC_TIMING_EDIT:
    case IDC_LENGTH_EDIT:
    case IDC_VELOCITY_EDIT:
        if (code == EN_CHANGE)
            CheckEditBox(dialog, id);
        break;
    default:
        break;
    }
}

static void OnSysCommand(HWND dialog, WPARAM wParam)
{
    if (wParam == IDM_SAVE_POSITION)
        gSavePosition = gSavePosition == 0 ? 1 : 0;
    else if (wParam == IDM_ABOUT)
        DialogBoxParamA(gInstance, MAKEINTRESOURCEA(IDD_ABOUT), dialog, AboutDialogProc, 0);
}

INT_PTR CALLBACK StrengthDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitStrengthDialog(dialog);
        return TRUE;
    case WM_SYSCOLORCHANGE:
        SetButtonBitmaps(dialog, true);
        return TRUE;
    case WM_DESTROY:
        DeleteButtonBitmaps();
        return FALSE;
    case WM_PAINT:
        PaintGroup(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, wParam);
        return FALSE;
    case WM_HSCROLL:
        SliderMoved(wParam, lParam);
        return FALSE;
    case WM_SYSCOMMAND:
        // FALSE, so that the standard system commands keep their handling.
        OnSysCommand(dialog, wParam);
        return FALSE;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) == 1)
            CheckMenuItem(gSystemMenu, IDM_SAVE_POSITION,
                          MF_BYCOMMAND | (gSavePosition != 0 ? MF_CHECKED : MF_UNCHECKED));
        return FALSE;
    default:
        return FALSE;
    }
}
