// Pacing of IO-control commands on the fake clock: a command never lasts
// less than the minimum operation time, measured on the low 32 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/dravik_vemo_pna.h"
#include "driver/qdevctrl.h"
#include "fake_clock.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

namespace {

// A controller whose every request takes a set number of ticks.
class CSlowPlc : public CFakePlc {
public:
    int64_t m_ticksPerRequest = 0;

protected:
    void OnWrite(const Bytes& written) override
    {
        FakeClockAdvance(m_ticksPerRequest);
        CFakePlc::OnWrite(written);
    }
};

class IoctlPacing : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeClockReset(1000);
        CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 0)}, {1, 0, 0, 0, 0, 0, 1, 0, 0});
        ASSERT_EQ(0, device.InitDevice(blob.Data(), blob.Size()));
        ASSERT_EQ(0, device.UpdataCommunication(&plc));
        db.AddVar("A", 0);
    }
    void TearDown() override { device.CleanupDevice(); }

    CFakeRtdb db;
    CSlowPlc plc;
    CDevCtrl device{"PLC1", &db};
};

TEST_F(IoctlPacing, ShortCommandSleepsTheRest)
{
    plc.m_ticksPerRequest = 2;
    EXPECT_EQ(0, device.DevIOCtrl("READ(D,0,WUB=A)"));
    EXPECT_EQ(std::vector<int>{3}, FakeClockSleeps());
    EXPECT_EQ(1005, FakeClockNow());

    FakeClockReset(1000);
    plc.m_ticksPerRequest = 4;
    EXPECT_EQ(0, device.DevIOCtrl("WRITE(D,0,WUB=1)"));
    EXPECT_EQ(std::vector<int>{1}, FakeClockSleeps());
}

TEST_F(IoctlPacing, LongCommandDoesNotSleep)
{
    plc.m_ticksPerRequest = 5;
    EXPECT_EQ(0, device.DevIOCtrl("READ(D,0,WUB=A)"));
    EXPECT_TRUE(FakeClockSleeps().empty());
    plc.m_ticksPerRequest = 3;
    EXPECT_EQ(0, device.DevIOCtrl("READ(D,0,WUB=A) READ(D,1,WUB=A)"));  // 6 ticks in all
    EXPECT_TRUE(FakeClockSleeps().empty());
}

TEST_F(IoctlPacing, CommandsThatSendNothingArePacedToo)
{
    EXPECT_EQ(0, device.DevIOCtrl("FOO(1)"));
    EXPECT_EQ(5, device.DevIOCtrl("READ(D,0"));
    EXPECT_EQ((std::vector<int>{5, 5}), FakeClockSleeps());
    EXPECT_EQ(0u, plc.RequestCount());
}

TEST_F(IoctlPacing, ElapsedTimeWrapsAt32Bits)
{
    plc.m_ticksPerRequest = 2;
    FakeClockReset(0x1FFFFFFFFLL);  // low 32 bits all ones
    EXPECT_EQ(0, device.DevIOCtrl("READ(D,0,WUB=A)"));
    EXPECT_EQ(std::vector<int>{3}, FakeClockSleeps());

    // Past the 32-bit range of a signed int as well.
    FakeClockReset(0x7FFFFFFFLL);
    EXPECT_EQ(0, device.DevIOCtrl("READ(D,0,WUB=A)"));
    EXPECT_EQ(std::vector<int>{3}, FakeClockSleeps());
}

TEST(IoctlHook, StatusEntryFollowsTheResult)
{
    FakeClockReset(0);
    HOLN_DATA data;
    CArray<double, double> values;
    CStringArray strings;
    CString command("FOO(1)");
    // Without a status entry there is nothing to report into: nothing runs.
    EXPECT_EQ(0, holn_device::SvrDevIOCtrl(data, command, values, strings));
    EXPECT_EQ(0, FakeClockTickCalls());

    values.SetSize(1);
    strings.SetSize(1);
    values[0] = 7;
    EXPECT_EQ(0, holn_device::SvrDevIOCtrl(data, command, values, strings));
    EXPECT_EQ(7.0, values[0]);  // unknown keyword: kept
    command = "READ(";
    EXPECT_EQ(0, holn_device::SvrDevIOCtrl(data, command, values, strings));
    EXPECT_EQ(5.0, values[0]);
}

}  // namespace
