#include "harness.h"

#include <commctrl.h>

#include "../../res/resource.h"

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

namespace {

MessageBoxAnswer* gAnswer;

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        !IsStrengthDialog(window) && GetDlgItem(window, 0xFFFF) != NULL) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK LookForMessageBox(HWND, UINT, UINT_PTR, DWORD)
{
    if (!gAnswer)
        return;
    HWND box = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
    if (!box || (!gAnswer->seen.empty() && gAnswer->seen.back().window == box))
        return;
    MessageBoxSeen seen;
    seen.window = box;
    char text[1024] = "";
    GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    // The message is the static control 0xFFFF, as in every message box.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    seen.yesNo = GetDlgItem(box, IDYES) != NULL && GetDlgItem(box, IDNO) != NULL;
    seen.owner = GetWindow(box, GW_OWNER);
    GetWindowRect(box, &seen.rect);
    // The icon is a shared system icon: compare the handles.
    HWND icon = NULL;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char childClass[16] = "";
        GetClassNameA(child, childClass, sizeof childClass);
        if (lstrcmpiA(childClass, "Static") == 0 &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = child;
    }
    const HICON shown = icon ? reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)) : NULL;
    seen.exclamation = shown && shown == LoadIcon(NULL, IDI_EXCLAMATION);
    seen.question = shown && shown == LoadIcon(NULL, IDI_QUESTION);
    const size_t index = gAnswer->seen.size();
    gAnswer->seen.push_back(seen);
    const int button = index < gAnswer->buttons.size() ? gAnswer->buttons[index] : IDCANCEL;
    if (index >= gAnswer->buttons.size())
        ADD_FAILURE() << "one message box more than expected: " << seen.text;
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
}

}  // namespace

MessageBoxAnswer::MessageBoxAnswer(std::vector<int> buttons) : buttons(std::move(buttons))
{
    gAnswer = this;
    timer_ = SetTimer(NULL, 0, 20, LookForMessageBox);
}

MessageBoxAnswer::~MessageBoxAnswer()
{
    KillTimer(NULL, timer_);
    gAnswer = nullptr;
}

std::vector<std::string> ListedNames(HWND dialog)
{
    std::vector<std::string> names;
    const int count = static_cast<int>(SendDlgItemMessageA(dialog, IDC_PRESET_COMBO, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char name[300] = "";
        SendDlgItemMessageA(dialog, IDC_PRESET_COMBO, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
        names.push_back(name);
    }
    return names;
}
