// Reading IO-control commands through the device object: the requests they
// send, what reaches the runtime variables, status variables and failures.
#include "ioctl_fixture.h"

namespace {

const uint8_t FUNC_READWORD = 0x20;

// --- READ, READP, READPV

TEST_F(IoctlTest, ReadDubIntoVariable)
{
    plc.SetWords(PLC_AREA_D, 100, {0x0001, 0x0002});
    db.AddVar("Var1", 0.0);
    EXPECT_EQ(1, Result("READ(D,100,DUB=Var1)"));
    EXPECT_DOUBLE_EQ(65538.0, db.DoubleVar("Var1"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(FUNC_READWORD, Request(0).function);
    EXPECT_EQ(PLC_AREA_D, Request(0).area);
    EXPECT_EQ(100u, Request(0).address);
    EXPECT_EQ(2u, Request(0).count);

    // Through the device object a success reads 0.
    plc.SetWords(PLC_AREA_D, 100, {0x0000, 0x0007});
    EXPECT_EQ(0, Run("READ(D,100,DUB=Var1)"));
    EXPECT_DOUBLE_EQ(7.0, db.DoubleVar("Var1"));
    EXPECT_EQ(0.0, device.Values()[0]);
}

TEST_F(IoctlTest, StatusVariableAndSilentController)
{
    plc.SetWords(PLC_AREA_D, 100, {0x0000, 0x0005});
    db.AddVar("Var1", 1.0);
    db.AddVar("St", 9);
    EXPECT_EQ(0, Run("READ(D,100,DUB=Var1=St)"));
    EXPECT_EQ(0, db.IntVar("St"));
    EXPECT_DOUBLE_EQ(5.0, db.DoubleVar("Var1"));

    plc.ClearRequests();
    plc.StaySilent(-1);
    EXPECT_EQ(2, Run("READ(D,100,DUB=Var1=St)"));
    EXPECT_DOUBLE_EQ(5.0, db.DoubleVar("Var1"));
    EXPECT_EQ(2, db.IntVar("St"));
    EXPECT_EQ(3u, plc.RequestCount());  // three attempts
    EXPECT_EQ(-2, Result("READ(D,100,DUB=Var1=St)"));
}

TEST_F(IoctlTest, RefusedReplyStoresItsErrorAsStatus)
{
    db.AddVar("V", 3.0);
    db.AddVar("St", 0.0);
    plc.AnswerException(0x02);
    EXPECT_EQ(7, Run("READ(D,0,WUB=V=St)"));
    EXPECT_EQ(7.0, db.DoubleVar("St"));
    EXPECT_EQ(3.0, db.DoubleVar("V"));
}

TEST_F(IoctlTest, ReadPAndReadPVFillEveryName)
{
    plc.SetWords(PLC_AREA_D, 0, {11, 22, 33});
    db.AddVar("A", 0.0);
    db.AddVar("B", 0.0);
    db.AddVar("C", 0);
    EXPECT_EQ(0, Run("READP(D,0,WUB,3,A,B,C)"));
    EXPECT_EQ(11.0, db.DoubleVar("A"));
    EXPECT_EQ(22.0, db.DoubleVar("B"));
    EXPECT_EQ(33, db.IntVar("C"));
    ASSERT_EQ(1u, plc.RequestCount());  // one block for the run
    EXPECT_EQ(3u, Request(0).count);

    db.AddVar("T07", 0.0);
    db.AddVar("T08", 0.0);
    db.AddVar("T09", 0.0);
    EXPECT_EQ(0, Run("READPV(D,0,WUB,3,T07)"));
    EXPECT_EQ(11.0, db.DoubleVar("T07"));
    EXPECT_EQ(22.0, db.DoubleVar("T08"));
    EXPECT_EQ(33.0, db.DoubleVar("T09"));
}

TEST_F(IoctlTest, BitsOfBitAreasAndRegisters)
{
    plc.SetBit(PLC_AREA_M, 5, true);
    plc.SetWord(PLC_AREA_D, 7, 0x8000);
    db.AddVar("M5", 0);
    db.AddVar("B15", 0);
    db.AddVar("B00", 7);
    EXPECT_EQ(0, Run("READ(M,5,X=M5)"));
    EXPECT_EQ(1, db.IntVar("M5"));
    EXPECT_EQ(0x1E, plc.LastRequest().function);
    EXPECT_EQ(0, Run("READP(D,7,BT15,2,B15,B00)"));
    EXPECT_EQ(1, db.IntVar("B15"));
    EXPECT_EQ(0, db.IntVar("B00"));  // D8.00
}

// --- delivery failures

TEST_F(IoctlTest, LastVariableDecidesTheDelivery)
{
    plc.SetWords(PLC_AREA_D, 0, {1, 2});
    db.AddVar("A", 0.0);
    db.AddVar("S", "x");
    db.AddVar("St", 0);
    // A string variable cannot take a number: nothing else was asked of it.
    EXPECT_EQ(6, Run("READ(D,0,WUB=S=St)"));
    EXPECT_EQ(6, db.IntVar("St"));
    EXPECT_EQ("x", db.StrVar("S"));
    // The earlier variables are set even when the last one fails...
    EXPECT_EQ(6, Run("READP(D,0,WUB,2,A,Nowhere)"));
    EXPECT_EQ(1.0, db.DoubleVar("A"));
    // ...and a failure before the last one does not count.
    db.AddVar("B", 0.0);
    EXPECT_EQ(0, Run("READP(D,0,WUB,2,Nowhere,B)"));
    EXPECT_EQ(2.0, db.DoubleVar("B"));
}

TEST_F(IoctlTest, FailureInALaterRankDeliversNothing)
{
    // D0 and D200 are too far apart for one request: two ranks.
    plc.SetWord(PLC_AREA_D, 0, 4);
    plc.SetWord(PLC_AREA_D, 200, 5);
    db.AddVar("A", 0.0);
    db.AddVar("B", 0.0);
    db.AddVar("St", 0);
    EXPECT_EQ(0, Run("READ(D,0,WUB=A;D,200,WUB=B=St)"));
    EXPECT_EQ(4.0, db.DoubleVar("A"));
    EXPECT_EQ(5.0, db.DoubleVar("B"));
    ASSERT_EQ(2u, plc.RequestCount());

    plc.SetWord(PLC_AREA_D, 0, 6);
    plc.ClearRequests();
    plc.AnswerSplit({}, 1);  // the first rank is answered in full
    plc.StaySilent(3);       // the second never
    EXPECT_EQ(2, Run("READ(D,0,WUB=A;D,200,WUB=B=St)"));
    EXPECT_EQ(4.0, db.DoubleVar("A"));  // 6 was read, but not delivered
    EXPECT_EQ(2, db.IntVar("St"));
    EXPECT_EQ(4u, plc.RequestCount());
}

// --- texts

TEST_F(IoctlTest, Read32FormatsByDataType)
{
    plc.SetWords(PLC_AREA_D, 0, FloatWords(1.5f));
    plc.SetWords(PLC_AREA_D, 2, {0xFFFF, 0xFFFF});
    plc.SetWords(PLC_AREA_D, 4, {0xFFFF, 0xFFFE});
    plc.SetWord(PLC_AREA_D, 6, 0xFFFF);
    plc.SetWord(PLC_AREA_D, 7, 0x1234);
    db.AddVar("S1", "");
    EXPECT_EQ(0, Run("READ32(D,0,DF=S1)"));
    EXPECT_EQ("1.500000", db.StrVar("S1"));
    EXPECT_EQ(0, Run("READ32(D,2,DUB=S1)"));
    EXPECT_EQ("4294967295", db.StrVar("S1"));
    EXPECT_EQ(0, Run("READ32(D,4,DB=S1)"));
    EXPECT_EQ("-2", db.StrVar("S1"));
    EXPECT_EQ(0, Run("READ32(D,6,WB=S1)"));
    EXPECT_EQ("-1", db.StrVar("S1"));
    EXPECT_EQ(0, Run("READ32(D,7,WD=S1)"));  // BCD
    EXPECT_EQ("1234", db.StrVar("S1"));
    // A numeric variable cannot take the text.
    db.AddVar("N", 0.0);
    EXPECT_EQ(6, Run("READ32(D,0,DF=N)"));
}

TEST_F(IoctlTest, Read32OfHugeValuesSaturates)
{
    // 64-bit values beyond 32 bits, and NaN, are held at the 32-bit limits
    // (NaN reads 0) rather than converted out of range. The byte patterns
    // read the same in either byte order.
    plc.SetWords(PLC_AREA_D, 0, {0x7F00, 0, 0, 0x007F});   // LB near 2^63
    plc.SetWords(PLC_AREA_D, 4, {0x8000, 0, 0, 0x0080});   // LB near -2^63
    plc.SetWords(PLC_AREA_D, 8, {0x7FF8, 0, 0, 0xF87F});   // LF NaN
    plc.SetWords(PLC_AREA_D, 12, {0xC3E0, 0, 0, 0xE0C3});  // LF near -2^63
    db.AddVar("S", "");
    db.AddVar("Rec", "");
    EXPECT_EQ(0, Run("READ32(D,0,LB=S)"));
    EXPECT_EQ("2147483647", db.StrVar("S"));
    EXPECT_EQ(0, Run("READ32(D,4,LB=S)"));
    EXPECT_EQ("-2147483648", db.StrVar("S"));
    EXPECT_EQ(0, Run("READ32(D,8,LF=S)"));
    EXPECT_EQ("0", db.StrVar("S"));
    EXPECT_EQ(0, Run("READ32(D,12,LF=S)"));
    EXPECT_EQ("-2147483648", db.StrVar("S"));
    EXPECT_EQ(0, Run("READBLOCK(D,8,[LF][LF],1,Rec)"));
    EXPECT_EQ("0,-2147483648", db.StrVar("Rec"));
}

TEST_F(IoctlTest, ReadBlockJoinsRecords)
{
    plc.SetWords(PLC_AREA_D, 10, {0, 1, 2, 0, 3, 4});
    db.AddVar("Rec", "");
    db.AddVar("St", 5);
    EXPECT_EQ(0, Run("READBLOCK(D,10,[DUB][WUB],2,Rec,St)"));
    EXPECT_EQ("1,2\r\n3,4", db.StrVar("Rec"));
    EXPECT_EQ(0, db.IntVar("St"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(6u, Request(0).count);

    plc.SetWords(PLC_AREA_D, 20, FloatWords(1.5f));
    plc.SetWords(PLC_AREA_D, 22, FloatWords(-0.25f));
    EXPECT_EQ(0, Run("READBLOCK(D,20,[DF],2,Rec)"));
    EXPECT_EQ("1.500000\r\n-0.250000", db.StrVar("Rec"));
    plc.SetWord(PLC_AREA_D, 22, 9);
    EXPECT_EQ(0, Run("READBLOCK(D,20,[DF][WUB],1,Rec)"));
    EXPECT_EQ("1.500000,9", db.StrVar("Rec"));
}

TEST_F(IoctlTest, ReadMutiRegJoinsItsValues)
{
    plc.SetWords(PLC_AREA_D, 0, {7, 0xFFFF, 9});
    db.AddVar("Out", "old");
    db.AddVar("St", 6);
    EXPECT_EQ(0, Run("ReadMutiReg(D,0,3,WB,Out,St)"));
    EXPECT_EQ("7,-1,9", db.StrVar("Out"));
    EXPECT_EQ(0, db.IntVar("St"));
    // A numeric target cannot take the text.
    db.AddVar("N", 0.0);
    EXPECT_EQ(6, Run("ReadMutiReg(D,0,3,WB,N)"));
}

// --- string rows

TEST_F(IoctlTest, StringRowsReachOnlyStringTargets)
{
    plc.SetWordBytes(PLC_AREA_D, 0, {'H', 'e', 'l', 'l', 'o'});
    db.AddVar("S", "");
    db.AddVar("V", 4.0);
    db.AddVar("Rec", "keep");
    db.AddVar("St", 0);
    EXPECT_EQ(0, Run("READ32(D,0,STR=S)"));
    EXPECT_EQ("Hello", db.StrVar("S"));
    ASSERT_EQ(1u, plc.RequestCount());
    EXPECT_EQ(64u, Request(0).count);  // always 128 bytes

    EXPECT_EQ(6, Run("READ(D,0,STR=V=St)"));
    EXPECT_EQ(4.0, db.DoubleVar("V"));
    EXPECT_EQ(6, db.IntVar("St"));
    EXPECT_EQ(6, Run("READBLOCK(D,0,[STR][WUB],1,Rec)"));
    EXPECT_EQ("keep", db.StrVar("Rec"));
    EXPECT_EQ(6, Run("ReadMutiReg(D,0,1,STR,Rec)"));
    EXPECT_EQ("keep", db.StrVar("Rec"));
}

// --- parameters that do not parse

TEST_F(IoctlTest, BadParametersSendNothing)
{
    db.AddVar("V", 1.0);
    db.AddVar("St", 3);
    EXPECT_EQ(5, Run("READ(D,100 DUB=V=St)"));     // missing ","
    EXPECT_EQ(5, Run("READ(D,100,DUB V)"));        // missing "="
    EXPECT_EQ(5, Run("READ(Q,1,WUB=V=St)"));       // unknown area
    EXPECT_EQ(5, Run("READ(D,1,XYZ=V=St)"));       // unknown type
    EXPECT_EQ(5, Run("READP(D,0,WUB,3,V,V)"));     // too few targets
    EXPECT_EQ(5, Run("READPV(D,0,WUB,3,Temp)"));   // no number to count on
    EXPECT_EQ(5, Run("READBLOCK(D,0,WUB,2,V)"));   // no bracketed type
    EXPECT_EQ(5, Run("READ(D,1,WUB=V;)"));         // an empty part
    EXPECT_EQ(-5, Result("READ(D,-1,WUB=V=St)"));  // negative address
    EXPECT_EQ(0u, plc.RequestCount());
    // The status name was never reached: the variable is left alone.
    EXPECT_EQ(3, db.IntVar("St"));
    EXPECT_EQ(1.0, db.DoubleVar("V"));
}

}  // namespace
