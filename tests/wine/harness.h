// Drives the real grooble.dll through its export, as a host would: the
// test thread calls GrooblerDialog, and the dialog is acted on from inside
// its own modal loop once it has been shown.
#ifndef GROOBLE_TEST_HARNESS_H
#define GROOBLE_TEST_HARNESS_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

std::string ExeDirectory();

// The settings file lies beside the host executable: beside this test.
std::string IniPath();
void RemoveIni();
void WriteIni(const std::string& bytes);
// The file's bytes, or "<missing>" when there is none.
std::string ReadIni();

// What a test does with the open dialog. It runs on the calling thread from
// a timer of the dialog's own modal loop, after set-up and activation, and
// must end the dialog (OK, Cancel, Esc ...).
using DialogAction = std::function<void(HWND dialog)>;

typedef int(WINAPI* GrooblerDialogFunction)();

// Calls GrooblerDialog (of the DLL beside the test, unless another export
// is given) and runs action on the dialog. If the action leaves the dialog
// open, the test fails and the dialog is cancelled.
int RunGrooblerDialog(const DialogAction& action, GrooblerDialogFunction function = nullptr);

// The export itself, for tests that need the raw call.
int CallGrooblerDialog();

// User-level actions. PressKey delivers the key through the dialog manager.
void Click(HWND dialog, int id);
void PressKey(HWND dialog, UINT virtualKey);
void TypeInto(HWND dialog, int editId, const std::string& text);
std::string ItemText(HWND dialog, int id);
int SliderPosition(HWND dialog, int sliderId);

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

// A fixture that starts and ends every test without a settings file.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

#endif
