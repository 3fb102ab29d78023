// Channel writes from the runtime, seen from outside the device object: the
// bytes on the wire, the runtime value checks, the acceptance of the reply
// and the refusals before anything is sent.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "driver/qdevctrl.h"
#include "protocol/DevBas.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

namespace {

using Bytes = FakeComm::Bytes;
const uint32_t M = 0, D = 14;

// Station 1, no wait for silence, strings as ASCII in byte order "12".
std::vector<int32_t> Props(int station = 1)
{
    return {station, 0, 0, 0, 0, 0, 1, 0, 0};
}

SBlobRow StringRow(uint32_t address, uint32_t length)
{
    SBlobRow row = SBlobRow::Word(D, address, DATACODE_STR);
    row.bit = length;
    return row;
}

SBlobRow RegisterBit(uint32_t address, uint32_t bit)
{
    return SBlobRow::Word(D, address, bit);
}

class WriteChannelTest : public ::testing::Test {
protected:
    void Ready(const std::vector<SBlobRow>& rows, const std::vector<int32_t>& props = Props())
    {
        device.UpdataCommunication(&plc);
        CBlobBuilder blob = DeviceBlob(rows, props);
        ASSERT_EQ(device.InitDevice(blob.Data(), blob.Size()), 0);
    }
    int Write(int channel, int value) { return device.WriteChannel(channel, DATATYPE_INT, &value); }
    int Write(int channel, double value) { return device.WriteChannel(channel, DATATYPE_DOUBLE, &value); }
    int Write(int channel, const char* text)
    {
        return device.WriteChannel(channel, DATATYPE_STRING, const_cast<char*>(text));
    }
    DEV_DATA& Dev() { return *device.HolnData().pMydata; }
    const Bytes& Sent() { return plc.LastRequest().bytes; }

    CFakeRtdb db;
    CFakePlc plc;
    CDevCtrl device{"dev", &db};
};

}  // namespace

TEST_F(WriteChannelTest, BitAreaChannelAsTheFirstTransaction)
{
    Ready({SBlobRow::Bit(M, 5)});
    EXPECT_EQ(Write(0, 1), 0);
    EXPECT_EQ(Sent(),
              (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x01, 0x1F, 0x03, 0x00, 0x00, 0x05, 0x00, 0x01, 0x01, 0x01}));
    EXPECT_TRUE(plc.Bit(M, 5));
    EXPECT_EQ(Write(0, 0.4), 0);
    EXPECT_EQ(Sent().size(), 16u);
    EXPECT_EQ(Sent().back(), 0x00);
    EXPECT_FALSE(plc.Bit(M, 5));
    EXPECT_EQ(plc.RequestCount(), 2u);
}

TEST_F(WriteChannelTest, SixteenBitChannelAsTheFirstTransaction)
{
    Ready({SBlobRow::Word(D, 100, 83)});
    EXPECT_EQ(Write(0, 4660), 0);
    EXPECT_EQ(Sent(), (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x0B, 0x01, 0x21, 0x80, 0x00, 0x00, 0x64, 0x00, 0x01, 0x02,
                             0x12, 0x34}));
    EXPECT_EQ(plc.Word(D, 100), 0x1234);
}

TEST_F(WriteChannelTest, SixteenBitChannelWithSwappedBytes)
{
    std::vector<int32_t> props = Props();
    props[DEVPROP_ORDER16] = 1;
    Ready({SBlobRow::Word(D, 100, 83)}, props);
    EXPECT_EQ(Write(0, 4660.0), 0);
    EXPECT_EQ(plc.LastRequest().data, (Bytes{0x34, 0x12}));
}

TEST_F(WriteChannelTest, FloatAndSixtyFourBitChannels)
{
    std::vector<int32_t> props = Props();
    props[DEVPROP_ORDERFLOAT] = 3;
    Ready({SBlobRow::Word(D, 0, 89), SBlobRow::Word(D, 10, 91)}, props);
    EXPECT_EQ(Write(0, 1.0), 0);
    EXPECT_EQ(plc.LastRequest().count, 2);
    EXPECT_EQ(plc.LastRequest().byteCount, 4);
    EXPECT_EQ(plc.LastRequest().data, (Bytes{0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(Write(1, -2), 0);
    EXPECT_EQ(plc.LastRequest().count, 4);
    EXPECT_EQ(plc.LastRequest().byteCount, 8);
    EXPECT_EQ(plc.LastRequest().data, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
}

TEST_F(WriteChannelTest, BitOfARegisterIsReadBackFirst)
{
    Ready({RegisterBit(7, 3)});
    plc.SetWord(D, 7, 0x00F0);
    EXPECT_EQ(Write(0, 1), 0);
    ASSERT_EQ(plc.RequestCount(), 2u);
    EXPECT_EQ(plc.Requests()[0].function, DEV_FUNC_READWORD);
    EXPECT_EQ(plc.Requests()[0].count, 1);
    EXPECT_EQ(plc.Requests()[1].count, 1);
    EXPECT_EQ(plc.Requests()[1].byteCount, 2);
    EXPECT_EQ(plc.Requests()[1].data, (Bytes{0x00, 0xF8}));
    EXPECT_EQ(Write(0, 0), 0);
    EXPECT_EQ(plc.Word(D, 7), 0x00F0);
}

TEST_F(WriteChannelTest, ShortReadBackLeavesTheRegisterAlone)
{
    Ready({RegisterBit(7, 3)});
    plc.SetWord(D, 7, 0x00F0);
    plc.AnswerShort(10);  // one byte of the register is missing
    EXPECT_EQ(Write(0, 1), 4);
    EXPECT_EQ(plc.RequestCount(), 1u);
    EXPECT_EQ(plc.Word(D, 7), 0x00F0);
}

TEST_F(WriteChannelTest, StringChannelWritesItsEvenLength)
{
    Ready({StringRow(300, 5)});
    EXPECT_EQ(Write(0, "HELLO"), 0);
    EXPECT_EQ(plc.LastRequest().function, DEV_FUNC_WRITEWORD);
    EXPECT_EQ(plc.LastRequest().count, 2);
    EXPECT_EQ(plc.LastRequest().byteCount, 4);
    EXPECT_EQ(plc.LastRequest().data, (Bytes{'H', 'E', 'L', 'L'}));
    EXPECT_EQ(Write(0, ""), 0);
    EXPECT_EQ(plc.LastRequest().data, (Bytes{0, 0, 0, 0}));
}

TEST_F(WriteChannelTest, StationGoesIntoEveryFrame)
{
    Ready({RegisterBit(0, 1), SBlobRow::Bit(M, 0), StringRow(10, 2)}, Props(10));
    EXPECT_EQ(Write(0, 1), 0);
    EXPECT_EQ(Write(1, 1), 0);
    EXPECT_EQ(Write(2, "ab"), 0);
    ASSERT_EQ(plc.RequestCount(), 4u);
    for (const SPlcRequest& r : plc.Requests()) EXPECT_EQ(r.station, 0x0A);
}

TEST_F(WriteChannelTest, OnlyAFourteenByteReplyCounts)
{
    Ready({SBlobRow::Word(D, 0, 83)});
    Dev().nWriteState1 = 3;
    Dev().nWriteState2 = 4;
    Dev().dwWriteTick = 9;
    // A written value leaves the write state as it is.
    EXPECT_EQ(Write(0, 1), 0);
    EXPECT_EQ(Dev().nWriteState1, 3);
    EXPECT_EQ(Dev().nWriteState2, 4);
    EXPECT_EQ(Dev().dwWriteTick, 9u);
    plc.AnswerShort(9);
    EXPECT_EQ(Write(0, 1), 4);
    EXPECT_EQ(Dev().nWriteState1, -1);
    EXPECT_EQ(Dev().nWriteState2, -1);
    EXPECT_EQ(Dev().dwWriteTick, 0u);
    Dev().nWriteState1 = 3;
    plc.AnswerException(0x02);
    EXPECT_EQ(Write(0, 1), 4);
    EXPECT_EQ(Dev().nWriteState1, -1);
    // Neither a short reply nor an exception is tried again.
    EXPECT_EQ(plc.RequestCount(), 3u);
}

TEST_F(WriteChannelTest, SilentControllerGetsThreeTriesOfOneTransaction)
{
    Ready({SBlobRow::Word(D, 0, 83)});
    plc.StaySilent(3);
    EXPECT_EQ(Write(0, 1), 4);
    ASSERT_EQ(plc.RequestCount(), 3u);
    for (const SPlcRequest& r : plc.Requests()) EXPECT_EQ(r.bytes, plc.Requests()[0].bytes);
    EXPECT_EQ(plc.Requests()[0].transaction, 1);
    // The next write is a new transaction.
    EXPECT_EQ(Write(0, 1), 0);
    EXPECT_EQ(plc.LastRequest().transaction, 2);
}

TEST_F(WriteChannelTest, RowsThatCannotBeWrittenAreRefusedBeforeSending)
{
    SBlobRow readOnly = SBlobRow::Word(D, 0, 83);
    readOnly.rwFlag = 0;
    SBlobRow badArea = SBlobRow::Word(29, 0, 83);
    Ready({readOnly, badArea, SBlobRow::Word(D, 1, 50), StringRow(0, 300), SBlobRow::Word(D, 0x1000000, 83)});
    EXPECT_EQ(Write(0, 1), 5);
    EXPECT_EQ(Write(1, 1), 5);
    EXPECT_EQ(Write(5, 1), 5);  // beyond the table
    EXPECT_EQ(Write(2, 1), 4);  // a data type no word area writes
    EXPECT_EQ(Write(3, "text"), 4);
    EXPECT_EQ(Write(4, 1), 4);
    EXPECT_EQ(plc.RequestCount(), 0u);
}

TEST_F(WriteChannelTest, StationOutsideItsByteIsRefused)
{
    Ready({SBlobRow::Word(D, 0, 83)}, Props(300));
    EXPECT_EQ(Write(0, 1), 4);
    EXPECT_EQ(plc.RequestCount(), 0u);
}

TEST_F(WriteChannelTest, RuntimeValueMustFitTheRow)
{
    Ready({SBlobRow::Word(D, 0, 83), StringRow(10, 4)});
    EXPECT_EQ(Write(0, "12"), 5);
    EXPECT_EQ(Write(1, 12), 5);
    EXPECT_EQ(Write(1, 12.0), 5);
    int value = 1;
    EXPECT_EQ(device.WriteChannel(0, 0, &value), 5);
    EXPECT_EQ(device.WriteChannel(0, 4, &value), 5);
    EXPECT_EQ(plc.RequestCount(), 0u);
    EXPECT_EQ(plc.Word(D, 0), 0);
}

TEST_F(WriteChannelTest, NoDeviceDataBeforeInitOrAfterCleanup)
{
    int value = 1;
    device.UpdataCommunication(&plc);
    EXPECT_EQ(device.WriteChannel(0, DATATYPE_INT, &value), DEV_ERR_BADARG);
    Ready({SBlobRow::Word(D, 0, 83)});
    EXPECT_EQ(device.WriteChannel(0, DATATYPE_INT, &value), 0);
    device.CleanupDevice();
    EXPECT_EQ(device.WriteChannel(0, DATATYPE_INT, &value), DEV_ERR_BADARG);
    EXPECT_EQ(plc.RequestCount(), 1u);
}

TEST_F(WriteChannelTest, ExportedFactoryDeviceWrites)
{
    IDeviceCtrl* object = CreateDeviceCtrl("dev2", &db);
    ASSERT_NE(object, nullptr);
    object->UpdataCommunication(&plc);
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(D, 40, 84)}, Props());
    ASSERT_EQ(object->InitDevice(blob.Data(), blob.Size()), 0);
    int value = -2;
    EXPECT_EQ(object->WriteChannel(0, DATATYPE_INT, &value), 0);
    EXPECT_EQ(plc.Word(D, 40), 0xFFFE);
    EXPECT_EQ(plc.DevNames().back(), "dev2");
    object->CleanupDevice();
    DestroyDeviceCtrl(object);
}
