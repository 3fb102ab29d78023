// Counting allocator for the performance programs: replaces the global
// operator new/delete of the program that links it, so every C++ heap
// allocation (the driver's included) is counted. C allocations (malloc from
// iconv, for instance) are not.
#pragma once

#include <cstdint>

namespace perf {

struct SAllocCount {
    uint64_t calls = 0;      // operator new calls so far
    uint64_t requested = 0;  // bytes asked for so far
    int64_t liveBytes = 0;   // usable bytes of the blocks still allocated
};

// Counters now; subtract two snapshots to get what happened in between.
SAllocCount AllocSnapshot();

// liveBytes is kept only while tracking is on (it asks the C library for the
// size of every block, which would show in instruction counts); off at start.
void TrackLiveBytes(bool on);

inline SAllocCount operator-(const SAllocCount& a, const SAllocCount& b)
{
    SAllocCount d;
    d.calls = a.calls - b.calls;
    d.requested = a.requested - b.requested;
    d.liveBytes = a.liveBytes - b.liveBytes;
    return d;
}

}  // namespace perf
