// Writing IO-control commands through the device object: where the values
// come from, what reaches the controller, refusals before anything is sent,
// and the write state handed back to the device.
#include "ioctl_fixture.h"

namespace {

const uint8_t FUNC_WRITEBIT = 0x1F;
const uint8_t FUNC_WRITEWORD = 0x21;

TEST_F(IoctlTest, WriteBitAndWords)
{
    db.AddVar("St", 9);
    EXPECT_EQ(0, Run("WRITE(M,5,X=1=St)"));  // the type text of a bit area is ignored
    EXPECT_TRUE(plc.Bit(PLC_AREA_M, 5));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(FUNC_WRITEBIT, Request(0).function);
    EXPECT_EQ(5u, Request(0).address);
    EXPECT_EQ(0, db.IntVar("St"));

    db.AddVar("I", 1234);
    db.AddVar("F", 70000.4);
    EXPECT_EQ(1, Result("WRITE(D,3,WUB=I)"));
    EXPECT_EQ(1234, plc.Word(PLC_AREA_D, 3));
    EXPECT_EQ(FUNC_WRITEWORD, plc.LastRequest().function);
    EXPECT_EQ(0, Run("WRITE(D,4,DUB=F)"));
    EXPECT_EQ(0x0001, plc.Word(PLC_AREA_D, 4));
    EXPECT_EQ(0x1170, plc.Word(PLC_AREA_D, 5));
    EXPECT_EQ(0, Run("write(d,6,wb= -2 )"));  // a literal number
    EXPECT_EQ(0xFFFE, plc.Word(PLC_AREA_D, 6));
}

TEST_F(IoctlTest, Write32ReadsTextByWidth)
{
    db.AddVar("S1", "1.5");
    EXPECT_EQ(0, Run("WRITE32(D,0,DF=S1)"));
    EXPECT_EQ(FloatWords(1.5f)[0], plc.Word(PLC_AREA_D, 0));
    EXPECT_EQ(FloatWords(1.5f)[1], plc.Word(PLC_AREA_D, 1));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(2u, Request(0).count);

    db.AddVar("Big", "4294967295");
    EXPECT_EQ(0, Run("WRITE32(D,2,DUB=Big)"));
    EXPECT_EQ(0xFFFF, plc.Word(PLC_AREA_D, 2));
    EXPECT_EQ(0xFFFF, plc.Word(PLC_AREA_D, 3));
    EXPECT_EQ(0, Run("WRITE32(D,4,DB=-2)"));  // the literal text
    EXPECT_EQ(0xFFFF, plc.Word(PLC_AREA_D, 4));
    EXPECT_EQ(0xFFFE, plc.Word(PLC_AREA_D, 5));
    db.AddVar("Frac", "7.9");
    EXPECT_EQ(0, Run("WRITE32(D,6,WUB=Frac)"));  // read as an integer
    EXPECT_EQ(7, plc.Word(PLC_AREA_D, 6));
}

TEST_F(IoctlTest, WriteAndWrite32SendOneRequestPerChannel)
{
    db.AddVar("A", 1);
    db.AddVar("B", 2);
    EXPECT_EQ(0, Run("WRITE(D,0,WUB=A;D,1,WUB=B)"));
    ASSERT_EQ(2u, plc.RequestCount());
    EXPECT_EQ(0u, Request(0).address);
    EXPECT_EQ(1u, Request(1).address);
    EXPECT_EQ(2, plc.Word(PLC_AREA_D, 1));
}

TEST_F(IoctlTest, WritePAndWritePVPackTheRun)
{
    db.AddVar("A", 10);
    db.AddVar("B", 20.0);
    EXPECT_EQ(0, Run("WRITEP(D,0,WUB,3,A,B,30)"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(3u, Request(0).count);
    EXPECT_EQ(10, plc.Word(PLC_AREA_D, 0));
    EXPECT_EQ(20, plc.Word(PLC_AREA_D, 1));
    EXPECT_EQ(30, plc.Word(PLC_AREA_D, 2));

    db.AddVar("T01", 1);
    db.AddVar("T02", 2);
    db.AddVar("T03", 3);
    EXPECT_EQ(0, Run("WRITEPV(D,10,WUB,3,T01)"));
    EXPECT_EQ(1, plc.Word(PLC_AREA_D, 10));
    EXPECT_EQ(2, plc.Word(PLC_AREA_D, 11));
    EXPECT_EQ(3, plc.Word(PLC_AREA_D, 12));

    // 50 registers are more than one write may carry: 48, then 2.
    plc.ClearRequests();
    std::string text = "WRITEP(D,100,WUB,50";
    for (int i = 0; i < 50; ++i) text += "," + std::to_string(i);
    EXPECT_EQ(0, Run(text + ")"));
    ASSERT_EQ(2u, plc.RequestCount());
    EXPECT_EQ(48u, Request(0).count);
    EXPECT_EQ(148u, Request(1).address);
    EXPECT_EQ(49, plc.Word(PLC_AREA_D, 149));
}

TEST_F(IoctlTest, WriteBlockTakesRecordsFromAVariable)
{
    db.AddVar("Rec", "1,2\r\n3,4");
    db.AddVar("St", 9);
    EXPECT_EQ(0, Run("WRITEBLOCK(D,10,[DUB][WUB],2,Rec,St)"));
    EXPECT_EQ(0, db.IntVar("St"));
    EXPECT_EQ(0, plc.Word(PLC_AREA_D, 10));
    EXPECT_EQ(1, plc.Word(PLC_AREA_D, 11));
    EXPECT_EQ(2, plc.Word(PLC_AREA_D, 12));
    EXPECT_EQ(0, plc.Word(PLC_AREA_D, 13));
    EXPECT_EQ(3, plc.Word(PLC_AREA_D, 14));
    EXPECT_EQ(4, plc.Word(PLC_AREA_D, 15));
    EXPECT_EQ(1u, plc.RequestCount());
}

TEST_F(IoctlTest, ReadBlockAndReadMutiRegFeedTheirWrites)
{
    plc.SetWords(PLC_AREA_D, 0, {0, 70000 >> 16, 70000 & 0xFFFF, 5});
    plc.SetWords(PLC_AREA_D, 3, {0x0001, 0x1170, 6});
    db.AddVar("Rec", "");
    EXPECT_EQ(0, Run("READBLOCK(D,1,[DUB][WUB],2,Rec)"));
    EXPECT_EQ(0, Run("WRITEBLOCK(D,101,[DUB][WUB],2,Rec)"));
    for (uint32_t i = 1; i <= 6; ++i) EXPECT_EQ(plc.Word(PLC_AREA_D, i), plc.Word(PLC_AREA_D, 100 + i)) << i;

    plc.SetWords(PLC_AREA_D, 20, {0xFFFF, 0x8000, 12});
    db.AddVar("Out", "");
    EXPECT_EQ(0, Run("ReadMutiReg(D,20,3,WB,Out)"));
    EXPECT_EQ("-1,-32768,12", db.StrVar("Out"));
    db.AddVar("St", 9);
    EXPECT_EQ(0, Run("WriteMutiReg(D,40,3,WB,Out,St)"));
    EXPECT_EQ(0, db.IntVar("St"));
    EXPECT_EQ(0xFFFF, plc.Word(PLC_AREA_D, 40));
    EXPECT_EQ(0x8000, plc.Word(PLC_AREA_D, 41));
    EXPECT_EQ(12, plc.Word(PLC_AREA_D, 42));

    plc.SetWords(PLC_AREA_D, 60, FloatWords(-0.75f));
    plc.SetWords(PLC_AREA_D, 62, FloatWords(3.25f));
    EXPECT_EQ(0, Run("ReadMutiReg(D,60,2,DF,Out)"));
    EXPECT_EQ("-0.750000,3.250000", db.StrVar("Out"));
    EXPECT_EQ(0, Run("WriteMutiReg(D,80,2,DF,Out)"));
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(plc.Word(PLC_AREA_D, 60 + i), plc.Word(PLC_AREA_D, 80 + i)) << i;
}

TEST_F(IoctlTest, Write32CarriesTextToStringRows)
{
    db.AddVar("S1", "Hello");
    db.AddVar("S2", "");
    EXPECT_EQ(0, Run("WRITE32(D,0,STR=S1)"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(64u, Request(0).count);  // the whole 128 bytes
    EXPECT_EQ(0x4865, plc.Word(PLC_AREA_D, 0));
    EXPECT_EQ(0x6F00, plc.Word(PLC_AREA_D, 2));
    EXPECT_EQ(0, plc.Word(PLC_AREA_D, 63));
    EXPECT_EQ(0, Run("READ32(D,0,STR=S2)"));
    EXPECT_EQ("Hello", db.StrVar("S2"));
    // A literal that names no variable is the text itself.
    EXPECT_EQ(0, Run("WRITE32(D,100,STR=abc)"));
    EXPECT_EQ(0x6162, plc.Word(PLC_AREA_D, 100));
}

TEST_F(IoctlTest, OtherWritesRefuseStringRows)
{
    db.AddVar("St", 0);
    db.AddVar("Rec", "1,2");
    EXPECT_EQ(5, Run("WRITE(D,0,STR=1=St)"));
    EXPECT_EQ(5, db.IntVar("St"));
    db.AddVar("St", 0);
    EXPECT_EQ(5, Run("WRITEP(D,0,WUB,1,7;D,10,STR,1,8,St)"));
    EXPECT_EQ(5, db.IntVar("St"));
    EXPECT_EQ(5, Run("WRITEBLOCK(D,0,[WUB][STR],1,Rec)"));
    EXPECT_EQ(5, Run("WriteMutiReg(D,0,2,STR,Rec)"));
    EXPECT_EQ(0u, plc.RequestCount());
}

TEST_F(IoctlTest, FailedWriteStopsAndReportsIt)
{
    db.AddVar("A", 1);
    db.AddVar("St", 0);
    plc.AnswerException(0x02);
    EXPECT_EQ(4, Run("WRITE(D,0,WUB=A=St)"));
    EXPECT_EQ(4, db.IntVar("St"));
    EXPECT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(0, plc.Word(PLC_AREA_D, 0));

    // The first block is written; the second fails; no third is tried.
    plc.ClearRequests();
    plc.AnswerSplit({}, 1);
    plc.StaySilent(-1);
    EXPECT_EQ(4, Run("WRITE(D,0,WUB=A;D,1,WUB=A;D,2,WUB=A=St)"));
    EXPECT_EQ(1, plc.Word(PLC_AREA_D, 0));
    EXPECT_EQ(0, plc.Word(PLC_AREA_D, 1));
    EXPECT_EQ(4u, plc.RequestCount());  // one, then three attempts
    EXPECT_EQ(1u, plc.Requests().back().address);
}

TEST_F(IoctlTest, WriteStateReturnsToTheDevice)
{
    DEV_DATA& dev = *device.HolnData().pMydata;
    dev.nWriteState1 = 7;
    dev.nWriteState2 = 8;
    dev.dwWriteTick = 99;
    dev.nKeepValue = 3;
    db.AddVar("A", 1);
    EXPECT_EQ(0, Run("WRITE(D,0,WUB=A)"));
    EXPECT_EQ(7, dev.nWriteState1);
    EXPECT_EQ(99u, dev.dwWriteTick);

    plc.AnswerException(0x02);
    EXPECT_EQ(4, Run("WRITE(D,0,WUB=A)"));
    EXPECT_EQ(-1, dev.nWriteState1);
    EXPECT_EQ(-1, dev.nWriteState2);
    EXPECT_EQ(0u, dev.dwWriteTick);
    EXPECT_EQ(3, dev.nKeepValue);
}

}  // namespace
