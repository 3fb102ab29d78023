// Run-time address changes: offsets from the configured address, refusals
// that leave the row as it was, and their effect on the next write.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "driver/qdevctrl.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

namespace {

const uint32_t D = 14;

class WriteAddressTest : public ::testing::Test {
protected:
    void Ready(const std::vector<SBlobRow>& rows)
    {
        device.UpdataCommunication(&plc);
        CBlobBuilder blob = DeviceBlob(rows, {1, 0, 0, 0, 0, 0, 0, 0, 0});
        ASSERT_EQ(device.InitDevice(blob.Data(), blob.Size()), 0);
    }
    uint32_t Address(int row)
    {
        return device.HolnData().pMydata->pDevTable->Row(row).GetdwValue(DEVROW_STR_CHLADDRESS);
    }
    std::vector<uint32_t> Addresses()
    {
        std::vector<uint32_t> out;
        for (int i = 0; i < device.HolnData().pMydata->pDevTable->GetRowCount(); ++i) out.push_back(Address(i));
        return out;
    }

    CFakeRtdb db;
    CFakePlc plc;
    CDevCtrl device{"dev", &db};
};

}  // namespace

TEST_F(WriteAddressTest, OffsetsMeasureFromTheConfiguredAddress)
{
    Ready({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1), SBlobRow::Word(D, 2), SBlobRow::Word(D, 15)});
    EXPECT_EQ(device.SetChannelAddress(3, 10), 0);
    EXPECT_EQ(device.SetChannelAddress(3, 10), 0);
    EXPECT_EQ(Address(3), 25u);
    EXPECT_EQ(device.SetChannelAddress(3, -15), 0);
    EXPECT_EQ(Address(3), 0u);
    EXPECT_EQ(device.SetChannelAddress(3, 0), 0);
    EXPECT_EQ(Address(3), 15u);
}

TEST_F(WriteAddressTest, NegativeOrTooWideAddressesChangeNothing)
{
    Ready({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1), SBlobRow::Word(D, 2), SBlobRow::Word(D, 15)});
    EXPECT_EQ(device.SetChannelAddress(3, -20), 0);
    EXPECT_EQ(Address(3), 15u);
    EXPECT_EQ(device.SetChannelAddress(3, 0xFFFFFF - 15), 0);
    EXPECT_EQ(Address(3), 0xFFFFFFu);
    EXPECT_EQ(device.SetChannelAddress(3, 0xFFFFFF - 14), 0);
    EXPECT_EQ(Address(3), 0xFFFFFFu);
    EXPECT_EQ(device.SetChannelAddress(3, 0x7FFFFFFF), 0);
    EXPECT_EQ(Address(3), 0xFFFFFFu);
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{0, 1, 2, 0xFFFFFF}));
}

TEST_F(WriteAddressTest, ChannelsOutsideTheTableAreRefused)
{
    EXPECT_EQ(device.SetChannelAddress(0, 1), DEV_ERR_BADARG);  // before InitDevice
    Ready({SBlobRow::Word(D, 100), SBlobRow::Word(D, 200)});
    EXPECT_EQ(device.SetChannelAddress(-1, 1), DEV_ERR_BADARG);
    EXPECT_EQ(device.SetChannelAddress(2, 1), DEV_ERR_BADARG);
    EXPECT_EQ(device.SetChannelAddress(0x7FFFFFFF, 1), DEV_ERR_BADARG);
    EXPECT_EQ(Addresses(), (std::vector<uint32_t>{100, 200}));
    device.CleanupDevice();
    EXPECT_EQ(device.SetChannelAddress(0, 1), DEV_ERR_BADARG);
}

TEST_F(WriteAddressTest, EmptyTableHasNothingToMove)
{
    Ready({});
    EXPECT_EQ(device.SetChannelAddress(3, 10), 0);
    EXPECT_EQ(device.SetChannelAddress(0, 1), 0);
}

TEST_F(WriteAddressTest, WritesGoToTheMovedAddressAndNothingStaysPending)
{
    Ready({SBlobRow::Word(D, 100, 83)});
    ASSERT_EQ(device.SetChannelAddress(0, 5), 0);
    int value = 7;
    // A change left pending would refuse the write with -10.
    EXPECT_EQ(device.WriteChannel(0, DATATYPE_INT, &value), 0);
    EXPECT_EQ(plc.LastRequest().address, 105u);
    EXPECT_EQ(plc.Word(D, 105), 7);
    // The configured address stays the base of every later change.
    EXPECT_EQ(device.AddrTable()[0], 100u);
}
