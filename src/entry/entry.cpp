// Module start and the one export. The library has no language runtime:
// the loader calls DllMain directly, and nothing runs at load but what
// DllMain does.
#include <windows.h>

#include "../../res/resource.h"
#include "../dialog/strength_dialog.h"
#include "../settings/settings.h"
#include "../instance.h"

HINSTANCE gInstance;

static DWORD gCallingThread;
static HWND gOwner;
// Style of the window the owner search looked at last.
static LONG gExaminedStyle;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reason;
    (void)reserved;
    gInstance = instance;
    return TRUE;
}

static BOOL CALLBACK MatchThreadWindow(HWND window, LPARAM topLevel)
{
    gExaminedStyle = GetWindowLongA(window, GWL_STYLE);
    const LONG wanted = WS_SYSMENU | WS_VISIBLE;
    if (window == reinterpret_cast<HWND>(topLevel) && (gExaminedStyle & wanted) == wanted) {
        gOwner = window;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK ExamineTopLevelWindow(HWND window, LPARAM)
{
    // FALSE from here ends the outer walk: either the owner was found, or
    // the calling thread has no windows at all.
    return EnumThreadWindows(gCallingThread, MatchThreadWindow, reinterpret_cast<LPARAM>(window));
}

// The first top-level window, in the system's z-order walk, that belongs to
// the calling thread and is visible with a system menu: the host's main
// window. Each search starts from no owner, so that a window found by an
// earlier call and since destroyed is never handed to the dialog again.
static void FindOwnerWindow()
{
    gOwner = NULL;
    EnumWindows(ExamineTopLevelWindow, 0);
}

extern "C" int WINAPI GrooblerDialog(void)
{
    gCallingThread = GetCurrentThreadId();
    FindOwnerWindow();
    const int result = static_cast<int>(DialogBoxParamA(
        gInstance, MAKEINTRESOURCEA(IDD_STRENGTH), gOwner, StrengthDialogProc, 0));
    WriteSavePositionFlag();
    return result;
}
