// Device hook of the IO-control commands: runs the command text, turns its
// result into the status entry and paces the controller like a write does.
#include <cstdint>

#include "driver/dravik_vemo_pna.h"
#include "protocol/DevBas.h"

int holn_device::SvrDevIOCtrl(HOLN_DATA& data, CString& command, CArray<double, double>& values, CStringArray& strings)
{
    if (values.GetSize() < 1) return 0;
    // The runtime's tick count may wrap at 32 bits: measure on the low 32 bits.
    const uint32_t start = static_cast<uint32_t>(Holn_GetTickCount());
    const int r = CDevBas::mfDevIOCtrl(data, command, values, strings);
    // 0 (unknown keyword) keeps the previous status, e.g. of a failed collection.
    if (r > 0) {
        values[0] = 0.0;
    } else if (r < 0) {
        values[0] = -static_cast<double>(r);
    }
    const uint32_t elapsed = static_cast<uint32_t>(Holn_GetTickCount()) - start;
    if (elapsed < DEV_MIN_OPERATION_TICKS) Holn_Sleep(static_cast<int>(DEV_MIN_OPERATION_TICKS - elapsed), 0);
    return 0;
}
