#include "about_dialog.h"

#include <shellapi.h>

#include "../../res/resource.h"
#include "../instance.h"
#include "../placement/placement.h"

static const char kMakerEmail[] = "groobler@example.org";
static const char kMakerHomePage[] = "https://groobler.example.org/";
static const char kVersionQueryPrefix[] = "\\StringFileInfo\\041104b0\\";
static const char kExplorer[] = "Explorer";
static const char kExplorerSelect[] = "/e, /select, ";

// The title's bold font, made at each opening and deleted at each closing.
static HFONT gTitleFont;

// The item's text from the named value of the Japanese/Unicode string
// table. A key the version data lacks leaves the item empty: the value
// pointer is then never filled and must not be used.
static void ShowVersionText(HWND dialog, const void* versionData, int id)
{
    char query[MAX_PATH];
    lstrcpynA(query, kVersionQueryPrefix, sizeof query);
    const int prefix = lstrlenA(query);
    LoadStringA(gInstance, id, query + prefix, MAX_PATH - prefix);
    void* value = NULL;
    UINT length = 0;
    if (VerQueryValueA(versionData, query, &value, &length) && value != NULL)
        SetDlgItemTextA(dialog, id, static_cast<const char*>(value));
    else
        SetDlgItemTextA(dialog, id, "");
}

static void ShowVersionTexts(HWND dialog, const char* path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return;
    void* data = GlobalAlloc(GMEM_FIXED, size);
    if (data == NULL)
        return;
    if (GetFileVersionInfoA(path, 0, size, data) == 1) {
        ShowVersionText(dialog, data, IDC_ABOUT_DESCRIPTION);
        ShowVersionText(dialog, data, IDC_ABOUT_COPYRIGHT);
        ShowVersionText(dialog, data, IDC_ABOUT_COMMENTS);
    }
    GlobalFree(data);
}

// The title in the dialog's own face, 14 units high and bold.
static void MakeTitleBold(HWND dialog)
{
    const HFONT dialogFont = reinterpret_cast<HFONT>(
        SendDlgItemMessageA(dialog, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0));
    LOGFONTA font;
    if (GetObjectA(dialogFont, sizeof font, &font) != sizeof font)
        return;
    font.lfHeight = 14;
    font.lfWeight = FW_BOLD;
    gTitleFont = CreateFontIndirectA(&font);
    SendDlgItemMessageA(dialog, IDC_ABOUT_DESCRIPTION, WM_SETFONT,
                        reinterpret_cast<WPARAM>(gTitleFont), 0);
}

static void InitAboutDialog(HWND dialog)
{
    // The library's own file, wherever the host loaded it from.
    char path[MAX_PATH];
    if (GetModuleFileNameA(gInstance, path, MAX_PATH) == 0)
        path[0] = '\0';
    SetDlgItemTextA(dialog, IDC_ABOUT_PATH, path);
    SetDlgItemTextA(dialog, IDC_ABOUT_EMAIL, kMakerEmail);
    SetDlgItemTextA(dialog, IDC_ABOUT_HOMEPAGE, kMakerHomePage);
    ShowVersionTexts(dialog, path);
    MakeTitleBold(dialog);
    CenterWindow(dialog, NULL);
}

// Opens Explorer with the library file selected. The path is quoted: a
// folder name holding a comma would otherwise end the path at the comma,
// since Explorer splits its parameters there.
static void ShowInExplorer(HWND dialog)
{
    char path[MAX_PATH];
    if (GetModuleFileNameA(gInstance, path, MAX_PATH) == 0)
        return;
    char parameters[sizeof kExplorerSelect + MAX_PATH + 2];
    lstrcpynA(parameters, kExplorerSelect, sizeof parameters);
    int used = lstrlenA(parameters);
    parameters[used++] = '"';
    lstrcpynA(parameters + used, path, sizeof parameters - used - 1);
    used = lstrlenA(parameters);
    parameters[used++] = '"';
    parameters[used] = '\0';
    ShellExecuteA(dialog, NULL, kExplorer, parameters, NULL, SW_SHOWNORMAL);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAboutDialog(dialog);
        // FALSE: the dialog manager leaves the keyboard focus alone.
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, 0);
            break;
        case IDC_ABOUT_EXPLORER:
            ShowInExplorer(dialog);
            break;
        default:
            break;
        }
        return FALSE;
    case WM_DESTROY:
        DeleteObject(gTitleFont);
        gTitleFont = NULL;
        return FALSE;
    default:
        return FALSE;
    }
}
