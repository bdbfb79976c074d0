// The centring arithmetic: where a window of a given size goes so that its
// middle lies over the middle of a centre rectangle, kept inside an area.
// No windows.h, no C runtime: it compiles into the DLL as it is, and
// natively for unit tests and fuzzing.
#ifndef GROOBLE_CENTERING_RULES_H
#define GROOBLE_CENTERING_RULES_H

// A rectangle as Windows keeps one: right and bottom exclusive.
struct PlacementRect {
    int left;
    int top;
    int right;
    int bottom;
};

struct PlacementPoint {
    int x;
    int y;
};

// The top-left corner for a window of window's size (its position does not
// matter) centred over center and then pulled inside area. Every sum, difference and halving is done as
// Windows does it on 32-bit signed numbers: a halving truncates toward zero
// (the middle of -101..0 is -50), and a sum that overflows wraps rather
// than being undefined. On each axis the near edge is tried first: a window
// starting before area's near edge is moved to it; otherwise one that runs
// past the far edge is moved back so that it ends there, even if that puts
// its start before the near edge (a window larger than the area).
PlacementPoint CenteredOrigin(const PlacementRect& window, const PlacementRect& center,
                              const PlacementRect& area);

#endif
