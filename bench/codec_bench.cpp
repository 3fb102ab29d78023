// Value codec: one channel's decode and encode, as a collection call does them.
#include <benchmark/benchmark.h>

#include "service/DevServer.h"

namespace {

void DecodeCase(benchmark::State& state, const char* text, int type, int swapUnit, int len = 0)
{
    const CString field(text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CDevServer::SvrStr2Double(field, type, swapUnit, len));
    }
}

void EncodeCase(benchmark::State& state, double value, int type)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        CString text = CDevServer::SvrDouble2Str(value, type, 0, 0);
        benchmark::DoNotOptimize(text);
    }
}

void BM_Decode16(benchmark::State& state)
{
    DecodeCase(state, "FFFE", 84, 0);
}
void BM_Decode16Swapped(benchmark::State& state)
{
    DecodeCase(state, "FEFF", 84, 2);
}
void BM_DecodeBit(benchmark::State& state)
{
    DecodeCase(state, "0041", 6, 0, 2);
}
void BM_Decode32(benchmark::State& state)
{
    DecodeCase(state, "12345678", 86, 0);
}
void BM_Decode32Float(benchmark::State& state)
{
    DecodeCase(state, "40490FDB", 89, 0);
}
void BM_Decode64(benchmark::State& state)
{
    DecodeCase(state, "FFFFFFFFFFFFFFFE", 91, 0);
}
void BM_Decode64Float(benchmark::State& state)
{
    DecodeCase(state, "400921FB54442D18", 93, 0);
}
void BM_Encode16(benchmark::State& state)
{
    EncodeCase(state, -2.0, 84);
}
void BM_Encode32(benchmark::State& state)
{
    EncodeCase(state, 305419896.0, 86);
}
void BM_Encode32Float(benchmark::State& state)
{
    EncodeCase(state, 3.14159, 89);
}
void BM_Encode64(benchmark::State& state)
{
    EncodeCase(state, -2.0, 91);
}
void BM_Encode64Float(benchmark::State& state)
{
    EncodeCase(state, 3.141592653589793, 93);
}

}  // namespace

BENCHMARK(BM_Decode16);
BENCHMARK(BM_Decode16Swapped);
BENCHMARK(BM_DecodeBit);
BENCHMARK(BM_Decode32);
BENCHMARK(BM_Decode32Float);
BENCHMARK(BM_Decode64);
BENCHMARK(BM_Decode64Float);
BENCHMARK(BM_Encode16);
BENCHMARK(BM_Encode32);
BENCHMARK(BM_Encode32Float);
BENCHMARK(BM_Encode64);
BENCHMARK(BM_Encode64Float);
