// Late replies between IO-control commands: a reply that arrives after its
// command has ended must never pass for the reply of a later command.
#include "ioctl_fixture.h"

namespace {

class LateReplyTest : public IoctlTest {
protected:
    void SetUp() override
    {
        IoctlTest::SetUp();
        plc.SetWord(PLC_AREA_D, 1, 11);
        plc.SetWord(PLC_AREA_D, 2, 22);
        db.AddVar("A", 0);
        db.AddVar("B", 0);
        db.AddVar("St", 9);
    }

    // Runs a command whose first attempt goes unanswered in time and whose
    // second attempt gets the answer; the late answer to the first attempt
    // is then still on the line.
    void RunWithLateReply(const std::string& command)
    {
        plc.StaySilent(1);
        ASSERT_EQ(0, Run(command));
        ASSERT_EQ(2u, plc.RequestCount());
        plc.QueueReply(plc.BuildReply(Request(0)));
    }
};

TEST_F(LateReplyTest, IsDroppedAsStaleByTheNextRead)
{
    RunWithLateReply("READ(D,1,WUB=A)");
    ASSERT_EQ(11, db.IntVar("A"));
    EXPECT_EQ(0, Run("READ(D,2,WUB=B=St)"));
    EXPECT_EQ(22, db.IntVar("B"));
    EXPECT_EQ(0, db.IntVar("St"));
    EXPECT_NE(Request(2).transaction, Request(0).transaction);
}

TEST_F(LateReplyTest, DoesNotConfirmTheNextWrite)
{
    RunWithLateReply("WRITE(D,1,WUB=5)");
    ASSERT_EQ(5, plc.Word(PLC_AREA_D, 1));
    // The controller refuses the next write: the earlier acknowledgement
    // must not stand in for it.
    plc.AnswerException(0x04, 3);
    EXPECT_EQ(4, Run("WRITE(D,2,WUB=6=St)"));
    EXPECT_EQ(4, db.IntVar("St"));
    EXPECT_EQ(22, plc.Word(PLC_AREA_D, 2));
}

TEST(IoctlNumbering, CommandsAndCollectionsShareTheDevicesTransactionNumbers)
{
    CFakeRtdb db;
    CFakePlc plc;
    CDevCtrl device{"PLC1", &db};
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 0)}, {1, 0, 0, 0, 0, 0, 1, 0, 0});
    ASSERT_EQ(0, device.InitDevice(blob.Data(), blob.Size()));
    ASSERT_EQ(0, device.UpdataCommunication(&plc));
    int one = 1;
    ASSERT_EQ(0, device.ChannelRefChange(&one, 1));
    db.AddVar("A", 0);

    ASSERT_EQ(0, device.CollectDevData(&one, 1));
    ASSERT_EQ(0, device.DevIOCtrl("READP(D,50,WUB,3,A,A,A;D,500,WUB,1,A)"));
    ASSERT_EQ(0, device.DevIOCtrl("WRITE(D,60,WUB=4)"));
    ASSERT_EQ(0, device.CollectDevData(&one, 1));
    ASSERT_EQ(5u, plc.RequestCount());
    for (size_t i = 0; i < plc.RequestCount(); ++i) EXPECT_EQ(i + 1, plc.Requests()[i].transaction) << i;
    EXPECT_EQ(5u, device.HolnData().pMydata->nFrameSeq);
    device.CleanupDevice();
}

}  // namespace
