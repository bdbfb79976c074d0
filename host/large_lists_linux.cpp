// groobler's large allocations on Linux. A run's lists (the file's bytes,
// its notes, the humanizer's draws) are each filled from end to end once;
// faulted in 4 KiB at a time, a 100,000-note song took a thousand page
// faults, a millisecond of its sixteen. Each allocation of 512 KiB or more is mapped
// on its own, aligned to 2 MiB and offered to the kernel for transparent
// huge pages (where the system allows them only when asked, as most do),
// so that a few faults fill it; every other goes to malloc as before
// (smaller ones would zero more of a huge page than they use).
// groobler runs one thread, so the table of mappings takes no lock.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

const std::size_t kLarge = 512 * 1024;
const std::size_t kHugePage = 2 * 1024 * 1024;

struct Mapping {
    void* data;  // what operator new returned
    void* base;
    std::size_t length;
};
// More large lists than this at once are left to malloc.
Mapping mappings[64];
int mapped = 0;

void* MapLarge(std::size_t size)
{
    if (mapped == static_cast<int>(sizeof mappings / sizeof mappings[0]) || size > SIZE_MAX - 2 * kHugePage)
        return nullptr;
    const std::size_t length = (size + 2 * kHugePage - 1) / kHugePage * kHugePage;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    const auto at = reinterpret_cast<std::uintptr_t>(base);
    void* data = reinterpret_cast<void*>((at + kHugePage - 1) / kHugePage * kHugePage);
    // Whole huge pages: advice on less would split the mapping, and a
    // part smaller than a huge page never gets one. A hint: where it is
    // not taken, small pages as before.
    madvise(data, (size + kHugePage - 1) / kHugePage * kHugePage, MADV_HUGEPAGE);
    mappings[mapped++] = {data, base, length};
    return data;
}

// Unmaps p if it is a large list's; false if malloc gave it.
bool UnmapLarge(void* p)
{
    for (int i = mapped; i-- > 0;)
        if (mappings[i].data == p) {
            munmap(mappings[i].base, mappings[i].length);
            mappings[i] = mappings[--mapped];
            return true;
        }
    return false;
}

void* Allocate(std::size_t size)
{
    if (size >= kLarge)
        if (void* p = MapLarge(size))
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
    if (p && !UnmapLarge(p))
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
