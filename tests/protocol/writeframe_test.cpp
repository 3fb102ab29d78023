// Write frames of planned blocks and single rows: the request bytes of every
// kind of row and byte order, the read-back of bits inside registers, the
// rows and fields a request cannot express, and the judgement of the reply.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "support/fake_plc.h"
#include "support/schema.h"

namespace {

const uint32_t M = 0, D = 14;
using Bytes = FakeComm::Bytes;

class WriteFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallRowSchema();
        dev = new DEV_DATA;
        dev->pDevTable = new CDevTable;
        dev->dwPropValue.SetSize(9);
        dev->dwPropValue[DEVPROP_STATION] = 1;
        dev->dwPropValue[DEVPROP_WAITTIME] = 0;  // silence ends an attempt at once
        dev->dwPropValue[DEVPROP_STRORDER] = 1;  // string bytes as they are
        data.pMydata = dev;
        data.pComm = &plc;
    }
    void TearDown() override
    {
        delete dev->pDevTable;
        delete dev;
    }

    int AddRow(uint32_t area, uint32_t address, uint32_t code, uint32_t bit = 0)
    {
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, 2);
        row.SetdwValueAt(DEVROW_IDX_TYPE, area);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
        row.SetdwValueAt(DEVROW_IDX_BIT, bit);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, code);
        CArray<CDevRow, CDevRow&> rows;
        rows.Add(row);
        dev->pDevTable->AddRows(rows, 0);
        return dev->pDevTable->GetRowCount() - 1;
    }
    // Consecutive bits of registers from bit `bit` of D`address` on.
    void AddRegisterBits(uint32_t address, uint32_t bit, int count)
    {
        for (int k = 0; k < count; ++k) {
            uint32_t offset = bit + static_cast<uint32_t>(k);
            AddRow(D, address + offset / 16, offset % 16);
        }
    }
    int Block(int start, int end)
    {
        DynBlock block;
        block.nStartRow = start;
        block.nEndRow = end;
        block.nChlType = static_cast<int>(dev->pDevTable->Row(start).GetdwValueAt(DEVROW_IDX_TYPE));
        block.nRank = dev->DynBlockArray.GetSize();
        dev->DynBlockArray.Add(block);
        return block.nRank;
    }
    void Values(const std::vector<double>& rowValues)
    {
        int n = dev->pDevTable->GetRowCount() + 1;
        flags.SetSize(n);
        values.SetSize(n);
        strings.SetSize(n);
        for (size_t i = 0; i < rowValues.size(); ++i) values[static_cast<int>(i) + 1] = rowValues[i];
    }
    int WriteBlock(int block) { return CDevBas::mfWriteBlockToDev(data, flags, values, strings, block, 1); }
    int WriteRow(int row) { return CDevBas::mfWriteBlockToDev(data, flags, values, strings, row, 0); }
    const Bytes& Data() { return plc.LastRequest().data; }

    CFakePlc plc;
    DEV_DATA* dev = nullptr;
    HOLN_DATA data;
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
};

// --- bit areas

TEST_F(WriteFrameTest, PackedBitsOfABlockFillBytesLeastSignificantFirst)
{
    for (uint32_t a = 0; a < 10; ++a) AddRow(M, 20 + a, DATACODE_BITAREA);
    Values({1, 0, 1, 0, 0, 0, 0, 1, 0, 1});
    ASSERT_EQ(WriteBlock(Block(0, 9)), 14);
    const SPlcRequest& r = plc.LastRequest();
    EXPECT_EQ(r.function, DEV_FUNC_WRITEBIT);
    EXPECT_EQ(r.address, 20u);
    EXPECT_EQ(r.count, 10);
    EXPECT_EQ(r.byteCount, 2);
    EXPECT_EQ(r.data, (Bytes{0x85, 0x02}));
    EXPECT_EQ(r.length, 9 + 2);
    EXPECT_TRUE(plc.Bit(M, 27));
    EXPECT_FALSE(plc.Bit(M, 28));
    EXPECT_TRUE(plc.Bit(M, 29));
}

TEST_F(WriteFrameTest, ValuesRoundHalfAwayFromZeroBeforeTheyBecomeBits)
{
    for (uint32_t a = 0; a < 4; ++a) AddRow(M, a, DATACODE_BITAREA);
    Values({0.4, 0.5, -0.5, -0.4});
    ASSERT_EQ(WriteBlock(Block(0, 3)), 14);
    EXPECT_EQ(Data(), (Bytes{0x06}));
}

// --- numeric rows and byte orders

TEST_F(WriteFrameTest, SixteenBitRowsFollowTheOrderOption)
{
    AddRow(D, 100, 83);
    AddRow(D, 101, 84);
    AddRow(D, 102, 85);
    Values({4660, -2, 1234});
    ASSERT_EQ(WriteBlock(Block(0, 2)), 14);
    EXPECT_EQ(plc.LastRequest().count, 3);
    EXPECT_EQ(Data(), (Bytes{0x12, 0x34, 0xFF, 0xFE, 0x12, 0x34}));

    dev->dwPropValue[DEVPROP_ORDER16] = 1;
    ASSERT_EQ(WriteBlock(0), 14);
    EXPECT_EQ(Data(), (Bytes{0x34, 0x12, 0xFE, 0xFF, 0x34, 0x12}));

    // An option the codec does not know writes the plain order.
    dev->dwPropValue[DEVPROP_ORDER16] = 7;
    ASSERT_EQ(WriteBlock(0), 14);
    EXPECT_EQ(Data(), (Bytes{0x12, 0x34, 0xFF, 0xFE, 0x12, 0x34}));
}

TEST_F(WriteFrameTest, ThirtyTwoBitLayoutsOfIntegersAndFloats)
{
    AddRow(D, 0, 86);  // DUB
    AddRow(D, 2, 89);  // DF
    Values({0x01020304, 1.0});
    const std::vector<Bytes> ints = {{1, 2, 3, 4}, {2, 1, 4, 3}, {3, 4, 1, 2}, {4, 3, 2, 1}, {1, 2, 3, 4}};
    const std::vector<Bytes> floats = {
        {0x3F, 0x80, 0, 0}, {0x80, 0x3F, 0, 0}, {0, 0, 0x3F, 0x80}, {0, 0, 0x80, 0x3F}, {0x3F, 0x80, 0, 0}};
    const int options[] = {0, 1, 2, 3, 9};
    Block(0, 1);
    for (int k = 0; k < 5; ++k) {
        dev->dwPropValue[DEVPROP_ORDER32] = options[k];
        dev->dwPropValue[DEVPROP_ORDERFLOAT] = options[(k + 3) % 5];
        ASSERT_EQ(WriteBlock(0), 14);
        EXPECT_EQ(plc.LastRequest().count, 4);
        EXPECT_EQ(plc.LastRequest().byteCount, 8);
        Bytes want = ints[k];
        want.insert(want.end(), floats[(k + 3) % 5].begin(), floats[(k + 3) % 5].end());
        EXPECT_EQ(Data(), want) << "option " << options[k];
    }
}

TEST_F(WriteFrameTest, SixtyFourBitWriteLayouts)
{
    AddRow(D, 0, 90);  // LUB
    AddRow(D, 4, 93);  // LF
    // Below 2^53, so the double holds every bit: canonical bytes 00 11 22 ... 77.
    Values({static_cast<double>(0x0011223344556677ull), 1.0});
    // Wire order of the canonical bytes B1..B8 per option; options 0, 3, 4 and 7
    // differ from the read direction.
    const std::vector<std::vector<int>> layouts = {
        {1, 2, 3, 4, 5, 6, 7, 8}, {2, 1, 4, 3, 6, 5, 8, 7}, {3, 4, 1, 2, 7, 8, 5, 6},
        {4, 3, 2, 1, 8, 7, 6, 5}, {5, 6, 7, 8, 1, 2, 3, 4}, {6, 5, 8, 7, 2, 1, 4, 3},
        {7, 8, 5, 6, 3, 4, 1, 2}, {8, 7, 6, 5, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 6, 7, 8}};
    const Bytes one = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
    Block(0, 1);
    for (int option = 0; option < 9; ++option) {
        dev->dwPropValue[DEVPROP_ORDER64] = option == 8 ? -1 : option;
        dev->dwPropValue[DEVPROP_ORDERDOUBLE] = option == 8 ? 12 : option;
        ASSERT_EQ(WriteBlock(0), 14);
        EXPECT_EQ(plc.LastRequest().count, 8);
        EXPECT_EQ(plc.LastRequest().byteCount, 16);
        Bytes want;
        for (int b : layouts[option]) want.push_back(static_cast<uint8_t>(0x11 * (b - 1)));
        for (int b : layouts[option]) want.push_back(one[b - 1]);
        EXPECT_EQ(Data(), want) << "option " << option;
    }
}

// --- bits of registers

TEST_F(WriteFrameTest, BitsAcrossTwoRegistersKeepTheBitsNotNamed)
{
    plc.SetWords(D, 100, {0x1234, 0xABCD});
    AddRegisterBits(100, 14, 4);  // D100.14, D100.15, D101.00, D101.01
    Values({1, 0, 0, 1});
    ASSERT_EQ(WriteBlock(Block(0, 3)), 14);
    ASSERT_EQ(plc.RequestCount(), 2u);
    const SPlcRequest& read = plc.Requests()[0];
    EXPECT_EQ(read.function, DEV_FUNC_READWORD);
    EXPECT_EQ(read.address, 100u);
    EXPECT_EQ(read.count, 2);
    const SPlcRequest& write = plc.Requests()[1];
    EXPECT_EQ(write.count, 2);
    EXPECT_EQ(write.byteCount, 4);
    EXPECT_EQ(write.data, (Bytes{0x52, 0x34, 0xAB, 0xCE}));
    EXPECT_EQ(plc.Word(D, 100), 0x5234);
    EXPECT_EQ(plc.Word(D, 101), 0xABCE);
}

TEST_F(WriteFrameTest, RegistersBetweenTheFirstAndTheLastComeFromTheRows)
{
    plc.SetWords(D, 10, {0xFFFF, 0x5555, 0xFFFF});
    AddRegisterBits(10, 12, 24);  // D10.12 .. D12.03
    std::vector<double> v(24, 0.0);
    v[4] = 1;   // D11.00
    v[19] = 1;  // D11.15
    Values(v);
    ASSERT_EQ(WriteBlock(Block(0, 23)), 14);
    EXPECT_EQ(plc.Requests()[0].count, 3);
    EXPECT_EQ(plc.Word(D, 10), 0x0FFF);
    EXPECT_EQ(plc.Word(D, 11), 0x8001);
    EXPECT_EQ(plc.Word(D, 12), 0xFFF0);
}

TEST_F(WriteFrameTest, SwappedRegistersAreReadAndWrittenSwapped)
{
    dev->dwPropValue[DEVPROP_ORDER16] = 1;
    plc.SetWord(D, 5, 0xF000);  // holds 0x00F0 in the device's order
    AddRow(D, 5, 3);
    Values({1});
    ASSERT_EQ(WriteRow(0), 14);
    EXPECT_EQ(plc.LastRequest().data, (Bytes{0xF8, 0x00}));
}

TEST_F(WriteFrameTest, ShortOrForeignReadBackWritesNothing)
{
    plc.SetWords(D, 100, {0x1234, 0xABCD});
    AddRegisterBits(100, 14, 4);
    Values({1, 1, 1, 1});
    const int block = Block(0, 3);

    // A read-back reply one register short decodes the last register as 0.
    plc.AnswerShort(11);
    EXPECT_EQ(WriteBlock(block), DEV_PROTO_NOTWRITTEN);
    // Only the stale reply of an earlier transaction.
    plc.AnswerStaleOnly();
    EXPECT_EQ(WriteBlock(block), DEV_PROTO_NOTWRITTEN);
    // Bytes of another transaction whose length field cannot be stepped over.
    plc.AnswerGarbage({0x12, 0x34, 0, 0, 0, 0x30, 1, 0x20, 4, 0, 0, 0, 0});
    EXPECT_EQ(WriteBlock(block), DEV_PROTO_NOTWRITTEN);
    plc.AnswerException();
    EXPECT_EQ(WriteBlock(block), DEV_PROTO_NOTWRITTEN);

    ASSERT_EQ(plc.RequestCount(), 4u);
    for (const SPlcRequest& r : plc.Requests()) EXPECT_EQ(r.function, DEV_FUNC_READWORD);
    EXPECT_EQ(plc.Word(D, 100), 0x1234);
    EXPECT_EQ(plc.Word(D, 101), 0xABCD);
}

TEST_F(WriteFrameTest, FailedReadBackHandsBackTheTransactionResultAndLeavesTheFrame)
{
    AddRow(D, 0, 7);
    Values({1});
    plc.StaySilent(1);
    CString frame("kept");
    int reserved = 0;
    EXPECT_EQ(CDevBas::mfFormWriteOrder(data, values, strings, frame, 0, 0, reserved), DEV_PROTO_NOREPLY);
    EXPECT_EQ(frame, CString("kept"));
    EXPECT_EQ(plc.RequestCount(), 1u);
}

// --- strings

TEST_F(WriteFrameTest, StringsAreCutOrPaddedToTheEvenLength)
{
    const int row = AddRow(D, 200, DATACODE_STR, 5);
    Values({});
    strings[row + 1] = "ABCDEF";
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(plc.LastRequest().function, DEV_FUNC_WRITEWORD);
    EXPECT_EQ(plc.LastRequest().count, 2);
    EXPECT_EQ(plc.LastRequest().byteCount, 4);
    EXPECT_EQ(Data(), (Bytes{'A', 'B', 'C', 'D'}));

    strings[row + 1] = "AB";
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(Data(), (Bytes{'A', 'B', 0, 0}));

    dev->dwPropValue[DEVPROP_STRORDER] = 0;  // bytes of each register swapped
    strings[row + 1] = "ABC";
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(Data(), (Bytes{'B', 'A', 0, 'C'}));

    dev->dwPropValue[DEVPROP_STRCODE] = 1;  // UTF-16LE with its terminator
    dev->dwPropValue[DEVPROP_STRORDER] = 1;
    strings[row + 1] = "AB";
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(Data(), (Bytes{'A', 0, 'B', 0}));
}

TEST_F(WriteFrameTest, StringsTakeTheDeviceEncoding)
{
    const int row = AddRow(D, 0, DATACODE_STR, 6);
    Values({});
    strings[row + 1] = "\xE4\xB8\xAD";  // one Chinese character
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(Data(), (Bytes{0xD6, 0xD0, 0, 0, 0, 0}));
    dev->dwPropValue[DEVPROP_STRCODE] = 1;
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(Data(), (Bytes{0x2D, 0x4E, 0, 0, 0, 0}));
}

TEST_F(WriteFrameTest, LongestStringThatFitsTheByteCount)
{
    const int row = AddRow(D, 0, DATACODE_STR, 255);
    Values({});
    strings[row + 1] = std::string(300, 'x').c_str();
    ASSERT_EQ(WriteRow(row), 14);
    EXPECT_EQ(plc.LastRequest().count, 127);
    EXPECT_EQ(plc.LastRequest().byteCount, 254);
    EXPECT_EQ(plc.LastRequest().length, 9 + 254);
    EXPECT_EQ(Data(), Bytes(254, 'x'));
}

TEST_F(WriteFrameTest, StringsThatCannotBeFramedOrEncodedAreNotSent)
{
    const int longRow = AddRow(D, 0, DATACODE_STR, 256);
    const int emptyRow = AddRow(D, 200, DATACODE_STR, 1);
    const int row = AddRow(D, 300, DATACODE_STR, 8);
    Values({});
    strings[longRow + 1] = "text";
    EXPECT_EQ(WriteRow(longRow), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteRow(emptyRow), DEV_PROTO_NOTWRITTEN);
    // A cut-off multi-byte sequence has no encoding; zeros must not stand in.
    strings[row + 1] = "AB\xE4";
    EXPECT_EQ(WriteRow(row), DEV_PROTO_NOTWRITTEN);
    dev->dwPropValue[DEVPROP_STRCODE] = 1;
    EXPECT_EQ(WriteRow(row), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(plc.RequestCount(), 0u);
}

// --- what a request cannot express

TEST_F(WriteFrameTest, BlocksOfMixedOrUnknownKindsAreRefused)
{
    AddRow(D, 0, 3);   // bit of a register
    AddRow(D, 0, 83);  // WUB at the same register
    AddRow(D, 1, 83);  // WUB
    AddRow(D, 2, 50);  // a code no word area knows
    AddRow(D, 3, 83);  // WUB
    AddRow(D, 5, 83);  // after a gap
    AddRow(D, 6, 17);  // a bit number beyond a register
    AddRow(D, 7, 3);   // bit 3
    AddRow(D, 7, 5);   // bit 5: bit 4 is missing
    AddRow(D, 20, 83);
    AddRow(PLC_AREA_HSD, 21, 83);  // another word area
    Values(std::vector<double>(11, 1.0));
    EXPECT_EQ(WriteBlock(Block(0, 1)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteBlock(Block(1, 2)), 14);  // the only block that can be sent
    EXPECT_EQ(WriteBlock(Block(2, 3)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteBlock(Block(4, 5)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteRow(6), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteBlock(Block(7, 8)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteBlock(Block(9, 10)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(plc.RequestCount(), 1u);
}

TEST_F(WriteFrameTest, FieldsBeyondTheirWidthAreRefused)
{
    const int word = AddRow(D, 0, 83);
    const int far = AddRow(D, 0x1000000, 83);
    Values({1, 1});
    dev->dwPropValue[DEVPROP_STATION] = 256;
    EXPECT_EQ(WriteRow(word), DEV_PROTO_NOTWRITTEN);
    dev->dwPropValue[DEVPROP_STATION] = -1;
    EXPECT_EQ(WriteRow(word), DEV_PROTO_NOTWRITTEN);
    dev->dwPropValue[DEVPROP_STATION] = 255;
    EXPECT_EQ(WriteRow(far), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(plc.RequestCount(), 0u);
    EXPECT_EQ(WriteRow(word), 14);
    EXPECT_EQ(plc.LastRequest().station, 255);
}

TEST_F(WriteFrameTest, ByteCountOverflowIsRefused)
{
    for (uint32_t a = 0; a < 2041; ++a) AddRow(M, a, DATACODE_BITAREA);
    Values(std::vector<double>(2041, 1.0));
    EXPECT_EQ(WriteBlock(Block(0, 2040)), DEV_PROTO_NOTWRITTEN);  // 256 data bytes
    EXPECT_EQ(plc.RequestCount(), 0u);
    ASSERT_EQ(WriteBlock(Block(0, 2039)), 14);  // 255 data bytes
    EXPECT_EQ(plc.LastRequest().count, 2040);
    EXPECT_EQ(plc.LastRequest().byteCount, 255);
}

TEST_F(WriteFrameTest, BlocksOutsideTheTableOrTheValuesAreRefused)
{
    AddRow(D, 0, 83);
    AddRow(D, 1, 83);
    Values({1, 2});
    EXPECT_EQ(WriteBlock(0), DEV_PROTO_NOTWRITTEN);  // no such block
    EXPECT_EQ(WriteBlock(Block(0, 2)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteBlock(Block(1, 0)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteRow(-1), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(WriteRow(2), DEV_PROTO_NOTWRITTEN);
    values.SetSize(2);  // no value for the second row
    EXPECT_EQ(WriteBlock(Block(0, 1)), DEV_PROTO_NOTWRITTEN);
    EXPECT_EQ(plc.RequestCount(), 0u);
}

// --- the request text

TEST_F(WriteFrameTest, FrameTextIsAppendedWithItsLength)
{
    AddRow(D, 100, 83);
    Values({4660});
    CString frame("XY");
    int reserved = 0;
    ASSERT_EQ(CDevBas::mfFormWriteOrder(data, values, strings, frame, 0, 0, reserved), 14);
    EXPECT_EQ(frame, CString("XY0000000b012180000064000102") + "1234");
    EXPECT_EQ(plc.RequestCount(), 0u);
}

}  // namespace
