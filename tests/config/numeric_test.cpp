// Numeric text parsing through the format-key dispatcher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "config/cstrtonumeric.h"

namespace {

int32_t ParseInt(const char* text, const char* format)
{
    int32_t value = 0x5A5A5A5A;
    cstringToNumeric(text, format, &value);
    return value;
}

uint64_t ParseU64(const char* text, const char* format)
{
    uint64_t value = 0;
    cstringToNumeric(text, format, &value);
    return value;
}

double ParseDouble(const char* text)
{
    double value = 0;
    cstringToNumeric(text, "%lf", &value);
    return value;
}

float ParseFloat(const char* text)
{
    float value = 0;
    cstringToNumeric(text, "%f", &value);
    return value;
}

int64_t ParseLongLong(const char* text)
{
    int64_t value = 0;
    EXPECT_EQ(cstringToNumeric(text, "%lld", &value), 1);
    return value;
}

}  // namespace

TEST(NumericTable, RowsInOrder)
{
    const struct {
        const char* key;
        CSTRTONUMERIC_FUN fun;
        const char* description;
    } expected[CONVERT_TABLE_NUM] = {
        {"%d", cstringToInt, "c string to int number"},
        {"%u", cstringToUInt, "c string to unsigned int number"},
        {"%ld", cstringToLong, "c string to long number"},
        {"%x", cstringToHex, "c string to hex number"},
        {"%o", cstringToOct, "c string to oct number"},
        {"%f", cstringToFloat, "c string to float number"},
        {"%lf", cstringToDouble, "c string to float number"},
        {"%lld", cstringToLongLong, "c string to longlong number"},
        {"%llu", cstringToULongLong, "c string to unsigned longlong number"},
        {"%llx", cstringToLLHex, "c string to longlong hex number"},
    };
    for (int i = 0; i < CONVERT_TABLE_NUM; ++i) {
        EXPECT_EQ(convert_table[i].strKey, expected[i].key) << i;
        EXPECT_EQ(convert_table[i].pfnConvert, expected[i].fun) << i;
        EXPECT_EQ(convert_table[i].strDescription, expected[i].description) << i;
    }
}

// Each key writes exactly its width and returns its row's result.
TEST(NumericDispatch, WidthAndResultPerKey)
{
    const struct {
        const char* key;
        size_t width;
        int result;
    } rows[] = {{"%d", 4, 0},  {"%u", 4, 0},  {"%ld", 4, 0},  {"%x", 4, 0},   {"%o", 4, 0},
                {"%f", 4, 0},  {"%lf", 8, 0}, {"%lld", 8, 1}, {"%llu", 8, 1}, {"%llx", 8, 1},
                {"%LF", 8, 0}, {"%X", 4, 0},  {"%LLX", 8, 1}, {"%i", 0, 1},   {"", 0, 1}};
    for (const auto& row : rows) {
        unsigned char out[16];
        std::memset(out, 0xAA, sizeof(out));
        EXPECT_EQ(cstringToNumeric("1", row.key, out), row.result) << row.key;
        size_t touched = 0;
        for (size_t i = 0; i < sizeof(out); ++i) {
            if (out[i] != 0xAA) touched = i + 1;
        }
        EXPECT_EQ(touched, row.width) << row.key;
    }
}

TEST(NumericDispatch, Decimal32)
{
    EXPECT_EQ(ParseInt("-12", "%d"), -12);
    EXPECT_EQ(ParseInt("12abc", "%d"), 12);
    EXPECT_EQ(ParseInt("abc", "%d"), 0);
    EXPECT_EQ(ParseInt("", "%d"), 0);
    EXPECT_EQ(static_cast<uint32_t>(ParseInt("-1", "%u")), 0xFFFFFFFFu);
    EXPECT_EQ(ParseInt("4294967296", "%d"), 0);  // low 32 bits
    EXPECT_EQ(ParseInt("4294967297", "%ld"), 1);
    EXPECT_EQ(ParseInt("--5", "%d"), 5);  // removed minus and the parser's own minus cancel
    EXPECT_EQ(ParseInt(" -5", "%d"), -5);
    EXPECT_EQ(ParseInt("5-", "%D"), 5);
    // Saturation of the 64-bit parse, then the low 32 bits.
    EXPECT_EQ(ParseInt("99999999999999999999", "%d"), -1);
    EXPECT_EQ(ParseInt("-99999999999999999999", "%d"), 1);

    int32_t value = 0;
    EXPECT_EQ(cstringToULong("7", &value, false), 0);
    EXPECT_EQ(value, -7);
}

TEST(NumericDispatch, HexAndOctalIgnoreTheSign)
{
    EXPECT_EQ(ParseInt("-ff", "%x"), 255);
    EXPECT_EQ(ParseInt("0x1A", "%X"), 26);
    EXPECT_EQ(ParseInt("1A2G", "%x"), 0x1A2);
    EXPECT_EQ(ParseInt("1FFFFFFFF", "%x"), -1);
    EXPECT_EQ(ParseInt("-17", "%o"), 15);
    EXPECT_EQ(ParseInt("8", "%o"), 0);
    EXPECT_EQ(ParseU64("-1", "%llx"), 1u);
    EXPECT_EQ(ParseU64("ffffffffffffffff", "%llx"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(ParseU64("1ffffffffffffffff", "%llx"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(ParseU64("18446744073709551615", "%llu"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(ParseU64("18446744073709551616", "%LLU"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(ParseU64("-3", "%llu"), 3u);
}

TEST(NumericDispatch, FloatingPoint)
{
    EXPECT_EQ(ParseDouble("-2.5"), -2.5);
    EXPECT_EQ(ParseFloat("1e3"), 1000.0f);
    EXPECT_EQ(ParseFloat("0.1"), 0.1f);  // parsed in single precision, not rounded twice
    EXPECT_EQ(ParseDouble("--2"), 2.0);
    EXPECT_EQ(ParseDouble("x"), 0.0);
    EXPECT_TRUE(std::isinf(ParseDouble("1e400")));
    EXPECT_TRUE(std::isinf(ParseFloat("1e50")));
    EXPECT_EQ(ParseFloat("-1e50"), -std::numeric_limits<float>::infinity());
}

TEST(NumericDispatch, LongLongAppliesTheRemovedMinus)
{
    EXPECT_EQ(ParseLongLong("-5"), -5);
    EXPECT_EQ(ParseLongLong("--5"), 5);
    EXPECT_EQ(ParseLongLong("9223372036854775807"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ParseLongLong("-9223372036854775807"), -std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ParseLongLong("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ParseLongLong("99999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ParseLongLong("-99999999999999999999"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ParseLongLong("--9223372036854775808"), std::numeric_limits<int64_t>::max());
}
