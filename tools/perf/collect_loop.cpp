// Runs N collection calls against the in-process controller, for callgrind:
//
//   valgrind --tool=callgrind --collect-atstart=no collect_loop 1000 wub115
//   callgrind_annotate --inclusive=yes callgrind.out.<pid>
//
// Only the measured loop is collected (the set-up and one warm-up cycle are
// not). Configurations: wub115 (one rank of 115 "WUB" channels), dub57 (one
// rank of 57 "DUB" channels), mixed<N> (the mixed configuration, N channels,
// all of its ranks in turn). Prints heap allocations per call and checks
// every stored value against the controller's memory.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alloc_count.h"
#include "perf_device.h"

namespace {

std::vector<perf::SChannel> Configuration(const std::string& name)
{
    if (name == "wub115") return perf::WordRun(perf::AREA_D, 0, 115, perf::CODE_WUB);
    if (name == "dub57") return perf::WordRun(perf::AREA_D, 0, 57, perf::CODE_DUB);
    if (name.rfind("mixed", 0) == 0) return perf::MixedChannels(std::atoi(name.c_str() + 5));
    std::fprintf(stderr, "unknown configuration %s (wub115, dub57, mixed<N>)\n", name.c_str());
    std::exit(2);
}

uint32_t Word(uint32_t area, uint32_t address)
{
    return (static_cast<uint32_t>(perf::PatternByte(area, address, 0)) << 8) | perf::PatternByte(area, address, 1);
}

// The 16- and 32-bit unsigned channels must hold exactly what the controller holds.
int CheckValues(perf::CPerfDevice& dev, const std::vector<perf::SChannel>& channels)
{
    int wrong = 0;
    for (size_t i = 0; i < channels.size(); ++i) {
        const perf::SChannel& c = channels[i];
        int64_t expected;
        if (c.code == perf::CODE_WUB) {
            expected = Word(c.area, c.address);
        } else if (c.code == perf::CODE_DUB) {
            expected = static_cast<int32_t>((Word(c.area, c.address) << 16) | Word(c.area, c.address + 1));
        } else {
            continue;
        }
        if (dev.Rtdb().IntAt(static_cast<int>(i)) != expected) ++wrong;
    }
    return wrong;
}

}  // namespace

int main(int argc, char** argv)
{
    const long calls = argc > 1 ? std::atol(argv[1]) : 1000;
    const std::string name = argc > 2 ? argv[2] : "wub115";
    const std::vector<perf::SChannel> channels = Configuration(name);
    perf::CPerfDevice dev(channels);
    if (dev.CollectCycle() != 0) {
        std::fprintf(stderr, "warm-up cycle failed\n");
        return 1;
    }

    const perf::SAllocCount before = perf::AllocSnapshot();
    long failed = 0;
    CALLGRIND_TOGGLE_COLLECT;
    for (long i = 0; i < calls; ++i) failed += dev.Collect() != 0;
    CALLGRIND_TOGGLE_COLLECT;
    const perf::SAllocCount used = perf::AllocSnapshot() - before;

    const int wrong = CheckValues(dev, channels);
    std::printf("configuration %s: %zu channels, %d ranks, %ld calls, %ld failed\n", name.c_str(), channels.size(),
                dev.RankCount(), calls, failed);
    std::printf("heap allocations per call: %.2f (%.1f bytes)\n", static_cast<double>(used.calls) / calls,
                static_cast<double>(used.requested) / calls);
    std::printf("values checked: %s\n", wrong == 0 ? "all exact" : "MISMATCH");
    return failed == 0 && wrong == 0 ? 0 : 1;
}
