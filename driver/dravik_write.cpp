// Device hook of a channel write, paced so that the controller never sees two
// writes or commands closer together than the minimum operation time.
#include <cstdint>

#include "driver/dravik_vemo_pna.h"
#include "protocol/DevBas.h"

int holn_device::SvrDevWriteChannel(HOLN_DATA& data, int channel, DATATYPE type, void* value)
{
    if (channel < 0) return 0;
    // The runtime's tick count may wrap at 32 bits: measure on the low 32 bits.
    const uint32_t start = static_cast<uint32_t>(Holn_GetTickCount());
    const int r = CDevBas::mfDevIOWriteChannel(data, channel, type, value);
    const int result = r < 0 ? -r : 0;
    const uint32_t elapsed = static_cast<uint32_t>(Holn_GetTickCount()) - start;
    if (elapsed < DEV_MIN_OPERATION_TICKS) Holn_Sleep(static_cast<int>(DEV_MIN_OPERATION_TICKS - elapsed), 0);
    return result;
}
