#include "centering_rules.h"

namespace {

// 32-bit signed arithmetic with the wrap-around of the machine's own
// instructions, so that no input, however extreme, is undefined behaviour.
int Add(int a, int b)
{
    return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}

int Subtract(int a, int b)
{
    return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b));
}

// C++ division truncates toward zero, as the rule asks.
int Half(int value)
{
    return value / 2;
}

int PlaceOnAxis(int centerStart, int centerEnd, int size, int areaStart, int areaEnd)
{
    int position = Subtract(Half(Add(centerStart, centerEnd)), Half(size));
    if (position < areaStart)
        position = areaStart;
    else if (Add(position, size) > areaEnd)
        position = Subtract(areaEnd, size);
    return position;
}

}  // namespace

PlacementPoint CenteredOrigin(const PlacementRect& window, const PlacementRect& center,
                              const PlacementRect& area)
{
    const int width = Subtract(window.right, window.left);
    const int height = Subtract(window.bottom, window.top);
    PlacementPoint origin;
    origin.x = PlaceOnAxis(center.left, center.right, width, area.left, area.right);
    origin.y = PlaceOnAxis(center.top, center.bottom, height, area.top, area.bottom);
    return origin;
}
