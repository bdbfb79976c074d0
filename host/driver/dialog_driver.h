// Drives grooble.dll as its host and its user would: loads the library by
// full path, calls GrooblerDialog, waits until the dialog's own modal loop
// has shown the dialog, and then acts on it from inside that loop with
// what a user does (typing, clicks, keys, the system menu). The Wine test
// harness, groobler's scripted user and its screenshots all go through it.
#ifndef GROOBLE_DIALOG_DRIVER_H
#define GROOBLE_DIALOG_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>

typedef int(WINAPI* GrooblerDialogFunction)();

// The running program's folder, without a final backslash.
std::string ExeDirectory();

// The export of a loaded library, or null.
GrooblerDialogFunction GrooblerDialogOf(HMODULE module);

// A library loaded by its full path, as a host loads it.
struct GroobleLibrary {
    std::string path;
    HMODULE module = NULL;
    GrooblerDialogFunction function = nullptr;
};
GroobleLibrary LoadGrooble(const std::string& path);

// grooble.dll beside the running program.
GroobleLibrary LoadGroobleBesideExe();

// What a caller does with the open strength dialog. It runs on the calling
// thread from a timer of the dialog's own modal loop, after set-up and
// activation, and should end the dialog (OK, Cancel, Esc ...).
using DialogAction = std::function<void(HWND window)>;

struct DialogRun {
    int result = 0;           // what GrooblerDialog returned
    HWND dialog = NULL;       // the strength dialog; null when it never opened
    bool shown = false;       // its loop had shown it when the action ran
    bool leftOpen = false;    // the action left it open, so it was cancelled
};

// Calls function and runs action on the strength dialog once it is shown.
DialogRun RunStrengthDialog(GrooblerDialogFunction function, const DialogAction& action);

// Opens the About box from the strength dialog's system menu and runs
// action on it once it is shown. *shownAt, when given, holds where the box
// first showed by the time the action runs. True when the box has closed again afterwards.
bool WithAboutBox(HWND dialog, const DialogAction& action, RECT* shownAt = nullptr);

// Whether window is the strength dialog (not a message box or the About box).
bool IsStrengthDialog(HWND window);

// Delivers what is queued for the dialog through the dialog manager, as its
// own loop would: keys become commands there.
void PumpMessages(HWND dialog);

// User-level actions. PressKey delivers the key through the dialog manager;
// TypeInto selects the box's text and types over it (an empty text is a
// select-all and Backspace).
void Click(HWND dialog, int id);
void PressKey(HWND dialog, UINT virtualKey);
void TypeInto(HWND dialog, int editId, const std::string& text);
std::string ItemText(HWND dialog, int id);
int SliderPosition(HWND dialog, int sliderId);

#endif
