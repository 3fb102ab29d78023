// The device object's IO-control operation: argument and state checks, then
// the command text through the device hook.
#include <climits>
#include <cmath>

#include "driver/dravik_vemo_pna.h"
#include "driver/qdevctrl.h"

namespace {
// The status entry is a double cut toward zero; NaN reads 0 and values
// outside the int range saturate.
int StatusToInt(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}
}  // namespace

int CDevCtrl::DevIOCtrl(const char* command)
{
    if (!command) return DEV_ERR_BADARG;
    if (!m_HolnData.pComm) return DEV_ERR_NOCOMM;
    m_HolnData.pComm->SetDevName(m_HolnData.strDevName);
    if (!m_ChangingChl.empty()) return DEV_ERR_ADDRCHANGE;
    // Before InitDevice or after CleanupDevice there is no device data (and
    // possibly no database) for a command to work on.
    if (!m_HolnData.pMydata) return DEV_ERR_BADARG;
    CString text(command);
    _InitValueArray(0);
    holn_device::SvrDevIOCtrl(m_HolnData, text, m_Value, m_StrValue);
    return StatusToInt(m_Value[0]);
}
