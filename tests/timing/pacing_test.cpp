// Pacing of channel writes on the fake clock: a write lasts at least the
// minimum operation time, whatever its transaction took or returned.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "driver/dravik_vemo_pna.h"
#include "fake_clock.h"
#include "protocol/DevBas.h"
#include "support/fake_plc.h"
#include "support/schema.h"

namespace {

// A controller whose every request costs a set number of ticks on the fake
// clock; a jump target stands for a tick counter that wraps at 32 bits.
class CSlowPlc : public CFakePlc {
public:
    int64_t cost = 0;
    bool jump = false;
    int64_t jumpTo = 0;

protected:
    void OnWrite(const Bytes& written) override
    {
        if (jump) {
            FakeClockSet(jumpTo);
        } else {
            FakeClockAdvance(cost);
        }
        CFakePlc::OnWrite(written);
    }
};

class PacingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeClockReset(1000);
        InstallRowSchema();
        dev.pDevTable = new CDevTable;
        dev.dwPropValue.SetSize(9);
        dev.dwPropValue[DEVPROP_STATION] = 1;
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, 2);
        row.SetdwValueAt(DEVROW_IDX_TYPE, 14);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, 100);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, DATACODE_WUB);
        CArray<CDevRow, CDevRow&> rows;
        rows.Add(row);
        dev.pDevTable->AddRows(rows, 0);
        data.pMydata = &dev;
        data.pComm = &plc;
    }
    void TearDown() override { delete dev.pDevTable; }

    int Write(int value) { return holn_device::SvrDevWriteChannel(data, 0, DATATYPE_INT, &value); }

    CSlowPlc plc;
    DEV_DATA dev;
    HOLN_DATA data;
};

}  // namespace

TEST_F(PacingTest, QuickWriteSleepsTheRest)
{
    plc.cost = 1;
    EXPECT_EQ(Write(1), 0);
    EXPECT_EQ(FakeClockSleeps(), (std::vector<int>{4}));
    EXPECT_EQ(FakeClockNow(), 1005);
}

TEST_F(PacingTest, SlowWriteDoesNotSleep)
{
    plc.cost = 5;
    EXPECT_EQ(Write(1), 0);
    plc.cost = 40;
    EXPECT_EQ(Write(2), 0);
    EXPECT_TRUE(FakeClockSleeps().empty());
    EXPECT_EQ(FakeClockNow(), 1045);
    EXPECT_EQ(plc.RequestCount(), 2u);
}

TEST_F(PacingTest, InstantWriteSleepsTheWholeMinimum)
{
    EXPECT_EQ(Write(1), 0);
    EXPECT_EQ(FakeClockSleeps(), (std::vector<int>{5}));
}

TEST_F(PacingTest, FailedWritesArePacedToo)
{
    plc.StaySilent(3);  // wait time 0: each attempt ends at once
    EXPECT_EQ(Write(1), 4);
    EXPECT_EQ(plc.RequestCount(), 3u);
    EXPECT_EQ(FakeClockSleeps(), (std::vector<int>{5}));

    // Refused before anything is sent: still paced.
    FakeClockReset(0);
    EXPECT_EQ(holn_device::SvrDevWriteChannel(data, 0, 9, nullptr), 5);
    EXPECT_EQ(FakeClockSleeps(), (std::vector<int>{5}));
}

TEST_F(PacingTest, NegativeChannelReturnsAtOnce)
{
    int value = 1;
    EXPECT_EQ(holn_device::SvrDevWriteChannel(data, -1, DATATYPE_INT, &value), 0);
    EXPECT_EQ(FakeClockTickCalls(), 0);
    EXPECT_TRUE(FakeClockSleeps().empty());
    EXPECT_EQ(plc.RequestCount(), 0u);
}

TEST_F(PacingTest, ElapsedTimeIsMeasuredOnTheLowThirtyTwoBits)
{
    // The counter wraps from 0xFFFFFFFF to 1: two ticks have passed.
    FakeClockReset(0xFFFFFFFFll);
    plc.jump = true;
    plc.jumpTo = 1;
    EXPECT_EQ(Write(1), 0);
    EXPECT_EQ(FakeClockSleeps(), (std::vector<int>{3}));

    // Bits above the low 32 do not count either.
    FakeClockReset(0x100000000ll + 10);
    plc.jumpTo = 0x300000000ll + 11;
    EXPECT_EQ(Write(1), 0);
    EXPECT_EQ(FakeClockSleeps(), (std::vector<int>{4}));
}
