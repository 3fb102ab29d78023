// The device object: construction, the runtime's version hand-shake, the
// channel lent by the runtime, device initialization and clean-up, and the
// library's exported entry points.
#include "driver/qdevctrl.h"

#include <new>

#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "driver/dravik_vemo_pna.h"

#define HOLN_EXPORT __attribute__((visibility("default")))

namespace {
// GetCommType answers of the runtime's channel.
const int COMM_TYPE_FIRST = 1;
const int COMM_TYPE_SECOND = 2;

// Fills the record as every device starts: the name, the adapter (may be
// null) and the runtime-variable callbacks; everything else stays zero.
void InitHolnData(HOLN_DATA& data, const char* name, IDevRtdbCtrl* adapter)
{
    data.strDevName = name;
    data.strReserved = "";
    data.pRtdb = adapter;
    data.pfnSetParamValue = &CDevCtrl::SetParamValue_Fun;
    data.pfnGetParamValue = &CDevCtrl::GetParamValue_Fun;
    data.pfnGetParamType = &CDevCtrl::GetParamType_Fun;
}
}  // namespace

// The runtime never uses this form: a device without database has no adapter.
CDevCtrl::CDevCtrl()
{
    holn_device::DllInit();
    InitHolnData(m_HolnData, "", nullptr);
}

CDevCtrl::CDevCtrl(const char* name, IDevRtdbCtrl* rtdb)
{
    holn_device::DllInit();
    m_pDevRtdb = new CDevRtdb(rtdb);
    InitHolnData(m_HolnData, name, m_pDevRtdb);
}

// A runtime that destroys the device without cleaning it up first would leak
// the device data and the adapter: finish the clean-up here.
CDevCtrl::~CDevCtrl()
{
    if (m_HolnData.pMydata || m_HolnData.pArchive || m_pDevRtdb) CDevCtrl::CleanupDevice();
}

int CDevCtrl::CheckIDevRtdbCtrlversion(int version)
{
    if (m_pDevRtdb) m_pDevRtdb->SetIDevRtdbCtrlVersion(version);
    return 0;
}

int CDevCtrl::UpdataCommunication(ICommunication* comm)
{
    // Kept even when refused below: later calls use whatever the runtime lent.
    m_HolnData.pComm = comm;
    if (!comm) return 0;
    switch (comm->GetCommType()) {
        case COMM_TYPE_FIRST:
            m_HolnData.nCommType = 2;
            return 0;
        case COMM_TYPE_SECOND:
            m_HolnData.nCommType = 1;
            return 0;
        default:
            return DEV_ERR_BADARG;
    }
}

int CDevCtrl::InitDevice(const unsigned char* config, int length)
{
    // A negative length must never reach the copy.
    if (!config || length <= 0) return DEV_ERR_BADARG;
    COwnerArchive* archive = new (std::nothrow) COwnerArchive(ARCHIVE_STORING);
    m_HolnData.pArchive = archive;
    if (!archive) return DEV_ERR_RESOURCE;

    // Storing mode adds no marker: the blob's own bytes go in unchanged.
    archive->SvrWrite(config, length);
    archive->SvrSeekToBegin();
    archive->SvrChangeMode(ARCHIVE_LOADING);

    int r = holn_device::SvrInitDevRun(m_HolnData);
    if (r == 1) _InitAddressTable(m_AddrTable);

    delete archive;
    m_HolnData.pArchive = nullptr;
    return r == 1 ? 0 : DEV_ERR_INITHOOK;
}

int CDevCtrl::CleanupDevice()
{
    holn_device::SvrExitDevRun(m_HolnData);
    if (m_HolnData.pArchive) {
        delete m_HolnData.pArchive;
        m_HolnData.pArchive = nullptr;
    }
    if (m_pDevRtdb) {
        delete m_pDevRtdb;
        m_pDevRtdb = nullptr;
    }
    // Nothing may reach the destroyed adapter through the record.
    m_HolnData.pRtdb = nullptr;
    return 0;
}

int CDevCtrl::_InitAddressTable(CArray<unsigned int, unsigned int>& table)
{
    DEV_DATA* dev = m_HolnData.pMydata;
    if (!dev || !dev->pDevTable) return 0;
    CDevTable& rows = *dev->pDevTable;
    int count = rows.GetRowCount();
    if (count < 1) return 0;
    table.SetSize(count);
    for (int i = 0; i < count; ++i) table[i] = rows.Row(i).GetdwValue(DEVROW_STR_CHLADDRESS);
    return 0;
}

extern "C" HOLN_EXPORT IDeviceCtrl* CreateDeviceCtrl(const char* name, IDevRtdbCtrl* rtdb)
{
    return new CDevCtrl(name, rtdb);
}

extern "C" HOLN_EXPORT int DestroyDeviceCtrl(IDeviceCtrl* object)
{
    if (!object) return 1;
    // An object of another class is not ours to destroy.
    CDevCtrl* device = dynamic_cast<CDevCtrl*>(object);
    delete device;
    return 0;
}

extern "C" HOLN_EXPORT int GetInterfaceVersion(int rtdbVersion, IDeviceCtrl* object)
{
    if (!object) return 1;
    CDevCtrl* device = dynamic_cast<CDevCtrl*>(object);
    if (device) device->CheckIDevRtdbCtrlversion(rtdbVersion);
    return DEV_INTERFACE_VERSION;
}
