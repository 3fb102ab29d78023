#include "fake_clock.h"

#include "host/hostif.h"

namespace {

int64_t g_now = 0;
int64_t g_tickStep = 0;
int g_tickCalls = 0;
std::vector<int> g_sleeps;

}  // namespace

void FakeClockReset(int64_t start)
{
    g_now = start;
    g_tickStep = 0;
    g_tickCalls = 0;
    g_sleeps.clear();
}

int64_t FakeClockNow()
{
    return g_now;
}

void FakeClockSet(int64_t now)
{
    g_now = now;
}

void FakeClockAdvance(int64_t ms)
{
    g_now += ms;
}

void FakeClockSetTickStep(int64_t ms)
{
    g_tickStep = ms;
}

int FakeClockTickCalls()
{
    return g_tickCalls;
}

const std::vector<int>& FakeClockSleeps()
{
    return g_sleeps;
}

extern "C" int64_t Holn_GetTickCount(void)
{
    ++g_tickCalls;
    const int64_t now = g_now;
    g_now += g_tickStep;
    return now;
}

extern "C" void Holn_Sleep(int ms, int /*reserved*/)
{
    g_sleeps.push_back(ms);
    if (ms > 0) g_now += ms;
}
