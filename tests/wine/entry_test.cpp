// The export: its result, the settings it writes on each way out, and the
// host window it picks as the dialog's owner.
#include <windows.h>

#include <string>

#include "../../res/resource.h"
#include "harness.h"

namespace {

std::string MainSection(const RECT& rect, const std::string& defaultPreset,
                        const std::string& flag)
{
    std::string text = "[Main]\r\nLeft=" + std::to_string(rect.left) +
                       "\r\nTop=" + std::to_string(rect.top) + "\r\n";
    if (!defaultPreset.empty())
        text += "DefaultPreset=" + defaultPreset + "\r\n";
    return text + "IsSaveDlgPos=" + flag + "\r\n";
}

class EntryTest : public DialogTest {};

TEST_F(EntryTest, OkStoresAndReturnsTheSamePackedStrengths)
{
    RECT rect = {};
    const int result = RunGrooblerDialog([&](HWND dialog) {
        TypeInto(dialog, IDC_TIMING_EDIT, "12");
        TypeInto(dialog, IDC_LENGTH_EDIT, "5");
        TypeInto(dialog, IDC_VELOCITY_EDIT, "40");
        GetWindowRect(dialog, &rect);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 120540);
    // A new file: Left, Top and DefaultPreset in the order OK writes them,
    // then the flag the export writes after the dialog has gone.
    EXPECT_EQ(ReadIni(), MainSection(rect, "120540", "0"));
}

TEST_F(EntryTest, OkWithAllStrengthsZeroReturnsZeroLikeCancel)
{
    WriteIni("[Main]\r\nDefaultPreset=10101\r\n");
    const int result = RunGrooblerDialog([](HWND dialog) {
        for (int id = IDC_TIMING_EDIT; id <= IDC_VELOCITY_EDIT; ++id)
            TypeInto(dialog, id, "0");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_NE(ReadIni().find("DefaultPreset=0\r\n"), std::string::npos) << ReadIni();
}

// Every way of cancelling writes the position and the flag but keeps the
// stored strengths and returns 0.
TEST_F(EntryTest, CancelEscAndCloseBoxKeepDefaultPreset)
{
    const struct {
        const char* name;
        void (*cancel)(HWND);
    } ways[] = {
        {"Cancel button", [](HWND dialog) { Click(dialog, IDCANCEL); }},
        {"Esc key", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        WriteIni("[Main]\r\nDefaultPreset=30201\r\nLeft=1\r\nTop=2\r\n");
        RECT rect = {};
        const int result = RunGrooblerDialog([&](HWND dialog) {
            TypeInto(dialog, IDC_TIMING_EDIT, "77");
            GetWindowRect(dialog, &rect);
            way.cancel(dialog);
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadIni(), "[Main]\r\nDefaultPreset=30201\r\nLeft=" + std::to_string(rect.left) +
                                 "\r\nTop=" + std::to_string(rect.top) +
                                 "\r\nIsSaveDlgPos=0\r\n");
    }
}

// A window made on a thread of its own, for owner tests that need a window
// of the same process that does not belong to the calling thread.
struct ForeignWindow {
    HANDLE thread = NULL;
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    HWND window = NULL;
    DWORD threadId = 0;

    static DWORD WINAPI Run(void* self)
    {
        auto* me = static_cast<ForeignWindow*>(self);
        me->window = CreateWindowExA(0, "STATIC", "foreign", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                                     100, 300, 200, NULL, NULL, NULL, NULL);
        SetWindowPos(me->window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetEvent(me->ready);
        MSG message;
        while (GetMessageA(&message, NULL, 0, 0) > 0)
            DispatchMessageA(&message);
        DestroyWindow(me->window);
        return 0;
    }
    ForeignWindow()
    {
        thread = CreateThread(NULL, 0, Run, this, 0, &threadId);
        WaitForSingleObject(ready, 5000);
    }
    ~ForeignWindow()
    {
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(ready);
    }
};

HWND MakeWindow(DWORD style, DWORD exStyle = 0)
{
    return CreateWindowExA(exStyle, "STATIC", "host", style, 50, 50, 400, 300, NULL, NULL, NULL,
                           NULL);
}

HWND OwnerSeenByDialog()
{
    HWND owner = reinterpret_cast<HWND>(-1);
    RunGrooblerDialog([&](HWND dialog) {
        owner = GetWindow(dialog, GW_OWNER);
        Click(dialog, IDCANCEL);
    });
    return owner;
}

TEST_F(EntryTest, OwnerIsTheCallingThreadsVisibleSystemMenuWindow)
{
    // Another thread's window lies above ours in the z-order and is skipped;
    // a hidden window and a tool window without a system menu never count.
    HWND hidden = MakeWindow(WS_OVERLAPPEDWINDOW);
    HWND host = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND hiddenAbove = MakeWindow(WS_OVERLAPPEDWINDOW);  // made later, so above the host
    HWND tool = MakeWindow(WS_POPUP | WS_CAPTION | WS_VISIBLE, WS_EX_TOOLWINDOW);
    ForeignWindow foreign;
    ASSERT_NE(foreign.window, nullptr);

    EXPECT_EQ(OwnerSeenByDialog(), host);

    DestroyWindow(tool);
    DestroyWindow(hiddenAbove);
    DestroyWindow(host);
    DestroyWindow(hidden);
}

TEST_F(EntryTest, NoSuitableWindowMeansNoOwnerEvenAfterAnEarlierCall)
{
    HWND tool = MakeWindow(WS_POPUP | WS_CAPTION | WS_VISIBLE, WS_EX_TOOLWINDOW);
    EXPECT_EQ(OwnerSeenByDialog(), nullptr);

    // An owner found by one call and destroyed since is not handed to the
    // next dialog.
    HWND host = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(OwnerSeenByDialog(), host);
    DestroyWindow(host);
    EXPECT_EQ(OwnerSeenByDialog(), nullptr);
    DestroyWindow(tool);
}

TEST_F(EntryTest, ThreadWithoutWindowsGetsAnUnownedDialog)
{
    // A fresh thread has no windows of its own, so the search ends at once.
    struct Call {
        HWND owner = reinterpret_cast<HWND>(-1);
        static DWORD WINAPI Run(void* self)
        {
            auto* me = static_cast<Call*>(self);
            me->owner = OwnerSeenByDialog();
            return 0;
        }
    } call;
    HWND host = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HANDLE thread = CreateThread(NULL, 0, Call::Run, &call, 0, NULL);
    // This thread's window must keep being served while the other one waits.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    CloseHandle(thread);
    EXPECT_EQ(call.owner, nullptr);
    DestroyWindow(host);
}

// The settings follow the host executable, not the library: a DLL loaded
// from another folder still keeps them beside the program that called it.
TEST_F(EntryTest, SettingsLieBesideTheHostNotTheDll)
{
    DllCopy dll("dll-elsewhere");
    ASSERT_NE(dll.module, nullptr);
    ASSERT_NE(dll.function, nullptr);

    const int result = RunGrooblerDialog(
        [](HWND dialog) {
            TypeInto(dialog, IDC_VELOCITY_EDIT, "9");
            Click(dialog, IDOK);
        },
        dll.function);
    dll.Unload();
    EXPECT_EQ(result, 9);
    EXPECT_NE(ReadIni().find("DefaultPreset=9\r\n"), std::string::npos) << ReadIni();
    EXPECT_EQ(GetFileAttributesA((dll.folder + "\\grooble.ini").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A host named ソ.exe (bytes 83 5C: a trail byte that is a backslash's):
// a copy of this program, run there on one test, keeps its settings in
// grooble.ini beside it, not in a file named from half the character.
TEST_F(EntryTest, SettingsLieBesideAHostWhoseNameHasATrailByteBackslash)
{
    DllCopy dll("kana-host", false);
    const std::string host = dll.folder + "\\\x83\x5C.exe";
    const std::string misplaced = dll.folder + "\\\x83\x5Cgrooble.ini";
    DeleteFileA(misplaced.c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    ASSERT_TRUE(CopyFileA(self, host.c_str(), FALSE)) << "error " << GetLastError() << " (is ja_JP.UTF-8 generated?)";
    std::string command = "\"" + host + "\" --gtest_filter=EntryTest.OkStoresAndReturnsTheSamePackedStrengths";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(host.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, dll.folder.c_str(), &startup,
                               &process));
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The copy's test found its settings beside itself (and removed them).
    EXPECT_EQ(code, 0u) << "the test failed in the copy named \x83\x5C.exe";
    EXPECT_EQ(GetFileAttributesA(misplaced.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(misplaced.c_str());
    DeleteFileA(host.c_str());
}

HHOOK gBlockHook;

LRESULT CALLBACK BlockDialogCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        if (create->lpszName && !IS_INTRESOURCE(create->lpszName) &&
            lstrcmpA(create->lpszName, "Groobler") == 0)
            return 1;  // refuse the window: the dialog never reaches its set-up
    }
    return CallNextHookEx(gBlockHook, code, wParam, lParam);
}

std::string WindowsFolderIni()
{
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\grooble.ini";
}

// The first call of a freshly loaded copy of the DLL (the self-test runs
// every test in one process, where the DLL beside it has been called
// before): no settings path has been built, and the flag must not be
// written to a relative path that would land in the Windows folder.
TEST_F(EntryTest, DialogThatNeverOpensWritesNoSettings)
{
    DeleteFileA(WindowsFolderIni().c_str());
    DllCopy dll("dll-first-call");
    ASSERT_NE(dll.function, nullptr);
    gBlockHook = SetWindowsHookExA(WH_CBT, BlockDialogCreation, NULL, GetCurrentThreadId());
    const int result = dll.function();
    UnhookWindowsHookEx(gBlockHook);
    dll.Unload();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ReadIni(), "<missing>");
    EXPECT_EQ(GetFileAttributesA(WindowsFolderIni().c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(WindowsFolderIni().c_str());
}

}  // namespace
