// Writes and IO-control commands end to end: from the stand-in through
// the loaded driver into the simulator's registers, and back.
#include <gtest/gtest.h>

#include <cstring>

#include "e2e_support.h"
#include "runtime/device_table.h"

namespace {

using vemo::runtime::ChannelInfo;
using vemo::runtime::Value;

const char* const DEVICE = R"(
[device]
order32 = "2 - 3412"
order_float = "3 - 4321"
[[channel]]
area = "D"
address = 100
type = "WUB"
[[channel]]
area = "D"
address = 110
type = "DF"
[[channel]]
area = "D"
address = 120
type = "DUB"
[[channel]]
area = "D"
address = 130
type = "BT03"
[[channel]]
area = "M"
address = 5
[[channel]]
area = "D"
address = 140
type = "STR"
length = 6
[[channel]]
area = "D"
address = 150
type = "WUB"
access = "ro"
)";

class Writes : public ::testing::Test {
protected:
    Writes() : rig(e2e::compileText(DEVICE)) {}

    const ChannelInfo& channel(const std::string& location)
    {
        return vemo::runtime::findChannel(rig.device(), location);
    }
    uint16_t word(const char* area, uint32_t address)
    {
        return rig.sim().withMemory([&](plc::Memory& m) { return m.word(plc::areaIndexFromName(area), address); });
    }

    e2e::Rig rig;
};

TEST_F(Writes, AnIntegerWriteLandsInTheRegisterAndIsReadBack)
{
    int value = 4660;
    EXPECT_EQ(rig.session().device().write(channel("D100").index, DATATYPE_INT, &value), 0);
    EXPECT_EQ(word("D", 100), 0x1234);
    ASSERT_TRUE(rig.cycle());
    EXPECT_EQ(rig.db().channel(channel("D100").index).value.i, 4660);
}

TEST_F(Writes, AFloatWriteFollowsTheDevicesFloatByteOrder)
{
    double value = 1.0;  // 0x3F800000; order "3 - 4321" puts the low bytes first, swapped
    EXPECT_EQ(rig.session().device().write(channel("D110").index, DATATYPE_DOUBLE, &value), 0);
    EXPECT_EQ(word("D", 110), 0x0000);
    EXPECT_EQ(word("D", 111), 0x803F);
    ASSERT_TRUE(rig.cycle());
    EXPECT_DOUBLE_EQ(rig.db().channel(channel("D110").index).value.d, 1.0);
}

TEST_F(Writes, AnUnsigned32BitValueAboveTheIntRangeRoundTrips)
{
    double value = 4000000000.0;
    EXPECT_EQ(rig.session().device().write(channel("D120").index, DATATYPE_DOUBLE, &value), 0);
    ASSERT_TRUE(rig.cycle());
    EXPECT_DOUBLE_EQ(rig.db().channel(channel("D120").index).value.d, 4000000000.0);
}

TEST_F(Writes, ARegisterBitWriteKeepsTheOtherBits)
{
    rig.sim().withMemory([](plc::Memory& m) { m.setWord(plc::areaIndexFromName("D"), 130, 0x00F0); });
    int one = 1;
    EXPECT_EQ(rig.session().device().write(channel("D130.03").index, DATATYPE_INT, &one), 0);
    EXPECT_EQ(word("D", 130), 0x00F8);
}

TEST_F(Writes, ABitAreaWriteSetsTheBit)
{
    int one = 1;
    EXPECT_EQ(rig.session().device().write(channel("M5").index, DATATYPE_INT, &one), 0);
    EXPECT_TRUE(rig.sim().withMemory([](plc::Memory& m) { return m.bit(plc::areaIndexFromName("M"), 5); }));
}

TEST_F(Writes, AStringWriteIsCutToTheChannelLength)
{
    char text[] = "abcdefgh";
    EXPECT_EQ(rig.session().device().write(channel("D140").index, DATATYPE_STRING, text), 0);
    ASSERT_TRUE(rig.cycle());
    EXPECT_EQ(rig.db().channel(channel("D140").index).value.s, "abcdef");
}

TEST_F(Writes, AReadOnlyChannelIsRefusedAndNothingIsSent)
{
    const uint64_t before = rig.sim().stats().requests;
    int value = 7;
    EXPECT_EQ(rig.session().device().write(channel("D150").index, DATATYPE_INT, &value), 5);
    EXPECT_EQ(rig.sim().stats().requests, before);
    EXPECT_EQ(word("D", 150), 0);
}

TEST_F(Writes, AControllerThatRefusesTheWriteGivesResult4)
{
    rig.sim().stop();
    vemo::SimulatorOptions options = e2e::quietSimulator();
    options.faults.exception = 1.0;
    e2e::Rig refusing(e2e::compileText(DEVICE, e2e::SHORT_WAIT_MS), options);
    int value = 1;
    EXPECT_EQ(refusing.session().device().write(0, DATATYPE_INT, &value), 4);
}

class Commands : public Writes {};

TEST_F(Commands, ReadFetchesRegistersIntoVariablesAndSetsTheStatus)
{
    rig.sim().withMemory([](plc::Memory& m) {
        m.setWord(plc::areaIndexFromName("D"), 200, 0x0001);  // order32 "2 - 3412": low word first
        m.setWord(plc::areaIndexFromName("D"), 201, 0x0002);
    });
    rig.db().setVariable("V1", Value::ofDouble(0));
    rig.db().setVariable("St", Value::ofInt(99));
    EXPECT_EQ(rig.session().device().ioctl("READ(D,200,DUB=V1=St)"), 0);
    EXPECT_DOUBLE_EQ(rig.db().variable("V1")->d, 131073.0);
    EXPECT_EQ(rig.db().variable("St")->i, 0);
}

TEST_F(Commands, WriteTakesALiteralOrAVariable)
{
    rig.db().setVariable("Level", Value::ofInt(321));
    EXPECT_EQ(rig.session().device().ioctl("WRITE(D,300,WUB=Level)"), 0);
    EXPECT_EQ(rig.session().device().ioctl("write(d,301,wub=77)"), 0);
    EXPECT_EQ(word("D", 300), 321);
    EXPECT_EQ(word("D", 301), 77);
}

TEST_F(Commands, Read32DeliversTextIntoAStringVariable)
{
    rig.db().setVariable("S1", Value::ofString(""));
    EXPECT_EQ(rig.session().device().ioctl("WRITE(D,400,WUB=1234)"), 0);
    EXPECT_EQ(rig.session().device().ioctl("READ32(D,400,WUB=S1)"), 0);
    EXPECT_EQ(rig.db().variable("S1")->s, "1234");
}

TEST_F(Commands, AnUndeclaredTargetVariableGivesStatus6)
{
    EXPECT_EQ(rig.session().device().ioctl("READ(D,1,WUB=Nobody)"), 6);
}

TEST_F(Commands, NoReplyReachesTheStatusVariable)
{
    rig.sim().stop();
    vemo::SimulatorOptions options = e2e::quietSimulator();
    options.faults.drop = 1.0;
    e2e::Rig silent(e2e::compileText(DEVICE, e2e::SHORT_WAIT_MS), options);
    silent.db().setVariable("V1", Value::ofInt(5));
    silent.db().setVariable("St", Value::ofInt(0));
    EXPECT_EQ(silent.session().device().ioctl("READ(D,1,WUB=V1=St)"), 2);
    EXPECT_EQ(silent.db().variable("V1")->i, 5);
    EXPECT_EQ(silent.db().variable("St")->i, 2);
}

}  // namespace
