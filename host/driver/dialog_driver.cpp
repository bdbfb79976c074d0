#include "dialog_driver.h"

#include <commctrl.h>

#include <cstring>

#include "../../res/resource.h"

namespace {

HHOOK gActivationHook;
HWND gDialog;
const DialogAction* gAction;
DialogRun* gRun;
int gWaits;

// The template has no WS_VISIBLE: the dialog's own loop shows it the first
// time its queue is empty, which on a busy machine can come after the
// first timer. Every action waits for that (for up to ten seconds), so
// that it meets a shown dialog.
const UINT kPollMs = 20;
const int kMaxWaits = 500;

void CALLBACK RunAction(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    const HWND dialog = gDialog;
    if (!IsWindowVisible(dialog) && ++gWaits < kMaxWaits) {
        SetTimer(NULL, 0, kPollMs, RunAction);
        return;
    }
    gRun->shown = IsWindowVisible(dialog) != FALSE;
    (*gAction)(dialog);
    PumpMessages(dialog);
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        gRun->leftOpen = true;
        EndDialog(dialog, 0);
    }
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && gDialog == NULL) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (IsStrengthDialog(window)) {
            gDialog = window;
            // A thread timer is dispatched by the dialog's own message loop,
            // so the action runs once set-up and activation are over.
            SetTimer(NULL, 0, 10, RunAction);
        }
    }
    return CallNextHookEx(gActivationHook, code, wParam, lParam);
}

HHOOK gShowHook;
HWND gAboutBox;
RECT gAboutShownAt;
const DialogAction* gAboutAction;
RECT* gAboutShownAtOut;

LRESULT CALLBACK RecordAbout(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* record = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0 && record->message == WM_SHOWWINDOW && record->wParam &&
        GetDlgItem(record->hwnd, IDC_ABOUT_PATH) != NULL) {
        gAboutBox = record->hwnd;
        GetWindowRect(record->hwnd, &gAboutShownAt);
    }
    return CallNextHookEx(gShowHook, code, wParam, lParam);
}

void CALLBACK ActOnAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!gAboutBox || !IsWindowVisible(gAboutBox))
        return;
    KillTimer(NULL, timer);
    if (gAboutShownAtOut)
        *gAboutShownAtOut = gAboutShownAt;
    (*gAboutAction)(gAboutBox);
}

}  // namespace

std::string ExeDirectory()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    // The last backslash that is one: in code page 932 a character's trail
    // byte may be 0x5C too (ソ is 83 5C).
    DWORD last = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < length)
            ++i;
        else if (path[i] == '\\')
            last = i;
    }
    return std::string(path, last);
}

GrooblerDialogFunction GrooblerDialogOf(HMODULE module)
{
    return module ? reinterpret_cast<GrooblerDialogFunction>(
                        reinterpret_cast<void*>(GetProcAddress(module, "GrooblerDialog")))
                  : nullptr;
}

GroobleLibrary LoadGrooble(const std::string& path)
{
    GroobleLibrary library;
    library.path = path;
    library.module = LoadLibraryA(path.c_str());
    library.function = GrooblerDialogOf(library.module);
    return library;
}

GroobleLibrary LoadGroobleBesideExe()
{
    return LoadGrooble(ExeDirectory() + "\\grooble.dll");
}

bool IsStrengthDialog(HWND window)
{
    // Known by class and caption: it activates before its loop shows it,
    // and message boxes and the About box carry other captions.
    char className[16] = "";
    char caption[32] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    return std::strcmp(className, "#32770") == 0 && std::strcmp(caption, "Groobler") == 0;
}

DialogRun RunStrengthDialog(GrooblerDialogFunction function, const DialogAction& action)
{
    DialogRun run;
    gDialog = NULL;
    gAction = &action;
    gRun = &run;
    gWaits = 0;
    gActivationHook = SetWindowsHookExA(WH_CBT, WatchActivation, NULL, GetCurrentThreadId());
    run.result = function();
    UnhookWindowsHookEx(gActivationHook);
    gActivationHook = NULL;
    gAction = nullptr;
    gRun = nullptr;
    run.dialog = gDialog;
    return run;
}

bool WithAboutBox(HWND dialog, const DialogAction& action, RECT* shownAt)
{
    gAboutBox = NULL;
    gAboutAction = &action;
    gAboutShownAtOut = shownAt;
    gShowHook = SetWindowsHookExA(WH_CALLWNDPROC, RecordAbout, NULL, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(NULL, 0, kPollMs, ActOnAbout);
    SendMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    KillTimer(NULL, timer);
    UnhookWindowsHookEx(gShowHook);
    gAboutAction = nullptr;
    gAboutShownAtOut = nullptr;
    return gAboutBox != NULL && !IsWindow(gAboutBox);
}

void PumpMessages(HWND dialog)
{
    MSG message;
    while (IsWindow(dialog) && PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

void PressKey(HWND dialog, UINT virtualKey)
{
    // Through the message loop, where the dialog manager turns keys into
    // commands, exactly as a key press arrives.
    const HWND focus = GetFocus();
    PostMessageA(focus ? focus : dialog, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(focus ? focus : dialog, WM_KEYUP, virtualKey, 0xC0000001);
    PumpMessages(dialog);
}

void TypeInto(HWND dialog, int editId, const std::string& text)
{
    const HWND edit = GetDlgItem(dialog, editId);
    SetFocus(edit);
    // Typed over the selected text: an emptied box would turn into "0" at
    // once, with the caret before it.
    SendMessageA(edit, EM_SETSEL, 0, -1);
    if (text.empty())
        SendMessageA(edit, WM_CHAR, VK_BACK, 0);
    for (char c : text)
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
}

std::string ItemText(HWND dialog, int id)
{
    char text[300] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

int SliderPosition(HWND dialog, int sliderId)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, sliderId, TBM_GETPOS, 0, 0));
}
