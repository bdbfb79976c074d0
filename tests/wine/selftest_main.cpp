// grooble-selftest.exe: the Wine test suite as one Windows program, for
// users to run on their own Windows beside grooble.dll. Run whole, it
// writes selftest-report.txt next to itself: the machine, then one line
// per test and per bet on Windows behaviour, then a Japanese and an
// English line saying whether everything held. CTest runs it one test at a
// time (with a filter), and then it writes no report.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace {

std::string VersionOfWindows()
{
    typedef LONG(WINAPI * RtlGetVersionFunction)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    // GetVersionEx answers for the program's manifest, not for the system.
    const auto getVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    char text[128] = "unknown";
    if (getVersion && getVersion(&info) == 0)
        std::snprintf(text, sizeof text, "%lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion,
                      info.dwBuildNumber);
    std::string version = text;
    typedef const char*(CDECL * WineVersionFunction)();
    const auto wine = reinterpret_cast<WineVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    if (wine)
        version += std::string(" (under Wine ") + wine() + ")";
    return version;
}

std::string VersionOfDll(const std::string& path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::vector<char> data(size ? size : 1);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
        return "no version found (is grooble.dll beside this program?)";
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    return text;
}

int ScreenDpi()
{
    const HDC screen = GetDC(NULL);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return dpi;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Writes the report as the tests run, so that a crash still leaves the
// lines before it.
class Report : public ::testing::EmptyTestEventListener {
public:
    explicit Report(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}
    ~Report() override
    {
        if (file_)
            std::fclose(file_);
    }
    bool Open() const { return file_ != nullptr; }

    void Line(const std::string& text)
    {
        if (!file_)
            return;
        std::fputs(text.c_str(), file_);
        std::fputs("\r\n", file_);
        std::fflush(file_);
    }

    void OnTestProgramStart(const ::testing::UnitTest&) override
    {
        const std::string dll = ExeDirectory() + "\\grooble.dll";
        Line("grooble.dll self-test report");
        Line("Windows: " + VersionOfWindows());
        Line("ANSI code page: " + std::to_string(GetACP()));
        Line("DPI: " + std::to_string(ScreenDpi()));
        Line("grooble.dll: " + VersionOfDll(dll) + ", " + (sizeof(void*) == 8 ? "x64" : "x86") + ", " + dll);
        Line("");
    }

    void OnTestStart(const ::testing::TestInfo&) override { TakeBetLines(); }

    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const ::testing::TestResult& result = *test.result();
        const std::string name = std::string(test.test_suite_name()) + "." + test.name();
        std::string why;
        for (int i = 0; i < result.total_part_count(); ++i) {
            const ::testing::TestPartResult& part = result.GetTestPartResult(i);
            if (part.failed() || part.skipped()) {
                why = part.message();
                break;
            }
        }
        for (char& c : why)
            if (c == '\r' || c == '\n')
                c = ' ';
        if (result.Skipped()) {
            Line("SKIP  " + name + ": " + why);
            ++skipped_;
        } else if (result.Failed()) {
            Line("FAIL  " + name + ": " + why);
            ++failed_;
        } else {
            Line("PASS  " + name);
            ++passed_;
        }
        for (const std::string& bet : TakeBetLines())
            Line("      " + bet);
    }

    void OnTestProgramEnd(const ::testing::UnitTest& unit) override
    {
        // Tests kept for the Wine setup's own scripts: named, with why.
        for (int s = 0; s < unit.total_test_suite_count(); ++s) {
            const ::testing::TestSuite& suite = *unit.GetTestSuite(s);
            for (int t = 0; t < suite.total_test_count(); ++t) {
                const ::testing::TestInfo& test = *suite.GetTestInfo(t);
                if (test.should_run())
                    continue;
                Line(std::string("SKIP  ") + suite.name() + "." + test.name() +
                     ": needs what only the Wine test setup makes (a locked settings file and folder)");
                ++skipped_;
            }
        }
        // Nothing of the run may outlive it: no window of this thread.
        int windows = 0;
        EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&windows));
        if (windows == 0) {
            Line("PASS  NothingLeftBehind: no window of the self-test is still open");
            ++passed_;
        } else {
            Line("FAIL  NothingLeftBehind: " + std::to_string(windows) + " windows of the self-test are still open");
            ++failed_;
        }
        Line("");
        char japanese[256], english[256];
        if (failed_ == 0 && passed_ > 0) {
            std::snprintf(japanese, sizeof japanese, "結果: すべて合格しました (合格 %d、省略 %d)。", passed_,
                          skipped_);
            std::snprintf(english, sizeof english, "Result: everything held (%d passed, %d skipped).",
                          passed_, skipped_);
        } else {
            std::snprintf(japanese, sizeof japanese, "結果: 不合格があります (不合格 %d、合格 %d、省略 %d)。",
                          failed_, passed_, skipped_);
            std::snprintf(english, sizeof english,
                          "Result: NOT everything held (%d failed, %d passed, %d skipped).", failed_,
                          passed_, skipped_);
        }
        Line(japanese);
        Line(english);
    }

private:
    std::FILE* file_;
    int passed_ = 0, failed_ = 0, skipped_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const bool whole = ::testing::GTEST_FLAG(filter) == "*" && !::testing::GTEST_FLAG(list_tests);
    const std::string path = ExeDirectory() + "\\selftest-report.txt";
    if (GetACP() != 932) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "This self-test runs only where the ANSI code page is 932 (Japanese); here it is %u.\n"
                      "Set the system locale for non-Unicode programs to Japanese and run it again.\n",
                      GetACP());
        std::fputs(text, stderr);
        if (whole) {
            std::FILE* file = std::fopen(path.c_str(), "wb");
            if (file) {
                // The Japanese line in code page 932 cannot be shown here; the
                // English one says all.
                std::fprintf(file, "grooble.dll self-test report\r\n%s\r\n", text);
                std::fclose(file);
            }
        }
        return 2;
    }
    Report* report = nullptr;
    if (whole) {
        report = new Report(path);
        if (!report->Open()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            delete report;
            return 2;
        }
        ::testing::UnitTest::GetInstance()->listeners().Append(report);
    }
    const int status = RUN_ALL_TESTS();
    if (whole)
        std::printf("report: %s\n", path.c_str());
    return status;
}
