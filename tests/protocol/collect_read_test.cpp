// One rank read through the fake controller: the request on the wire, the
// transaction's failures as the collection reports them, the flags and the
// rank cursor.
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

class CollectReadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallRowSchema();
        dev = new DEV_DATA;
        dev->pDevTable = new CDevTable;
        dev->dwPropValue.SetSize(9);
        dev->dwPropValue[DEVPROP_STATION] = 1;
        dev->dwPropValue[DEVPROP_WAITTIME] = 0;  // silence ends an attempt at once
        dev->nCurRank = 0;
        dev->nCurBlock = 0;
        data.pMydata = dev;
        data.pComm = &plc;
    }
    void TearDown() override
    {
        delete dev->pDevTable;
        delete dev;
    }

    int AddRow(uint32_t area, uint32_t address, uint32_t code, uint32_t bit = 0, uint32_t rw = 2)
    {
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, rw);
        row.SetdwValueAt(DEVROW_IDX_TYPE, area);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
        row.SetdwValueAt(DEVROW_IDX_BIT, bit);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, code);
        CArray<CDevRow, CDevRow&> rows;
        rows.Add(row);
        dev->pDevTable->AddRows(rows, 0);
        return dev->pDevTable->GetRowCount() - 1;
    }

    void Block(int start, int end, int rank)
    {
        DynBlock block;
        block.nStartRow = start;
        block.nEndRow = end;
        block.nChlType = static_cast<int>(dev->pDevTable->Row(start).GetdwValueAt(DEVROW_IDX_TYPE));
        block.nBlockLen = CDevBas::mfFetchBlockLen(*dev->pDevTable, start, end);
        block.nRank = rank;
        dev->DynBlockArray.Add(block);
        dev->nRankNum = rank + 1;
    }

    // Runtime-style flags: entry 0 is 1, every channel passes the given flag.
    void Arrays(int flag = 1)
    {
        int n = dev->pDevTable->GetRowCount() + 1;
        flags.SetSize(n);
        values.SetSize(n);
        strings.SetSize(n);
        flags[0] = 1;
        for (int i = 1; i < n; ++i) flags[i] = flag;
    }

    int Read(int rank, int attempts = 1)
    {
        return CDevBas::mfReadBlockFromDev(data, flags, values, strings, rank, attempts);
    }
    int Collect() { return CDevBas::mfCollectDevData(data, flags, values, strings); }

    HOLN_DATA data;
    DEV_DATA* dev = nullptr;
    CFakePlc plc;
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
};

TEST_F(CollectReadTest, WordBlockRequestAndValues)
{
    for (uint32_t a = 100; a <= 103; ++a) AddRow(D, a, 83);
    Block(0, 3, 0);
    Arrays();
    plc.SetWords(PLC_AREA_D, 100, {1, 2, 3, 0xFFFF});
    ASSERT_EQ(0, Read(0));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(Bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x01, 0x20, 0x80, 0x00, 0x00, 0x64, 0x00, 0x04}),
              plc.LastRequest().bytes);
    EXPECT_EQ(1.0, values[1]);
    EXPECT_EQ(3.0, values[3]);
    EXPECT_EQ(65535.0, values[4]);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(3, flags[i]);
}

TEST_F(CollectReadTest, BitBlockRequestAndValues)
{
    for (uint32_t a = 10; a <= 25; ++a) AddRow(M, a, DATACODE_BITAREA);
    Block(0, 15, 0);
    Arrays();
    plc.SetBit(PLC_AREA_M, 10, true);
    plc.SetBit(PLC_AREA_M, 12, true);
    plc.SetBit(PLC_AREA_M, 25, true);
    ASSERT_EQ(0, Read(0));
    EXPECT_EQ(Bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x01, 0x1E, 0x03, 0x00, 0x00, 0x0A, 0x00, 0x10}),
              plc.LastRequest().bytes);
    EXPECT_EQ(1.0, values[1]);
    EXPECT_EQ(0.0, values[2]);
    EXPECT_EQ(1.0, values[3]);
    EXPECT_EQ(1.0, values[16]);
}

TEST_F(CollectReadTest, EveryAreaIsAskedWithItsOwnCode)
{
    for (uint32_t area = 0; area < static_cast<uint32_t>(CHL_AREA_NUM); ++area)
        AddRow(area, 7, area <= 13 ? DATACODE_BITAREA : 83);
    for (int row = 0; row < CHL_AREA_NUM; ++row) Block(row, row, row);
    Arrays();
    for (int row = 0; row < CHL_AREA_NUM; ++row) {
        if (row <= 13)
            plc.SetBit(row, 7, true);
        else
            plc.SetWord(row, 7, static_cast<uint16_t>(row));
        dev->nCurBlock = row;
        ASSERT_EQ(0, Read(row)) << "area " << row;
        EXPECT_TRUE(plc.LastRequest().wellFormed) << "area " << row;
        EXPECT_EQ(row, plc.LastRequest().area);
        EXPECT_EQ(row <= 13 ? 1.0 : row, values[row + 1]);
    }
}

TEST_F(CollectReadTest, StringChannelThroughTheController)
{
    int text = AddRow(D, 200, DATACODE_STR, 5);
    Block(0, 0, 0);
    Arrays();
    dev->dwPropValue[DEVPROP_STRORDER] = 1;
    plc.SetWordBytes(PLC_AREA_D, 200, {'H', 'e', 'l', 'l', 'o', 'X'});
    ASSERT_EQ(0, Read(0));
    EXPECT_EQ(3, plc.LastRequest().count);  // (5 + 1) / 2 registers
    EXPECT_EQ("Hello", strings[text + 1].str());
}

TEST_F(CollectReadTest, FailuresOfTheTransactionReachTheCaller)
{
    AddRow(D, 0, 83);
    Block(0, 0, 0);
    Arrays();
    values[1] = 42.0;
    plc.StaySilent();
    EXPECT_EQ(DEV_PROTO_NOREPLY, Read(0));
    plc.AnswerException(0x02);
    EXPECT_EQ(DEV_PROTO_REFUSED, Read(0));
    plc.AnswerShort(6);
    EXPECT_EQ(DEV_PROTO_REFUSED, Read(0));
    plc.AnswerGarbage(Bytes(20, 0xEE));
    EXPECT_EQ(DEV_PROTO_REFUSED, Read(0));
    EXPECT_EQ(42.0, values[1]);  // nothing decoded from any of them
    EXPECT_EQ(1, flags[1]);

    plc.StaySilent();
    plc.SetWord(PLC_AREA_D, 0, 9);
    EXPECT_EQ(0, Read(0, 3));  // the second attempt is answered
    EXPECT_EQ(9.0, values[1]);
    ASSERT_GE(plc.RequestCount(), 2u);
    size_t n = plc.RequestCount();
    EXPECT_EQ(plc.Requests()[n - 2].bytes, plc.Requests()[n - 1].bytes);  // same transaction number
}

TEST_F(CollectReadTest, ShortReplyWithRightCodeDecodesWhatCame)
{
    for (uint32_t a = 0; a < 4; ++a) AddRow(D, a, 83);
    Block(0, 3, 0);
    Arrays();
    values[3] = 42.0;
    plc.SetWords(PLC_AREA_D, 0, {5, 6, 7, 8});
    plc.AnswerShort(9 + 4);  // two of four registers
    EXPECT_EQ(0, Read(0));
    EXPECT_EQ(5.0, values[1]);
    EXPECT_EQ(6.0, values[2]);
    EXPECT_EQ(42.0, values[3]);
    EXPECT_EQ(3, flags[2]);
    EXPECT_EQ(1, flags[3]);
}

TEST_F(CollectReadTest, StaleAndSplitRepliesAreStillRead)
{
    AddRow(D, 0, 83);
    Block(0, 0, 0);
    Arrays();
    plc.SetWord(PLC_AREA_D, 0, 77);
    plc.AnswerStale();
    EXPECT_EQ(0, Read(0));
    EXPECT_EQ(77.0, values[1]);

    dev->dwPropValue[DEVPROP_WAITTIME] = 60000;  // the pieces come at once; nothing waits this long
    plc.SetWord(PLC_AREA_D, 0, 78);
    plc.AnswerSplit({3, 4});
    EXPECT_EQ(0, Read(0));
    EXPECT_EQ(78.0, values[1]);
}

TEST_F(CollectReadTest, NoBlockForTheRankMakesNoRequest)
{
    AddRow(D, 0, 83);
    AddRow(D, 1, 83);
    Block(0, 0, 0);
    Arrays();
    EXPECT_EQ(DEV_PROTO_NOBLOCK, Read(1));
    dev->nCurBlock = 1;
    EXPECT_EQ(DEV_PROTO_NOBLOCK, Read(0));
    dev->nCurBlock = -3;
    EXPECT_EQ(DEV_PROTO_NOBLOCK, Read(0));
    dev->nCurBlock = 0;
    dev->DynBlockArray[0].nEndRow = 5;  // the plan no longer fits the table
    EXPECT_EQ(DEV_PROTO_NOBLOCK, Read(0));
    EXPECT_EQ(0u, plc.RequestCount());
}

TEST_F(CollectReadTest, CollectWalksRanksAndWraps)
{
    AddRow(D, 0, 83);
    AddRow(D, 50, 83);
    Block(0, 0, 0);
    Block(1, 1, 1);
    Arrays();
    plc.SetWord(PLC_AREA_D, 0, 10);
    plc.SetWord(PLC_AREA_D, 50, 20);
    values[0] = 99.0;

    EXPECT_EQ(0, Collect());
    EXPECT_EQ(0.0, values[0]);
    EXPECT_EQ(3, flags[1]);
    EXPECT_EQ(1, flags[2]);
    EXPECT_EQ(1, dev->nCurRank);
    EXPECT_EQ(1, dev->nCurBlock);

    EXPECT_EQ(0, Collect());
    EXPECT_EQ(20.0, values[2]);
    EXPECT_EQ(0, dev->nCurRank);
    EXPECT_EQ(0, dev->nCurBlock);
    EXPECT_EQ(50u, plc.LastRequest().address);
}

// Every due channel of the rank is stored after a success, decoded or not;
// one the decoder skipped keeps its previous value.
TEST_F(CollectReadTest, SuccessfulCollectMarksEveryDueChannelOfTheRank)
{
    AddRow(D, 0, 83);
    AddRow(D, 1, 83, 0, 1);  // write-only
    AddRow(D, 2, 83);
    AddRow(D, 3, 83);
    Block(0, 3, 0);
    Arrays();
    plc.AnswerShort(9 + 6);  // three of four registers
    EXPECT_EQ(0, Collect());
    EXPECT_EQ(3, flags[1]);
    EXPECT_EQ(3, flags[2]);
    EXPECT_EQ(3, flags[3]);
    EXPECT_EQ(3, flags[4]);
    EXPECT_EQ(0.0, values[2]);  // write-only: never decoded
    EXPECT_EQ(0.0, values[4]);  // its bytes never came: not decoded
}

TEST_F(CollectReadTest, FailedCollectMarksTheRankAndKeepsTheCursor)
{
    AddRow(D, 0, 83);
    AddRow(D, 1, 83);
    AddRow(D, 50, 83);
    Block(0, 1, 0);
    Block(2, 2, 1);
    Arrays();
    flags[2] = 0;   // inside the block, never caused the read
    flags[3] = -1;  // another rank
    plc.StaySilent();
    EXPECT_EQ(DEV_PROTO_COLLECTFAIL, Collect());
    EXPECT_EQ(2.0, values[0]);
    EXPECT_EQ(4, flags[1]);
    EXPECT_EQ(0, flags[2]);
    EXPECT_EQ(-1, flags[3]);
    EXPECT_EQ(0, dev->nCurRank);
    EXPECT_EQ(0, dev->nCurBlock);

    plc.AnswerException();
    EXPECT_EQ(DEV_PROTO_COLLECTFAIL, Collect());
    EXPECT_EQ(7.0, values[0]);

    dev->nCurBlock = 5;
    EXPECT_EQ(DEV_PROTO_COLLECTFAIL, Collect());
    EXPECT_EQ(1.0, values[0]);
}

TEST_F(CollectReadTest, CollectWithoutRanksDoesNothing)
{
    AddRow(D, 0, 83);
    Arrays();
    values[0] = 5.0;
    EXPECT_EQ(0, Collect());
    EXPECT_EQ(5.0, values[0]);
    EXPECT_EQ(0u, plc.RequestCount());
}

TEST_F(CollectReadTest, SetCollectFlagStaysInsideAShortArray)
{
    for (uint32_t a = 0; a < 6; ++a) AddRow(D, a, 83);
    Block(0, 2, 0);
    Block(3, 5, 1);
    flags.SetSize(3);  // flags for two channels only
    flags[0] = 1;
    flags[1] = 2;
    flags[2] = 0;
    EXPECT_EQ(1, CDevBas::mfSetCollectFlag(data, flags, 0, 3));
    EXPECT_EQ(3, flags.GetSize());
    EXPECT_EQ(1, flags[0]);
    EXPECT_EQ(3, flags[1]);
    EXPECT_EQ(0, flags[2]);
    EXPECT_EQ(1, dev->nCurBlock);  // first block of the next rank

    dev->nCurBlock = 0;
    EXPECT_EQ(1, CDevBas::mfSetCollectFlag(data, flags, 1, 3));
    EXPECT_EQ(0, dev->nCurBlock);  // no higher rank: the cursor stays
    EXPECT_EQ(1, CDevBas::mfSetCollectFlag(data, flags, 0, 4));
    EXPECT_EQ(0, dev->nCurBlock);  // only a stored read moves it
    EXPECT_EQ(4, flags[1]);
}

TEST_F(CollectReadTest, RowsWithoutFlagEntryAreNotDecodedByTheRead)
{
    for (uint32_t a = 0; a < 4; ++a) AddRow(D, a, 83);
    Block(0, 3, 0);
    Arrays();
    flags.SetSize(3);
    plc.SetWords(PLC_AREA_D, 0, {1, 2, 3, 4});
    ASSERT_EQ(0, Read(0));
    EXPECT_EQ(3, flags.GetSize());
    EXPECT_EQ(2.0, values[2]);
    EXPECT_EQ(0.0, values[3]);  // row 2 has a value slot but no flag: left alone
}

// The fake itself: what later tests rely on.
TEST(FakePlcTest, WritesAreStoredAndAnsweredWithFourteenBytes)
{
    CFakePlc plc;
    int length = 17;
    const Bytes words = {0x00, 0x05, 0x00, 0x00, 0x00, 0x0B, 0x01, 0x21, 0x80,
                         0x00, 0x00, 0x64, 0x00, 0x01, 0x02, 0x12, 0x34};
    plc.WriteData(words.data(), length, 0);
    EXPECT_EQ(0x1234, plc.Word(PLC_AREA_D, 100));
    unsigned char buffer[512];
    int room = 512;
    EXPECT_EQ(14, plc.ReadData(buffer, room, 0));
    EXPECT_EQ(Bytes({0x00, 0x05, 0x00, 0x00, 0x00, 0x08, 0x01, 0x21, 0x80, 0x00, 0x00, 0x64, 0x00, 0x01}),
              Bytes(buffer, buffer + 14));

    const Bytes bits = {0x00, 0x06, 0x00, 0x00, 0x00, 0x0A, 0x01, 0x1F, 0x03,
                        0x00, 0x00, 0x05, 0x00, 0x0A, 0x02, 0x81, 0x02};
    length = 17;
    plc.WriteData(bits.data(), length, 0);
    EXPECT_TRUE(plc.Bit(PLC_AREA_M, 5));
    EXPECT_FALSE(plc.Bit(PLC_AREA_M, 6));
    EXPECT_TRUE(plc.Bit(PLC_AREA_M, 12));
    EXPECT_TRUE(plc.Bit(PLC_AREA_M, 14));
    EXPECT_EQ(10, plc.LastRequest().count);
}

TEST(FakePlcTest, UnknownAreaCodeOrFunctionGetsAnException)
{
    CFakePlc plc;
    const Bytes badArea = {0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x01, 0x20, 0x84, 0x00, 0x00, 0x00, 0x00, 0x01};
    const Bytes badFunction = {0x00, 0x02, 0x00, 0x00, 0x00, 0x08, 0x01, 0x03, 0x80, 0x00, 0x00, 0x00, 0x00, 0x01};
    for (const Bytes& request : {badArea, badFunction}) {
        int length = static_cast<int>(request.size());
        plc.WriteData(request.data(), length, 0);
        unsigned char buffer[512];
        int room = 512;
        ASSERT_EQ(9, plc.ReadData(buffer, room, 0));
        EXPECT_EQ(request[7] + 0x80, buffer[7]);
        EXPECT_FALSE(plc.LastRequest().wellFormed);
    }
}

}  // namespace
