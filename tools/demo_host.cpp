// A small stand-in for the sequencer: it opens a main window, loads
// grooble.dll from its own folder, calls GrooblerDialog and prints what it
// returned. With --screenshot FILE it captures the dialog once it has
// painted, writes FILE as a BMP and presses OK itself, so that it can run
// unattended.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "screen_capture.h"

typedef int(WINAPI* GrooblerDialogFunction)();

static std::string gScreenshotPath;
static HHOOK gHook;
static HWND gDialog;
static bool gScreenshotWritten;

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
    SendDlgItemMessageA(gDialog, IDOK, BM_CLICK, 0, 0);
}

static LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && gDialog == NULL) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (std::strcmp(className, "#32770") == 0) {
            gDialog = window;
            // Give the dialog and its controls time to paint first.
            SetTimer(NULL, 0, 300, CaptureAndConfirm);
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
        } else {
            std::fprintf(stderr, "usage: demo_host [--screenshot FILE.bmp]\n");
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
    std::fflush(stdout);
    return 0;
}
