// What the stand-in reads from the user and from blobs, and how it shows
// values: typed parsing, channel lookup, the blob's description and plan,
// statistics.
#include <gtest/gtest.h>

#include <stdexcept>

#include "e2e_support.h"
#include "runtime/device_table.h"
#include "runtime/stats.h"
#include "runtime/value_text.h"

namespace {

using namespace vemo::runtime;

ChannelInfo channelOfType(uint32_t code, DATATYPE type)
{
    ChannelInfo c;
    c.code = code;
    c.databaseType = type;
    c.name = "test";
    c.typeName = typeNameFor(code, 8);
    return c;
}

TEST(ChannelValues, BitsTakeOnlyZeroOrOne)
{
    const ChannelInfo bit = channelOfType(20, DATATYPE_INT);
    EXPECT_EQ(parseChannelValue(bit, "1").i, 1);
    EXPECT_EQ(parseChannelValue(bit, "off").i, 0);
    EXPECT_THROW(parseChannelValue(bit, "2"), std::runtime_error);
    EXPECT_EQ(parseChannelValue(channelOfType(3, DATATYPE_INT), " true ").i, 1);
}

TEST(ChannelValues, IntegersMustBeWholeAndFit32Bits)
{
    const ChannelInfo word = channelOfType(83, DATATYPE_INT);
    EXPECT_EQ(parseChannelValue(word, "0x1234").i, 0x1234);
    EXPECT_EQ(parseChannelValue(word, "-017").i, -17);  // decimal, not octal
    EXPECT_EQ(parseChannelValue(word, "2147483647").i, 2147483647);
    EXPECT_THROW(parseChannelValue(word, "2147483648"), std::runtime_error);
    EXPECT_THROW(parseChannelValue(word, "12.5"), std::runtime_error);
    EXPECT_THROW(parseChannelValue(word, "12abc"), std::runtime_error);
    EXPECT_THROW(parseChannelValue(word, ""), std::runtime_error);
}

TEST(ChannelValues, DoublesAndTextsKeepWhatWasTyped)
{
    Value v = parseChannelValue(channelOfType(86, DATATYPE_DOUBLE), "4000000000");
    EXPECT_EQ(v.type, DATATYPE_DOUBLE);
    EXPECT_DOUBLE_EQ(v.d, 4e9);
    EXPECT_DOUBLE_EQ(parseChannelValue(channelOfType(89, DATATYPE_DOUBLE), "-1.5e2").d, -150.0);
    EXPECT_THROW(parseChannelValue(channelOfType(89, DATATYPE_DOUBLE), "nan"), std::runtime_error);
    EXPECT_EQ(parseChannelValue(channelOfType(131, DATATYPE_STRING), " two words ").s, " two words ");
    EXPECT_EQ(parseChannelValue(channelOfType(131, DATATYPE_STRING), "\"quoted\"").s, "quoted");
}

TEST(Variables, TakeTheirTypeFromTheValueText)
{
    EXPECT_EQ(parseVariable("N=42").second.type, DATATYPE_INT);
    EXPECT_EQ(parseVariable("N=-0x10").second.i, -16);
    EXPECT_EQ(parseVariable("D=2.5").second.type, DATATYPE_DOUBLE);
    EXPECT_EQ(parseVariable("D=1e3").second.type, DATATYPE_DOUBLE);
    EXPECT_EQ(parseVariable("Big=3000000000").second.type, DATATYPE_DOUBLE);  // beyond a 32-bit int
    auto text = parseVariable(" S = hello ");
    EXPECT_EQ(text.first, "S");
    EXPECT_EQ(text.second.type, DATATYPE_STRING);
    EXPECT_EQ(text.second.s, "hello");
    EXPECT_EQ(parseVariable("S=\"1.5\"").second.s, "1.5");
    EXPECT_EQ(parseVariable("S=").second.s, "");
    EXPECT_EQ(parseVariable("S=a=b").second.s, "a=b");
    EXPECT_EQ(parseVariable("E=e").second.type, DATATYPE_STRING);
    EXPECT_THROW(parseVariable("nothing"), std::runtime_error);
    EXPECT_THROW(parseVariable("=5"), std::runtime_error);
}

TEST(Formatting, ValuesAndJson)
{
    EXPECT_EQ(formatValue(Value::ofInt(-5)), "-5");
    EXPECT_EQ(formatValue(Value::ofDouble(0.1f), 7), "0.1");
    EXPECT_EQ(formatValue(Value::ofString("a\"b\n")), "\"a\\\"b\\n\"");
    EXPECT_EQ(jsonValue(Value::ofDouble(1.0 / 0.0)), "null");
    EXPECT_EQ(jsonString("\x01读"), "\"\\u0001读\"");
}

TEST(Formatting, WideCharactersTakeTwoColumns)
{
    EXPECT_EQ(displayWidth("读写DWUB0001"), 12u);
    EXPECT_EQ(padRight("读", 4), "读  ");
    EXPECT_EQ(padLeft("7", 3), "  7");
    EXPECT_EQ(padRight("toolong", 3), "toolong");
    EXPECT_EQ(displayWidth("\xE8"), 1u);  // a cut-off sequence still counts
}

TEST(DataTypes, MapToTheRuntimesTypes)
{
    EXPECT_EQ(databaseTypeFor(20), DATATYPE_INT);
    EXPECT_EQ(databaseTypeFor(15), DATATYPE_INT);
    EXPECT_EQ(databaseTypeFor(84), DATATYPE_INT);
    EXPECT_EQ(databaseTypeFor(87), DATATYPE_INT);
    EXPECT_EQ(databaseTypeFor(86), DATATYPE_DOUBLE);  // 32-bit unsigned exceeds int
    EXPECT_EQ(databaseTypeFor(89), DATATYPE_DOUBLE);
    EXPECT_EQ(databaseTypeFor(90), DATATYPE_DOUBLE);
    EXPECT_EQ(databaseTypeFor(131), DATATYPE_STRING);
    EXPECT_EQ(typeNameFor(3, 0), "BT03");
    EXPECT_EQ(typeNameFor(93, 0), "LF");
    EXPECT_EQ(typeNameFor(131, 20), "STR20");
    EXPECT_EQ(typeNameFor(50, 0), "code 50");
}

const char* const TWO_AREAS = R"(
[[channel]]
area = "M"
address = 5
count = 2
[[channel]]
area = "D"
address = 100
type = "WUB"
[[channel]]
area = "D"
address = 100
type = "BT03"
[[channel]]
area = "D"
address = 200
type = "DF"
access = "wo"
)";

TEST(BlobDescription, ListsChannelsWithLocationsTypesAndRanks)
{
    const DeviceDescription d = describeBlob(e2e::compileText(TWO_AREAS));
    ASSERT_EQ(d.channelCount(), 5);
    EXPECT_EQ(d.properties.size(), 9u);
    EXPECT_EQ(d.properties[1], e2e::GENEROUS_WAIT_MS);
    EXPECT_EQ(d.channels[0].location, "M5");
    EXPECT_EQ(d.channels[0].typeName, "BIT");
    // Key order: area, address, bit; the word's bit field is 0.
    EXPECT_EQ(d.channels[2].name, "读写DWUB0100");
    EXPECT_EQ(d.channels[2].location, "D100");
    EXPECT_EQ(d.channels[3].name, "读写D0100.03");
    EXPECT_EQ(d.channels[3].location, "D100.03");
    EXPECT_EQ(d.channels[4].rwFlag, 1u);
    EXPECT_EQ(d.channels[4].rank, -1);  // write-only: never read
    // Bits of M in one request, D100 and its bit in another.
    EXPECT_EQ(d.rankCount, 2);
    EXPECT_EQ(d.channels[0].rank, d.channels[1].rank);
    EXPECT_EQ(d.channels[2].rank, d.channels[3].rank);
    EXPECT_NE(d.channels[0].rank, d.channels[3].rank);
}

TEST(BlobDescription, RefusesAnEmptyBlobAndSurvivesAHostileOne)
{
    EXPECT_THROW(describeBlob({}), std::runtime_error);
    std::vector<uint8_t> hostile = {0x20, 0x4E, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
    const DeviceDescription d = describeBlob(hostile);
    EXPECT_EQ(d.channelCount(), 0);
    EXPECT_EQ(d.rankCount, 0);
}

TEST(BlobProperties, AreRewrittenInPlace)
{
    std::vector<uint8_t> blob = e2e::compileText(TWO_AREAS);
    setBlobProperty(blob, 0, 17);
    EXPECT_EQ(describeBlob(blob).properties[0], 17);
    EXPECT_THROW(setBlobProperty(blob, 9, 1), std::runtime_error);
    std::vector<uint8_t> tiny = {0x20, 0x4E, 1, 0};
    EXPECT_THROW(setBlobProperty(tiny, 0, 1), std::runtime_error);
}

TEST(ChannelLookup, ByNumberNameOrLocation)
{
    const DeviceDescription d = describeBlob(e2e::compileText(TWO_AREAS));
    EXPECT_EQ(findChannel(d, "3").index, 3);
    EXPECT_EQ(findChannel(d, "读写M0006").index, 1);
    EXPECT_EQ(findChannel(d, "dwub0100").index, 2);  // without the prefix, any case
    EXPECT_EQ(findChannel(d, "d100.03").index, 3);
    EXPECT_EQ(findChannel(d, "M5").index, 0);
    EXPECT_THROW(findChannel(d, "5"), std::runtime_error);
    EXPECT_THROW(findChannel(d, "D999"), std::runtime_error);
    EXPECT_THROW(findChannel(d, "-1"), std::runtime_error);
}

TEST(ChannelLookup, AnAmbiguousLocationAsksForTheName)
{
    DeviceDescription d;
    for (int i = 0; i < 2; ++i) {
        ChannelInfo c;
        c.index = i;
        c.name = "channel" + std::to_string(i);
        c.location = "D7";
        d.channels.push_back(c);
    }
    try {
        findChannel(d, "D7");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("more than one"), std::string::npos);
    }
}

TEST(Stats, CountCallsCyclesAndFailuresByCode)
{
    CollectStats s;
    s.recordCall(0, 1000);
    s.recordCall(2, 2000);
    s.recordCall(2, 3000);
    s.recordCall(7, 4000);
    s.recordCycle(1.0, true);
    s.recordCycle(5.0, false);
    s.recordCycle(600.0, false);
    EXPECT_EQ(s.calls(), 4u);
    EXPECT_EQ(s.succeeded(), 1u);
    EXPECT_EQ(s.failed(), 3u);
    EXPECT_EQ(s.failures().at(2), 2u);
    EXPECT_EQ(s.failures().at(7), 1u);
    EXPECT_EQ(s.lastErrorCode(), 7);
    EXPECT_EQ(s.lastErrorAt(), 4000);
    EXPECT_EQ(s.cycles(), 3u);
    EXPECT_EQ(s.failedCycles(), 2u);
    EXPECT_DOUBLE_EQ(s.lastCycleMs(), 600.0);
    EXPECT_DOUBLE_EQ(s.meanCycleMs(), 202.0);
    EXPECT_DOUBLE_EQ(s.maxCycleMs(), 600.0);
    // 1 ms below the first limit, 5 ms on a limit counts in the next bucket, 600 in the open one.
    EXPECT_EQ(s.histogram()[0], 1u);
    EXPECT_EQ(s.histogram()[2], 1u);
    EXPECT_EQ(s.histogram().back(), 1u);
    EXPECT_EQ(CollectStats::bucketLabel(0), "<2ms");
    EXPECT_EQ(CollectStats::bucketLabel(CollectStats::BUCKET_COUNT - 1), ">=500ms");
}

TEST(Stats, StartEmpty)
{
    CollectStats s;
    EXPECT_FALSE(s.hasError());
    EXPECT_DOUBLE_EQ(s.meanCycleMs(), 0.0);
    EXPECT_EQ(s.failed(), 0u);
}

}  // namespace
