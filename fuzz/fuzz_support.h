// Shared pieces of the fuzz targets: the controllable host clock, a cursor
// over the fuzzer's bytes, and the checks every target makes after each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// The harness owns the host clock: every tick query advances it by 1 ms and
// every sleep by the time asked (at least 1 ms), so a loop that waits for
// the clock always ends, and hangs show up as libFuzzer time-outs only when
// the driver really loops without bound. Each input starts at tick 0.
void FuzzClockReset();
int64_t FuzzClockNow();

// Reads the input front to back; past the end every read yields 0 / empty.
class CFuzzBytes {
public:
    CFuzzBytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    size_t Remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }
    uint8_t Byte();
    uint16_t U16();
    // Up to n bytes (fewer at the end).
    std::vector<uint8_t> Take(size_t n);
    std::vector<uint8_t> Rest() { return Take(Remaining()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Aborts (a crash libFuzzer reports with the input) when a result is none of
// the codes the operation may return, or when channel rows outlive the input.
void FuzzExpectCode(const char* what, int result, std::initializer_list<int> allowed);
void FuzzExpectNoRows(const char* what);
[[noreturn]] void FuzzFail(const std::string& message);
