// The configuration blob is untrusted: whatever bytes the runtime hands to
// InitDevice, the device must plan, collect, write and clean up without a
// crash, a hang, a leak or an oversized allocation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "driver/qdevctrl.h"
#include "fuzz_support.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

namespace {

// A configured wait time is honoured by design (up to 24 days): with a
// controller that never completes a reply that is a long wait, not a fault.
// Keep the fuzzer's clock walks short.
const int FUZZ_MAX_WAIT_MS = 2000;

DATATYPE TypeOfRow(const CDevRow& row, int index)
{
    if (row.GetdwValueAt(DEVROW_IDX_DATATYPE) == static_cast<uint32_t>(DATACODE_STR)) return DATATYPE_STRING;
    return index % 2 ? DATATYPE_INT : DATATYPE_DOUBLE;
}

void FillController(CFakePlc& plc)
{
    plc.SetWordBytes(PLC_AREA_D, 0, {'F', 'u', 'z', 'z', 0xE4, 0xB8, 0xAD, 0x00, 0xFF, 0xFE});
    plc.SetWords(PLC_AREA_D, 10, {0x1234, 0x8000, 0xFFFF, 0x0001});
    plc.SetBit(PLC_AREA_M, 1, true);
}

void WriteFirstRow(IDeviceCtrl* dev, const CDevRow& row)
{
    int number = 7;
    double real = -2.5;
    char text[] = "fuzz";
    void* value = &real;
    const DATATYPE type = TypeOfRow(row, 0);
    if (type == DATATYPE_STRING) value = text;
    if (type == DATATYPE_INT) value = &number;
    FuzzExpectCode("WriteChannel", dev->WriteChannel(0, type, value), {0, 1, 2, 4, 5, 7, DEV_ERR_BADARG});
}

void RunDevice(const uint8_t* data, size_t size)
{
    CFakeRtdb db;
    CFakePlc plc;
    FillController(plc);
    IDeviceCtrl* dev = CreateDeviceCtrl("FUZZ", &db);
    GetInterfaceVersion(2, dev);
    const int init = dev->InitDevice(data, static_cast<int>(size));
    FuzzExpectCode("InitDevice", init, {0, DEV_ERR_BADARG});
    FuzzExpectCode("UpdataCommunication", dev->UpdataCommunication(&plc), {0});

    CDevCtrl* ctrl = dynamic_cast<CDevCtrl*>(dev);
    DEV_DATA* mydata = ctrl->HolnData().pMydata;
    const int rows = mydata && mydata->pDevTable ? mydata->pDevTable->GetRowCount() : 0;
    if (mydata && mydata->dwPropValue.GetSize() > DEVPROP_WAITTIME &&
        mydata->dwPropValue[DEVPROP_WAITTIME] > FUZZ_MAX_WAIT_MS) {
        mydata->dwPropValue[DEVPROP_WAITTIME] = FUZZ_MAX_WAIT_MS;
    }

    // One spare entry keeps data() valid for a table without rows.
    std::vector<int> refs(static_cast<size_t>(rows) + 1, 1);
    FuzzExpectCode("ChannelRefChange", dev->ChannelRefChange(refs.data(), rows), {0, DEV_ERR_RESOURCE});
    for (int i = 0; i < rows; ++i) db.SetChannelType(i, TypeOfRow(mydata->pDevTable->Row(i), i));
    FuzzExpectCode("CollectDevData", dev->CollectDevData(refs.data(), rows), {0, 1, 2, 7});
    if (rows > 0) {
        WriteFirstRow(dev, mydata->pDevTable->Row(0));
        FuzzExpectCode("SetChannelAddress", dev->SetChannelAddress(rows - 1, 1), {0, DEV_ERR_BADARG});
        FuzzExpectCode("CollectDevData", dev->CollectDevData(refs.data(), rows), {0, 1, 2, 7, DEV_ERR_ADDRCHANGE});
    }

    FuzzExpectCode("CleanupDevice", dev->CleanupDevice(), {0});
    FuzzExpectCode("DestroyDeviceCtrl", DestroyDeviceCtrl(dev), {0});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzClockReset();
    RunDevice(data, size);
    FuzzExpectNoRows("fuzz_blob");
    return 0;
}
