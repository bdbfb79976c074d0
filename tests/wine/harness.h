// The Wine tests' side of the dialog driver: the real grooble.dll beside
// the test program, its settings file, message boxes answered, and what
// the driver reports turned into test failures.
#ifndef GROOBLE_TEST_HARNESS_H
#define GROOBLE_TEST_HARNESS_H

#include <windows.h>

#include <gtest/gtest.h>

#include "../../host/driver/dialog_driver.h"

#include <string>
#include <vector>

// The settings file lies beside the host executable: beside this test.
std::string IniPath();
void RemoveIni();
void WriteIni(const std::string& bytes);
// The file's bytes, or "<missing>" when there is none.
std::string ReadIni();

// Calls GrooblerDialog (of the DLL beside the test, unless another export
// is given) and runs action on the dialog through the dialog driver. A
// dialog that never opens, is not shown before the action, or is left open
// by it (it is then cancelled) fails the test.
int RunGrooblerDialog(const DialogAction& action, GrooblerDialogFunction function = nullptr);

// The export itself, for tests that need the raw call.
int CallGrooblerDialog();

// Answers the message boxes of this thread, the first with buttons[0], the
// next with buttons[1] and so on, and records what each showed. Arm one
// before the action that may show boxes; while it lives a timer looks for
// them and presses the buttons.
struct MessageBoxSeen {
    std::string caption, text;
    bool yesNo = false;             // Yes and No buttons, rather than OK
    bool exclamation = false;       // the icon of a warning
    bool question = false;          // the icon of a question
    RECT rect = {};                 // where it was when first seen shown
    HWND owner = NULL;
    HWND window = NULL;
};

class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(std::vector<int> buttons);
    ~MessageBoxAnswer();
    std::vector<int> buttons;
    std::vector<MessageBoxSeen> seen;
private:
    UINT_PTR timer_;
};

// The list entries of the preset box, in their order.
std::vector<std::string> ListedNames(HWND dialog);

// A copy of the DLL beside the test, in a folder of its own beside it.
// Loaded from there it is a module of its own, fresh however often the DLL
// beside the test has been called in this process. The module (unless
// unloaded before), the copy, a settings file beside it and the folder go
// when this does. With load false the test loads it itself.
class DllCopy {
public:
    explicit DllCopy(const std::string& folderName, bool load = true);
    ~DllCopy();
    void Unload();
    std::string folder, path;
    bool copied = false;
    HMODULE module = NULL;
    GrooblerDialogFunction function = nullptr;
};

// Whether this runs under Wine (its ntdll names its version), where the
// test setup gives what a user's Windows does not: a stand-in Explorer, a
// fixed resolution, locked files.
bool UnderWine();

// Records what a bet on Windows behaviour found, as one line of the
// self-test's report ("yes" or "no" and what was found); a "no" fails the
// test.
void ReportBet(const std::string& bet, bool held, const std::string& found);
// The bet lines recorded since the last call.
std::vector<std::string> TakeBetLines();

// A fixture that starts and ends every test without a settings file.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

#endif
