// Time bound of the chunk-reading loops, on the fake clock.
#include <gtest/gtest.h>

#include "fake_clock.h"
#include "service/DevServer.h"
#include "support/fake_comm.h"

namespace {

// A line that never goes quiet and spends stepMs of clock time per read.
class CChattyComm : public FakeComm {
public:
    explicit CChattyComm(int stepMs) : m_step(stepMs)
    {
        Chunk one;
        one.bytes = {0x5A};
        one.result = 1;
        one.lengthOut = 1;
        SetIdleChunk(one);
    }
    int ReadData(unsigned char* buffer, int& length, int timeoutMs) override
    {
        FakeClockAdvance(m_step);
        return FakeComm::ReadData(buffer, length, timeoutMs);
    }
    int ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs) override
    {
        FakeClockAdvance(m_step);
        // A full chunk without the stop character keeps the stop-character loop going.
        const int room = length;
        const int r = FakeComm::ReadDataByEndStr(buffer, length, endText, timeoutMs);
        if (r <= 0 || room < SVR_READ_CHUNK) return r;
        for (int i = 0; i < SVR_READ_CHUNK; ++i) buffer[i] = 'a';
        return SVR_READ_CHUNK;
    }

private:
    int m_step;
};

class CommTiming : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeClockReset(1000);
        dev.dwPropValue.SetSize(9);
        data.pMydata = &dev;
    }
    DEV_DATA dev;
    HOLN_DATA data;
};

TEST_F(CommTiming, QuietReadStopsAfterFourTimesTheTimeOut)
{
    CChattyComm comm(60);
    data.pComm = &comm;
    dev.dwPropValue[DEVPROP_WAITTIME] = 50;  // raised to the 100 ms minimum
    CByteArray out;
    const int n = CDevServer::SvrReadTcpip(data, out);
    const int64_t spent = FakeClockNow() - 1000;
    // The loop gives up at the first check past 4 x 100 ms: within one read of it.
    EXPECT_GT(spent, 400);
    EXPECT_LE(spent, 400 + 60);
    EXPECT_EQ(static_cast<int>(comm.Reads().size()), n);
    EXPECT_EQ(n, out.GetSize());
}

TEST_F(CommTiming, LongerWaitTimeAllowsLongerReads)
{
    CChattyComm comm(60);
    data.pComm = &comm;
    dev.dwPropValue[DEVPROP_WAITTIME] = 300;
    CByteArray out;
    CDevServer::SvrReadTcpip(data, out);
    const int64_t spent = FakeClockNow() - 1000;
    EXPECT_GT(spent, 1200);
    EXPECT_LE(spent, 1200 + 60);
}

TEST_F(CommTiming, StopCharReadStopsAfterFourTimesTheTimeOut)
{
    CChattyComm comm(150);
    data.pComm = &comm;
    CByteArray out;
    const int n = CDevServer::mfReadCommUseStopChar(data, out, 200, '\n');
    const int64_t spent = FakeClockNow() - 1000;
    EXPECT_GT(spent, 800);
    EXPECT_LE(spent, 800 + 150);
    EXPECT_EQ(static_cast<int>(comm.Reads().size()) * SVR_READ_CHUNK, n);
}

TEST_F(CommTiming, QuietReadOnAFrozenClockEndsByTheByteBound)
{
    CChattyComm comm(0);
    data.pComm = &comm;
    CByteArray out;
    EXPECT_EQ(4096, CDevServer::mfReadCommUseSleep(data, out, 100));
    EXPECT_EQ(4096u, comm.Reads().size());
}

}  // namespace
