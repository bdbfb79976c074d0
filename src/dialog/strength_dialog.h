// The strength dialog: three rows of slider, edit box and spin button, the
// preset box, OK and Cancel.
#ifndef GROOBLE_STRENGTH_DIALOG_H
#define GROOBLE_STRENGTH_DIALOG_H

#include <windows.h>

// Remember-position flag: the low byte of Main/IsSaveDlgPos, read at set-up,
// flipped from the system menu, written back after every run.
extern unsigned char gSavePosition;

INT_PTR CALLBACK StrengthDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
