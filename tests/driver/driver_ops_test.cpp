// The device object's per-channel arrays, its reference flags and the
// runtime-variable callbacks it hands the protocol code.
#include <gtest/gtest.h>

#include "driver/qdevctrl.h"
#include "driver_stub_comm.h"
#include "support/blob_builder.h"
#include "support/fake_rtdb.h"

namespace {

template <class T, class A>
std::vector<T> Items(const CArray<T, A>& array)
{
    std::vector<T> out;
    for (int i = 0; i < array.GetSize(); ++i) out.push_back(array[i]);
    return out;
}

class DriverOps : public ::testing::Test {
protected:
    CFakeRtdb db;
    CStubComm comm{1};
    CDevCtrl device{"dev", &db};

    void Ready(const std::vector<SBlobRow>& rows)
    {
        device.UpdataCommunication(&comm);
        CBlobBuilder blob = DeviceBlob(rows);
        ASSERT_EQ(device.InitDevice(blob.Data(), blob.Size()), 0);
    }
};

}  // namespace

TEST_F(DriverOps, CollectCopiesTheRuntimeFlagsBehindEntryZero)
{
    Ready({SBlobRow::Word(14, 0), SBlobRow::Word(14, 1), SBlobRow::Word(14, 2)});
    int flags[3] = {0, 2, -4};
    EXPECT_EQ(device.CollectDevData(flags, 3), 0);
    EXPECT_EQ(Items(device.CollectFlags()), (std::vector<int>{1, 0, 2, -4}));
    EXPECT_EQ(device.ChannelCount(), 3);
    EXPECT_EQ(Items(device.Values()).size(), 4u);
    EXPECT_EQ(device.Strings().GetSize(), 4);
}

TEST_F(DriverOps, ValueArraysFollowTheChannelCount)
{
    device._InitValueArray(0);
    EXPECT_EQ(device.ChannelCount(), 0);
    EXPECT_EQ(device.RefFlags().GetSize(), 1);

    int refs[4] = {1, 1, 1, 1};
    ASSERT_EQ(device.ChannelRefChange(refs, 4), 0);
    EXPECT_EQ(device.ChannelCount(), 4);
    // Zero and negative counts keep arrays that are sized already.
    device._InitValueArray(0);
    device._InitValueArray(-3);
    EXPECT_EQ(device.ChannelCount(), 4);
    EXPECT_EQ(Items(device.RefFlags()), (std::vector<int>{0, 1, 1, 1, 1}));
    // Shrinking and growing keep the entries that remain.
    device._InitValueArray(2);
    EXPECT_EQ(Items(device.RefFlags()), (std::vector<int>{0, 1, 1}));
    device._InitValueArray(4);
    EXPECT_EQ(Items(device.RefFlags()), (std::vector<int>{0, 1, 1, 0, 0}));
    EXPECT_EQ(device.CollectFlags().GetSize(), 5);
    EXPECT_EQ(device.Values().GetSize(), 5);
    EXPECT_EQ(device.Strings().GetSize(), 5);
}

TEST_F(DriverOps, ReferenceFlagsAreOneForPositiveValues)
{
    int refs[4] = {0, 2, -1, 1};
    EXPECT_EQ(device.ChannelRefChange(nullptr, 4), DEV_ERR_BADARG);
    EXPECT_EQ(device.ChannelRefChange(refs, -1), DEV_ERR_BADARG);
    EXPECT_EQ(device.ChannelRefChange(refs, 4), 0);
    EXPECT_EQ(Items(device.RefFlags()), (std::vector<int>{0, 0, 1, 0, 1}));

    // Into a caller's array too short for the count: it grows.
    CArray<int, int> out;
    EXPECT_EQ(device._InitPChanglRef(refs, 4, out), 0);
    EXPECT_EQ(Items(out), (std::vector<int>{0, 0, 1, 0, 1}));
    EXPECT_EQ(device._InitPChanglRef(nullptr, 4, out), DEV_ERR_BADARG);
    CDevCtrl bare;
    EXPECT_EQ(bare._InitPChanglRef(refs, 4, out), DEV_ERR_BADARG);
    EXPECT_EQ(bare.ChannelRefChange(refs, 4), DEV_ERR_NORTDB);
}

TEST_F(DriverOps, ParameterCallbacksReachTheDatabase)
{
    db.AddVar("I", 7);
    db.AddVar("D", 2.5);
    db.AddVar("S", "text");
    HOLN_DATA& data = device.HolnData();

    DATATYPE type = 0;
    EXPECT_EQ(data.pfnGetParamType(data, "D", type), 0);
    EXPECT_EQ(type, DATATYPE_DOUBLE);
    EXPECT_EQ(data.pfnGetParamType(data, "", type), DEV_ERR_BADARG);
    EXPECT_EQ(data.pfnGetParamType(data, "none", type), FAKE_RTDB_UNKNOWN);

    int i = 0;
    double d = 0;
    CString s;
    EXPECT_EQ(data.pfnGetParamValue(data, "I", DATATYPE_INT, &i), 0);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(data.pfnGetParamValue(data, "D", DATATYPE_DOUBLE, &d), 0);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(data.pfnGetParamValue(data, "S", DATATYPE_STRING, &s), 0);
    EXPECT_EQ(s, "text");
    // A refused string read still hands over what the database left: nothing.
    EXPECT_EQ(data.pfnGetParamValue(data, "I", DATATYPE_STRING, &s), FAKE_RTDB_MISMATCH);
    EXPECT_EQ(s, "");
    EXPECT_EQ(data.pfnGetParamValue(data, "I", 4, &i), DEV_ERR_BADARG);
    EXPECT_EQ(data.pfnGetParamValue(data, "I", DATATYPE_INT, nullptr), DEV_ERR_BADARG);
    EXPECT_EQ(data.pfnGetParamValue(data, "", DATATYPE_INT, &i), DEV_ERR_BADARG);

    int ni = -4;
    double nd = 0.25;
    CString ns = "新";
    EXPECT_EQ(data.pfnSetParamValue(data, "I", DATATYPE_INT, &ni), 0);
    EXPECT_EQ(db.IntVar("I"), -4);
    EXPECT_EQ(data.pfnSetParamValue(data, "D", DATATYPE_DOUBLE, &nd), 0);
    EXPECT_EQ(db.DoubleVar("D"), 0.25);
    EXPECT_EQ(data.pfnSetParamValue(data, "S", DATATYPE_STRING, &ns), 0);
    EXPECT_EQ(db.StrVar("S"), "新");
    EXPECT_EQ(data.pfnSetParamValue(data, "S", 0, &ns), DEV_ERR_BADARG);
    EXPECT_EQ(data.pfnSetParamValue(data, "S", DATATYPE_STRING, nullptr), DEV_ERR_BADARG);
    db.ForceResult(FAKE_RTDB_SLOT_SETINTBYNAME, 99);
    EXPECT_EQ(data.pfnSetParamValue(data, "I", DATATYPE_INT, &ni), 99);

    HOLN_DATA bare;
    EXPECT_EQ(CDevCtrl::GetParamType_Fun(bare, "I", type), DEV_ERR_RESOURCE);
    EXPECT_EQ(CDevCtrl::GetParamValue_Fun(bare, "I", DATATYPE_INT, &i), DEV_ERR_RESOURCE);
    EXPECT_EQ(CDevCtrl::SetParamValue_Fun(bare, "I", DATATYPE_INT, &ni), DEV_ERR_RESOURCE);
}
