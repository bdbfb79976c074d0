// The dialog where its settings cannot be written: a read-only settings
// file, a read-only folder, a host whose path is too long for the settings
// path. tests/wine/environment-faults.sh makes each fault (as root only an
// immutable file or folder is really read-only) and runs this test with
// GROOBLE_FAULT naming it; in the normal run it is disabled.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "../../res/resource.h"
#include "harness.h"

namespace {

const char kStored[] = "[Main]\r\nDefaultPreset=102030\r\n[Preset]\r\nKeep=10101\r\n";

// The folder of this program by the wide, long-path form of the call,
// which is not cut short at 260 characters.
std::wstring WideExeDirectory()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(NULL, &path[0], static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\'));
}

bool WideFileExists(const std::wstring& path)
{
    const std::wstring full = path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
    return GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(EnvironmentFaultTest, DISABLED_TheDialogWorksAndLosesNothing)
{
    const char* fault = std::getenv("GROOBLE_FAULT");
    ASSERT_NE(fault, nullptr) << "run through tests/wine/environment-faults.sh";
    const std::string kind = fault;
    RecordProperty("fault", kind);
    const bool fileThere = kind == "read-only-file";
    const std::string before = fileThere ? ReadIni() : "<missing>";
    if (fileThere) {
        ASSERT_EQ(before, kStored) << "the script writes this file first";
    }

    // Loaded by the wide, long-path form: the ANSI path of this folder may
    // not fit 260 characters.
    HMODULE module = LoadLibraryW((L"\\\\?\\" + WideExeDirectory() + L"\\grooble.dll").c_str());
    ASSERT_NE(module, nullptr);
    const GrooblerDialogFunction function = GrooblerDialogOf(module);
    ASSERT_NE(function, nullptr);

    MessageBoxSeen warning;
    const int result = RunGrooblerDialog([&](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_TIMING_EDIT), fileThere ? "10" : "0");
        TypeInto(dialog, IDC_TIMING_EDIT, "12");
        TypeInto(dialog, IDC_LENGTH_EDIT, "34");
        TypeInto(dialog, IDC_VELOCITY_EDIT, "56");
        // Saving a preset fails, says so, and lists nothing new.
        SetDlgItemTextA(dialog, IDC_PRESET_COMBO, "New");
        MessageBoxAnswer answer({IDOK});
        Click(dialog, IDC_SAVE_PRESET);
        ASSERT_EQ(answer.seen.size(), 1u);
        warning = answer.seen[0];
        const LRESULT found = SendDlgItemMessageA(dialog, IDC_PRESET_COMBO, CB_FINDSTRINGEXACT,
                                                  static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("New"));
        EXPECT_EQ(found, CB_ERR) << "a preset the file does not hold is listed";
        Click(dialog, IDOK);
    }, function);
    EXPECT_EQ(result, 123456) << "the result is returned all the same";
    EXPECT_NE(warning.text.find("grooble.ini"), std::string::npos) << warning.text;

    if (kind == "long-path") {
        // No settings path can be built: nothing is written anywhere, not
        // beside the program and not in the Windows folder.
        EXPECT_FALSE(WideFileExists(WideExeDirectory() + L"\\grooble.ini"));
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        EXPECT_EQ(GetFileAttributesA((std::string(windows) + "\\grooble.ini").c_str()),
                  INVALID_FILE_ATTRIBUTES);
    } else {
        EXPECT_EQ(ReadIni(), before) << "the settings file changed";
    }
}

}  // namespace
