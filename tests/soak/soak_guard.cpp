#include "soak_guard.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

#include "alloc_count.h"

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
// Live heap of the process, counted by the performance programs' counting
// operator new and delete (linked into this executable, they also serve the
// driver library loaded with dlopen): every block with its usable size, on
// allocation and on release alike, so the count is exact whatever the
// allocator caches. Tracking starts before main.
namespace {
const bool g_tracking = (perf::TrackLiveBytes(true), true);
}  // namespace
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
    return g_tracking ? static_cast<size_t>(perf::AllocSnapshot().liveBytes) : 0;
#endif
}

}  // namespace soak
