// The command text as a whole: keywords, several commands in one text, the
// texts that are no command, the device's state checks, and what a command
// leaves of the device's own plan.
#include "ioctl_fixture.h"

namespace {

TEST_F(IoctlTest, CommandsRunFromLastToFirst)
{
    plc.SetWord(PLC_AREA_D, 1, 11);
    plc.SetWord(PLC_AREA_D, 2, 22);
    db.AddVar("A", 0);
    db.AddVar("B", 0);
    EXPECT_EQ(1, Result("READ(D,1,WUB=A) READ(D,2,WUB=B)"));
    ASSERT_EQ(2u, plc.RequestCount());
    EXPECT_EQ(2u, Request(0).address);
    EXPECT_EQ(1u, Request(1).address);
    EXPECT_EQ(11, db.IntVar("A"));
    EXPECT_EQ(22, db.IntVar("B"));

    // The result is the first command's, whatever the later ones did.
    plc.ClearRequests();
    plc.StaySilent(3);
    EXPECT_EQ(0, Run("READ(D,1,WUB=A)\r\nREAD(D,2,WUB=B)"));
    plc.AnswerSplit({}, 1);
    plc.StaySilent(3);
    EXPECT_EQ(2, Run("READ(D,1,WUB=A)READ(D,2,WUB=B)"));
    EXPECT_EQ(8u, plc.RequestCount());
    EXPECT_EQ(2u, plc.Requests()[4].address);
    EXPECT_EQ(1u, plc.Requests()[5].address);
    // Each command sets its own status variable.
    db.AddVar("S1", 0);
    db.AddVar("S2", 0);
    EXPECT_EQ(6, Run("READ(D,1,WUB=S=S1) READ(D,2,WUB=B=S2)"));
    EXPECT_EQ(6, db.IntVar("S1"));
    EXPECT_EQ(0, db.IntVar("S2"));
}

TEST_F(IoctlTest, SemicolonBetweenCommandsStopsTheSecond)
{
    db.AddVar("A", 0);
    db.AddVar("B", 0);
    plc.SetWord(PLC_AREA_D, 1, 11);
    plc.SetWord(PLC_AREA_D, 2, 22);
    EXPECT_EQ(0, Run("READ(D,1,WUB=A);READ(D,2,WUB=B)"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(1u, Request(0).address);
    EXPECT_EQ(0, db.IntVar("B"));
}

TEST_F(IoctlTest, TextsThatAreNoCommand)
{
    db.AddVar("A", 0);
    EXPECT_EQ(-5, Result("READ(D,1,WUB=A"));
    EXPECT_EQ(-5, Result("READ D,1,WUB=A)"));
    EXPECT_EQ(-5, Result(""));
    EXPECT_EQ(-5, Result(")READ(D,1,WUB=A)"));  // ")" before the first "("
    EXPECT_EQ(-5, Result("READ)D,1,WUB=A("));
    EXPECT_EQ(5, Run("READ(D,1,WUB=A"));
    EXPECT_EQ(0u, plc.RequestCount());

    // Text after a command that is no command changes nothing.
    plc.SetWord(PLC_AREA_D, 1, 11);
    EXPECT_EQ(1, Result("READ(D,1,WUB=A) trailing words"));
    EXPECT_EQ(1u, plc.RequestCount());
    // Nor does anything behind a piece whose ")" comes first.
    plc.ClearRequests();
    EXPECT_EQ(1, Result("READ(D,1,WUB=A) )READ(D,2,WUB=A)"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(1u, Request(0).address);
}

TEST_F(IoctlTest, UnknownKeywordKeepsThePreviousStatus)
{
    // A failed collection leaves its error as the status.
    int one = 1;
    ASSERT_EQ(0, device.ChannelRefChange(&one, 1));
    plc.StaySilent();
    ASSERT_EQ(2, device.CollectDevData(&one, 1));
    plc.ClearRequests();
    EXPECT_EQ(2, Run("FOO(D,1,WUB=A)"));
    EXPECT_EQ(2, Run("HOLN_WRITE(D,1,WUB=1)"));
    EXPECT_EQ(2, Run("READ 32(D,1,WUB=A)"));
    EXPECT_EQ(0, Result("FOO(D,1,WUB=A)"));
    EXPECT_EQ(0u, plc.RequestCount());
    // A later unknown keyword does not hide a known first one.
    db.AddVar("A", 0);
    EXPECT_EQ(0, Run("READ(D,1,WUB=A) FOO(1)"));
    EXPECT_EQ(1u, plc.RequestCount());
}

TEST_F(IoctlTest, KeywordsIgnoreCaseAndBlanks)
{
    plc.SetWords(PLC_AREA_D, 0, {5, 6});
    db.AddVar("A", 0);
    db.AddVar("Out", "");
    EXPECT_EQ(1, Result("read(d,1,wub=A)"));
    EXPECT_EQ(6, db.IntVar("A"));
    EXPECT_EQ(1, Result("  Read \t(D,0,WUB=A)"));
    EXPECT_EQ(5, db.IntVar("A"));
    EXPECT_EQ(1, Result("READMUTIREG(D,0,2,wub,Out)"));
    EXPECT_EQ("5,6", db.StrVar("Out"));
    EXPECT_EQ(3u, plc.RequestCount());
}

TEST_F(IoctlTest, HundredThousandCommandsInOneText)
{
    // The last command runs first, the first command last.
    plc.SetWord(PLC_AREA_D, 0, 1);
    plc.SetWord(PLC_AREA_D, 1, 2);
    db.AddVar("A", 0);
    const int n = 100000;
    std::string text = "READ(D,0,WUB=A)";
    text.reserve(static_cast<size_t>(n) * 8);
    for (int i = 1; i < n - 1; ++i) text += " FOO(x)";
    text += " READ(D,1,WUB=A)";
    EXPECT_EQ(1, Result(text));
    EXPECT_EQ(1, db.IntVar("A"));
    ASSERT_EQ(2u, plc.RequestCount());
    EXPECT_EQ(1u, Request(0).address);

    // Many real commands: every one is carried out, the first one last.
    plc.ClearRequests();
    const int reads = 2000;
    std::string many;
    for (int i = 0; i < reads; ++i) many += i % 2 ? "READ(D,1,WUB=A)" : "READ(D,0,WUB=A)";
    EXPECT_EQ(0, Run(many));
    ASSERT_EQ(static_cast<size_t>(reads), plc.RequestCount());
    EXPECT_EQ(1u, Request(0).address);
    EXPECT_EQ(0u, plc.LastRequest().address);
    EXPECT_EQ(1, db.IntVar("A"));
}

TEST_F(IoctlTest, CommandsLeaveTheDevicePlanAlone)
{
    int one = 1;
    ASSERT_EQ(0, device.ChannelRefChange(&one, 1));
    DEV_DATA& dev = *device.HolnData().pMydata;
    plc.SetWord(PLC_AREA_D, 0, 3);
    ASSERT_EQ(0, device.CollectDevData(&one, 1));
    const uint32_t seq = dev.nFrameSeq;
    const int blocks = dev.DynBlockArray.GetSize();

    db.AddVar("A", 0);
    EXPECT_EQ(0, Run("READP(D,50,WUB,3,A,A,A;D,500,WUB,1,A)"));
    EXPECT_EQ(0, Run("WRITE(D,60,WUB=4)"));
    // Commands number their transactions on from the device's.
    ASSERT_EQ(4u, plc.RequestCount());
    EXPECT_EQ(seq + 1, plc.Requests()[1].transaction);
    EXPECT_EQ(seq + 2, plc.Requests()[2].transaction);
    EXPECT_EQ(seq + 3, plc.Requests()[3].transaction);

    EXPECT_EQ(seq + 3, dev.nFrameSeq);
    EXPECT_EQ(blocks, dev.DynBlockArray.GetSize());
    EXPECT_EQ(1, dev.pDevTable->GetRowCount());
    EXPECT_EQ(1, dev.nRankNum);
    ASSERT_EQ(0, device.CollectDevData(&one, 1));
    EXPECT_EQ(0u, plc.LastRequest().address);
}

TEST(IoctlDevice, RefusedWithoutDeviceData)
{
    CFakeRtdb db;
    CFakePlc plc;
    db.AddVar("A", 0);
    CDevCtrl device("PLC1", &db);
    device.UpdataCommunication(&plc);
    EXPECT_EQ(DEV_ERR_BADARG, device.DevIOCtrl("READ(D,0,WUB=A)"));
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 0)});
    ASSERT_EQ(0, device.InitDevice(blob.Data(), blob.Size()));
    EXPECT_EQ(0, device.DevIOCtrl("WRITE(D,0,WUB=A)"));
    device.CleanupDevice();
    EXPECT_EQ(DEV_ERR_BADARG, device.DevIOCtrl("READ(D,0,WUB=A)"));
    EXPECT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(DEV_ERR_BADARG, device.DevIOCtrl(nullptr));
    device.UpdataCommunication(nullptr);
    EXPECT_EQ(DEV_ERR_NOCOMM, device.DevIOCtrl("READ(D,0,WUB=A)"));
}

}  // namespace
