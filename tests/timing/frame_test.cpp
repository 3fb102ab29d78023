// Read requests and the request/response transaction, driven by a fake
// channel and the controllable clock.
#include <gtest/gtest.h>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "support/fake_comm.h"
#include "support/schema.h"
#include "timing/fake_clock.h"

namespace {

using Bytes = FakeComm::Bytes;

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallRowSchema();
        FakeClockReset(1000);
        m_Mydata.pDevTable = new CDevTable;
        m_Mydata.dwPropValue.SetSize(9);
        m_Mydata.dwPropValue[DEVPROP_STATION] = 1;
        m_Mydata.dwPropValue[DEVPROP_WAITTIME] = 100;
        m_Data.pMydata = &m_Mydata;
        m_Data.pComm = &m_Comm;
    }
    void TearDown() override { delete m_Mydata.pDevTable; }

    void AddRow(int area, uint32_t address, uint32_t dataType)
    {
        CArray<CDevRow, CDevRow&> rows;
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, 2);
        row.SetdwValueAt(DEVROW_IDX_TYPE, static_cast<uint32_t>(area));
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, dataType);
        rows.Add(row);
        m_Mydata.pDevTable->AddRows(rows, 0);
    }

    // A read reply to transaction seq with n data bytes and the given function.
    static Bytes Reply(uint16_t seq, uint8_t function, int n)
    {
        Bytes b = {static_cast<uint8_t>(seq >> 8),
                   static_cast<uint8_t>(seq),
                   0,
                   0,
                   0,
                   static_cast<uint8_t>(3 + n),
                   1,
                   function,
                   static_cast<uint8_t>(n)};
        for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(0xA0 + i));
        return b;
    }

    int Transact(CString request, unsigned int expected, int attempts, CString* frameOut = nullptr)
    {
        int r = CDevBas::mfWriteAndRead(m_Data, request, expected, 0, attempts);
        if (frameOut) *frameOut = request;
        return r;
    }

    FakeComm m_Comm;
    DEV_DATA m_Mydata;
    HOLN_DATA m_Data;
};

const char* BIT_READ_OF_10 =
    "00000008011e0300006400"
    "0a";

TEST_F(FrameTest, ReadRequestTextAndExpectedLength)
{
    AddRow(0, 100, DATACODE_BITAREA);  // M100
    AddRow(14, 0x1234, DATACODE_WUB);  // D0x1234
    AddRow(4, 7, DATACODE_BITAREA);    // SM7: area code with an upper-case digit
    CString text = "stale";
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, *m_Mydata.pDevTable, 1, 10, 0), 11u);
    EXPECT_EQ(text, BIT_READ_OF_10);
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, *m_Mydata.pDevTable, 10, 8, 0), 10u);
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, *m_Mydata.pDevTable, 10, 10, 1), 29u);
    EXPECT_EQ(text, "000000080a2080001234000a");
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, *m_Mydata.pDevTable, 255, 1, 2), 10u);
    EXPECT_EQ(text, "00000008ff1e0D0000070001");
}

TEST_F(FrameTest, FieldsThatDoNotFitTheFrameAreRefusedAndNeverSent)
{
    AddRow(14, 0xFFFFFF, DATACODE_WUB);
    AddRow(14, 0x1000000, DATACODE_WUB);
    AddRow(29, 0, DATACODE_WUB);
    CDevTable& table = *m_Mydata.pDevTable;
    CString text;
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 1, 0), 11u);
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 256, 1, 0), 0u);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, -1, 1, 0), 0u);
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 0, 0), 0u);
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 0x10000, 0), 0u);
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 1, 1), 0u);  // address beyond 3 bytes
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 1, 2), 0u);  // area beyond the table
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 1, 3), 0u);  // no such row
    EXPECT_EQ(CDevBas::mfFormReadOrder(m_Data, text, table, 1, 1, -1), 0u);

    EXPECT_EQ(Transact(text, 0, 3), DEV_PROTO_NOREPLY);
    EXPECT_TRUE(m_Comm.Writes().empty());
    EXPECT_EQ(m_Mydata.nFrameSeq, 0u);
}

TEST_F(FrameTest, TransactionNumbersStartAtOneAndWrapAfterFFFF)
{
    CString frame;
    m_Comm.QueueReply(Reply(1, 0x1E, 2));
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1, &frame), 11);
    EXPECT_EQ(frame, "000100000005011E02A0A1");
    ASSERT_EQ(m_Comm.Writes().size(), 1u);
    EXPECT_EQ(m_Comm.Writes()[0].bytes, (Bytes{0, 1, 0, 0, 0, 8, 1, 0x1E, 3, 0, 0, 0x64, 0, 0x0A}));

    m_Mydata.nFrameSeq = 0xFFFE;
    m_Comm.QueueReply(Reply(0xFFFF, 0x1E, 2));
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), 11);
    m_Comm.QueueReply(Reply(0, 0x1E, 2));
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), 11);
    EXPECT_EQ(m_Comm.Writes()[2].bytes[0], 0);
    EXPECT_EQ(m_Comm.Writes()[2].bytes[1], 0);
}

TEST_F(FrameTest, SilentControllerIsAskedAgainWithTheSameNumber)
{
    CString frame;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 3, &frame), DEV_PROTO_NOREPLY);
    EXPECT_TRUE(frame.IsEmpty());
    ASSERT_EQ(m_Comm.Writes().size(), 3u);
    for (const auto& w : m_Comm.Writes()) EXPECT_EQ(w.bytes, m_Comm.Writes()[0].bytes);
    // Each attempt waited the wait time, polling every 10 ms.
    EXPECT_GE(FakeClockNow() - 1000, 300);
    EXPECT_LE(FakeClockNow() - 1000, 400);
}

TEST_F(FrameTest, NoAttemptsSendsNothing)
{
    CString frame;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 0, &frame), DEV_PROTO_NOREPLY);
    EXPECT_EQ(frame, CString("0001") + BIT_READ_OF_10);
    EXPECT_TRUE(m_Comm.Writes().empty());
}

TEST_F(FrameTest, ZeroWaitTimeEndsAtTheFirstEmptyRead)
{
    m_Mydata.dwPropValue[DEVPROP_WAITTIME] = 0;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_NOREPLY);
    EXPECT_TRUE(FakeClockSleeps().empty());
}

TEST_F(FrameTest, NegativeWaitTimeActsAsZero)
{
    m_Mydata.dwPropValue[DEVPROP_WAITTIME] = -5;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_NOREPLY);
    EXPECT_TRUE(FakeClockSleeps().empty());
}

TEST_F(FrameTest, StaleReplyInFrontIsDropped)
{
    Bytes both = Reply(0, 0x1E, 2);
    Bytes current = Reply(1, 0x1E, 2);
    current[9] = 0x55;
    both.insert(both.end(), current.begin(), current.end());
    m_Comm.QueueReply(both);
    CString frame;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1, &frame), 11);
    EXPECT_EQ(frame.Mid(18, 2), "55");
}

TEST_F(FrameTest, OnlyAStaleReplyCountsAsSilence)
{
    m_Comm.QueueReply(Reply(0x1234, 0x1E, 2));
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_NOREPLY);
}

TEST_F(FrameTest, ShortAndForeignRepliesAreRefused)
{
    Bytes eight = Reply(1, 0x1E, 2);
    eight.resize(8);
    m_Comm.QueueReply(eight);
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_REFUSED);

    m_Comm.QueueReply(Reply(2, 0x9E, 0));  // exception: function + 0x80
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_REFUSED);

    Bytes ten = Reply(3, 0x1E, 2);
    ten.resize(10);
    m_Comm.QueueReply(ten);
    CString frame;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1, &frame), 10);
    EXPECT_EQ(frame.GetLength(), 20);
}

TEST_F(FrameTest, CompleteExceptionReplyIsRefusedWithoutWaiting)
{
    m_Comm.QueueReply(Bytes{0, 1, 0, 0, 0, 3, 1, 0xA0, 2});
    CString frame;
    EXPECT_EQ(Transact("000000080120800000640010", 41, 1, &frame), DEV_PROTO_REFUSED);
    EXPECT_EQ(frame, "00010000000301A002");
    EXPECT_TRUE(FakeClockSleeps().empty());
}

TEST_F(FrameTest, IncompleteExceptionReplyIsAwaited)
{
    m_Comm.QueueChunk(Bytes{0, 1, 0, 0, 0, 3, 1, 0xA0});
    m_Comm.QueueChunk(Bytes{});
    m_Comm.QueueChunk(Bytes{2});
    CString frame;
    EXPECT_EQ(Transact("000000080120800000640010", 41, 1, &frame), DEV_PROTO_REFUSED);
    EXPECT_EQ(frame, "00010000000301A002");
}

TEST_F(FrameTest, FragmentOfAnotherTransactionWithTheRightCodeIsRefused)
{
    // A fragment whose length field cannot be stepped over stays in front.
    Bytes fragment = {0x77, 0x77, 0, 0, 0, 0x40, 1, 0x1E, 2, 0, 0};
    m_Comm.QueueReply(fragment);
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_REFUSED);
}

TEST_F(FrameTest, FiveGatheredBytesDoNotReachTheLengthField)
{
    m_Comm.QueueReply(Bytes{0x77, 0x77, 0, 0, 0});
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_REFUSED);
}

TEST_F(FrameTest, BracketAfterAForeignFirstByteWaitsForOneMoreByte)
{
    Bytes odd = {0x12, 0x5B, 0, 0, 0, 0x40, 1, 0x1E, 2, 0, 0};
    m_Comm.QueueChunk(odd);
    m_Comm.QueueChunk(Bytes{0xEE});
    CString frame;
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1, &frame), DEV_PROTO_REFUSED);
    EXPECT_EQ(frame.GetLength(), 24);  // the twelfth byte was awaited
}

TEST_F(FrameTest, TransactionNumberEndingInBracketNeverStalls)
{
    // 300 transactions cover every low byte, 0x5B included; none may wait.
    m_Comm.SetOnWrite([](FakeComm& comm, const Bytes& request) {
        comm.QueueReply(Reply(static_cast<uint16_t>((request[0] << 8) | request[1]), 0x1E, 2));
    });
    for (int i = 0; i < 300; ++i) ASSERT_EQ(Transact(BIT_READ_OF_10, 11, 1), 11) << "transaction " << i + 1;
    EXPECT_TRUE(FakeClockSleeps().empty());
}

TEST_F(FrameTest, EndlessStaleStreamEndsAfterTheWaitTime)
{
    FakeComm::Chunk stale{Reply(0x4444, 0x1E, 2), 11, 0};
    m_Comm.SetIdleChunk(stale);
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), DEV_PROTO_NOREPLY);
    EXPECT_LE(FakeClockNow() - 1000, 200);
}

// Delivers a reply one byte per read while time passes, like a slow line.
class SlowLine : public FakeComm {
public:
    int ReadData(unsigned char* buffer, int& length, int timeoutMs) override
    {
        FakeClockAdvance(30);
        return FakeComm::ReadData(buffer, length, timeoutMs);
    }
};

TEST_F(FrameTest, SlowButProgressingReplyCompletes)
{
    SlowLine line;
    m_Data.pComm = &line;
    for (uint8_t b : Reply(1, 0x1E, 2)) line.QueueChunk(Bytes{b});
    EXPECT_EQ(Transact(BIT_READ_OF_10, 11, 1), 11);  // 11 reads x 30 ms, beyond the 100 ms wait time
}

TEST_F(FrameTest, HooksHaveTheirFixedResults)
{
    CString text = "abc";
    EXPECT_EQ(CDevBas::mfAddSum(m_Data, 0, text), 1);
    EXPECT_EQ(CDevBas::mfWriteLoginDataList(m_Data, 0), 0);
    EXPECT_EQ(CDevBas::mfFormReadOrderMix(m_Data, text, 0), 0);
    EXPECT_EQ(text, "abc");
}

}  // namespace
