// groobler's large allocations on Linux. A run's lists (the file's bytes,
// its notes, the humanizer's draws and lane order) are each filled from
// end to end once; faulted in 4 KiB at a time, a 100,000-note song took a
// thousand page faults, a millisecond of its sixteen. So every allocation of 256 KiB or more is laid right after the
// one before in regions mapped for them, 2 MiB-aligned and offered to the
// kernel for transparent huge pages (where the system allows them only
// when asked, as most do): a few faults fill them, and since the lists lie
// end to end, no huge page is zeroed for a list that fills a corner of it.
// Every other allocation goes to malloc as before.
//
// groobler runs one thread and frees its lists mostly in the reverse order
// it made them (a phase's lists, then the file's): a list freed last in
// line gives its room back to the next one; room freed in the middle (a
// list that grew, say) goes back to the system, its whole pages. The
// regions live as long as the process.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

const std::size_t kLarge = 256 * 1024;
const std::size_t kHugePage = 2 * 1024 * 1024;
const std::size_t kPage = 4096;
const std::size_t kRegion = 64 * 1024 * 1024;  // the least a region reserves
const std::size_t kAlign = 64;                 // a cache line: lists never share one

struct List {
    char* data;
    std::size_t size;
    bool live;
};
// More large lists than this at once are left to malloc.
List lists[256];
int listCount = 0;
char* top = nullptr;  // where the next list goes
char* regionEnd = nullptr;

// A new region of at least size bytes, from which lists are laid next.
bool MapRegion(std::size_t size)
{
    // Whole huge pages, and one more to align them.
    const std::size_t pages = ((size > kRegion ? size : kRegion) + kHugePage - 1) / kHugePage;
    const std::size_t length = (pages + 1) * kHugePage;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        return false;
    const auto at = reinterpret_cast<std::uintptr_t>(base);
    char* start = reinterpret_cast<char*>((at + kHugePage - 1) / kHugePage * kHugePage);
    // A hint: where it is not taken, small pages as before.
    madvise(start, pages * kHugePage, MADV_HUGEPAGE);
    top = start;
    regionEnd = start + pages * kHugePage;
    return true;
}

void* TakeLarge(std::size_t size)
{
    if (listCount == static_cast<int>(sizeof lists / sizeof lists[0]) || size > SIZE_MAX / 4)
        return nullptr;
    size = (size + kAlign - 1) / kAlign * kAlign;
    if (static_cast<std::size_t>(regionEnd - top) < size && !MapRegion(size))
        return nullptr;
    lists[listCount++] = {top, size, true};
    void* data = top;
    top += size;
    return data;
}

// Room freed in the middle: the whole pages within it go back.
void GiveBackMiddle(const List& list)
{
    const auto begin = reinterpret_cast<std::uintptr_t>(list.data);
    const std::uintptr_t first = (begin + kPage - 1) / kPage * kPage;
    const std::uintptr_t last = (begin + list.size) / kPage * kPage;
    if (first < last)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

// Frees p if it is a large list's; false if malloc gave it.
bool FreeLarge(void* p)
{
    int i = listCount;
    while (i-- > 0 && lists[i].data != p) {
    }
    if (i < 0)
        return false;
    lists[i].live = false;
    if (i + 1 < listCount) {
        GiveBackMiddle(lists[i]);
        return true;
    }
    // The last in line: its room, and that of the freed lists before it,
    // is the next list's (within the region lists are laid in now).
    while (listCount > 0 && !lists[listCount - 1].live) {
        const List& last = lists[--listCount];
        if (last.data + last.size == top)
            top = last.data;
        else
            GiveBackMiddle(last);
    }
    return true;
}

void* Allocate(std::size_t size)
{
    if (size >= kLarge)
        if (void* p = TakeLarge(size))
            return p;
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* p) noexcept
{
    if (p && !FreeLarge(p))
        std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    operator delete(p);
}
