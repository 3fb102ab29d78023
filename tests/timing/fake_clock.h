// Controllable host clock for the timing suite, which links no real clock:
// fake_clock.cpp defines Holn_GetTickCount and Holn_Sleep on top of it.
//
// - Holn_GetTickCount returns the current fake time, then advances it by the
//   tick step (0 by default), so code that polls the clock without sleeping
//   still sees time pass.
// - Holn_Sleep(ms) records the request and advances the time by ms when
//   ms > 0; it never waits.
// Call FakeClockReset() at the start of every test.
#pragma once

#include <cstdint>
#include <vector>

void FakeClockReset(int64_t start = 0);
int64_t FakeClockNow();
void FakeClockSet(int64_t now);
void FakeClockAdvance(int64_t ms);
// Advance applied after every Holn_GetTickCount call.
void FakeClockSetTickStep(int64_t ms);
// Number of Holn_GetTickCount calls since the last reset.
int FakeClockTickCalls();
// Every Holn_Sleep argument since the last reset, in order.
const std::vector<int>& FakeClockSleeps();
