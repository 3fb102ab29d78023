// Dumping blobs: TOML -> blob -> TOML -> the same blob; readable text for
// every property and row; hostile and foreign blobs reported, never a crash.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/blob_compiler.h"
#include "config/blob_dump.h"
#include "config/block_plan.h"
#include "config/device_config.h"
#include "config/loaded_device.h"
#include "support/blob_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kMixed = R"(
[device]
station = 3
wait_ms = 250
order16 = "1 - 21"
order32 = "2 - 3412"
order_float = "3 - 4321"
string_encoding = "1 - UNICODE"
string_order = "0 - 21"
order64 = "6 - 7856_3412"
order_double = "4 - 5678_1234"

[[channel]]
area = "M"
address = 0
count = 40

[[channel]]
area = "X"
address = 7
access = "ro"

[[channel]]
area = "D"
address = 0
type = "WUB"
count = 3

[[channel]]
area = "D"
address = 10
type = "BT13"
count = 6
access = "wo"

[[channel]]
area = "D"
address = 20
type = "STR"
length = 9
count = 3

[[channel]]
area = "D"
address = 40
type = "DF"
count = 2

[[channel]]
area = "D"
address = 44
type = "WB"

[[channel]]
area = "FS"
address = 1000
type = "LB"
count = 2
)";

Bytes Compile(const std::string& text)
{
    return vemo::compileBlob(vemo::parseDeviceConfig(text, "in.toml")).blob;
}

TEST(ConfigDump, TomlRoundTripGivesTheSameBlob)
{
    const Bytes blob = Compile(kMixed);
    vemo::TomlDump dump = vemo::dumpBlobToml(blob, "in.blob");
    EXPECT_TRUE(dump.warnings.empty()) << dump.warnings.front();
    EXPECT_EQ(Compile(dump.text), blob) << dump.text;
    // Runs are merged back: 8 runs, not 58 single channels.
    size_t runs = 0;
    for (size_t at = dump.text.find("[[channel]]"); at != std::string::npos; at = dump.text.find("[[channel]]", at + 1))
        ++runs;
    EXPECT_EQ(runs, 8u) << dump.text;
}

TEST(ConfigDump, ForeignRowsSurviveTheRoundTripAsSingleChannels)
{
    SBlobRow named = SBlobRow::Word(14, 5, 84, "Temperature");
    named.readFast = 1;
    SBlobRow plain = SBlobRow::Word(14, 6, 84, "读写DWB0006");
    SBlobRow lost = SBlobRow::Word(40, 1, 83, "no area");
    const Bytes blob = DeviceBlob({named, plain, lost}, {1, 1000, 0, 0, 0, 0, 0, 0, 0}).Bytes();
    vemo::TomlDump dump = vemo::dumpBlobToml(blob, "foreign.blob");
    EXPECT_NE(dump.text.find("name = \"Temperature\""), std::string::npos) << dump.text;
    EXPECT_NE(dump.text.find("fast_read = 1"), std::string::npos) << dump.text;
    ASSERT_EQ(dump.warnings.size(), 1u);
    EXPECT_NE(dump.warnings[0].find("row 2"), std::string::npos) << dump.warnings[0];
    // Everything but the row that no description can express comes back.
    const Bytes again = Compile(dump.text);
    EXPECT_EQ(again, DeviceBlob({named, plain}, {1, 1000, 0, 0, 0, 0, 0, 0, 0}).Bytes());
}

TEST(ConfigDump, TextShowsPropertiesOptionsAndRows)
{
    const std::string text = vemo::dumpBlobText(Compile(kMixed));
    EXPECT_NE(text.find("format marker 20000"), std::string::npos) << text;
    EXPECT_NE(text.find("device properties: 9 in the blob"), std::string::npos) << text;
    EXPECT_NE(text.find("0 设备地址 (device address (station)): 3"), std::string::npos) << text;
    EXPECT_NE(text.find("32位整数解码顺序 (32-bit integer byte order): 2  \"2 - 3412\""), std::string::npos) << text;
    EXPECT_NE(text.find("channels: 58 rows"), std::string::npos) << text;
    EXPECT_NE(text.find("row 0: rw 2 (读写), area 0 (M), address 0, bit 0, type 20 BIT, name \"读写M0000\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("type 131 STR, name \"读写DSTR0020_9\""), std::string::npos) << text;
    EXPECT_NE(text.find("rw 1 (只写), area 14 (D), address 11, bit 2, type 2 BT02"), std::string::npos) << text;
    EXPECT_EQ(text.find("note:"), std::string::npos) << text;
}

TEST(ConfigDump, UnusualBlobsAreExplained)
{
    // No marker, fewer properties, an option out of range, trailing bytes.
    CBlobBuilder old;
    old.Props({1, 1000, 5}).Rows({SBlobRow::Bit(0, 1, "x\n\x01")}).Raw({1, 2, 3});
    std::string text = vemo::dumpBlobText(old.Bytes());
    EXPECT_NE(text.find("no format marker"), std::string::npos) << text;
    EXPECT_NE(text.find("3 in the blob"), std::string::npos) << text;
    EXPECT_NE(text.find("(no such option"), std::string::npos) << text;
    EXPECT_NE(text.find("not in the blob, reads as 0"), std::string::npos) << text;
    EXPECT_NE(text.find("name \"x\\x0A\\x01\" (the driver would name it \"读写M0001\")"), std::string::npos) << text;
    EXPECT_NE(text.find("3 bytes after the last row are ignored"), std::string::npos) << text;

    // A newer format is refused by the driver.
    CBlobBuilder newer;
    newer.Marker(20001).Props(DefaultProps()).Rows({SBlobRow::Bit(0, 1)});
    text = vemo::dumpBlobText(newer.Bytes());
    EXPECT_NE(text.find("refuses"), std::string::npos) << text;
    EXPECT_NE(text.find("channels: 0 rows"), std::string::npos) << text;

    // A row count the bytes cannot back; the driver reads into its zero reserve.
    CBlobBuilder claims;
    claims.Marker().Props(DefaultProps()).RowCount(1000000).Row(SBlobRow::Word(14, 1));
    text = vemo::dumpBlobText(claims.Bytes());
    EXPECT_NE(text.find("the blob claims 1000000"), std::string::npos) << text;
    EXPECT_NE(text.find("beyond the end of the blob"), std::string::npos) << text;
}

TEST(ConfigDump, HostileBlobsNeverCrash)
{
    std::mt19937 rng(99);
    std::vector<Bytes> blobs = {{}, {0x20}, {0x20, 0x4E}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    // Huge and negative counts, huge string lengths.
    blobs.push_back(CBlobBuilder().Marker().I32(0x7FFFFFFF).Bytes());
    blobs.push_back(CBlobBuilder().Marker().I32(-5).I32(-7).Bytes());
    blobs.push_back(CBlobBuilder().Marker().Props(DefaultProps()).I32(0x7FFFFFFF).Bytes());
    blobs.push_back(CBlobBuilder()
                        .Marker()
                        .Props(DefaultProps())
                        .I32(2)
                        .U32(2)
                        .U32(99)
                        .U32(~0u)
                        .U32(~0u)
                        .U32(~0u)
                        .U32(0)
                        .U32(0)
                        .U32(0xFFFFFFF0)
                        .Bytes());
    for (int i = 0; i < 300; ++i) {
        Bytes b(rng() % 400);
        for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
        if (b.size() >= 2 && i % 2) {
            b[0] = 0x20;
            b[1] = 0x4E;
        }
        blobs.push_back(b);
    }
    for (const Bytes& b : blobs) {
        const std::string text = vemo::dumpBlobText(b);
        EXPECT_NE(text.find("blob: " + std::to_string(b.size()) + " bytes"), std::string::npos);
        vemo::TomlDump dump = vemo::dumpBlobToml(b, "hostile.blob");
        // Whatever the dump expressed must itself be a valid description.
        EXPECT_NO_THROW(vemo::parseDeviceConfig(dump.text, "dump.toml")) << dump.text;
        // And the planner copes with whatever rows the driver read.
        vemo::LoadedDevice device(b);
        vemo::BlockPlan plan = vemo::planCollection(device);
        EXPECT_FALSE(vemo::formatPlan(plan, device).empty());
    }
}

}  // namespace
