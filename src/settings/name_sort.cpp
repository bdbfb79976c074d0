#include "name_sort.h"

int CompareFoldedBytes(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + ('a' - 'A'));
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + ('a' - 'A'));
        if (x != y || x == '\0')
            return static_cast<int>(x) - static_cast<int>(y);
    }
}

void SortTexts(const char** texts, const char** scratch, unsigned count, TextOrder order)
{
    // Bottom-up merge sort: n log n comparisons at most, stable, and no
    // recursion.
    const char** from = texts;
    const char** to = scratch;
    for (unsigned width = 1; width < count; width *= 2) {
        for (unsigned left = 0; left < count; left += 2 * width) {
            const unsigned middle = width < count - left ? left + width : count;
            const unsigned right = 2 * width < count - left ? left + 2 * width : count;
            unsigned i = left;
            unsigned j = middle;
            unsigned k = left;
            while (i < middle && j < right)
                to[k++] = order(from[j], from[i]) < 0 ? from[j++] : from[i++];
            while (i < middle)
                to[k++] = from[i++];
            while (j < right)
                to[k++] = from[j++];
        }
        const char** swap = from;
        from = to;
        to = swap;
    }
    if (from != texts)
        for (unsigned i = 0; i < count; ++i)
            texts[i] = from[i];
}
