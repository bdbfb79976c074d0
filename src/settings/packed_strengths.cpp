#include "packed_strengths.h"

int PackParts(unsigned timing, unsigned length, unsigned velocity)
{
    return static_cast<int>((timing & 0xFFu) * 10000u + (length & 0xFFu) * 100u +
                            (velocity & 0xFFu));
}

void UnpackStrengths(unsigned packed, short parts[3])
{
    parts[0] = static_cast<short>(packed / 10000u);
    parts[1] = static_cast<short>((packed % 10000u) / 100u);
    parts[2] = static_cast<short>(packed % 100u);
}
