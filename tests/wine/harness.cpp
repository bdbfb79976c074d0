#include "harness.h"

#include <commctrl.h>

#include "../../res/resource.h"

#include <cstdio>
#include <cstring>

namespace {

GrooblerDialogFunction LoadExport()
{
    static GroobleLibrary library = LoadGroobleBesideExe();
    return library.function;
}

}  // namespace

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
    if (!function)
        function = LoadExport();
    if (!function) {
        ADD_FAILURE() << "grooble.dll or its export GrooblerDialog cannot be loaded";
        return -12345;
    }
    const DialogRun run = RunStrengthDialog(function, action);
    if (run.dialog == NULL)
        ADD_FAILURE() << "the strength dialog never opened";
    else if (!run.shown)
        ADD_FAILURE() << "the dialog was never shown";
    if (run.leftOpen)
        ADD_FAILURE() << "the test left the dialog open; it was cancelled";
    return run.result;
}

DllCopy::DllCopy(const std::string& folderName, bool load)
    : folder(ExeDirectory() + "\\" + folderName), path(folder + "\\grooble.dll")
{
    CreateDirectoryA(folder.c_str(), NULL);
    copied = CopyFileA((ExeDirectory() + "\\grooble.dll").c_str(), path.c_str(), FALSE) != FALSE;
    if (copied && load) {
        const GroobleLibrary library = LoadGrooble(path);
        module = library.module;
        function = library.function;
    }
}

DllCopy::~DllCopy()
{
    Unload();
    DeleteFileA(path.c_str());
    DeleteFileA((folder + "\\grooble.ini").c_str());
    RemoveDirectoryA(folder.c_str());
}

void DllCopy::Unload()
{
    if (module)
        FreeLibrary(module);
    module = NULL;
    function = nullptr;
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
}

namespace {

std::vector<std::string> gBetLines;

}  // namespace

void ReportBet(const std::string& bet, bool held, const std::string& found)
{
    const std::string line = "bet: " + bet + ": " + (held ? "yes" : "no") + (found.empty() ? "" : " (" + found + ")");
    std::printf("%s\n", line.c_str());
    gBetLines.push_back(line);
    EXPECT_TRUE(held) << line;
}

std::vector<std::string> TakeBetLines()
{
    std::vector<std::string> lines;
    lines.swap(gBetLines);
    return lines;
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
