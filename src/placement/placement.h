// Placing the system's windows over the window they belong to: centring
// over an owner or parent inside the work area, and message boxes that open
// centred that way.
#ifndef GROOBLE_PLACEMENT_H
#define GROOBLE_PLACEMENT_H

#include <windows.h>

// Moves window so that its middle lies over the middle of alternate, or,
// when alternate is null, of its parent (a child window) or owner (a
// top-level one), or of the window that one names in its answer to
// WM_QUERYCENTERWND. A top-level window is kept inside the primary screen's
// work area and is centred in it when there is no visible, restored window
// to centre over; a child window is kept inside its parent's client area.
// Size, z-order and activation do not change.
void CenterWindow(HWND window, HWND alternate);

// MessageBoxA, with the box centred over its owner by CenterWindow before
// it is first shown. Returns what MessageBoxA returned.
int CenteredMessageBox(HWND owner, const char* text, const char* caption, UINT type);

#endif
