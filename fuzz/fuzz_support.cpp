#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "config/Dev.h"
#include "host/hostif.h"

namespace {
int64_t g_now = 0;
}  // namespace

void FuzzClockReset()
{
    g_now = 0;
}

int64_t FuzzClockNow()
{
    return g_now;
}

extern "C" int64_t Holn_GetTickCount(void)
{
    return g_now++;
}

extern "C" void Holn_Sleep(int ms, int /*reserved*/)
{
    g_now += ms > 0 ? ms : 1;
}

uint8_t CFuzzBytes::Byte()
{
    return m_pos < m_size ? m_data[m_pos++] : 0;
}

uint16_t CFuzzBytes::U16()
{
    const uint16_t high = Byte();
    return static_cast<uint16_t>(high << 8 | Byte());
}

std::vector<uint8_t> CFuzzBytes::Take(size_t n)
{
    if (n > Remaining()) n = Remaining();
    std::vector<uint8_t> out(m_data + m_pos, m_data + m_pos + n);
    m_pos += n;
    return out;
}

void FuzzFail(const std::string& message)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", message.c_str());
    std::abort();
}

void FuzzExpectCode(const char* what, int result, std::initializer_list<int> allowed)
{
    // FUZZ_TRACE=1 lists every checked result when an input is replayed by hand.
    static const bool trace = std::getenv("FUZZ_TRACE") != nullptr;
    if (trace) std::fprintf(stderr, "%s -> %d\n", what, result);
    for (int code : allowed)
        if (result == code) return;
    FuzzFail(std::string(what) + " returned an unexpected code " + std::to_string(result));
}

void FuzzExpectNoRows(const char* what)
{
    if (CDevRow::GetRowNum() != 0)
        FuzzFail(std::string(what) + ": " + std::to_string(CDevRow::GetRowNum()) + " channel rows still alive");
}
