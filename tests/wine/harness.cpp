#include "harness.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

HHOOK gHook;
HWND gDialog;
const DialogAction* gAction;

GrooblerDialogFunction LoadExport()
{
    static GrooblerDialogFunction function;
    if (!function) {
        HMODULE module = LoadLibraryA((ExeDirectory() + "\\grooble.dll").c_str());
        if (module)
            function = reinterpret_cast<GrooblerDialogFunction>(
                reinterpret_cast<void*>(GetProcAddress(module, "GrooblerDialog")));
    }
    return function;
}

// Delivers what is queued for the dialog, through the dialog manager as its
// own loop would: keys become commands there, and a closing dialog posts
// its Cancel command.
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

void CALLBACK RunAction(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    HWND dialog = gDialog;
    // The template has no WS_VISIBLE: the dialog's own loop shows it the
    // first time its queue is empty, which on a busy machine can come after
    // this timer. Wait for that, so that the action meets a shown dialog.
    static int waits;
    if (!IsWindowVisible(dialog) && ++waits < 500) {
        SetTimer(NULL, 0, 20, RunAction);
        return;
    }
    waits = 0;
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog was never shown";
    (*gAction)(dialog);
    PumpMessages(dialog);
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        ADD_FAILURE() << "the test left the dialog open; cancelling it";
        EndDialog(dialog, 0);
    }
}

bool IsStrengthDialog(HWND window)
{
    char className[16] = "";
    char caption[32] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    return std::strcmp(className, "#32770") == 0 && std::strcmp(caption, "Groobler") == 0;
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && gDialog == NULL) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (IsStrengthDialog(window)) {
            gDialog = window;
            // A thread timer is dispatched by the dialog's own message loop,
            // so the action runs once set-up and activation are over.
            SetTimer(NULL, 0, 10, RunAction);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

}  // namespace

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\'));
}

std::string IniPath()
{
    return ExeDirectory() + "\\grooble.ini";
}

void RemoveIni()
{
    DeleteFileA(IniPath().c_str());
    // Wine caches the last profile file it touched; drop the cache so that
    // a file changed behind its back is read again.
    WritePrivateProfileStringA(NULL, NULL, NULL, IniPath().c_str());
}

void WriteIni(const std::string& bytes)
{
    RemoveIni();
    FILE* file = std::fopen(IniPath().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string ReadIni()
{
    WritePrivateProfileStringA(NULL, NULL, NULL, IniPath().c_str());
    FILE* file = std::fopen(IniPath().c_str(), "rb");
    if (!file)
        return "<missing>";
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

int CallGrooblerDialog()
{
    GrooblerDialogFunction function = LoadExport();
    if (!function) {
        ADD_FAILURE() << "grooble.dll or its export GrooblerDialog cannot be loaded";
        return -12345;
    }
    return function();
}

int RunGrooblerDialog(const DialogAction& action, GrooblerDialogFunction function)
{
    gDialog = NULL;
    gAction = &action;
    gHook = SetWindowsHookExA(WH_CBT, WatchActivation, NULL, GetCurrentThreadId());
    const int result = function ? function() : CallGrooblerDialog();
    UnhookWindowsHookEx(gHook);
    gHook = NULL;
    gAction = nullptr;
    if (gDialog == NULL)
        ADD_FAILURE() << "the strength dialog never opened";
    return result;
}

void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

void PressKey(HWND dialog, UINT virtualKey)
{
    // Through the message loop, where the dialog manager turns keys into
    // commands, exactly as a key press arrives.
    HWND focus = GetFocus();
    PostMessageA(focus ? focus : dialog, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(focus ? focus : dialog, WM_KEYUP, virtualKey, 0xC0000001);
    PumpMessages(dialog);
}

void TypeInto(HWND dialog, int editId, const std::string& text)
{
    HWND edit = GetDlgItem(dialog, editId);
    SetFocus(edit);
    // Select everything and type over it, as a user would; an empty text is
    // a select-all and Backspace.
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

void DialogTest::SetUp()
{
    RemoveIni();
}

void DialogTest::TearDown()
{
    RemoveIni();
}
