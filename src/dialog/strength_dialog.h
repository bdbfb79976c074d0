// The strength dialog: three rows of slider, edit box and spin button, the
// preset box, OK and Cancel.
#ifndef GROOBLE_STRENGTH_DIALOG_H
#define GROOBLE_STRENGTH_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK StrengthDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
