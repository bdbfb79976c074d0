// The centring arithmetic, on the worked cases of the rule: truncation
// toward zero, the clamp order on both axes, and the primary work area as
// the only area.
#include "../../src/placement/centering_rules.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Case {
    const char* what;
    PlacementRect window, center, area;
    int x, y;
};

const PlacementRect kWorkArea = {0, 0, 1024, 738};

const Case kCases[] = {
    {"middle over middle", {0, 0, 200, 100}, {100, 100, 500, 400}, kWorkArea, 200, 200},
    {"the window's own position is ignored", {900, 700, 1100, 800}, {100, 100, 500, 400},
     kWorkArea, 200, 200},
    {"-101..0 has its middle at -50, not -51", {0, 0, 0, 0}, {-101, -101, 0, 0},
     {-2000, -2000, 2000, 2000}, -50, -50},
    {"a window 11 wide over -101..0 starts at -55", {0, 0, 11, 11}, {-101, -101, 0, 0},
     {-2000, -2000, 2000, 2000}, -55, -55},
    {"odd positive sums truncate down", {0, 0, 11, 11}, {0, 0, 101, 101}, kWorkArea, 45, 45},
    {"pulled right to the area's left edge", {0, 0, 200, 100}, {-300, 100, -100, 300},
     kWorkArea, 0, 150},
    {"pulled back left to end at the area's right edge", {0, 0, 200, 100},
     {950, 100, 1050, 300}, kWorkArea, 824, 150},
    {"pulled down to the area's top", {0, 0, 200, 100}, {100, -300, 300, -200}, kWorkArea, 100, 0},
    {"pulled up to end at the area's bottom", {0, 0, 200, 100}, {100, 700, 300, 780}, kWorkArea,
     100, 638},
    // Wider than the area and centred left of it: the near edge wins.
    {"over-wide, centred left of the area", {0, 0, 1200, 900}, {-500, -500, -100, -100},
     kWorkArea, 0, 0},
    // Larger than the area and centred over its middle: both edges are
    // overrun, and the near edge wins, so that the title bar stays on
    // screen (clamping the far edge first would put it at -176, -162).
    {"over-wide, centred over the area's middle", {0, 0, 1200, 900}, {412, 319, 612, 419}, kWorkArea,
     0, 0},
    // Wider than the area, centred at or right of its near edge: moved so
    // that it ends at the far edge, which puts it left of the near edge.
    {"over-wide, overrunning the far edge", {0, 0, 1200, 900}, {1100, 800, 1300, 1000}, kWorkArea,
     -176, -162},
    // An owner on a second monitor to the right of the primary one: the box
    // ends inside the primary work area, not over its owner.
    {"owner on a second monitor", {0, 0, 300, 150}, {1300, 200, 1700, 500}, kWorkArea, 724, 275},
    {"an area not at the origin", {0, 0, 100, 100}, {0, 0, 50, 50}, {200, 40, 1224, 778}, 200, 40},
    {"empty centre: the middle of a point", {0, 0, 10, 10}, {300, 300, 300, 300}, kWorkArea, 295,
     295},
};

TEST(CenteredOrigin, WorkedCases)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const PlacementPoint origin = CenteredOrigin(c.window, c.center, c.area);
        EXPECT_EQ(origin.x, c.x);
        EXPECT_EQ(origin.y, c.y);
    }
}

TEST(CenteredOrigin, ExtremeRectanglesWrapAsThirtyTwoBitNumbersWithoutUndefinedBehaviour)
{
    // Run under UndefinedBehaviorSanitizer: an overflowing sum is the
    // machine's wrap-around, not a crash. INT_MAX + INT_MAX wraps to -2,
    // whose half is -1; a window INT_MIN..INT_MAX is -1 wide.
    const PlacementRect huge = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    const PlacementRect far = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    const PlacementPoint origin = CenteredOrigin(huge, far, huge);
    EXPECT_EQ(origin.x, -1);
    EXPECT_EQ(origin.y, -1);
}

}  // namespace
