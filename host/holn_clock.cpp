// Fallback host clock. A runtime that exports its own Holn_GetTickCount and
// Holn_Sleep takes precedence: these stay interposable (default visibility).
#include <cerrno>
#include <cstdint>
#include <ctime>

#define HOLN_EXPORT __attribute__((visibility("default")))

extern "C" HOLN_EXPORT int64_t Holn_GetTickCount(void)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

extern "C" HOLN_EXPORT void Holn_Sleep(int ms, int /*reserved*/)
{
    if (ms <= 0) return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
