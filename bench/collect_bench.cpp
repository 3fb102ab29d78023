// The collection path: decoding of one rank's reply, and whole CollectDevData
// calls against an in-process controller that answers at once. Every case
// reports the heap allocations per iteration (counting allocator of
// tools/perf) and the channels handled per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "alloc_count.h"
#include "perf_device.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

// More than the caches hold: touching it evicts the driver's data.
const size_t COLD_CACHE_BYTES = 8u << 20;

// Allocations per iteration over the timed loop.
class CAllocCounter {
public:
    CAllocCounter() : m_start(perf::AllocSnapshot()) {}
    void Report(benchmark::State& state) const
    {
        const perf::SAllocCount used = perf::AllocSnapshot() - m_start;
        const double n = state.iterations() > 0 ? static_cast<double>(state.iterations()) : 1.0;
        state.counters["allocs"] = static_cast<double>(used.calls) / n;
        state.counters["alloc_bytes"] = static_cast<double>(used.requested) / n;
    }

private:
    perf::SAllocCount m_start;
};

// The reply text of the device's first rank, as the transaction hands it
// to the decoder.
CString FirstRankReply(perf::CPerfDevice& dev)
{
    dev.Channel().Record(true);
    dev.Collect();
    dev.Channel().Record(false);
    const std::vector<uint8_t>& request = dev.Channel().Recorded().front();
    const std::vector<uint8_t> reply = perf::BuildReply(request.data(), request.size());
    CByteArray bytes;
    for (uint8_t b : reply) bytes.Add(b);
    CString text;
    CDevServer::SvrHByte2HStr(bytes, text);
    return text;
}

void DecodeCase(benchmark::State& state, const std::vector<perf::SChannel>& channels)
{
    perf::CPerfDevice dev(channels);
    const CString reply = FirstRankReply(dev);
    HOLN_DATA& data = dev.Data();
    data.pMydata->nCurBlock = 0;
    const int size = dev.ChannelCount() + 1;
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
    flags.SetSize(size);
    values.SetSize(size);
    strings.SetSize(size);
    CString text = reply;
    int decoded = 0;
    CAllocCounter allocs;
    for (auto _ : state) {
        decoded = CDevBas::mfExplainCommByteData(data, flags, values, strings, text, 0, 0);
        benchmark::DoNotOptimize(values.GetData());
    }
    allocs.Report(state);
    if (decoded != dev.ChannelCount()) state.SkipWithError("not every channel was decoded");
    state.SetItemsProcessed(state.iterations() * decoded);
}

void BM_Decode_WUB115(benchmark::State& state)
{
    DecodeCase(state, perf::WordRun(perf::AREA_D, 0, 115, perf::CODE_WUB));
}
BENCHMARK(BM_Decode_WUB115);

void BM_Decode_DUB57(benchmark::State& state)
{
    DecodeCase(state, perf::WordRun(perf::AREA_D, 0, 57, perf::CODE_DUB));
}
BENCHMARK(BM_Decode_DUB57);

void BM_Decode_DF57(benchmark::State& state)
{
    DecodeCase(state, perf::WordRun(perf::AREA_D, 0, 57, perf::CODE_DF));
}
BENCHMARK(BM_Decode_DF57);

// Whole calls: flags, rank choice, request, transaction, decode and the
// stores into the database. A device of several ranks reads one per call.
void CollectCase(benchmark::State& state, const std::vector<perf::SChannel>& channels)
{
    perf::CPerfDevice dev(channels);
    if (dev.CollectCycle() != 0) {
        state.SkipWithError("warm-up cycle failed");
        return;
    }
    int failed = 0;
    const uint64_t storesBefore = dev.Rtdb().Stores();
    CAllocCounter allocs;
    for (auto _ : state) failed += dev.Collect() != 0;
    allocs.Report(state);
    if (failed != 0) state.SkipWithError("a collection call failed");
    state.counters["ranks"] = dev.RankCount();
    state.SetItemsProcessed(static_cast<int64_t>(dev.Rtdb().Stores() - storesBefore));
}

void BM_Collect_WUB115(benchmark::State& state)
{
    CollectCase(state, perf::WordRun(perf::AREA_D, 0, 115, perf::CODE_WUB));
}
BENCHMARK(BM_Collect_WUB115);

// 57 is the most 32-bit channels one rank holds (114 of at most 115 registers).
void BM_Collect_DUB57(benchmark::State& state)
{
    CollectCase(state, perf::WordRun(perf::AREA_D, 0, 57, perf::CODE_DUB));
}
BENCHMARK(BM_Collect_DUB57);

// 60 channels of 32 bits span 120 registers: two ranks (57 + 3), read in turn.
void BM_Collect_DUB60_TwoRanks(benchmark::State& state)
{
    CollectCase(state, perf::WordRun(perf::AREA_D, 0, 60, perf::CODE_DUB));
}
BENCHMARK(BM_Collect_DUB60_TwoRanks);

void BM_Collect_DF57(benchmark::State& state)
{
    CollectCase(state, perf::WordRun(perf::AREA_D, 0, 57, perf::CODE_DF));
}
BENCHMARK(BM_Collect_DF57);

// The mixed 1,000-channel device (bits, 16/32/64-bit numbers, floats,
// register bits, strings): the time per call is the mean over its ranks.
void BM_Collect_Mixed1000(benchmark::State& state)
{
    CollectCase(state, perf::MixedChannels(1000));
}
BENCHMARK(BM_Collect_Mixed1000);

// The same calls with the caches flushed before each, as a call finds them
// after the process slept in the channel while the controller and the
// kernel ran (the flush itself is not timed).
void BM_Collect_Mixed1000_ColdCache(benchmark::State& state)
{
    perf::CPerfDevice dev(perf::MixedChannels(1000));
    if (dev.CollectCycle() != 0) {
        state.SkipWithError("warm-up cycle failed");
        return;
    }
    std::vector<char> other(COLD_CACHE_BYTES, 1);
    int failed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t i = 0; i < other.size(); i += 64) other[i] = static_cast<char>(other[i] + 1);
        benchmark::ClobberMemory();
        state.ResumeTiming();
        failed += dev.Collect() != 0;
    }
    if (failed != 0) state.SkipWithError("a collection call failed");
}
BENCHMARK(BM_Collect_Mixed1000_ColdCache);

}  // namespace
