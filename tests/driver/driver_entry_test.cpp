// Exported entry points, the database adapter's version gating, the channel
// the runtime lends, and what clean-up leaves behind.
#include <gtest/gtest.h>

#include "driver/qdevctrl.h"
#include "driver_stub_comm.h"
#include "support/blob_builder.h"
#include "support/fake_rtdb.h"

namespace {

// Another implementation of the interface, which the driver must not destroy.
class CForeignDevice : public IDeviceCtrl {
public:
    virtual ~CForeignDevice() { alive = false; }
    int InitDevice(const unsigned char*, int) override { return 0; }
    int CleanupDevice() override { return 0; }
    int CollectDevData(const int*, int) override { return 0; }
    int DevIOCtrl(const char*) override { return 0; }
    int WriteChannel(int, DATATYPE, void*) override { return 0; }
    int UpdataCommunication(ICommunication*) override { return 0; }
    int ChannelRefChange(const int*, int) override { return 0; }
    int SetChannelAddress(int, int) override { return 0; }
    bool alive = true;
};

CDevRtdb& Adapter(IDeviceCtrl* object)
{
    return *static_cast<CDevRtdb*>(dynamic_cast<CDevCtrl*>(object)->HolnData().pRtdb);
}

// Calls every slot of the adapter once; returns how many answered "too old".
int RefusedSlots(CDevRtdb& a, int first, int last)
{
    int refused = 0;
    for (int slot = first; slot <= last; ++slot) {
        DATATYPE type = 77;
        int i = 77;
        double d = 77;
        std::string s = "keep";
        int r = 0;
        switch (slot) {
            case 0:
                r = a.GetValueTypeByName("V", type);
                break;
            case 1:
                r = a.GetValueByName("V", i);
                break;
            case 2:
                r = a.GetValueByName("V", d);
                break;
            case 3:
                r = a.GetValueByName("V", s);
                break;
            case 4:
                r = a.SetValueByName("V", 1);
                break;
            case 5:
                r = a.SetValueByName("V", 1.0);
                break;
            case 6:
                r = a.SetValueByName("V", s);
                break;
            case 7:
                r = a.GetValueTypeByChannel(0, type);
                break;
            case 8:
                r = a.GetValueByChannel(0, i);
                break;
            case 9:
                r = a.GetValueByChannel(0, d);
                break;
            case 10:
                r = a.GetValueByChannel(0, s);
                break;
            case 11:
                r = a.SetValueByChannel(0, 1);
                break;
            case 12:
                r = a.SetValueByChannel(0, 1.0);
                break;
            case 13:
                r = a.SetValueByChannel(0, s);
                break;
            case 14:
                r = a.GetValueIDByChannel(0, i);
                break;
            default:
                r = a.SetCollectFlagSuc(1);
                break;
        }
        if (r == RTDB_VERSION_TOO_OLD) {
            ++refused;
            // A refused call leaves every output as it was.
            EXPECT_EQ(type, 77) << "slot " << slot;
            EXPECT_EQ(i, 77) << "slot " << slot;
            EXPECT_EQ(d, 77) << "slot " << slot;
            EXPECT_EQ(s, "keep") << "slot " << slot;
        }
    }
    return refused;
}

}  // namespace

TEST(DriverEntry, NullObjectsAreAnsweredWithOne)
{
    EXPECT_EQ(DestroyDeviceCtrl(nullptr), 1);
    EXPECT_EQ(GetInterfaceVersion(2, nullptr), 1);
}

TEST(DriverEntry, CreateAnswerVersionDestroy)
{
    CFakeRtdb db;
    IDeviceCtrl* object = CreateDeviceCtrl("dev", &db);
    ASSERT_NE(object, nullptr);
    CDevCtrl* device = dynamic_cast<CDevCtrl*>(object);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->HolnData().strDevName, "dev");
    EXPECT_EQ(device->HolnData().pMydata, nullptr);
    EXPECT_EQ(device->ChannelCount(), -1);
    EXPECT_NE(device->HolnData().pfnGetParamType, nullptr);
    EXPECT_EQ(GetInterfaceVersion(2, object), DEV_INTERFACE_VERSION);
    EXPECT_EQ(DestroyDeviceCtrl(object), 0);
}

TEST(DriverEntry, NullNameGivesAnEmptyName)
{
    CFakeRtdb db;
    IDeviceCtrl* object = CreateDeviceCtrl(nullptr, &db);
    EXPECT_EQ(dynamic_cast<CDevCtrl*>(object)->HolnData().strDevName, "");
    EXPECT_EQ(DestroyDeviceCtrl(object), 0);
}

TEST(DriverEntry, ForeignObjectsAreLeftAlone)
{
    CForeignDevice foreign;
    EXPECT_EQ(DestroyDeviceCtrl(&foreign), 0);
    EXPECT_TRUE(foreign.alive);
    EXPECT_EQ(GetInterfaceVersion(1, &foreign), DEV_INTERFACE_VERSION);
    EXPECT_TRUE(foreign.alive);
}

TEST(DriverEntry, AnnouncedVersionGatesTheCollectFlag)
{
    CFakeRtdb db;
    IDeviceCtrl* object = CreateDeviceCtrl("dev", &db);
    CDevRtdb& adapter = Adapter(object);

    // Version 1 after construction: everything but slot 15 passes.
    EXPECT_EQ(adapter.GetIDevRtdbCtrlVersion(), 1);
    EXPECT_EQ(RefusedSlots(adapter, 0, 14), 0);
    EXPECT_EQ(adapter.SetCollectFlagSuc(7), RTDB_VERSION_TOO_OLD);
    EXPECT_EQ(db.Calls(FAKE_RTDB_SLOT_SETCOLLECTFLAG), 0);

    EXPECT_EQ(GetInterfaceVersion(2, object), DEV_INTERFACE_VERSION);
    EXPECT_EQ(adapter.SetCollectFlagSuc(7), 0);
    EXPECT_EQ(db.LastCollectFlag(), 7);

    EXPECT_EQ(GetInterfaceVersion(0, object), DEV_INTERFACE_VERSION);
    db.ResetCounters();
    EXPECT_EQ(RefusedSlots(adapter, 0, 15), 16);
    EXPECT_EQ(db.TotalCalls(), 0);
    EXPECT_EQ(DestroyDeviceCtrl(object), 0);
}

TEST(DriverAdapter, VersionsBelowOneRefuseEverything)
{
    CFakeRtdb db;
    CDevRtdb adapter(&db);
    for (int version : {0, -1, -2147483647 - 1}) {
        EXPECT_EQ(adapter.SetIDevRtdbCtrlVersion(version), 1);
        EXPECT_EQ(RefusedSlots(adapter, 0, 15), 16) << version;
    }
    EXPECT_EQ(db.TotalCalls(), 0);
}

TEST(DriverAdapter, PassesArgumentsAndResultsThrough)
{
    CFakeRtdb db;
    db.AddVar("V1", 41);
    db.SetChannelType(4, DATATYPE_STRING);
    CDevRtdb adapter(&db);
    adapter.SetIDevRtdbCtrlVersion(5);

    int i = 0;
    EXPECT_EQ(adapter.GetValueByName("V1", i), 0);
    EXPECT_EQ(i, 41);
    EXPECT_EQ(adapter.SetValueByName("V1", 2.9), 0);
    EXPECT_EQ(db.IntVar("V1"), 2);
    DATATYPE type = 0;
    EXPECT_EQ(adapter.GetValueTypeByChannel(4, type), 0);
    EXPECT_EQ(type, DATATYPE_STRING);
    std::string text = "abc";
    EXPECT_EQ(adapter.SetValueByChannel(4, text), 0);
    EXPECT_EQ(db.Stored(4).s, "abc");
    EXPECT_EQ(adapter.SetValueByChannel(5, -3), 0);
    EXPECT_EQ(db.Stored(5).i, -3);

    // The runtime's own codes come back unchanged.
    db.ForceResult(FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL, 12345);
    EXPECT_EQ(adapter.SetValueByChannel(6, 1.0), 12345);
    EXPECT_EQ(adapter.GetValueByName("nope", i), FAKE_RTDB_UNKNOWN);
    EXPECT_EQ(adapter.SetCollectFlagSuc(3), 0);
    EXPECT_EQ(db.LastCollectFlag(), 3);
}

TEST(DriverAdapter, NullRuntimeRefusesEveryCall)
{
    CDevRtdb none;
    none.SetIDevRtdbCtrlVersion(2);
    EXPECT_EQ(RefusedSlots(none, 0, 15), 16);
    CDevRtdb nullRuntime(nullptr);
    nullRuntime.SetIDevRtdbCtrlVersion(2);
    EXPECT_EQ(RefusedSlots(nullRuntime, 0, 15), 16);
}

TEST(DriverComm, CommTypesMapCrosswise)
{
    CFakeRtdb db;
    CDevCtrl device("dev", &db);
    CStubComm first(1), second(2);
    EXPECT_EQ(device.UpdataCommunication(&first), 0);
    EXPECT_EQ(device.HolnData().nCommType, 2);
    EXPECT_EQ(device.UpdataCommunication(&second), 0);
    EXPECT_EQ(device.HolnData().nCommType, 1);
    EXPECT_EQ(device.HolnData().pComm, &second);
}

TEST(DriverComm, RefusedTypeStaysStoredAndIsUsed)
{
    CFakeRtdb db;
    CDevCtrl device("dev", &db);
    CStubComm first(1), odd(3);
    device.UpdataCommunication(&first);
    EXPECT_EQ(device.UpdataCommunication(&odd), DEV_ERR_BADARG);
    EXPECT_EQ(device.HolnData().pComm, &odd);
    EXPECT_EQ(device.HolnData().nCommType, 2);

    int flags[2] = {0, 0};
    EXPECT_EQ(device.CollectDevData(flags, 2), 0);
    ASSERT_EQ(odd.names.size(), 1u);
    EXPECT_EQ(odd.names[0], "dev");
    EXPECT_TRUE(first.names.empty());
}

TEST(DriverComm, NullChannelLeavesTheDeviceWithout)
{
    CFakeRtdb db;
    CDevCtrl device("dev", &db);
    CStubComm comm(2);
    device.UpdataCommunication(&comm);
    EXPECT_EQ(device.UpdataCommunication(nullptr), 0);
    EXPECT_EQ(device.HolnData().pComm, nullptr);
    EXPECT_EQ(device.HolnData().nCommType, 1);
    int flags[1] = {1};
    EXPECT_EQ(device.CollectDevData(flags, 1), DEV_ERR_NOCOMM);
    int value = 1;
    EXPECT_EQ(device.WriteChannel(0, DATATYPE_INT, &value), DEV_ERR_NOCOMM);
    EXPECT_EQ(device.DevIOCtrl("READ(D,0,WUB=V)"), DEV_ERR_NOCOMM);
}

TEST(DriverCleanup, NothingReachesTheDestroyedAdapter)
{
    CFakeRtdb db;
    db.AddVar("V1", 5);
    IDeviceCtrl* object = CreateDeviceCtrl("dev", &db);
    CDevCtrl* device = dynamic_cast<CDevCtrl*>(object);
    CStubComm comm(1);
    device->UpdataCommunication(&comm);
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 100)});
    ASSERT_EQ(device->InitDevice(blob.Data(), blob.Size()), 0);

    EXPECT_EQ(device->CleanupDevice(), 0);
    HOLN_DATA& data = device->HolnData();
    EXPECT_EQ(data.pMydata, nullptr);
    EXPECT_EQ(data.pRtdb, nullptr);
    EXPECT_EQ(data.pArchive, nullptr);

    db.ResetCounters();
    EXPECT_EQ(GetInterfaceVersion(2, object), DEV_INTERFACE_VERSION);
    int flags[1] = {1};
    EXPECT_EQ(device->CollectDevData(flags, 1), DEV_ERR_NORTDB);
    EXPECT_EQ(device->ChannelRefChange(flags, 1), DEV_ERR_NORTDB);
    int value = 0;
    EXPECT_EQ(device->WriteChannel(0, DATATYPE_INT, &value), DEV_ERR_BADARG);
    EXPECT_EQ(device->DevIOCtrl("READ(D,0,WUB=V1)"), DEV_ERR_BADARG);
    EXPECT_EQ(device->SetChannelAddress(0, 1), DEV_ERR_BADARG);
    DATATYPE type = 0;
    EXPECT_EQ(data.pfnGetParamType(data, "V1", type), DEV_ERR_RESOURCE);
    EXPECT_EQ(data.pfnGetParamValue(data, "V1", DATATYPE_INT, &value), DEV_ERR_RESOURCE);
    EXPECT_EQ(data.pfnSetParamValue(data, "V1", DATATYPE_INT, &value), DEV_ERR_RESOURCE);
    EXPECT_EQ(db.TotalCalls(), 0);

    // A second clean-up finds nothing left to release.
    EXPECT_EQ(device->CleanupDevice(), 0);
    EXPECT_EQ(DestroyDeviceCtrl(object), 0);
}

TEST(DriverCleanup, DestroyWithoutCleanupReleasesTheRows)
{
    CFakeRtdb db;
    uint32_t before = CDevRow::GetRowNum();
    IDeviceCtrl* object = CreateDeviceCtrl("dev", &db);
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 1), SBlobRow::Word(14, 2), SBlobRow::Word(14, 3)});
    ASSERT_EQ(object->InitDevice(blob.Data(), blob.Size()), 0);
    EXPECT_EQ(CDevRow::GetRowNum(), before + 3);
    EXPECT_EQ(DestroyDeviceCtrl(object), 0);
    EXPECT_EQ(CDevRow::GetRowNum(), before);
}
