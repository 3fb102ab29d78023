// Planning time and in-process cycle time against the channel count: the
// mixed configuration of 100, 1,000 and 10,000 channels (or the counts
// given), every channel referenced, against the in-process controller.
//
//   scaling [--json] [channels...]
//
// Planning is mfMakeBlock as ChannelRefChange calls it; a cycle is as many
// CollectDevData calls as the plan has ranks. Each figure is the median of
// repeated batches (a batch lasts at least 20 ms).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "perf_device.h"
#include "protocol/DevBas.h"

namespace {

const double BATCH_SECONDS = 0.02;
const int BATCHES = 15;

// Median over batches of the time one run of f takes, in microseconds.
double MedianMicros(const std::function<void()>& f)
{
    using Clock = std::chrono::steady_clock;
    int reps = 1;
    for (;;) {
        const auto start = Clock::now();
        for (int i = 0; i < reps; ++i) f();
        if (std::chrono::duration<double>(Clock::now() - start).count() >= BATCH_SECONDS) break;
        reps *= 2;
    }
    std::vector<double> per;
    for (int b = 0; b < BATCHES; ++b) {
        const auto start = Clock::now();
        for (int i = 0; i < reps; ++i) f();
        per.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / reps);
    }
    std::sort(per.begin(), per.end());
    return per[per.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const perf::SSizeOptions options = perf::ParseSizeOptions(argc, argv);
    const bool json = options.json;
    const std::vector<int>& sizes = options.sizes;
    if (!json) std::printf("%9s %6s %12s %12s %14s\n", "channels", "ranks", "plan us", "cycle us", "cycle us/chl");
    for (int n : sizes) {
        perf::CPerfDevice dev(perf::MixedChannels(n));
        CArray<int, int> refs;
        refs.SetSize(n + 1);
        for (int i = 1; i <= n; ++i) refs[i] = 1;
        const double plan = MedianMicros([&] { CDevBas::mfMakeBlock(dev.Data(), refs, 1); });
        int failed = 0;
        const double cycle = MedianMicros([&] { failed += dev.CollectCycle(); });
        if (failed != 0) {
            std::fprintf(stderr, "scaling: %d collection calls failed\n", failed);
            return 1;
        }
        if (json) {
            std::printf("{\"channels\":%d,\"ranks\":%d,\"plan_us\":%.3f,\"cycle_us\":%.3f}\n", n, dev.RankCount(), plan,
                        cycle);
        } else {
            std::printf("%9d %6d %12.1f %12.1f %14.3f\n", n, dev.RankCount(), plan, cycle, cycle / n);
        }
    }
    return 0;
}
