// Any three rectangles: the centring arithmetic has no undefined
// behaviour, and a window that fits the area always ends inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "../../src/placement/centering_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PlacementRect rects[3];
    if (size < sizeof rects)
        return 0;
    std::memcpy(rects, data, sizeof rects);
    const PlacementRect& window = rects[0];
    const PlacementRect& center = rects[1];
    const PlacementRect& area = rects[2];
    const PlacementPoint origin = CenteredOrigin(window, center, area);

    // Rectangles of the sizes screens have: the result is exact there.
    const long long limit = 1 << 24;
    for (const PlacementRect& r : rects)
        for (int v : {r.left, r.top, r.right, r.bottom})
            if (v < -limit || v > limit)
                return 0;
    const long long w = static_cast<long long>(window.right) - window.left;
    const long long h = static_cast<long long>(window.bottom) - window.top;
    if (w < 0 || h < 0 || area.right - area.left < w || area.bottom - area.top < h)
        return 0;
    if (origin.x < area.left || origin.x + w > area.right || origin.y < area.top ||
        origin.y + h > area.bottom)
        std::abort();
    return 0;
}
