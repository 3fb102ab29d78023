// Hex conversions of a full read reply: they run on every transaction.
#include <benchmark/benchmark.h>

#include "service/DevServer.h"

namespace {

// A 240-byte reply: header, byte count and register data.
CByteArray ReplyBytes()
{
    CByteArray bytes;
    for (int i = 0; i < 240; ++i) bytes.Add(static_cast<unsigned char>(i * 37 + 11));
    return bytes;
}

void BM_HByte2HStr_240(benchmark::State& state)
{
    const CByteArray reply = ReplyBytes();
    CString text;
    for (auto _ : state) {
        CDevServer::SvrHByte2HStr(reply, text);
        benchmark::DoNotOptimize(text.GetString());
    }
    state.SetBytesProcessed(state.iterations() * reply.GetSize());
}
BENCHMARK(BM_HByte2HStr_240);

void BM_HStr2HByte_240(benchmark::State& state)
{
    CString text;
    CDevServer::SvrHByte2HStr(ReplyBytes(), text);
    CByteArray bytes;
    for (auto _ : state) {
        CDevServer::SvrHStr2HByte(text, bytes);
        benchmark::DoNotOptimize(bytes.GetData());
    }
    state.SetBytesProcessed(state.iterations() * bytes.GetSize());
}
BENCHMARK(BM_HStr2HByte_240);

// Fresh output objects per call, as a transaction that does not reuse its buffers.
void BM_HexRoundTrip_240_FreshBuffers(benchmark::State& state)
{
    const CByteArray reply = ReplyBytes();
    for (auto _ : state) {
        CString text;
        CDevServer::SvrHByte2HStr(reply, text);
        CByteArray back;
        CDevServer::SvrHStr2HByte(text, back);
        benchmark::DoNotOptimize(back.GetData());
    }
}
BENCHMARK(BM_HexRoundTrip_240_FreshBuffers);

}  // namespace
