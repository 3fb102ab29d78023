// Statistics of a device's collection: calls and their results, full
// cycles and their times, the last error.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace vemo::runtime {

class CollectStats {
public:
    // Upper bounds (ms) of the cycle-time histogram buckets; the last bucket is open.
    static constexpr std::array<double, 8> BUCKET_LIMITS{2, 5, 10, 20, 50, 100, 200, 500};
    static constexpr size_t BUCKET_COUNT = BUCKET_LIMITS.size() + 1;

    // One CollectDevData call; result 0 is success, anything else a failure.
    // wallClockMs: when it happened (ms since the epoch), for the last error.
    void recordCall(int result, int64_t wallClockMs);
    // One full cycle (as many calls as the plan has ranks) and how long it took.
    void recordCycle(double milliseconds, bool allSucceeded);

    uint64_t calls() const { return calls_; }
    uint64_t succeeded() const { return succeeded_; }
    uint64_t failed() const { return calls_ - succeeded_; }
    // Failed calls by result code.
    const std::map<int, uint64_t>& failures() const { return failures_; }

    uint64_t cycles() const { return cycles_; }
    uint64_t failedCycles() const { return failedCycles_; }
    double lastCycleMs() const { return lastCycleMs_; }
    double meanCycleMs() const { return cycles_ ? totalCycleMs_ / static_cast<double>(cycles_) : 0; }
    double maxCycleMs() const { return maxCycleMs_; }
    const std::array<uint64_t, BUCKET_COUNT>& histogram() const { return histogram_; }
    // Label of a histogram bucket: "<2ms" ... "<500ms", ">=500ms".
    static std::string bucketLabel(size_t bucket);

    bool hasError() const { return lastErrorCode_ != 0; }
    int lastErrorCode() const { return lastErrorCode_; }
    int64_t lastErrorAt() const { return lastErrorAt_; }

private:
    uint64_t calls_ = 0;
    uint64_t succeeded_ = 0;
    std::map<int, uint64_t> failures_;
    uint64_t cycles_ = 0;
    uint64_t failedCycles_ = 0;
    double lastCycleMs_ = 0;
    double totalCycleMs_ = 0;
    double maxCycleMs_ = 0;
    std::array<uint64_t, BUCKET_COUNT> histogram_{};
    int lastErrorCode_ = 0;
    int64_t lastErrorAt_ = 0;
};

// Local time of day with milliseconds, "14:03:27.512".
std::string timeOfDay(int64_t wallClockMs);
// Milliseconds since the epoch, now.
int64_t wallClockMs();

}  // namespace vemo::runtime
