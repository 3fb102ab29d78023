#include "runtime/stats.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace vemo::runtime {

void CollectStats::recordCall(int result, int64_t wallClockMs)
{
    ++calls_;
    if (result == 0) {
        ++succeeded_;
        return;
    }
    ++failures_[result];
    lastErrorCode_ = result;
    lastErrorAt_ = wallClockMs;
}

void CollectStats::recordCycle(double milliseconds, bool allSucceeded)
{
    ++cycles_;
    if (!allSucceeded) ++failedCycles_;
    lastCycleMs_ = milliseconds;
    totalCycleMs_ += milliseconds;
    if (milliseconds > maxCycleMs_) maxCycleMs_ = milliseconds;
    size_t bucket = 0;
    while (bucket < BUCKET_LIMITS.size() && milliseconds >= BUCKET_LIMITS[bucket]) ++bucket;
    ++histogram_[bucket];
}

std::string CollectStats::bucketLabel(size_t bucket)
{
    char text[24];
    if (bucket < BUCKET_LIMITS.size()) {
        std::snprintf(text, sizeof text, "<%gms", BUCKET_LIMITS[bucket]);
    } else {
        std::snprintf(text, sizeof text, ">=%gms", BUCKET_LIMITS.back());
    }
    return text;
}

std::string timeOfDay(int64_t wallClockMs)
{
    std::time_t seconds = static_cast<std::time_t>(wallClockMs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(wallClockMs % 1000));
    return text;
}

int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace vemo::runtime
