// The configuration compiler: exact blob bytes, device options in all their
// spellings, run generation and replacement, and errors with line numbers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/DevConst.h"
#include "config/blob_compiler.h"
#include "config/device_config.h"
#include "config/loaded_device.h"
#include "config/toml_input.h"
#include "support/blob_builder.h"

namespace {

vemo::CompileResult Compile(const std::string& text)
{
    return vemo::compileBlob(vemo::parseDeviceConfig(text, "dev.toml"));
}

int ErrorLine(const std::string& text, std::string* message = nullptr)
{
    try {
        Compile(text);
    } catch (const vemo::InputError& e) {
        if (message) *message = e.what();
        return static_cast<int>(e.line());
    }
    return -1;
}

SBlobRow Row(uint32_t rw, uint32_t area, uint32_t address, uint32_t bit, uint32_t code, const std::string& name)
{
    SBlobRow r;
    r.rwFlag = rw;
    r.area = area;
    r.address = address;
    r.bit = bit;
    r.dataType = code;
    r.name = name;
    return r;
}

TEST(ConfigCompile, TinyConfigurationGivesExactBytes)
{
    vemo::CompileResult r = Compile(R"(
[device]
station = 1
wait_ms = 500
order32 = "2 - 3412"

[[channel]]
area = "D"
address = 100
type = "WUB"
count = 2

[[channel]]
area = "M"
address = 5
access = "ro"
)");
    // M5 sorts before D100 (area 0 before area 14).
    CBlobBuilder expected;
    expected.Marker().Props({1, 500, 0, 2, 0, 0, 0, 0, 0});
    expected.Rows({Row(0, 0, 5, 0, 20, "只读M0005"), Row(2, 14, 100, 0, 83, "读写DWUB0100"),
                   Row(2, 14, 101, 0, 83, "读写DWUB0101")});
    EXPECT_EQ(r.blob, expected.Bytes());
    EXPECT_EQ(r.rows, 3);
    EXPECT_TRUE(r.warnings.empty());
    // Spot checks of the layout itself: marker, count 9, row count, one row = 32 + name bytes.
    ASSERT_GE(r.blob.size(), 46u);
    EXPECT_EQ(r.blob[0], 0x20);
    EXPECT_EQ(r.blob[1], 0x4E);
    EXPECT_EQ(r.blob[2], 9);
    EXPECT_EQ(r.blob[2 + 4 + 36], 3);
    EXPECT_EQ(r.blob.size(), 2u + 4 + 36 + 4 + (32 + 11) + 2 * (32 + 14));
}

TEST(ConfigCompile, EmptyDescriptionUsesDefaults)
{
    CBlobBuilder expected;
    expected.Marker().Props({1, 1000, 0, 0, 0, 0, 0, 0, 0}).Rows({});
    EXPECT_EQ(Compile("").blob, expected.Bytes());
}

TEST(ConfigCompile, OptionsByTextNumberLayoutOrPropertyName)
{
    vemo::DeviceConfig c = vemo::parseDeviceConfig(R"(
[device]
"设备地址" = 7
order16 = "1-21"
order32 = 3
order_float = "3412"
string_encoding = "unicode"
string_order = "1 - 12"
order64 = "7 - 8765_4321"
"64位浮点数解码顺序" = "5"
)",
                                                   "dev.toml");
    EXPECT_EQ(c.props, (std::array<int32_t, 9>{7, 1000, 1, 3, 2, 1, 1, 7, 5}));
    EXPECT_EQ(std::string(vemo::optionText(3, 2)), "2 - 3412");
    EXPECT_EQ(vemo::optionText(3, 4), nullptr);
    EXPECT_EQ(vemo::optionText(0, 1), nullptr);
}

TEST(ConfigCompile, RunsOfEveryKind)
{
    vemo::CompileResult r = Compile(R"(
[[channel]]
area = "D"
address = 100
type = "bt14"
count = 3

[[channel]]
area = "D"
address = 0
type = "STR"
length = 5
count = 2

[[channel]]
area = "HSD"
address = 10
type = "LF"
access = "只读"
)");
    vemo::LoadedDevice d(r.blob);
    CDevTable& t = d.table();
    ASSERT_EQ(t.GetRowCount(), 6);
    const char* names[] = {"读写DSTR0000_5", "读写DSTR0003_5", "读写D0100.14",
                           "读写D0100.15",   "读写D0101.00",   "只读HSDLF0010"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(t.Row(i).GetstrValue(DEVROW_STR_CHLNAME).str(), names[i]) << i;
    EXPECT_EQ(t.Row(0).GetdwValueAt(DEVROW_IDX_BIT), 5u);
    EXPECT_EQ(t.Row(0).GetdwValueAt(DEVROW_IDX_DATATYPE), 131u);
    EXPECT_EQ(t.Row(4).GetdwValueAt(DEVROW_IDX_DATATYPE), 0u);  // bit 0 of D101
    EXPECT_EQ(t.Row(5).GetdwValueAt(DEVROW_IDX_DATATYPE), 93u);
}

TEST(ConfigCompile, LongRunsGoBeyondTheGeneratorsLimit)
{
    vemo::CompileResult r = Compile("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"DUB\"\ncount = 12001\n");
    vemo::LoadedDevice d(r.blob);
    ASSERT_EQ(d.table().GetRowCount(), 12001);
    EXPECT_EQ(d.table().Row(12000).GetdwValueAt(DEVROW_IDX_ADDRESS), 24000u);
    EXPECT_EQ(d.table().Row(5000).GetstrValue(DEVROW_STR_CHLNAME).str(), "读写DDUB10000");
}

TEST(ConfigCompile, LaterRunsReplaceChannelsInTheirRange)
{
    vemo::CompileResult r = Compile(R"(
[[channel]]
area = "D"
address = 0
type = "WUB"
count = 10

[[channel]]
area = "D"
address = 4
type = "DUB"
)");
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("dev.toml:8:"), std::string::npos) << r.warnings[0];
    vemo::LoadedDevice d(r.blob);
    ASSERT_EQ(d.table().GetRowCount(), 10);
    EXPECT_EQ(d.table().Row(4).GetstrValue(DEVROW_STR_CHLNAME).str(), "读写DDUB0004");
}

TEST(ConfigCompile, NamedSingleChannelAndCarriedValues)
{
    vemo::CompileResult r = Compile(R"(
[[channel]]
area = "Y"
address = 3
name = "Pump"
fast_read = 1
read_max = 40
)");
    vemo::LoadedDevice d(r.blob);
    ASSERT_EQ(d.table().GetRowCount(), 1);
    EXPECT_EQ(d.table().Row(0).GetstrValue(DEVROW_STR_CHLNAME).str(), "Pump");
    EXPECT_EQ(d.table().Row(0).GetdwValueAt(DEVROW_IDX_READFAST), 1u);
    EXPECT_EQ(d.table().Row(0).GetdwValueAt(DEVROW_IDX_READMAX), 40u);
}

TEST(ConfigCompile, ErrorsNameTheLine)
{
    std::string message;
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"Q\"\naddress = 0\n", &message), 2);
    EXPECT_NE(message.find("dev.toml:2: unknown area \"Q\""), std::string::npos) << message;
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"BT5\"\n", &message), 4);
    EXPECT_NE(message.find("unknown type"), std::string::npos) << message;
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\n"), 1);  // type missing
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"M\"\naddress = 0\ntype = \"WUB\"\n"), 4);
    EXPECT_EQ(ErrorLine("[device]\norder32 = \"1 - 2134\"\n", &message), 2);
    EXPECT_NE(message.find("\"0 - 1234\", \"1 - 2143\""), std::string::npos) << message;
    EXPECT_EQ(ErrorLine("[device]\norder16 = 2\n"), 2);
    EXPECT_EQ(ErrorLine("[device]\nstation = 256\n"), 2);
    EXPECT_EQ(ErrorLine("[device]\nstaton = 1\n"), 2);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = -1\ntype = \"WUB\"\n"), 3);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"WUB\"\naccess = \"rx\"\n"), 5);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"WUB\"\ncount = 0\n"), 5);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"STR\"\nlength = 300\n"), 5);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"WUB\"\nlength = 4\n"), 5);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 0\ntype = \"WUB\"\ncount = 2\nname = \"x\"\n"), 6);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 16777215\ntype = \"DUB\"\n"), 1);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = \"D\"\naddress = 16777215\ntype = \"WUB\"\n"), -1);
    EXPECT_EQ(ErrorLine("[[channel]]\narea = D\n"), 2);  // not TOML
    EXPECT_EQ(ErrorLine("[channel]\narea = \"D\"\n"), 1);
}

}  // namespace
