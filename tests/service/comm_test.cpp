// Communication primitives of CDevServer against the scriptable channel.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "service/DevServer.h"
#include "support/fake_comm.h"

namespace {

using Bytes = FakeComm::Bytes;
using Slot = FakeComm::ReadSlot;

Bytes Vec(const CByteArray& a)
{
    return Bytes(a.GetData(), a.GetData() + a.GetSize());
}

Bytes Filled(size_t n, uint8_t last)
{
    Bytes b(n, 'a');
    b.back() = last;
    return b;
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev.dwPropValue.SetSize(9);
        data.pMydata = &dev;
        data.pComm = &comm;
    }
    void SetWait(int ms) { dev.dwPropValue[DEVPROP_WAITTIME] = ms; }
    // Time-outs that one read and one write under this wait time hand the channel.
    std::pair<int, int> TimeoutsFor(int wait)
    {
        SetWait(wait);
        comm.ResetRecords();
        CByteArray bytes;
        bytes.Add(0x11);
        CDevServer::SvrWriteTcpip(data, bytes);
        CDevServer::SvrReadTcpip(data, bytes);
        return {comm.Reads().at(0).timeoutMs, comm.Writes().at(0).timeoutMs};
    }

    FakeComm comm;
    DEV_DATA dev;
    HOLN_DATA data;
};

TEST_F(CommTest, WaitTimeReachesReadsRaisedToTheMinimumAndWritesUnchanged)
{
    EXPECT_EQ(std::make_pair(100, 0), TimeoutsFor(0));
    EXPECT_EQ(std::make_pair(100, 50), TimeoutsFor(50));
    EXPECT_EQ(std::make_pair(250, 250), TimeoutsFor(250));
    EXPECT_EQ(std::make_pair(100, 0), TimeoutsFor(-1));  // a negative wait is no wait
    data.pMydata = nullptr;
    EXPECT_EQ(std::make_pair(100, 0), TimeoutsFor(0));

    // The fixed-length mode keeps its own; a huge one stays positive for the channel.
    CByteArray out;
    CDevServer::mfReadCommUseInputLen(data, out, 50, 4);
    CDevServer::mfReadCommUseInputLen(data, out, 0xFFFFFFFFu, 4);
    EXPECT_EQ(50, comm.Reads().at(1).timeoutMs);
    EXPECT_GT(comm.Reads().at(2).timeoutMs, 0);
}

TEST_F(CommTest, WriteSendsTheBytesAndReturnsTheChannelResult)
{
    CByteArray bytes;
    for (uint8_t b : {1, 2, 3}) bytes.Add(b);
    comm.SetWriteResult(7);
    EXPECT_EQ(7, CDevServer::SvrWriteTcpip(data, bytes));
    EXPECT_EQ(7, CDevServer::mfWriteComm(data, bytes));
    ASSERT_EQ(2u, comm.Writes().size());
    EXPECT_EQ((Bytes{1, 2, 3}), comm.Writes()[0].bytes);
    EXPECT_EQ(3, comm.Writes()[0].length);

    CByteArray none;
    EXPECT_EQ(0, CDevServer::SvrWriteTcpip(data, none));
    EXPECT_EQ(2u, comm.Writes().size());
}

TEST_F(CommTest, QuietReadGathersWhileTheLengthWordStaysPositive)
{
    comm.QueueChunk({'A', 'B'});   // length word 2: more may follow
    comm.QueueChunk({'C'}, 1, 0);  // length word 0: done
    comm.QueueChunk({'X'});
    CByteArray out;
    EXPECT_EQ(3, CDevServer::mfReadCommUseSleep(data, out, 100));
    EXPECT_EQ((Bytes{'A', 'B', 'C'}), Vec(out));
    ASSERT_EQ(2u, comm.Reads().size());
    for (const auto& r : comm.Reads()) {
        EXPECT_EQ(Slot::ReadData, r.slot);
        EXPECT_EQ(SVR_READ_CHUNK, r.lengthIn);
    }
}

TEST_F(CommTest, QuietReadEndsOnACallThatDeliversNothing)
{
    CByteArray out;
    out.Add(0x99);
    EXPECT_EQ(0, CDevServer::mfReadCommUseSleep(data, out, 100));
    EXPECT_EQ(0, out.GetSize());

    comm.QueueChunk({'A'});
    comm.QueueChunk({}, 0, 5);  // nothing, though the word claims more
    comm.QueueChunk({'X'});
    EXPECT_EQ(1, CDevServer::mfReadCommUseSleep(data, out, 100));
    EXPECT_EQ(1u, comm.QueuedChunks());
}

TEST_F(CommTest, QuietReadAppendsOnlyWhatTheZeroedChunkCanHold)
{
    comm.QueueChunk({'X', 'Y', 'Z'});
    comm.QueueChunk({'A'}, 3, 1);  // claims three, delivers one
    comm.QueueChunk(Bytes(512, 0x33), 600, 0);
    CByteArray out;
    EXPECT_EQ(6 + 512, CDevServer::mfReadCommUseSleep(data, out, 100));
    EXPECT_EQ((Bytes{'X', 'Y', 'Z', 'A', 0, 0}), Bytes(out.GetData(), out.GetData() + 6));
}

TEST_F(CommTest, EndlessLineIsCutAtTheByteBound)
{
    // A huge time-out keeps the time bound out of reach.
    comm.SetIdleChunk(FakeComm::Chunk{Filled(512, 'b'), 512, 512});
    CByteArray out;
    EXPECT_EQ(4096, CDevServer::mfReadCommUseSleep(data, out, 100000000u));
    EXPECT_EQ(8u, comm.Reads().size());
    EXPECT_EQ(4096, CDevServer::mfReadCommUseStopChar(data, out, 100000000u, '\n'));
}

TEST_F(CommTest, StopCharReadContinuesOnlyAfterAFullChunkWithoutTheStop)
{
    struct {
        Bytes first;
        int result;
        size_t calls;
    } cases[] = {
        {Filled(512, '\n'), 512, 1},  // full, ends in the stop character
        {Filled(512, 'b'), 512, 2},   // full, ends elsewhere
        {Filled(511, 'b'), 511, 1},   // short
        {Filled(512, 'b'), 9999, 1},  // claims more than a chunk
    };
    for (const auto& c : cases) {
        FakeComm line;
        data.pComm = &line;
        line.QueueChunk(c.first, c.result, 0);
        line.QueueChunk({'c', '\n'});
        line.QueueChunk({'X'});
        CByteArray out;
        const int n = CDevServer::mfReadCommUseStopChar(data, out, 0, '\n');
        ASSERT_EQ(c.calls, line.Reads().size()) << "first chunk " << c.result;
        EXPECT_EQ(c.calls == 2 ? 514 : static_cast<int>(c.first.size()), n);
        for (const auto& r : line.Reads()) {
            EXPECT_EQ(Slot::ReadDataByEndStr, r.slot);
            EXPECT_EQ("\n", r.endText);
            EXPECT_EQ(SVR_READ_CHUNK, r.lengthIn);
            EXPECT_EQ(100, r.timeoutMs);
        }
    }
}

TEST_F(CommTest, FixedLengthReadsOnceAndClampsTheResult)
{
    comm.QueueChunk({1, 2, 3, 4, 5, 6}, 4, 0);
    comm.QueueChunk({}, -1, 0);
    comm.QueueChunk({1, 2, 3, 4}, 9, 0);
    CByteArray out;
    EXPECT_EQ(4, CDevServer::mfReadCommUseInputLen(data, out, 300, 4));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), Vec(out));
    EXPECT_EQ(Slot::ReadDataByLen, comm.Reads().at(0).slot);
    EXPECT_EQ(4, comm.Reads().at(0).lengthIn);
    EXPECT_EQ(0, CDevServer::mfReadCommUseInputLen(data, out, 300, 4));
    EXPECT_EQ(0, out.GetSize());
    EXPECT_EQ(4, CDevServer::mfReadCommUseInputLen(data, out, 300, 4));
}

TEST_F(CommTest, CharOrLengthReadsOnceAndClampsTheResult)
{
    comm.QueueChunk({'o', 'k', '\r'}, 3, 0);
    comm.QueueChunk({}, 0, 0);
    comm.QueueChunk({1, 2, 3}, 50, 0);
    CByteArray out;
    EXPECT_EQ(3, CDevServer::mfReadCommUseCharOrLen(data, out, '\r', 20, 10));
    EXPECT_EQ((Bytes{'o', 'k', '\r'}), Vec(out));
    const auto& r = comm.Reads().at(0);
    EXPECT_EQ(Slot::ReadDataByEndStr, r.slot);
    EXPECT_EQ("\r", r.endText);
    EXPECT_EQ(10, r.lengthIn);
    EXPECT_EQ(100, r.timeoutMs);
    EXPECT_EQ(0, CDevServer::mfReadCommUseCharOrLen(data, out, '\r', 200, 10));
    EXPECT_EQ(0, out.GetSize());
    EXPECT_EQ(3, CDevServer::mfReadCommUseCharOrLen(data, out, '\r', 200, 3));
}

TEST_F(CommTest, DispatchReachesEachModeAndRefusesOthers)
{
    CByteArray out;
    for (int mode : {4, -1}) {
        out.Add(1);
        EXPECT_EQ(-2, CDevServer::mfReadComm(data, out, 100, mode, 8, ';')) << mode;
        EXPECT_EQ(0, out.GetSize());
    }
    EXPECT_TRUE(comm.Reads().empty());

    for (int mode : {SVR_READ_STOPCHAR, SVR_READ_INPUTLEN, SVR_READ_SLEEP, SVR_READ_CHARORLEN}) {
        CDevServer::mfReadComm(data, out, 300, mode, 8, ';');
    }
    const auto& r = comm.Reads();
    ASSERT_EQ(4u, r.size());
    EXPECT_EQ(Slot::ReadDataByEndStr, r[0].slot);
    EXPECT_EQ(";", r[0].endText);
    EXPECT_EQ(Slot::ReadDataByLen, r[1].slot);
    EXPECT_EQ(8, r[1].lengthIn);
    EXPECT_EQ(Slot::ReadData, r[2].slot);
    EXPECT_EQ(Slot::ReadDataByEndStr, r[3].slot);
    EXPECT_EQ(8, r[3].lengthIn);
    for (const auto& call : r) EXPECT_EQ(300, call.timeoutMs);
}

TEST_F(CommTest, TextWrappersConvertByTextMode)
{
    CString hex("0AFF"), plain("AB"), odd("0AF");
    EXPECT_EQ(2, CDevServer::SvrWriteComm(data, SVR_TEXT_HEX, hex));
    EXPECT_EQ(2, CDevServer::SvrWriteComm(data, SVR_TEXT_PLAIN, plain));
    EXPECT_EQ(0, CDevServer::SvrWriteComm(data, 2, hex));
    EXPECT_EQ(0, CDevServer::SvrWriteComm(data, SVR_TEXT_HEX, odd));
    ASSERT_EQ(2u, comm.Writes().size());
    EXPECT_EQ((Bytes{0x0A, 0xFF}), comm.Writes()[0].bytes);
    EXPECT_EQ((Bytes{'A', 'B'}), comm.Writes()[1].bytes);

    comm.QueueReply({0x0A, 0xFF});
    comm.QueueReply({'O', 'K', 0, 'Z'});
    CString text;
    EXPECT_EQ(2, CDevServer::SvrReadComm(data, SVR_TEXT_HEX, text, 100, SVR_READ_SLEEP, 0, 0));
    EXPECT_EQ(CString("0AFF"), text);
    EXPECT_EQ(4, CDevServer::SvrReadComm(data, SVR_TEXT_PLAIN, text, 100, SVR_READ_SLEEP, 0, 0));
    EXPECT_EQ(CString("OK"), text);
}

TEST_F(CommTest, ReadCommBadTextModeConsumesInputButKeepsText)
{
    comm.QueueReply({'A'});
    CString text("keep");
    EXPECT_EQ(-1, CDevServer::SvrReadComm(data, 2, text, 100, SVR_READ_SLEEP, 0, 0));
    EXPECT_EQ(CString("keep"), text);
    EXPECT_EQ(0u, comm.QueuedChunks());

    EXPECT_EQ(-2, CDevServer::SvrReadComm(data, SVR_TEXT_HEX, text, 100, 9, 0, 0));
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(CommTest, WriteAndReadClearsSendsThenReplacesTheText)
{
    // The write hook plays the peer: it answers with the request reversed.
    comm.SetClearDropsQueue(true);
    comm.QueueReply({0xEE});  // stale input, gone with the clear
    comm.SetOnWrite([](FakeComm& c, const Bytes& req) { c.QueueReply(Bytes(req.rbegin(), req.rend())); });
    CString text("ABCD");
    EXPECT_EQ(2, CDevServer::SvrWriteAndReadComm(data, SVR_TEXT_HEX, text, 100, SVR_READ_SLEEP, 0, 0));
    EXPECT_EQ(CString("CDAB"), text);
    EXPECT_EQ((std::vector<std::string>{"ClearInBuff", "WriteData", "ReadData"}), comm.CallLog());
}

TEST_F(CommTest, ClearInputSucceedsOnlyWhenTheChannelSaysZero)
{
    EXPECT_EQ(1, CDevServer::SvrClearCommInBuff(data));
    for (int result : {5, -1}) {
        comm.SetClearInBuffResult(result);
        EXPECT_EQ(0, CDevServer::SvrClearCommInBuff(data)) << result;
    }
    EXPECT_EQ(3, comm.ClearCalls());
}

TEST_F(CommTest, NoChannelResults)
{
    data.pComm = nullptr;
    CByteArray bytes;
    bytes.Add(1);
    EXPECT_EQ(0, CDevServer::SvrWriteTcpip(data, bytes));
    EXPECT_EQ(-1, CDevServer::SvrReadTcpip(data, bytes));
    EXPECT_EQ(-1, CDevServer::mfReadCommUseStopChar(data, bytes, 100, '\n'));
    EXPECT_EQ(-1, CDevServer::mfReadCommUseCharOrLen(data, bytes, '\n', 100, 4));
    EXPECT_EQ(-1, CDevServer::mfReadCommUseInputLen(data, bytes, 100, 6));
    EXPECT_EQ(6, bytes.GetSize());  // the fixed-length mode sized its buffer first
    EXPECT_EQ(0, CDevServer::SvrClearCommInBuff(data));

    CString text("0A");
    EXPECT_EQ(0, CDevServer::SvrWriteComm(data, SVR_TEXT_HEX, text));
    EXPECT_EQ(-1, CDevServer::SvrReadComm(data, SVR_TEXT_HEX, text, 100, SVR_READ_INPUTLEN, 4, 0));
    EXPECT_TRUE(text.IsEmpty());  // not the zeros of the pre-sized buffer
    EXPECT_EQ(-1, CDevServer::SvrWriteAndReadComm(data, SVR_TEXT_HEX, text, 100, SVR_READ_SLEEP, 0, 0));
    EXPECT_TRUE(comm.CallLog().empty());
}

}  // namespace
