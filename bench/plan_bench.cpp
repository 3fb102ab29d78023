// Block planning (mfMakeBlock) and the request builders: planning runs when
// the referenced channels change, the builders on every request and write.
#include <benchmark/benchmark.h>

#include <vector>

#include "alloc_count.h"
#include "perf_device.h"
#include "protocol/DevBas.h"

namespace {

void ReportAllocs(benchmark::State& state, const perf::SAllocCount& start)
{
    const perf::SAllocCount used = perf::AllocSnapshot() - start;
    const double n = state.iterations() > 0 ? static_cast<double>(state.iterations()) : 1.0;
    state.counters["allocs"] = static_cast<double>(used.calls) / n;
}

// Plans the mixed configuration of state.range(0) channels, every channel
// referenced, as ChannelRefChange does.
void BM_Plan(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    perf::CPerfDevice dev(perf::MixedChannels(count));
    CArray<int, int> refs;
    refs.SetSize(count + 1);
    for (int i = 1; i <= count; ++i) refs[i] = 1;
    int ranks = 0;
    const perf::SAllocCount start = perf::AllocSnapshot();
    for (auto _ : state) {
        ranks = CDevBas::mfMakeBlock(dev.Data(), refs, 1);
        benchmark::DoNotOptimize(ranks);
    }
    ReportAllocs(state, start);
    state.counters["ranks"] = ranks;
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Plan)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The read request of a 115-register block.
void BM_FormReadOrder(benchmark::State& state)
{
    perf::CPerfDevice dev(perf::WordRun(perf::AREA_D, 100, 115, perf::CODE_WUB));
    CDevTable& table = *dev.Data().pMydata->pDevTable;
    CString text;
    const perf::SAllocCount start = perf::AllocSnapshot();
    for (auto _ : state) {
        unsigned int expected = CDevBas::mfFormReadOrder(dev.Data(), text, table, 1, 115, 0);
        benchmark::DoNotOptimize(expected);
        benchmark::DoNotOptimize(text.GetString());
    }
    ReportAllocs(state, start);
}
BENCHMARK(BM_FormReadOrder);

// Write frames as WriteChannel (one row, mode 0) and the writing IO-control
// commands (one planned block, mode 1) build them.
void WriteCase(benchmark::State& state, const std::vector<perf::SChannel>& channels, int mode)
{
    perf::CPerfDevice dev(channels);
    const int size = dev.ChannelCount() + 1;
    CArray<double, double> values;
    CStringArray strings;
    values.SetSize(size);
    strings.SetSize(size);
    for (int i = 1; i < size; ++i) values[i] = 1000.25 + i;
    CString frame;
    int reserved = 0;
    int result = 0;
    const perf::SAllocCount start = perf::AllocSnapshot();
    for (auto _ : state) {
        frame.Empty();
        result = CDevBas::mfFormWriteOrder(dev.Data(), values, strings, frame, 0, mode, reserved);
        benchmark::DoNotOptimize(frame.GetString());
    }
    ReportAllocs(state, start);
    if (result <= 0) state.SkipWithError("the write frame was refused");
}

void BM_FormWriteOrder_WUB(benchmark::State& state)
{
    WriteCase(state, perf::WordRun(perf::AREA_D, 100, 1, perf::CODE_WUB), 0);
}
BENCHMARK(BM_FormWriteOrder_WUB);

void BM_FormWriteOrder_DF(benchmark::State& state)
{
    WriteCase(state, perf::WordRun(perf::AREA_D, 100, 1, perf::CODE_DF), 0);
}
BENCHMARK(BM_FormWriteOrder_DF);

// 48 registers: the most a word-area write block carries.
void BM_FormWriteOrder_Block48(benchmark::State& state)
{
    WriteCase(state, perf::WordRun(perf::AREA_D, 100, 48, perf::CODE_WUB), 1);
}
BENCHMARK(BM_FormWriteOrder_Block48);

}  // namespace
