// The device object's run-time address changes and channel writes.
#include <cstdint>

#include "config/DevConst.h"
#include "driver/dravik_vemo_pna.h"
#include "driver/qdevctrl.h"
#include "protocol/DevBas.h"

namespace {
// The request's start address field is three bytes wide.
const uint32_t ADDRESS_MAX = 0xFFFFFF;
}  // namespace

int CDevCtrl::SetChannelAddress(int channel, int offset)
{
    DEV_DATA* dev = m_HolnData.pMydata;
    if (channel < 0 || !dev) return DEV_ERR_BADARG;
    if (m_AddrTable.GetSize() == 0 || !dev->pDevTable || dev->pDevTable->GetRowCount() == 0) return 0;
    // A channel beyond the rows or the configured addresses has nothing to move.
    if (channel >= m_AddrTable.GetSize() || channel >= dev->pDevTable->GetRowCount()) return DEV_ERR_BADARG;

    // Offsets never accumulate: every change measures from the configured address.
    const uint32_t base = m_AddrTable[channel];
    const uint32_t moved = base + static_cast<uint32_t>(offset);
    // A negative address, or one the request cannot carry, leaves the row alone.
    if (static_cast<int32_t>(moved) < 0 || moved > ADDRESS_MAX) return 0;

    m_ChangingChl.insert(channel);
    if (CDevBas::mfCheckAddressOffset(m_HolnData, static_cast<int>(base), channel, offset) != 0) {
        m_ChangingChl.erase(channel);
    }
    dev->pDevTable->Row(channel).SetdwValue(DEVROW_STR_CHLADDRESS, moved);
    return 0;
}

int CDevCtrl::WriteChannel(int channel, DATATYPE type, void* value)
{
    if (!value || channel < 0) return DEV_ERR_BADARG;
    if (!m_HolnData.pComm) return DEV_ERR_NOCOMM;
    m_HolnData.pComm->SetDevName(m_HolnData.strDevName);
    if (!m_ChangingChl.empty()) return DEV_ERR_ADDRCHANGE;
    // Before InitDevice or after CleanupDevice there is no device data to write with.
    if (!m_HolnData.pMydata || !m_HolnData.pMydata->pDevTable) return DEV_ERR_BADARG;
    _InitValueArray(0);
    return holn_device::SvrDevWriteChannel(m_HolnData, channel, type, value);
}
