// The runtime's host clock. The executable exports these two functions
// (ENABLE_EXPORTS), so the driver library binds to them instead of its own
// fallbacks, exactly as inside the HMI runtime.
#include <chrono>
#include <cstdint>
#include <thread>

#include "host/hostif.h"

extern "C" __attribute__((visibility("default"))) int64_t Holn_GetTickCount(void)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

extern "C" __attribute__((visibility("default"))) void Holn_Sleep(int ms, int /*reserved*/)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
