// Heap the driver keeps per channel: a device of the mixed configuration is
// created, initialised and given its references (InitDevice, ChannelRefChange)
// and one full collection cycle; the C++ heap in use before and after, by the
// counting allocator (usable block sizes, as the C library hands them out).
//
//   footprint [channels...]       default: 100 1000 10000
//
// The database and the channel belong to the runtime and exist before the
// first count. Prints one line per size; with --json the same as JSON lines.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "alloc_count.h"
#include "config/Dev.h"
#include "perf_device.h"

namespace {

struct SFootprint {
    int channels = 0;
    int ranks = 0;
    int64_t initBytes = 0;     // after InitDevice
    int64_t plannedBytes = 0;  // after ChannelRefChange
    int64_t cycleBytes = 0;    // after one full cycle
    uint64_t allocations = 0;  // blocks allocated up to the end of the cycle
};

SFootprint Measure(int count)
{
    const std::vector<perf::SChannel> channels = perf::MixedChannels(count);
    const std::vector<uint8_t> blob = perf::BuildBlob(channels);
    perf::CArrayRtdb rtdb(perf::DatabaseTypes(channels));
    perf::CInstantChannel channel;
    std::vector<int> refs(channels.size(), 1);
    std::vector<int> flags(channels.size(), 1);

    SFootprint f;
    f.channels = static_cast<int>(channels.size());
    perf::TrackLiveBytes(true);
    const perf::SAllocCount start = perf::AllocSnapshot();
    IDeviceCtrl* device = CreateDeviceCtrl("footprint", &rtdb);
    GetInterfaceVersion(2, device);
    if (device->InitDevice(blob.data(), static_cast<int>(blob.size())) != 0) std::abort();
    f.initBytes = (perf::AllocSnapshot() - start).liveBytes;
    device->UpdataCommunication(&channel);
    if (device->ChannelRefChange(refs.data(), f.channels) != 0) std::abort();
    f.plannedBytes = (perf::AllocSnapshot() - start).liveBytes;
    const DEV_DATA* dev = dynamic_cast<CDevCtrl*>(device)->HolnData().pMydata;
    f.ranks = dev ? dev->nRankNum : 0;
    for (int i = 0; i < f.ranks; ++i) device->CollectDevData(flags.data(), f.channels);
    const perf::SAllocCount end = perf::AllocSnapshot() - start;
    f.cycleBytes = end.liveBytes;
    f.allocations = end.calls;
    device->CleanupDevice();
    DestroyDeviceCtrl(device);
    perf::TrackLiveBytes(false);
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    const perf::SSizeOptions options = perf::ParseSizeOptions(argc, argv);
    const bool json = options.json;
    const std::vector<int>& sizes = options.sizes;
    if (!json) {
        std::printf("%zu-bit build: sizeof CDevRow %zu, CString %zu, pointer %zu\n", 8 * sizeof(void*), sizeof(CDevRow),
                    sizeof(CString), sizeof(void*));
        std::printf("%9s %6s %14s %14s %14s %12s\n", "channels", "ranks", "init B/chl", "planned B/chl", "cycle B/chl",
                    "blocks");
    }
    for (int n : sizes) {
        const SFootprint f = Measure(n);
        const double per = static_cast<double>(f.channels);
        if (json) {
            std::printf(
                "{\"bits\":%zu,\"channels\":%d,\"ranks\":%d,\"init_bytes\":%lld,\"planned_bytes\":%lld,"
                "\"cycle_bytes\":%lld,\"allocations\":%llu}\n",
                8 * sizeof(void*), f.channels, f.ranks, static_cast<long long>(f.initBytes),
                static_cast<long long>(f.plannedBytes), static_cast<long long>(f.cycleBytes),
                static_cast<unsigned long long>(f.allocations));
        } else {
            std::printf("%9d %6d %14.1f %14.1f %14.1f %12llu\n", f.channels, f.ranks,
                        static_cast<double>(f.initBytes) / per, static_cast<double>(f.plannedBytes) / per,
                        static_cast<double>(f.cycleBytes) / per, static_cast<unsigned long long>(f.allocations));
        }
    }
    return 0;
}
