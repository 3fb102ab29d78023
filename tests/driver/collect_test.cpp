// The collection cycle through the device object: references, due ranks,
// requests on the wire, values and types reaching the database, failures.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "driver/qdevctrl.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

namespace {

using Bytes = FakeComm::Bytes;
const uint32_t D = 14, M = 0;

// Station 1, no waiting for silence, strings in wire order.
std::vector<int32_t> Props()
{
    return {1, 0, 0, 0, 0, 0, 1, 0, 0};
}

SBlobRow StrRow(uint32_t address, uint32_t length)
{
    SBlobRow row = SBlobRow::Word(D, address, 131);
    row.bit = length;
    return row;
}

class CollectTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (dev) {
            dev->CleanupDevice();
            delete dev;
        }
    }

    void Init(const std::vector<SBlobRow>& rows, const std::vector<int32_t>& props = Props())
    {
        dev = new CDevCtrl("PLC1", &db);
        CBlobBuilder blob = DeviceBlob(rows, props);
        ASSERT_EQ(0, dev->InitDevice(blob.Data(), blob.Size()));
        ASSERT_EQ(0, dev->UpdataCommunication(&plc));
        for (size_t i = 0; i < rows.size(); ++i) db.SetChannelType(static_cast<int>(i), DATATYPE_DOUBLE);
    }

    int Refs(const std::vector<int>& refs) { return dev->ChannelRefChange(refs.data(), static_cast<int>(refs.size())); }
    int RefAll(int count)
    {
        std::vector<int> refs(static_cast<size_t>(count), 1);
        return Refs(refs);
    }
    int Collect(const std::vector<int>& flags)
    {
        return dev->CollectDevData(flags.data(), static_cast<int>(flags.size()));
    }

    double Value(int channel) const { return dev->Values()[channel + 1]; }

    CFakeRtdb db;
    CFakePlc plc;
    CDevCtrl* dev = nullptr;
};

// --- references and the plan

TEST_F(CollectTest, ReferenceValuesBecomeFlags)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 40), SBlobRow::Word(D, 80), SBlobRow::Word(D, 120)});
    EXPECT_EQ(0, Refs({0, 2, -1, 1}));
    const CArray<int, int>& refs = dev->RefFlags();
    ASSERT_EQ(5, refs.GetSize());
    EXPECT_EQ(0, refs[0]);
    EXPECT_EQ(0, refs[1]);
    EXPECT_EQ(1, refs[2]);
    EXPECT_EQ(0, refs[3]);
    EXPECT_EQ(1, refs[4]);
    // Only the referenced channels are read, one rank each.
    plc.SetWord(PLC_AREA_D, 40, 4);
    plc.SetWord(PLC_AREA_D, 120, 12);
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));
    ASSERT_EQ(3u, plc.RequestCount());
    EXPECT_EQ(40u, plc.Requests()[0].address);
    EXPECT_EQ(120u, plc.Requests()[1].address);
    EXPECT_EQ(40u, plc.Requests()[2].address);
    EXPECT_EQ(12.0, db.Stored(3).d);
    EXPECT_FALSE(db.HasStored(0));
}

TEST_F(CollectTest, RefChangeArgumentsAndNoRows)
{
    Init({SBlobRow::Word(D, 0)});
    EXPECT_EQ(DEV_ERR_BADARG, dev->ChannelRefChange(nullptr, 1));
    int one = 1;
    EXPECT_EQ(DEV_ERR_BADARG, dev->ChannelRefChange(&one, -1));
    EXPECT_EQ(0, dev->ChannelRefChange(&one, 1));
    ASSERT_FALSE(plc.DevNames().empty());
    EXPECT_EQ("PLC1", plc.DevNames().back());

    CDevCtrl empty("E", &db);
    CBlobBuilder blob = DeviceBlob({}, Props());
    ASSERT_EQ(0, empty.InitDevice(blob.Data(), blob.Size()));
    EXPECT_EQ(0, empty.ChannelRefChange(&one, 1));
    EXPECT_EQ(0, empty.HolnData().pMydata->nRankNum);
    empty.CleanupDevice();
}

TEST_F(CollectTest, FewerReferencesThanRowsPlanOnlyThoseChannels)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1), SBlobRow::Word(D, 2), SBlobRow::Word(D, 3)});
    EXPECT_EQ(0, Refs({1, 1}));
    EXPECT_EQ(3, dev->RefFlags().GetSize());
    EXPECT_EQ(0, Collect({1, 1}));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(2, plc.LastRequest().count);

    // A later call with no references leaves nothing planned from the first one.
    int none = 0;
    EXPECT_EQ(0, dev->ChannelRefChange(&none, 0));
    EXPECT_EQ(0, dev->HolnData().pMydata->nRankNum);
    EXPECT_EQ(0, Collect({1, 1}));
    EXPECT_EQ(1u, plc.RequestCount());
}

// --- what makes a request

TEST_F(CollectTest, CountZeroAndNegativeAndNothingDue)
{
    Init({SBlobRow::Word(D, 0)});
    int flag = 1;
    CDevCtrl bare("B", &db);
    EXPECT_EQ(0, bare.CollectDevData(&flag, 0));  // before anything else is looked at
    EXPECT_EQ(DEV_ERR_NOCOMM, bare.CollectDevData(&flag, 1));
    EXPECT_EQ(0, dev->CollectDevData(nullptr, 1));
    EXPECT_EQ(DEV_ERR_NORTDB, dev->CollectDevData(&flag, -3));

    RefAll(1);
    EXPECT_EQ(0, Collect({0}));
    EXPECT_EQ(0, Collect({2}));
    EXPECT_EQ(0, Collect({-1}));
    EXPECT_EQ(0u, plc.RequestCount());
    EXPECT_EQ(0, db.Calls(FAKE_RTDB_SLOT_GETTYPEBYCHANNEL));
    bare.CleanupDevice();
}

TEST_F(CollectTest, ExactRequestBytesOfTheFirstTransaction)
{
    Init({SBlobRow::Word(D, 100), SBlobRow::Word(D, 101), SBlobRow::Word(D, 102), SBlobRow::Word(D, 103)});
    RefAll(4);
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(Bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x01, 0x20, 0x80, 0x00, 0x00, 0x64, 0x00, 0x04}),
              plc.LastRequest().bytes);
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));
    EXPECT_EQ(2, plc.LastRequest().transaction);
}

TEST_F(CollectTest, TwoRanksAlternate)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 100)});
    RefAll(2);
    ASSERT_EQ(2, dev->HolnData().pMydata->nRankNum);
    for (int call = 0; call < 5; ++call) {
        EXPECT_EQ(0, Collect({1, 1}));
        EXPECT_EQ(call % 2 == 0 ? 0u : 100u, plc.LastRequest().address) << "call " << call;
    }
    EXPECT_EQ(5u, plc.RequestCount());
}

TEST_F(CollectTest, RanksWithoutDueChannelAreSkipped)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 100), SBlobRow::Word(D, 200)});
    RefAll(3);
    EXPECT_EQ(0, Collect({0, 0, 1}));
    EXPECT_EQ(200u, plc.LastRequest().address);
    EXPECT_EQ(0, Collect({1, 0, 1}));
    EXPECT_EQ(0u, plc.LastRequest().address);  // wrapped round
    EXPECT_EQ(0, Collect({1, 0, 1}));
    EXPECT_EQ(200u, plc.LastRequest().address);
}

TEST_F(CollectTest, FailedRankIsRetriedAndLaterRanksWait)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 100)});
    RefAll(2);
    plc.StaySilent(2);
    EXPECT_EQ(2, Collect({1, 1}));
    EXPECT_EQ(2, Collect({1, 1}));
    EXPECT_EQ(0, Collect({1, 1}));
    EXPECT_EQ(0, Collect({1, 1}));
    ASSERT_EQ(4u, plc.RequestCount());
    EXPECT_EQ(0u, plc.Requests()[0].address);
    EXPECT_EQ(0u, plc.Requests()[1].address);
    EXPECT_EQ(0u, plc.Requests()[2].address);
    EXPECT_EQ(100u, plc.Requests()[3].address);

    // A failing rank that stops being due lets the next one through.
    plc.StaySilent(-1);
    EXPECT_EQ(2, Collect({1, 1}));
    EXPECT_EQ(0u, plc.LastRequest().address);
    plc.Normal();
    EXPECT_EQ(0, Collect({0, 1}));
    EXPECT_EQ(100u, plc.LastRequest().address);
}

TEST_F(CollectTest, FailedReadStoresNothingAndKeepsValues)
{
    Init({SBlobRow::Word(D, 0)});
    RefAll(1);
    plc.SetWord(PLC_AREA_D, 0, 5);
    EXPECT_EQ(0, Collect({1}));
    EXPECT_EQ(1, db.StoreCount(0));
    plc.SetWord(PLC_AREA_D, 0, 6);
    plc.StaySilent();
    EXPECT_EQ(2, Collect({1}));
    EXPECT_EQ(4, dev->CollectFlags()[1]);
    EXPECT_EQ(5.0, Value(0));
    EXPECT_EQ(2.0, dev->Values()[0]);
    EXPECT_EQ(1, db.StoreCount(0));

    plc.AnswerException(0x02);
    EXPECT_EQ(7, Collect({1}));
    plc.AnswerShort(7);
    EXPECT_EQ(7, Collect({1}));
    plc.AnswerStaleOnly();
    EXPECT_EQ(2, Collect({1}));
    EXPECT_EQ(1, db.StoreCount(0));
    EXPECT_EQ(5.0, Value(0));

    EXPECT_EQ(0, Collect({1}));
    EXPECT_EQ(6.0, db.Stored(0).d);
    EXPECT_EQ(0.0, dev->Values()[0]);
}

// --- what is stored

TEST_F(CollectTest, FlagTwoAndZeroAreStoredWhenTheirRankIsRead)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1), SBlobRow::Word(D, 2)});
    RefAll(3);
    plc.SetWords(PLC_AREA_D, 0, {10, 11, 12});
    EXPECT_EQ(0, Collect({0, 2, 0}));  // nothing due: no read
    EXPECT_EQ(0u, plc.RequestCount());
    EXPECT_EQ(0, Collect({1, 2, 0}));
    EXPECT_EQ(10.0, db.Stored(0).d);
    EXPECT_EQ(11.0, db.Stored(1).d);
    EXPECT_EQ(12.0, db.Stored(2).d);
}

TEST_F(CollectTest, UnreferencedChannelInsideABlockIsStored)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1), SBlobRow::Word(D, 2)});
    Refs({1, 0, 1});
    plc.SetWords(PLC_AREA_D, 0, {10, 11, 12});
    EXPECT_EQ(0, Collect({1, 0, 1}));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(3, plc.LastRequest().count);
    EXPECT_EQ(11.0, db.Stored(1).d);
}

TEST_F(CollectTest, WriteOnlyChannelInsideARankIsNeverDecoded)
{
    SBlobRow wo = SBlobRow::Word(D, 1);
    wo.rwFlag = 1;
    Init({SBlobRow::Word(D, 0), wo, SBlobRow::Word(D, 2)});
    RefAll(3);
    plc.SetWords(PLC_AREA_D, 0, {10, 11, 12});
    EXPECT_EQ(0, Collect({1, 1, 1}));
    EXPECT_EQ(10.0, db.Stored(0).d);
    EXPECT_EQ(12.0, db.Stored(2).d);
    // Due and inside the rank, it is stored from the value arrays, but the
    // controller's register never reaches it.
    EXPECT_EQ(3, dev->CollectFlags()[2]);
    EXPECT_EQ(0.0, db.Stored(1).d);
}

TEST_F(CollectTest, RuntimeThreeIsStoredAfterAnySuccessfulRead)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 100)});
    RefAll(2);
    plc.SetWord(PLC_AREA_D, 0, 1);
    plc.SetWord(PLC_AREA_D, 100, 7);
    EXPECT_EQ(0, Collect({1, 1}));
    EXPECT_EQ(0, Collect({1, 1}));  // channel 1 now holds 7
    plc.SetWord(PLC_AREA_D, 100, 8);
    db.ResetCounters();
    EXPECT_EQ(0, Collect({1, 3}));  // reads rank 0 only
    EXPECT_EQ(0u, plc.LastRequest().address);
    EXPECT_EQ(2, db.Calls(FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL));
    EXPECT_EQ(7.0, db.Stored(1).d);  // the value from the arrays, not re-read

    plc.StaySilent();
    db.ResetCounters();
    EXPECT_EQ(2, Collect({1, 3}));
    EXPECT_EQ(0, db.Calls(FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL));
}

// A read stores the channels of its own rank and those the runtime passed as
// 3, wherever they lie: before the rank as well as after it.
TEST_F(CollectTest, ReadStoresItsRankAndRuntimeThreesOnly)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 100), SBlobRow::Word(D, 200), SBlobRow::Word(D, 300)});
    RefAll(4);
    plc.SetWords(PLC_AREA_D, 0, {10});
    plc.SetWords(PLC_AREA_D, 100, {11});
    plc.SetWords(PLC_AREA_D, 200, {12});
    plc.SetWords(PLC_AREA_D, 300, {13});
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));  // rank 0
    db.ResetCounters();
    EXPECT_EQ(0, Collect({1, 1, 1, 1}));  // rank 1: channel 1 alone
    EXPECT_EQ(1, db.Calls(FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL));
    EXPECT_EQ(11.0, db.Stored(1).d);

    plc.SetWords(PLC_AREA_D, 0, {20});
    db.ResetCounters();
    EXPECT_EQ(0, Collect({3, 1, 1, 3}));  // rank 2, plus channels 0 and 3 from the arrays
    EXPECT_EQ(200u, plc.LastRequest().address);
    EXPECT_EQ(3, db.Calls(FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL));
    EXPECT_EQ(10.0, db.Stored(0).d);  // not re-read
    EXPECT_EQ(12.0, db.Stored(2).d);
    EXPECT_EQ(0.0, db.Stored(3).d);  // never read yet: the arrays hold 0
}

TEST_F(CollectTest, ValuesReachTheDatabaseByItsType)
{
    SBlobRow flt = SBlobRow::Word(D, 0, 89);
    SBlobRow big = SBlobRow::Word(D, 2, 86);
    SBlobRow nan = SBlobRow::Word(D, 4, 89);
    SBlobRow neg = SBlobRow::Word(D, 6, 87);
    Init({flt, big, nan, neg, StrRow(8, 4), SBlobRow::Word(D, 10)});
    db.SetChannelType(0, DATATYPE_INT);
    db.SetChannelType(1, DATATYPE_INT);
    db.SetChannelType(2, DATATYPE_INT);
    db.SetChannelType(3, DATATYPE_INT);
    db.SetChannelType(4, DATATYPE_STRING);
    db.SetChannelType(5, 7);  // a type the driver does not store
    RefAll(6);
    plc.SetWords(PLC_AREA_D, 0, {0xC02C, 0xCCCD, 0xFFFF, 0xFFFF, 0x7FC0, 0x0000, 0xFFFF, 0xFFFE});
    plc.SetWordBytes(PLC_AREA_D, 8, {'a', 'b', 'c', 'd'});
    EXPECT_EQ(0, Collect({1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(0, Collect({1, 1, 1, 1, 1, 1}));  // the string opens a block of its own
    ASSERT_EQ(2u, plc.RequestCount());
    EXPECT_EQ(DATATYPE_INT, db.Stored(0).type);
    EXPECT_EQ(-2, db.Stored(0).i);  // -2.7 cut toward zero
    EXPECT_EQ(INT_MAX, db.Stored(1).i);
    EXPECT_EQ(0, db.Stored(2).i);  // NaN
    EXPECT_EQ(-2, db.Stored(3).i);
    EXPECT_EQ(DATATYPE_STRING, db.Stored(4).type);
    EXPECT_EQ("abcd", db.Stored(4).s);
    EXPECT_FALSE(db.HasStored(5));
}

TEST_F(CollectTest, DatabaseRefusingTheTypeReceivesNothing)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1)});
    RefAll(2);
    db.ForceResult(FAKE_RTDB_SLOT_GETTYPEBYCHANNEL, 1);
    EXPECT_EQ(0, Collect({1, 1}));
    EXPECT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(2, db.Calls(FAKE_RTDB_SLOT_GETTYPEBYCHANNEL));
    EXPECT_TRUE(db.Stores().empty());
}

TEST_F(CollectTest, BitsStringsAndJoinedBlocksFromTheController)
{
    Init({SBlobRow::Bit(M, 3), SBlobRow::Bit(M, 4), SBlobRow::Bit(M, 9), StrRow(300, 6), SBlobRow::Word(D, 303)});
    RefAll(5);
    plc.SetBit(PLC_AREA_M, 4, true);
    plc.SetBit(PLC_AREA_M, 9, true);
    plc.SetWordBytes(PLC_AREA_D, 300, {'x', 'y', 'z', 0, 0, 0});
    plc.SetWord(PLC_AREA_D, 303, 303);
    db.SetChannelType(3, DATATYPE_STRING);
    EXPECT_EQ(0, Collect({1, 1, 1, 1, 1}));
    EXPECT_EQ(0, Collect({1, 1, 1, 1, 1}));
    ASSERT_EQ(2u, plc.RequestCount());
    EXPECT_EQ(0.0, db.Stored(0).d);
    EXPECT_EQ(1.0, db.Stored(1).d);
    EXPECT_EQ(1.0, db.Stored(2).d);
    EXPECT_EQ("xyz", db.Stored(3).s);
    EXPECT_EQ(303.0, db.Stored(4).d);
}

// --- hostile or unusual calls

TEST_F(CollectTest, FewerFlagsThanRowsStayInside)
{
    Init({SBlobRow::Word(D, 0), SBlobRow::Word(D, 1), SBlobRow::Word(D, 2), SBlobRow::Word(D, 3)});
    RefAll(4);
    plc.SetWords(PLC_AREA_D, 0, {1, 2, 3, 4});
    EXPECT_EQ(0, Collect({0, 1}));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(3, dev->CollectFlags().GetSize());
    EXPECT_EQ(2.0, db.Stored(1).d);
    EXPECT_FALSE(db.HasStored(2));
    EXPECT_FALSE(db.HasStored(3));

    // Rows past the runtime's count are never due, even if a plan covers them.
    EXPECT_EQ(0, Collect({0}));
    EXPECT_EQ(1u, plc.RequestCount());
}

TEST_F(CollectTest, ArraysAreReusedWhileTheCountStays)
{
    std::vector<SBlobRow> rows;
    for (uint32_t a = 0; a < 300; ++a) rows.push_back(SBlobRow::Word(D, a));
    Init(rows);
    RefAll(300);
    int ranks = dev->HolnData().pMydata->nRankNum;
    ASSERT_GE(ranks, 3);
    std::vector<int> flags(300, 1);
    EXPECT_EQ(0, Collect(flags));
    const double* storage = dev->Values().GetData();
    for (int call = 1; call < 2 * ranks; ++call) {
        EXPECT_EQ(0, Collect(flags));
        EXPECT_EQ(static_cast<size_t>(call + 1), plc.RequestCount());  // one request per call
    }
    EXPECT_EQ(storage, dev->Values().GetData());
    EXPECT_EQ(301, dev->Values().GetSize());
}

TEST_F(CollectTest, CollectAfterCleanupOrWithoutPlan)
{
    Init({SBlobRow::Word(D, 0)});
    EXPECT_EQ(0, Collect({1}));  // no ChannelRefChange yet: nothing planned
    EXPECT_EQ(0u, plc.RequestCount());
    dev->CleanupDevice();
    EXPECT_EQ(DEV_ERR_NORTDB, Collect({1}));
    EXPECT_EQ(DEV_ERR_NORTDB, Refs({1}));
    EXPECT_EQ(0u, plc.RequestCount());
}

}  // namespace
