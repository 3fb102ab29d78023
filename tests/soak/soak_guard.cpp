#include "soak_guard.h"

#include <dirent.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif
#ifdef SOAK_ASAN
// From the sanitizer runtime (its header does not come with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

#ifndef SOAK_ASAN
// Live heap of the process, counted by replacing the global operator new and
// delete: the executable's definitions also serve the driver library loaded
// with dlopen. A block counts with its usable size, on allocation and on
// release alike, so the count is exact whatever the allocator caches.
namespace {

std::atomic<int64_t> g_liveBytes{0};

void* CountedAlloc(std::size_t size) noexcept
{
    void* p = std::malloc(size ? size : 1);
    if (p) g_liveBytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}

void CountedFree(void* p) noexcept
{
    if (!p) return;
    g_liveBytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

void* AllocOrThrow(std::size_t size)
{
    void* p = CountedAlloc(size);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

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
#endif

namespace soak {

Watchdog::Watchdog(std::chrono::seconds perCall, std::chrono::seconds overall)
    : perCall_(perCall), deadline_(Clock::now() + overall)
{
    thread_ = std::thread([this] { run(); });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Watchdog::enter(const char* what)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::snprintf(what_, sizeof what_, "%s", what);
    since_ = Clock::now();
    busy_ = true;
}

void Watchdog::leave()
{
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
}

void Watchdog::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, std::chrono::milliseconds(200));
        if (stop_) return;
        const Clock::time_point now = Clock::now();
        const char* why = nullptr;
        if (busy_ && now - since_ > perCall_) why = "a call did not return in time";
        if (now > deadline_) why = "the run went past its deadline";
        if (why) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(perCall_).count();
            std::fprintf(stderr, "\nsoak watchdog: %s (per-call limit %lld s); %s: %s\n", why,
                         static_cast<long long>(seconds), busy_ ? "running" : "last call", what_);
            std::fflush(stderr);
            std::fflush(stdout);
            std::_Exit(3);
        }
    }
}

int openFileDescriptors()
{
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1;  // the directory stream's own descriptor
}

size_t heapInUse()
{
#ifdef SOAK_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return static_cast<size_t>(g_liveBytes.load(std::memory_order_relaxed));
#endif
}

}  // namespace soak
