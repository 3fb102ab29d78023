// Global operator new/delete that count. Relaxed atomics: the numbers are
// read only between measured sections, never to order memory.
#include "alloc_count.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> g_calls{0};
std::atomic<uint64_t> g_requested{0};
std::atomic<int64_t> g_live{0};
std::atomic<bool> g_track{false};

void* CountedAlloc(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p) return nullptr;
    g_calls.fetch_add(1, std::memory_order_relaxed);
    g_requested.fetch_add(size, std::memory_order_relaxed);
    if (g_track.load(std::memory_order_relaxed))
        g_live.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}

void CountedFree(void* p)
{
    if (!p) return;
    // A block allocated before tracking began is subtracted too: only the
    // difference between two snapshots taken while tracking means anything.
    if (g_track.load(std::memory_order_relaxed))
        g_live.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

void* AllocOrThrow(std::size_t size)
{
    void* p = CountedAlloc(size);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

namespace perf {

SAllocCount AllocSnapshot()
{
    SAllocCount c;
    c.calls = g_calls.load(std::memory_order_relaxed);
    c.requested = g_requested.load(std::memory_order_relaxed);
    c.liveBytes = g_live.load(std::memory_order_relaxed);
    return c;
}

void TrackLiveBytes(bool on)
{
    g_track.store(on, std::memory_order_relaxed);
}

}  // namespace perf

void* operator new(std::size_t size)
{
    return AllocOrThrow(size);
}
void* operator new[](std::size_t size)
{
    return AllocOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return CountedAlloc(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return CountedAlloc(size);
}
void operator delete(void* p) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p) noexcept
{
    CountedFree(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    CountedFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    CountedFree(p);
}
