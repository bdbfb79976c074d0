#include "placement.h"

#include "../../res/resource.h"
#include "centering_rules.h"

// The one-shot hook of CenteredMessageBox: installed for the calling thread
// while a box is open, null otherwise.
static HHOOK gCenteringHook;

static PlacementRect ToPlacement(const RECT& rect)
{
    PlacementRect result;
    result.left = rect.left;
    result.top = rect.top;
    result.right = rect.right;
    result.bottom = rect.bottom;
    return result;
}

static HWND ChooseCenterWindow(HWND window, LONG style)
{
    HWND center = (style & WS_CHILD) ? GetParent(window) : GetWindow(window, GW_OWNER);
    if (center != NULL) {
        const HWND asked = reinterpret_cast<HWND>(SendMessageA(center, WM_QUERYCENTERWND, 0, 0));
        if (asked != NULL)
            center = asked;
    }
    return center;
}

void CenterWindow(HWND window, HWND alternate)
{
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    HWND center = alternate != NULL ? alternate : ChooseCenterWindow(window, style);

    // Every rectangle starts out defined: the calls below are not checked,
    // and one made on a window destroyed meanwhile fills nothing in.
    RECT own = {0, 0, 0, 0};
    GetWindowRect(window, &own);

    RECT area = {0, 0, 0, 0};
    RECT centerRect;
    if (!(style & WS_CHILD)) {
        if (center != NULL) {
            const LONG centerStyle = GetWindowLongA(center, GWL_STYLE);
            if (!(centerStyle & WS_VISIBLE) || (centerStyle & WS_MINIMIZE))
                center = NULL;
        }
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        centerRect = area;
        if (center != NULL)
            GetWindowRect(center, &centerRect);
    } else {
        // A child is placed in its parent's client coordinates, which is
        // what SetWindowPos takes for it.
        const HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        centerRect = area;
        if (center != NULL) {
            GetClientRect(center, &centerRect);
            MapWindowPoints(center, parent, reinterpret_cast<POINT*>(&centerRect), 2);
        }
    }

    const PlacementPoint origin =
        CenteredOrigin(ToPlacement(own), ToPlacement(centerRect), ToPlacement(area));
    SetWindowPos(window, NULL, origin.x, origin.y, -1, -1,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Runs after the target's window procedure has handled the message. A
// message box positions itself while it handles its own WM_INITDIALOG (Wine
// centres it on the screen there), so the box is moved only once that is
// done, and still before the box is first shown.
static LRESULT CALLBACK CenteringHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        const CWPRETSTRUCT* record = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (record->message == WM_INITDIALOG)
            CenterWindow(record->hwnd, NULL);
    }
    return CallNextHookEx(gCenteringHook, code, wParam, lParam);
}

int CenteredMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    // A box opened while another one is still showing reuses the hook held
    // for the outer one, and removes it when it closes; the outer call then
    // finds nothing left to remove.
    if (gCenteringHook == NULL)
        gCenteringHook = SetWindowsHookExA(WH_CALLWNDPROCRET, CenteringHook, NULL,
                                           GetCurrentThreadId());
    const int result = MessageBoxA(owner, text, caption, type);
    if (gCenteringHook != NULL) {
        UnhookWindowsHookEx(gCenteringHook);
        gCenteringHook = NULL;
    }
    return result;
}
