// Measures how long GrooblerDialog takes from being called to its dialog
// being ready for input, against a bare DialogBoxParamA of the same
// template with no set-up, and how that grows with the number of stored
// presets. Run it under Wine through scripts/benchmark.sh.
//
// "Ready" is the first time the dialog's own modal loop finds its queue
// empty with the dialog shown: the loop then sends WM_ENTERIDLE to the
// owner, which takes the time and ends the dialog.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../host/driver/dialog_driver.h"
#include "../res/resource.h"

namespace {

LARGE_INTEGER gStart;
double gReadyMs;
double gFrequency;

double Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / gFrequency;
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX) {
        HWND dialog = reinterpret_cast<HWND>(lParam);
        // Shown, painted, and nothing else waiting.
        if (IsWindowVisible(dialog) && HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) {
            gReadyMs = Now() - static_cast<double>(gStart.QuadPart) * 1000.0 / gFrequency;
            EndDialog(dialog, 0);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK BareDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

void WritePresets(const std::string& ini, int count)
{
    std::string text = "[Main]\r\nDefaultPreset=305070\r\n[Preset]\r\n";
    char line[64];
    for (int i = 0; i < count; ++i) {
        // Twenty characters, in no sorted order.
        std::snprintf(line, sizeof line, "Groove %07d preset=%d\r\n", (i * 7919) % 10000000,
                      (i % 100) * 10101);
        text += line;
    }
    FILE* file = std::fopen(ini.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    // The profile functions cache the last file; let them see the new one.
    WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Open>
double MedianOpen(int opens, Open open)
{
    std::vector<double> times;
    for (int i = 0; i < opens; ++i) {
        gReadyMs = -1;
        QueryPerformanceCounter(&gStart);
        open();
        if (gReadyMs < 0) {
            std::fprintf(stderr, "the dialog never became ready\n");
            std::exit(1);
        }
        times.push_back(gReadyMs);
    }
    return Median(times);
}

}  // namespace

int main(int argc, char** argv)
{
    int opens = 20;
    std::vector<int> counts = {0, 1000, 5000, 20000};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--opens") == 0 && i + 1 < argc) {
            opens = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--presets") == 0 && i + 1 < argc) {
            counts.clear();
            for (const char* p = argv[++i]; *p;) {
                counts.push_back(std::atoi(p));
                while (*p && *p != ',') ++p;
                if (*p == ',') ++p;
            }
        } else {
            std::fprintf(stderr, "usage: benchmark [--opens N] [--presets 0,1000,...]\n");
            return 2;
        }
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    gFrequency = static_cast<double>(frequency.QuadPart);

    const std::string directory = ExeDirectory();
    const GroobleLibrary library = LoadGroobleBesideExe();
    const HMODULE module = library.module;
    const GrooblerDialogFunction groobler = library.function;
    if (!groobler) {
        std::fprintf(stderr, "cannot load GrooblerDialog from %s\n", library.path.c_str());
        return 1;
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "GroobleBenchmarkHost";
    RegisterClassA(&windowClass);
    HWND host = CreateWindowA("GroobleBenchmarkHost", "benchmark host",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 400, 300, NULL, NULL,
                              windowClass.hInstance, NULL);

    const std::string ini = directory + "\\grooble.ini";
    WritePresets(ini, 0);
    // One of each first, so that loading the libraries is not measured.
    MedianOpen(2, [&] { groobler(); });
    MedianOpen(2, [&] {
        DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_STRENGTH), host, BareDialogProc, 0);
    });

    std::printf("%d opens each, median milliseconds from the call to the dialog ready for input\n\n",
                opens);
    std::printf("| presets | GrooblerDialog | bare dialog | ratio |\n|---:|---:|---:|---:|\n");
    for (int count : counts) {
        WritePresets(ini, count);
        // Interleaved, so that a slower moment of the machine hits both.
        std::vector<double> full, bare;
        for (int i = 0; i < opens; ++i) {
            full.push_back(MedianOpen(1, [&] { groobler(); }));
            bare.push_back(MedianOpen(1, [&] {
                DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_STRENGTH), host, BareDialogProc, 0);
            }));
        }
        const double f = Median(full);
        const double b = Median(bare);
        std::printf("| %d | %.1f | %.1f | %.2f |\n", count, f, b, f / b);
        std::fflush(stdout);
    }
    DeleteFileA(ini.c_str());
    DestroyWindow(host);
    return 0;
}
