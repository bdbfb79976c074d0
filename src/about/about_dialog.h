// The About box: the version texts of the library's own version resource,
// the library's path, the maker's addresses, and a button that shows the
// library in Explorer.
#ifndef GROOBLE_ABOUT_DIALOG_H
#define GROOBLE_ABOUT_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
