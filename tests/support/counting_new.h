// Global operator new/delete that count allocations while g_counting is set,
// for tests that prove a path does not touch the heap. Include it from exactly
// one source file of a test binary: it replaces the operators for the whole
// binary. The no-throw forms are replaced too, so that every allocation pairs
// with the frees below (the archive allocates without exceptions).
#pragma once

#include <cstdlib>
#include <new>

namespace {
bool g_counting = false;
long g_allocations = 0;

void* CountedAlloc(std::size_t size)
{
    if (g_counting) ++g_allocations;
    return std::malloc(size ? size : 1);
}

void* CountedAllocOrThrow(std::size_t size)
{
    void* p = CountedAlloc(size);
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size)
{
    return CountedAllocOrThrow(size);
}
void* operator new[](std::size_t size)
{
    return CountedAllocOrThrow(size);
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
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
