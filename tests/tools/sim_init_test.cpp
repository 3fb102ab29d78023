// Initial values for the simulator: raw registers and bits, typed values in
// a byte order, register bits, strings, and errors that name the line.
#include <gtest/gtest.h>

#include <string>

#include "config/toml_input.h"
#include "plc/plc_model.h"
#include "plc/plc_values.h"
#include "sim/init_file.h"

namespace {

const int D = plc::areaIndexFromName("D");
const int M = plc::areaIndexFromName("M");

plc::Memory Apply(const std::string& text)
{
    plc::Memory m;
    vemo::applyInit(vemo::parseInitText(text, "init.toml"), m);
    return m;
}

// The line an input error points at, -1 when the text was accepted.
int ErrorLine(const std::string& text, std::string* message = nullptr)
{
    try {
        vemo::parseInitText(text, "init.toml");
    } catch (const vemo::InputError& e) {
        if (message) *message = e.what();
        return static_cast<int>(e.line());
    }
    return -1;
}

TEST(SimInit, RawRegistersAndBits)
{
    plc::Memory m = Apply(R"(
[[set]]
area = "D"
address = 100
values = [1, 2, -1]

[[set]]
area = "m"
address = 65533
values = [1, false, true]
)");
    EXPECT_EQ(m.word(D, 100), 1);
    EXPECT_EQ(m.word(D, 101), 2);
    EXPECT_EQ(m.word(D, 102), 0xFFFF);
    EXPECT_TRUE(m.bit(M, 65533));
    EXPECT_FALSE(m.bit(M, 65534));
    EXPECT_TRUE(m.bit(M, 65535));
}

TEST(SimInit, TypedValuesFollowTheirByteOrder)
{
    plc::Memory m = Apply(R"(
[[set]]
area = "D"
address = 10
type = "DUB"
values = [196612, 1]
order = "2 - 3412"

[[set]]
area = "D"
address = 20
type = "DF"
value = 1.0
order = 3

[[set]]
area = "D"
address = 30
type = "WD"
value = 1234
)");
    // 196612 = 00 03 00 04, low word first under 3412.
    EXPECT_EQ(m.word(D, 10), 0x0004);
    EXPECT_EQ(m.word(D, 11), 0x0003);
    EXPECT_EQ(m.word(D, 12), 0x0001);
    EXPECT_EQ(m.word(D, 13), 0x0000);
    // 1.0f = 3F 80 00 00, reversed under 4321.
    EXPECT_EQ(m.word(D, 20), 0x0000);
    EXPECT_EQ(m.word(D, 21), 0x803F);
    EXPECT_EQ(m.word(D, 30), 0x1234);
}

TEST(SimInit, RegisterBitsCarryIntoTheNextRegister)
{
    plc::Memory m = Apply(R"(
[[set]]
area = "D"
address = 5
values = [0x00F0]

[[set]]
area = "D"
address = 5
type = "BT14"
values = [1, 0, 1]
)");
    EXPECT_EQ(m.word(D, 5), 0x40F0);  // bit 14 set, bit 15 cleared, the rest kept
    EXPECT_EQ(m.word(D, 6), 0x0001);  // the third bit is bit 0 of D6
}

TEST(SimInit, StringsWithLengthAndOrder)
{
    plc::Memory m = Apply(R"(
[[set]]
area = "D"
address = 200
type = "STR"
value = "ABC"
length = 6

[[set]]
area = "D"
address = 300
type = "STR"
value = "ABC"
order = "0 - 21"
)");
    EXPECT_EQ(m.word(D, 200), 0x4142);
    EXPECT_EQ(m.word(D, 201), 0x4300);
    EXPECT_EQ(m.word(D, 202), 0x0000);
    EXPECT_EQ(m.word(D, 300), 0x4241);
    EXPECT_EQ(m.word(D, 301), 0x0043);
}

TEST(SimInit, ErrorsNameTheLine)
{
    std::string message;
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"DX\"\naddress = 1\nvalues = [1]\n", &message), 2);
    EXPECT_NE(message.find("init.toml:2: unknown area \"DX\""), std::string::npos) << message;
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 1\ntype = \"DQ\"\nvalue = 1\n"), 4);
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 1\ntype = \"WUB\"\nvalue = 70000\n"), 5);
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 1\ntype = \"DF\"\nvalue = 1\norder = 9\n"), 6);
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 1\ntype = \"DF\"\nvalue = 1\norder = 4\n"), 5);
    EXPECT_EQ(ErrorLine("\n\n[[set]]\narea = \"D\"\naddress = 1\nvalu = [1]\n"), 6);  // typing mistake
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 65535\nvalues = [1, 2]\n"), 1);
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"M\"\naddress = 0\nvalues = [2]\n"), 4);
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"M\"\naddress = 0\ntype = \"WUB\"\nvalues = [1]\n"), 4);
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 0\n"), 1);                // no value
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 0\nvalues = [1,\n"), 4);  // broken TOML
    EXPECT_EQ(ErrorLine("[[set]]\narea = \"D\"\naddress = 0\nvalues = [1]\n"), -1);
}

TEST(SimInit, MissingFileIsAnInputError)
{
    EXPECT_THROW(vemo::parseInitFile("/nonexistent/init.toml"), vemo::InputError);
}

}  // namespace
