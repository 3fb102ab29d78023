// Device initialization from configuration blobs, the device state's life,
// and the temporary states of IO-control commands.
#include <gtest/gtest.h>

#include "config/DevConst.h"
#include "driver/qdevctrl.h"
#include "protocol/DevBas.h"
#include "support/blob_builder.h"
#include "support/fake_rtdb.h"

namespace {

class DriverInit : public ::testing::Test {
protected:
    CFakeRtdb db;
    CDevCtrl device{"dev", &db};

    int Init(const CBlobBuilder& blob) { return device.InitDevice(blob.Data(), blob.Size()); }
    DEV_DATA* Dev() { return device.HolnData().pMydata; }
    std::vector<int> Props()
    {
        std::vector<int> out;
        for (int i = 0; i < Dev()->dwPropValue.GetSize(); ++i) out.push_back(Dev()->dwPropValue[i]);
        return out;
    }
    int Rows() { return Dev()->pDevTable->GetRowCount(); }
    uint32_t RowValue(int row, const CString& name) { return Dev()->pDevTable->Row(row).GetdwValue(name); }
    std::vector<unsigned int> Addresses()
    {
        std::vector<unsigned int> out;
        for (int i = 0; i < device.AddrTable().GetSize(); ++i) out.push_back(device.AddrTable()[i]);
        return out;
    }
};

const std::vector<int32_t> PROPS = {3, 500, 1, 2, 3, 1, 0, 4, 5};

}  // namespace

TEST_F(DriverInit, RefusesMissingOrNonPositiveLengths)
{
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 100)});
    EXPECT_EQ(device.InitDevice(nullptr, blob.Size()), DEV_ERR_BADARG);
    EXPECT_EQ(device.InitDevice(blob.Data(), 0), DEV_ERR_BADARG);
    EXPECT_EQ(device.InitDevice(blob.Data(), -1), DEV_ERR_BADARG);
    EXPECT_EQ(device.InitDevice(blob.Data(), -2147483647 - 1), DEV_ERR_BADARG);
    EXPECT_EQ(Dev(), nullptr);
    EXPECT_EQ(device.HolnData().pArchive, nullptr);
}

TEST_F(DriverInit, ReadsAMarkedBlob)
{
    SBlobRow text = SBlobRow::Word(14, 7, DATACODE_STR, "读写DSTR0007_10");
    text.bit = 10;
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 100, 83, "读写D0100"), SBlobRow::Bit(0, 5), text}, PROPS)), 0);
    EXPECT_EQ(Props(), std::vector<int>(PROPS.begin(), PROPS.end()));
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(RowValue(0, DEVROW_STR_CHLTYPE), 14u);
    EXPECT_EQ(RowValue(0, DEVROW_STR_CHLRWFLAG), 2u);
    EXPECT_EQ(RowValue(1, DEVROW_STR_CHLDATATYPE), 20u);
    EXPECT_EQ(RowValue(2, DEVROW_STR_CHLBIT), 10u);
    EXPECT_EQ(Dev()->pDevTable->Row(2).GetstrValue(DEVROW_STR_CHLNAME), "读写DSTR0007_10");
    EXPECT_EQ(Dev()->pDevTable->Row(0).GetstrValue(DEVROW_STR_CHLNAME), "读写D0100");
    EXPECT_EQ(Addresses(), (std::vector<unsigned int>{100, 5, 7}));
    EXPECT_EQ(device.HolnData().pArchive, nullptr);
}

TEST_F(DriverInit, StartsTheRunStateFresh)
{
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 100)}, PROPS)), 0);
    EXPECT_EQ(Dev()->nCurRank, -1);
    EXPECT_EQ(Dev()->nCurBlock, 0);
    EXPECT_EQ(Dev()->nRankNum, 0);
    EXPECT_EQ(Dev()->DynBlockArray.GetSize(), 0);
    EXPECT_EQ(Dev()->nWriteState1, -1);
    EXPECT_EQ(Dev()->nWriteState2, -1);
    EXPECT_EQ(Dev()->dwWriteTick, 0u);
    EXPECT_EQ(Dev()->nFrameSeq, 0u);
}

TEST_F(DriverInit, ReadsAnUnmarkedBlobTheSameWay)
{
    CBlobBuilder blob;
    blob.Props(PROPS).Rows({SBlobRow::Word(15, 40), SBlobRow::Word(14, 41, 85)});
    ASSERT_EQ(Init(blob), 0);
    EXPECT_EQ(Props(), std::vector<int>(PROPS.begin(), PROPS.end()));
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(RowValue(1, DEVROW_STR_CHLDATATYPE), 85u);
    EXPECT_EQ(Addresses(), (std::vector<unsigned int>{40, 41}));
}

TEST_F(DriverInit, NewerFormatIsNotReadButStillSucceeds)
{
    CBlobBuilder blob;
    blob.Marker(21000).Props(PROPS).Rows({SBlobRow::Word(14, 100)});
    ASSERT_EQ(Init(blob), 0);
    EXPECT_EQ(Props(), std::vector<int>(9, 0));
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Addresses().empty());
}

TEST_F(DriverInit, KeepsEveryPropertyTheBlobCarries)
{
    std::vector<int32_t> twelve = PROPS;
    twelve.insert(twelve.end(), {10, 11, 12});
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 9)}, twelve)), 0);
    EXPECT_EQ(Props(), std::vector<int>(twelve.begin(), twelve.end()));
    EXPECT_EQ(Rows(), 1);
}

TEST_F(DriverInit, PropertiesTheBlobLacksReadZero)
{
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 9)}, {7, 250, 1})), 0);
    EXPECT_EQ(Dev()->dwPropValue.GetSize(), 3);
    EXPECT_EQ(DevPropValue(device.HolnData(), DEVPROP_WAITTIME), 250);
    EXPECT_EQ(DevPropValue(device.HolnData(), DEVPROP_ORDERDOUBLE), 0);
    EXPECT_EQ(DevPropValue(device.HolnData(), -1), 0);
    EXPECT_EQ(Rows(), 1);
}

TEST_F(DriverInit, HugePropertyCountAllocatesOnlyWhatTheBytesHold)
{
    CBlobBuilder blob;
    blob.Marker().I32(0x7FFFFFFF).I32(11).I32(22).I32(33);
    ASSERT_EQ(Init(blob), 0);
    int size = Dev()->dwPropValue.GetSize();
    // Bounded by the archive's bytes (blob plus its zero reserve), 4 per value.
    EXPECT_GE(size, 3);
    EXPECT_LE(size, (blob.Size() + ARCHIVE_GROW_STEP) / 4);
    EXPECT_EQ(Props()[0], 11);
    EXPECT_EQ(Props()[2], 33);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(DriverInit, NegativePropertyCountReadsNoneAndGoesOn)
{
    CBlobBuilder blob;
    blob.Marker().I32(-5).Rows({SBlobRow::Word(14, 300), SBlobRow::Word(14, 301)});
    ASSERT_EQ(Init(blob), 0);
    EXPECT_EQ(Dev()->dwPropValue.GetSize(), 0);
    EXPECT_EQ(DevPropValue(device.HolnData(), DEVPROP_STATION), 0);
    EXPECT_EQ(Addresses(), (std::vector<unsigned int>{300, 301}));
}

TEST_F(DriverInit, TruncatedAndTinyBlobsNeverFail)
{
    CBlobBuilder whole = DeviceBlob({SBlobRow::Word(14, 100, 83, "name"), SBlobRow::Word(14, 200)}, PROPS);
    for (int cut = 1; cut < whole.Size(); cut += 3) {
        CFakeRtdb localDb;
        CDevCtrl local("dev", &localDb);
        ASSERT_EQ(local.InitDevice(whole.Data(), cut), 0) << cut;
        ASSERT_NE(local.HolnData().pMydata, nullptr);
        EXPECT_LE(local.HolnData().pMydata->pDevTable->GetRowCount(), 2) << cut;
        EXPECT_EQ(local.CleanupDevice(), 0);
    }
}

TEST_F(DriverInit, SecondInitKeepsTheFirstStateAndRefreshesAddresses)
{
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 100), SBlobRow::Word(14, 101)}, PROPS)), 0);
    DEV_DATA* first = Dev();
    Dev()->pDevTable->Row(1).SetdwValue(DEVROW_STR_CHLADDRESS, 555);

    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(15, 1)}, {9, 9, 9, 9, 9, 9, 9, 9, 9})), 0);
    EXPECT_EQ(Dev(), first);
    EXPECT_EQ(Props(), std::vector<int>(PROPS.begin(), PROPS.end()));
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Addresses(), (std::vector<unsigned int>{100, 555}));
}

TEST_F(DriverInit, CleanupThenInitReadsAnew)
{
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 100)}, PROPS)), 0);
    EXPECT_EQ(device.CleanupDevice(), 0);
    EXPECT_EQ(Dev(), nullptr);
    ASSERT_EQ(Init(DeviceBlob({SBlobRow::Word(14, 7), SBlobRow::Word(14, 8)}, {1, 2, 3, 4, 5, 6, 7, 8, 9})), 0);
    EXPECT_EQ(Props(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(Addresses(), (std::vector<unsigned int>{7, 8}));
}

TEST_F(DriverInit, TableWithoutRowsLeavesTheAddressTable)
{
    ASSERT_EQ(Init(DeviceBlob({}, PROPS)), 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Addresses().empty());

    // A filled table stays when a later table is empty.
    CDevCtrl other("dev", &db);
    CBlobBuilder rows = DeviceBlob({SBlobRow::Word(14, 4)});
    ASSERT_EQ(other.InitDevice(rows.Data(), rows.Size()), 0);
    other.HolnData().pMydata->pDevTable->DelTable();
    ASSERT_EQ(other.InitDevice(rows.Data(), rows.Size()), 0);
    ASSERT_EQ(other.AddrTable().GetSize(), 1);
    EXPECT_EQ(other.AddrTable()[0], 4u);
}

TEST(DriverState, SchemaInstallerGivesTheEightRowProperties)
{
    EXPECT_EQ(CDevBas::mfInitBlockAndRow(), 1);
    EXPECT_EQ(CDevRow::GetPropertyNum(), 8u);
    EXPECT_EQ(CDevRow::GetIndexFromName(DEVROW_STR_CHLADDRESS), 2);
    EXPECT_EQ(CDevRow::GetIndexFromName("通道名称"), 7);
    CDevRow a, b;
    a.SetdwValue(DEVROW_STR_CHLADDRESS, 1);
    b.SetdwValue(DEVROW_STR_CHLADDRESS, 2);
    EXPECT_TRUE(a < b);
}

TEST(DriverState, CheckWithoutArchiveMakesAnEmptyState)
{
    CDevBas::mfInitBlockAndRow();
    HOLN_DATA data;
    CDevBas::mfCheckDevDataInit(data);
    ASSERT_NE(data.pMydata, nullptr);
    EXPECT_EQ(data.pMydata->dwPropValue.GetSize(), 9);
    EXPECT_EQ(data.pMydata->pDevTable->GetRowCount(), 0);
    EXPECT_EQ(data.pMydata->nCurRank, -1);
    EXPECT_EQ(CDevBas::mfDeleteMydata(data, nullptr), 1);
    EXPECT_EQ(data.pMydata, nullptr);
}

TEST(DriverState, CommandStateSharesTheDeviceButNotItsTable)
{
    CFakeRtdb db;
    CDevCtrl device("dev", &db);
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 100), SBlobRow::Word(14, 101)}, PROPS);
    ASSERT_EQ(device.InitDevice(blob.Data(), blob.Size()), 0);
    HOLN_DATA& source = device.HolnData();
    source.nCommType = 2;
    source.nReserved1 = 5;
    source.pMydata->nKeepValue = 7;
    source.pMydata->nWriteState1 = 3;
    source.pMydata->nWriteState2 = 4;
    source.pMydata->dwWriteTick = 99;
    source.pMydata->nFrameSeq = 55;

    HOLN_DATA copy;
    CDevBas::mfCreateMydata(source, copy);
    EXPECT_EQ(copy.strDevName, "dev");
    EXPECT_EQ(copy.pRtdb, source.pRtdb);
    EXPECT_EQ(copy.pComm, source.pComm);
    EXPECT_EQ(copy.nCommType, 2);
    EXPECT_EQ(copy.nReserved1, 5);
    EXPECT_EQ(copy.pfnSetParamValue, source.pfnSetParamValue);
    ASSERT_NE(copy.pMydata, nullptr);
    ASSERT_NE(copy.pMydata, source.pMydata);
    DEV_DATA& temp = *copy.pMydata;
    ASSERT_EQ(temp.dwPropValue.GetSize(), 9);
    EXPECT_EQ(temp.dwPropValue[1], 500);
    EXPECT_EQ(temp.nFrameSeq, 0u);
    EXPECT_EQ(temp.nCurRank, 0);
    EXPECT_EQ(temp.nKeepValue, 7);
    EXPECT_EQ(temp.nWriteState1, 3);
    EXPECT_EQ(temp.nWriteState2, 4);
    EXPECT_EQ(temp.dwWriteTick, 99u);
    ASSERT_NE(temp.pDevTable, source.pMydata->pDevTable);
    EXPECT_EQ(temp.pDevTable->GetRowCount(), 0);

    // The temporary state hands its write state back, nothing else.
    temp.nWriteState1 = -1;
    temp.dwWriteTick = 0;
    temp.nFrameSeq = 9;
    temp.dwPropValue[1] = 1;
    EXPECT_EQ(CDevBas::mfDeleteMydata(copy, source.pMydata), 1);
    EXPECT_EQ(copy.pMydata, nullptr);
    EXPECT_EQ(source.pMydata->nWriteState1, -1);
    EXPECT_EQ(source.pMydata->dwWriteTick, 0u);
    EXPECT_EQ(source.pMydata->nWriteState2, 4);
    EXPECT_EQ(source.pMydata->nFrameSeq, 55u);
    EXPECT_EQ(source.pMydata->dwPropValue[1], 500);
    EXPECT_EQ(source.pMydata->pDevTable->GetRowCount(), 2);
}

TEST(DriverState, DeleteWithoutStateLeavesTheSaveTarget)
{
    HOLN_DATA empty;
    DEV_DATA target;
    target.nKeepValue = 12;
    target.nWriteState1 = 13;
    target.dwWriteTick = 14;
    EXPECT_EQ(CDevBas::mfDeleteMydata(empty, &target), 1);
    EXPECT_EQ(target.nKeepValue, 12);
    EXPECT_EQ(target.nWriteState1, 13);
    EXPECT_EQ(target.nWriteState2, -1);
    EXPECT_EQ(target.dwWriteTick, 14u);
}

TEST(DriverState, CommandStateFromADeviceWithoutData)
{
    CDevBas::mfInitBlockAndRow();
    HOLN_DATA source, copy;
    source.strDevName = "x";
    CDevBas::mfCreateMydata(source, copy);
    ASSERT_NE(copy.pMydata, nullptr);
    EXPECT_EQ(copy.pMydata->dwPropValue.GetSize(), 0);
    EXPECT_EQ(copy.pMydata->nWriteState1, -1);
    EXPECT_EQ(copy.strDevName, "x");
    // Making a state again over an existing one releases the old one.
    uint32_t rows = CDevRow::GetRowNum();
    CDevRow row;
    CArray<CDevRow, CDevRow&> extra;
    extra.Add(row);
    copy.pMydata->pDevTable->AddRows(extra, 0);
    CDevBas::mfCreateMydata(source, copy);
    EXPECT_EQ(copy.pMydata->pDevTable->GetRowCount(), 0);
    EXPECT_EQ(CDevRow::GetRowNum(), rows + 2);  // row and extra's copy; the table's is gone
    CDevBas::mfDeleteMydata(copy, nullptr);
}
