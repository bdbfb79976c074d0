// Centring windows and message boxes, on real windows under Wine. The
// placement routines are linked into this program as they are into the DLL,
// so that the paths the DLL itself never takes (a child window, an
// alternate centre window) are driven too.
#include <windows.h>

#include <functional>
#include <string>

#include "../../res/resource.h"
#include "../../src/placement/placement.h"
#include "harness.h"

namespace {

// A window that answers the centre-window query with gReply and counts how
// often it was asked.
HWND gReply;
int gQueries;

LRESULT CALLBACK AnsweringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYCENTERWND) {
        ++gQueries;
        return reinterpret_cast<LRESULT>(gReply);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char* AnsweringClass()
{
    static bool registered;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = AnsweringProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "GroobleAnswering";
        RegisterClassA(&windowClass);
        registered = true;
    }
    return "GroobleAnswering";
}

HWND MakeTopLevel(int x, int y, int w, int h, DWORD style, HWND owner = NULL)
{
    return CreateWindowExA(0, AnsweringClass(), "w", WS_OVERLAPPED | WS_CAPTION | style, x, y, w, h,
                           owner, NULL, NULL, NULL);
}

RECT WindowRect(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

RECT WorkArea()
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// Where a w x h window goes centred over rect when nothing clamps it.
POINT MiddleOver(const RECT& rect, int w, int h)
{
    return {(rect.left + rect.right) / 2 - w / 2, (rect.top + rect.bottom) / 2 - h / 2};
}

enum Over { kOwner, kReply, kAlternate, kWorkArea };
enum State { kShown, kHidden, kMinimized };

DWORD StyleFor(State state)
{
    return state == kShown ? WS_VISIBLE : state == kMinimized ? WS_VISIBLE | WS_MINIMIZE : 0;
}

// A 201 x 101 window owned by an owner at 100,100 (400 x 300), perhaps
// answering the query with a third window at 500,350 (300 x 200), perhaps
// given an alternate at 420,80 (260 x 180).
struct CenterCase {
    const char* what;
    bool hasOwner;
    State owner;
    bool replies;
    State reply;
    bool hasAlternate;
    State alternate;
    Over expected;
    int queries;
};

const CenterCase kCenterCases[] = {
    {"visible owner", true, kShown, false, kShown, false, kShown, kOwner, 1},
    {"hidden owner", true, kHidden, false, kShown, false, kShown, kWorkArea, 1},
    {"minimised owner", true, kMinimized, false, kShown, false, kShown, kWorkArea, 1},
    {"no owner", false, kShown, false, kShown, false, kShown, kWorkArea, 0},
    {"owner names another window", true, kShown, true, kShown, false, kShown, kReply, 1},
    {"owner names a hidden window", true, kShown, true, kHidden, false, kShown, kWorkArea, 1},
    {"owner names a minimised window", true, kShown, true, kMinimized, false, kShown, kWorkArea, 1},
    {"hidden owner names a visible window", true, kHidden, true, kShown, false, kShown, kReply, 1},
    {"alternate: no query", true, kShown, true, kShown, true, kShown, kAlternate, 0},
    {"hidden alternate is dropped", true, kShown, false, kShown, true, kHidden, kWorkArea, 0},
    {"minimised alternate is dropped", true, kShown, false, kShown, true, kMinimized, kWorkArea, 0},
};

TEST(CenterWindowTest, ChoosesTheWindowToCentreOver)
{
    for (const CenterCase& c : kCenterCases) {
        SCOPED_TRACE(c.what);
        HWND owner = c.hasOwner ? MakeTopLevel(100, 100, 400, 300, StyleFor(c.owner)) : NULL;
        HWND reply = c.replies ? MakeTopLevel(500, 350, 300, 200, StyleFor(c.reply)) : NULL;
        HWND alternate = c.hasAlternate ? MakeTopLevel(420, 80, 260, 180, StyleFor(c.alternate)) : NULL;
        HWND window = MakeTopLevel(5, 5, 201, 101, WS_VISIBLE, owner);
        // A minimised window keeps its restored rectangle elsewhere; only
        // the style decides that it is dropped.
        RECT centerRect = WorkArea();
        if (c.expected == kOwner) centerRect = WindowRect(owner);
        if (c.expected == kReply) centerRect = WindowRect(reply);
        if (c.expected == kAlternate) centerRect = WindowRect(alternate);
        const POINT want = MiddleOver(centerRect, 201, 101);

        gReply = reply;
        gQueries = 0;
        CenterWindow(window, alternate);
        const RECT got = WindowRect(window);
        EXPECT_EQ(got.left, want.x);
        EXPECT_EQ(got.top, want.y);
        EXPECT_EQ(got.right - got.left, 201);
        EXPECT_EQ(got.bottom - got.top, 101);
        EXPECT_EQ(gQueries, c.queries);
        for (HWND made : {window, alternate, reply, owner})
            if (made) DestroyWindow(made);
    }
}

TEST(CenterWindowTest, PullsIntoTheWorkAreaAndKeepsSizeZOrderAndActivation)
{
    const RECT area = WorkArea();
    // An owner reaching past the bottom right corner, as one on a second
    // monitor would: the window ends flush with the work area's corner.
    HWND owner = MakeTopLevel(area.right - 100, area.bottom - 80, 400, 300, WS_VISIBLE);
    HWND window = MakeTopLevel(5, 5, 201, 101, WS_VISIBLE, owner);
    HWND other = MakeTopLevel(300, 300, 100, 100, WS_VISIBLE);
    SetForegroundWindow(other);
    SetActiveWindow(other);
    HWND nextBefore = GetWindow(window, GW_HWNDNEXT);
    HWND activeBefore = GetActiveWindow();

    CenterWindow(window, NULL);
    const RECT got = WindowRect(window);
    EXPECT_EQ(got.left, area.right - 201);
    EXPECT_EQ(got.top, area.bottom - 101);
    EXPECT_EQ(got.right - got.left, 201);
    EXPECT_EQ(GetWindow(window, GW_HWNDNEXT), nextBefore);
    EXPECT_EQ(GetActiveWindow(), activeBefore);
    EXPECT_EQ(activeBefore, other);
    DestroyWindow(other);
    DestroyWindow(window);
    DestroyWindow(owner);
}

// The DLL's own centring, not this program's copy of it: with the work area
// made smaller than a warning box, the box takes the near edges where it
// would overrun them (both edges, when centred over the area), and ends at
// the far edges where it overruns those alone.
TEST_F(DialogTest, TheDllClampsABoxWiderThanTheWorkArea)
{
    const struct {
        const char* what;
        int left, top;  // the small area's corner, from the dialog's middle
        bool nearEdges;
    } rows[] = {{"centred over the area", -40, -30, true},
                {"centred before it", 200, 150, true},
                {"centred after it", -500, -380, false}};
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        RunGrooblerDialog([&](HWND dialog) {
            RECT outer;
            GetWindowRect(dialog, &outer);
            const int x = (outer.left + outer.right) / 2 + row.left, y = (outer.top + outer.bottom) / 2 + row.top;
            RECT small = {x, y, x + 80, y + 60};
            SystemParametersInfoA(SPI_SETWORKAREA, 0, &small, 0);
            MessageBoxAnswer answer({IDOK});
            Click(dialog, IDC_SAVE_PRESET);  // an empty name: a warning
            SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0);
            ASSERT_EQ(answer.seen.size(), 1u);
            const RECT& r = answer.seen[0].rect;
            ASSERT_GT(r.right - r.left, small.right - small.left);
            EXPECT_EQ(row.nearEdges ? r.left : r.right, row.nearEdges ? small.left : small.right);
            EXPECT_EQ(row.nearEdges ? r.top : r.bottom, row.nearEdges ? small.top : small.bottom);
            Click(dialog, IDCANCEL);
        });
    }
}

TEST(CenterWindowTest, ChildIsCentredInItsParentsClientArea)
{
    HWND parent = MakeTopLevel(50, 50, 500, 400, WS_VISIBLE);
    RECT client;
    GetClientRect(parent, &client);
    HWND child = CreateWindowExA(0, "STATIC", "c", WS_CHILD | WS_VISIBLE, 0, 0, 61, 41, parent, NULL,
                                 NULL, NULL);
    gReply = NULL;
    gQueries = 0;
    CenterWindow(child, NULL);
    RECT got = WindowRect(child);
    MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&got), 2);
    const POINT want = MiddleOver(client, 61, 41);
    EXPECT_EQ(got.left, want.x);
    EXPECT_EQ(got.top, want.y);
    EXPECT_EQ(gQueries, 1) << "the parent is asked";

    // Over a sibling: its client area, mapped into the parent's coordinates.
    HWND sibling = CreateWindowExA(WS_EX_CLIENTEDGE, "STATIC", "s", WS_CHILD | WS_VISIBLE, 20, 30,
                                   120, 90, parent, NULL, NULL, NULL);
    RECT siblingClient;
    GetClientRect(sibling, &siblingClient);
    MapWindowPoints(sibling, parent, reinterpret_cast<POINT*>(&siblingClient), 2);
    CenterWindow(child, sibling);
    got = WindowRect(child);
    MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&got), 2);
    const POINT overSibling = MiddleOver(siblingClient, 61, 41);
    EXPECT_EQ(got.left, overSibling.x);
    EXPECT_EQ(got.top, overSibling.y);
    DestroyWindow(parent);
}

// Where each dialog of the thread was when it was first shown, recorded by
// a hook of the test's own.
struct FirstShow {
    HWND window = NULL;
    RECT rect = {};
};
FirstShow gShown[4];
int gShownCount;
HHOOK gShowHook;

LRESULT CALLBACK RecordFirstShow(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* record = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0 && record->message == WM_SHOWWINDOW && record->wParam && gShownCount < 4) {
        char className[16] = "";
        GetClassNameA(record->hwnd, className, sizeof className);
        if (std::string(className) == "#32770") {
            gShown[gShownCount].window = record->hwnd;
            gShown[gShownCount].rect = WindowRect(record->hwnd);
            ++gShownCount;
        }
    }
    return CallNextHookEx(gShowHook, code, wParam, lParam);
}

// Acts on a message box once it is up: each pending action waits for the
// box shown after it was registered, so that an action registered from
// inside another box waits for its own box.
struct Pending {
    UINT_PTR timer;
    int index;
    std::function<void(HWND)> action;
};
Pending gPending[2];
int gPendingCount;

void CALLBACK ActOnBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    for (int i = 0; i < gPendingCount; ++i) {
        if (gPending[i].timer != timer || gShownCount <= gPending[i].index)
            continue;
        HWND box = gShown[gPending[i].index].window;
        if (!IsWindowVisible(box))
            return;
        KillTimer(NULL, timer);
        gPending[i].timer = 0;
        // A copy: the action may register another one while it runs.
        const std::function<void(HWND)> action = gPending[i].action;
        action(box);
        return;
    }
}

int ShowCentered(HWND owner, UINT type, std::function<void(HWND)> action)
{
    Pending& pending = gPending[gPendingCount++];
    pending.index = gShownCount;
    pending.action = std::move(action);
    pending.timer = SetTimer(NULL, 0, 20, ActOnBox);
    const int result = CenteredMessageBox(owner, "テキスト", "Groobler", type);
    --gPendingCount;
    if (gPending[gPendingCount].timer) {
        KillTimer(NULL, gPending[gPendingCount].timer);
        ADD_FAILURE() << "the box closed before the test acted on it";
    }
    return result;
}

INT_PTR CALLBACK ProbeDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// A dialog owned by owner, from a template placed at 7,9 dialog units with
// no DS_CENTER: it stays where it opens unless something moves it.
HWND OpenProbeDialog(HWND owner)
{
    struct alignas(4) {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } probe = {};
    probe.header.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    probe.header.x = 7;
    probe.header.y = 9;
    probe.header.cx = 60;
    probe.header.cy = 30;
    return CreateDialogIndirectParamA(NULL, &probe.header, owner, ProbeDialogProc, 0);
}

POINT ProbeOrigin(HWND owner)
{
    HWND probe = OpenProbeDialog(owner);
    const RECT rect = WindowRect(probe);
    DestroyWindow(probe);
    return {rect.left, rect.top};
}

class CenteredMessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner = MakeTopLevel(60, 80, 500, 320, WS_VISIBLE | WS_SYSMENU);
        probeBefore = ProbeOrigin(owner);
        gShownCount = 0;
        gShowHook = SetWindowsHookExA(WH_CALLWNDPROC, RecordFirstShow, NULL, GetCurrentThreadId());
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(gShowHook);
        // Nothing left installed: a dialog opened now is not moved.
        const POINT probeAfter = ProbeOrigin(owner);
        EXPECT_EQ(probeAfter.x, probeBefore.x) << "a centring hook outlived its box";
        EXPECT_EQ(probeAfter.y, probeBefore.y) << "a centring hook outlived its box";
        DestroyWindow(owner);
    }
    void ExpectShownCentredOver(int index, const RECT& centerRect)
    {
        const RECT& shown = gShown[index].rect;
        const POINT want = MiddleOver(centerRect, shown.right - shown.left, shown.bottom - shown.top);
        EXPECT_EQ(shown.left, want.x) << "box " << index;
        EXPECT_EQ(shown.top, want.y) << "box " << index;
    }
    HWND owner = NULL;
    POINT probeBefore = {};
};

TEST_F(CenteredMessageBoxTest, ReturnsTheButtonAndIsCentredWhenFirstShown)
{
    const struct {
        UINT type;
        int button;
    } rows[] = {{MB_YESNO | MB_ICONQUESTION, IDYES},
                {MB_YESNO | MB_ICONQUESTION, IDNO},
                {MB_OK | MB_ICONEXCLAMATION, IDOK}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        gShownCount = 0;
        const int result = ShowCentered(owner, row.type, [&](HWND box) {
            PostMessageA(box, WM_COMMAND, row.button, 0);
        });
        EXPECT_EQ(result, row.button);
        ASSERT_EQ(gShownCount, 1);
        ExpectShownCentredOver(0, WindowRect(owner));
    }
    const RECT& shown = gShown[0].rect;
    const POINT want = MiddleOver(WindowRect(owner), shown.right - shown.left, shown.bottom - shown.top);
    ReportBet("message-box centring: a box is centred over its owner when first shown", !HasFailure(),
              "first shown at " + std::to_string(shown.left) + "," + std::to_string(shown.top) +
                  ", centred would be " + std::to_string(want.x) + "," + std::to_string(want.y));
}

TEST_F(CenteredMessageBoxTest, HiddenMinimisedOrMissingOwnerMeansTheWorkArea)
{
    HWND hidden = MakeTopLevel(10, 10, 300, 200, WS_SYSMENU);
    HWND minimised = MakeTopLevel(10, 10, 300, 200, WS_VISIBLE | WS_MINIMIZE | WS_SYSMENU);
    for (HWND boxOwner : {hidden, minimised, static_cast<HWND>(NULL)}) {
        gShownCount = 0;
        ShowCentered(boxOwner, MB_OK, [](HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); });
        ASSERT_EQ(gShownCount, 1);
        ExpectShownCentredOver(0, WorkArea());
    }
    DestroyWindow(hidden);
    DestroyWindow(minimised);
}

TEST_F(CenteredMessageBoxTest, NestedBoxReusesTheHookAndNothingIsLeftBehind)
{
    int inner = -1;
    const int outer = ShowCentered(owner, MB_YESNO, [&](HWND outerBox) {
        // A second box over the first, while the first is still open.
        inner = ShowCentered(outerBox, MB_OK, [](HWND innerBox) {
            PostMessageA(innerBox, WM_COMMAND, IDOK, 0);
        });
        PostMessageA(outerBox, WM_COMMAND, IDYES, 0);
    });
    EXPECT_EQ(inner, IDOK);
    EXPECT_EQ(outer, IDYES);
    ASSERT_EQ(gShownCount, 2);
    ExpectShownCentredOver(0, WindowRect(owner));
    // The inner box was centred over the outer one, as it stood then.
    ExpectShownCentredOver(1, gShown[0].rect);
}

}  // namespace
