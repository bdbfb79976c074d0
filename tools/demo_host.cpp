// A small stand-in for the sequencer: it opens a main window, loads
// grooble.dll from its own folder, calls GrooblerDialog and prints what it
// returned. With --screenshot FILE it captures the dialog once it has
// painted, writes FILE as a BMP and presses OK itself, so that it can run
// unattended; with --about FILE it also opens the About box from the
// system menu first and captures that.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "screen_capture.h"

typedef int(WINAPI* GrooblerDialogFunction)();

static std::string gScreenshotPath;
static std::string gAboutPath;
static HHOOK gHook;
static HWND gDialog;
static HWND gAbout;
static bool gScreenshotWritten;
static bool gAboutWritten;

// The system-menu command of the strength dialog that opens the About box.
static const WPARAM kAboutCommand = 202;

static void CALLBACK Confirm(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    SendDlgItemMessageA(gDialog, IDOK, BM_CLICK, 0, 0);
}

static void CALLBACK CaptureAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    UpdateWindow(gAbout);
    gAboutWritten = SaveBitmap(CaptureWindow(gAbout), gAboutPath);
    PostMessageA(gAbout, WM_COMMAND, IDCANCEL, 0);
    SetTimer(NULL, 0, 100, Confirm);
}

static void CALLBACK CaptureAndConfirm(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    // The dialog's loop shows it once its queue is first empty; on a busy
    // machine that can come after this timer.
    if (!IsWindowVisible(gDialog)) {
        SetTimer(NULL, 0, 100, CaptureAndConfirm);
        return;
    }
    UpdateWindow(gDialog);
    gScreenshotWritten = SaveBitmap(CaptureWindow(gDialog), gScreenshotPath);
    if (!gAboutPath.empty())
        PostMessageA(gDialog, WM_SYSCOMMAND, kAboutCommand, 0);
    else
        SendDlgItemMessageA(gDialog, IDOK, BM_CLICK, 0, 0);
}

static LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        // Give each dialog and its controls time to paint first.
        if (std::strcmp(className, "#32770") == 0 && gDialog == NULL) {
            gDialog = window;
            SetTimer(NULL, 0, 300, CaptureAndConfirm);
        } else if (std::strcmp(className, "#32770") == 0 && gAbout == NULL && window != gDialog &&
                   !gAboutPath.empty()) {
            gAbout = window;
            SetTimer(NULL, 0, 300, CaptureAbout);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

static LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        static const char text[] = "grooble.dll demo host";
        TextOutA(dc, 16, 16, text, sizeof text - 1);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            gScreenshotPath = argv[++i];
        } else if (std::strcmp(argv[i], "--about") == 0 && i + 1 < argc) {
            gAboutPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: demo_host [--screenshot FILE.bmp [--about FILE.bmp]]\n");
            return 2;
        }
    }

    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dll = path;
    dll = dll.substr(0, dll.find_last_of('\\') + 1) + "grooble.dll";
    HMODULE module = LoadLibraryA(dll.c_str());
    GrooblerDialogFunction groobler =
        module ? reinterpret_cast<GrooblerDialogFunction>(
                     reinterpret_cast<void*>(GetProcAddress(module, "GrooblerDialog")))
               : nullptr;
    if (!groobler) {
        std::fprintf(stderr, "cannot load GrooblerDialog from %s\n", dll.c_str());
        return 1;
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = "GroobleDemoHost";
    RegisterClassA(&windowClass);
    HWND host = CreateWindowA("GroobleDemoHost", "Groobler demo host", WS_OVERLAPPEDWINDOW, 40,
                              40, 700, 500, NULL, NULL, windowClass.hInstance, NULL);
    ShowWindow(host, SW_SHOWNORMAL);
    UpdateWindow(host);

    if (!gScreenshotPath.empty())
        gHook = SetWindowsHookExA(WH_CBT, WatchActivation, NULL, GetCurrentThreadId());
    const int result = groobler();
    if (gHook)
        UnhookWindowsHookEx(gHook);
    DestroyWindow(host);

    std::printf("GrooblerDialog returned %d\n", result);
    if (!gScreenshotPath.empty()) {
        if (!gScreenshotWritten) {
            std::fprintf(stderr, "no screenshot was written to %s\n", gScreenshotPath.c_str());
            return 1;
        }
        std::printf("screenshot: %s\n", gScreenshotPath.c_str());
    }
    if (!gAboutPath.empty()) {
        if (!gAboutWritten) {
            std::fprintf(stderr, "no About box screenshot was written to %s\n", gAboutPath.c_str());
            return 1;
        }
        std::printf("About box screenshot: %s\n", gAboutPath.c_str());
    }
    std::fflush(stdout);
    return 0;
}
