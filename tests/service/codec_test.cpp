// Value codec: hexadecimal text of one value <-> double.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "config/cstrtonumeric.h"
#include "service/DevServer.h"

namespace {

double Decode(const char* text, int type, int swapUnit = 0, int len = 0)
{
    return CDevServer::SvrStr2Double(text, type, swapUnit, len);
}

std::string Encode(double value, int type, int swapUnit = 0, int len = 0)
{
    return CDevServer::SvrDouble2Str(value, type, swapUnit, len).str();
}

std::string ReverseBytes(const std::string& text)
{
    std::string out;
    for (size_t i = text.size(); i >= 2; i -= 2) out += text.substr(i - 2, 2);
    return out;
}

std::string Hex(uint64_t bits, int digits)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%0*llx", digits, static_cast<unsigned long long>(bits));
    return text;
}

// Codes 80-88 as printf would do them: "%.<n>X" or "%.<n>d", last n characters.
std::string ReferenceInteger(double value, int type)
{
    const int digits = 2 << ((type - 80) / 3);
    const int k = CDevServer::Double2Int(value);
    const int lowMasked[] = {k & 0xFF,
                             static_cast<int8_t>(k & 0xFF),
                             k & 0xFF,
                             k & 0xFFFF,
                             static_cast<int16_t>(k & 0xFFFF),
                             k & 0xFFFF,
                             k,
                             k,
                             k};
    const bool bcd = type == 82 || type == 85 || type == 88;
    char text[32];
    if (bcd) {
        std::snprintf(text, sizeof(text), "%.*d", digits, lowMasked[type - 80]);
    } else {
        std::snprintf(text, sizeof(text), "%.*X", digits, static_cast<unsigned>(lowMasked[type - 80]));
    }
    const std::string full = text;
    return full.substr(full.size() - static_cast<size_t>(digits));
}

const double TWO_POW_64 = 18446744073709551616.0;

}  // namespace

TEST(CodecDecode, Examples)
{
    EXPECT_EQ(Decode("1234", 83), 4660);
    EXPECT_EQ(Decode("FFFE", 84), -2);
    EXPECT_EQ(Decode("1234", 85), 1234);
    EXPECT_EQ(Decode("12A4", 85), 12);  // BCD digits are not validated
    EXPECT_EQ(Decode("40490FDB", 89), 3.1415927410125732);
    EXPECT_EQ(Decode("400921FB54442D18", 93), 3.141592653589793);
    EXPECT_EQ(Decode("FFFFFFFFFFFFFFFF", 91), -1.0);
    EXPECT_EQ(Decode("FFFFFFFFFFFFFFFF", 90), TWO_POW_64);
    EXPECT_EQ(Decode("0041", 0, 0, 2), 1.0);
    EXPECT_EQ(Decode("0041", 6, 0, 2), 1.0);
    EXPECT_EQ(Decode("0041", 1, 0, 2), 0.0);
    EXPECT_EQ(Decode("0041", 8, 0, 1), 0.0);  // only the first two digits
    EXPECT_EQ(Decode("3412", 83, 2), 4660);
    EXPECT_EQ(Decode("123", 83), 0.0);
    EXPECT_EQ(Decode("12345678", 83), 4660);
    EXPECT_EQ(Decode("80", 81), -128);
    EXPECT_EQ(Decode("FFFFFFFF", 87), -1);
    EXPECT_EQ(Decode("FFFFFFFF", 86), 4294967295.0);
    EXPECT_EQ(Decode("0000001234567890", 92), 1234567890.0);
    EXPECT_EQ(Decode("  -3.25x", 100, 0, 7), -3.25);
    EXPECT_EQ(Decode("-3.25", 100, 0, 3), -3.0);
    EXPECT_EQ(Decode("1234", 20, 0, 2), 0.0);
    EXPECT_EQ(Decode("1234", 131, 0, 2), 0.0);
    EXPECT_EQ(Decode("0041", 0, 0, -1), 0.0);
}

TEST(CodecEncode, Examples)
{
    EXPECT_EQ(Encode(4660, 83), "1234");
    EXPECT_EQ(Encode(-1, 83), "FFFF");
    EXPECT_EQ(Encode(-2, 84), "FFFE");
    EXPECT_EQ(Encode(70000, 83), "1170");
    EXPECT_EQ(Encode(1234, 85), "1234");
    EXPECT_EQ(Encode(12345, 85), "2345");
    EXPECT_EQ(Encode(99, 82), "99");
    EXPECT_EQ(Encode(2.5, 83), "0003");
    EXPECT_EQ(Encode(-2.5, 84), "FFFD");
    EXPECT_EQ(Encode(1.0, 89), "3f800000");
    EXPECT_EQ(Encode(1.0, 93), "3ff0000000000000");
    EXPECT_EQ(Encode(-1, 91), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Encode(255, 90), "00000000000000FF");
    EXPECT_EQ(Encode(12345678, 92), "0000000012345678");
    EXPECT_EQ(Encode(-123, 88), "00000123");
    EXPECT_EQ(Encode(3.14159, 100, 2, 8), "    3.14");
    EXPECT_EQ(Encode(3.14159, 100, 2, 3), ".14");
    EXPECT_EQ(Encode(-3.14159, 100, -4, 4), "  -3");  // negative decimals mean none
    EXPECT_EQ(Encode(3.14159, 100, 2, 0), "");
    EXPECT_EQ(Encode(3.14159, 100, 2, 100000).size(), 512u);  // width is bounded
    EXPECT_EQ(Encode(1, 20), "");
    EXPECT_EQ(Encode(1, 131), "");
    EXPECT_EQ(Encode(1, 3, 0, 2), "");  // bit codes are written by the frame code
    EXPECT_EQ(Encode(4660, 83, 2), "3412");
}

TEST(CodecDouble2Int, RoundsHalfAwayAndSaturates)
{
    EXPECT_EQ(CDevServer::Double2Int(2.5), 3);
    EXPECT_EQ(CDevServer::Double2Int(-2.5), -3);
    EXPECT_EQ(CDevServer::Double2Int(0.49), 0);
    EXPECT_EQ(CDevServer::Double2Int(0.49999999999999994), 0);
    EXPECT_EQ(CDevServer::Double2Int(std::nan("")), 0);
    EXPECT_EQ(CDevServer::Double2Int(4294967295.6), -1);
    EXPECT_EQ(CDevServer::Double2Int(3000000000.0), static_cast<int>(3000000000u));
    EXPECT_EQ(CDevServer::Double2Int(-3.0e9), std::numeric_limits<int>::min());
    EXPECT_EQ(CDevServer::Double2Int(1e300), -1);
    EXPECT_EQ(CDevServer::Double2Int(-std::numeric_limits<double>::infinity()), std::numeric_limits<int>::min());
}

TEST(CodecSetByteBit, SetsClearsAndRefusesOutOfRange)
{
    CByteArray bytes;
    bytes.SetSize(2);
    bytes[0] = 0xF0;
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, 1, 9), 1);
    EXPECT_EQ(bytes[1], 0x02);
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, 1, 16), 0);
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, 1, -1), 0);
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, 0.99, 4), 1);  // truncates to 0: clears
    EXPECT_EQ(bytes[0], 0xE0);
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, -1.5, 0), 1);
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, std::nan(""), 5), 1);
    EXPECT_EQ(CDevServer::SvrSetByteBit(bytes, std::numeric_limits<double>::infinity(), 15), 1);
    EXPECT_EQ(bytes[0], 0xC1);
    EXPECT_EQ(bytes[1], 0x82);
}

TEST(CodecOutOfRange, SaturatesInsteadOfWrapping)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    EXPECT_EQ(Encode(-5, 90), "0000000000000000");
    EXPECT_EQ(Encode(TWO_POW_64, 90), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Encode(inf, 90), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Encode(nan, 90), "0000000000000000");
    EXPECT_EQ(Encode(9223372036854775808.0, 91), "7FFFFFFFFFFFFFFF");
    EXPECT_EQ(Encode(-1e30, 91), "8000000000000000");
    EXPECT_EQ(Encode(nan, 91), "0000000000000000");
    EXPECT_EQ(Encode(-123, 92), "0000000000000123");  // magnitude, no minus in the digits
    EXPECT_EQ(Encode(-2.5, 92), "0000000000000003");
    EXPECT_EQ(Encode(nan, 92), "0000000000000000");
    EXPECT_EQ(Encode(1e300, 83), "FFFF");
    EXPECT_EQ(Encode(-1e300, 87), "80000000");
    EXPECT_EQ(Encode(nan, 86), "00000000");
    EXPECT_EQ(Encode(1e300, 89), "7f800000");
    // Just above the largest single still rounds to it; from 2^128 - 2^103 on it becomes infinity.
    const double overflowPoint = 0x1.ffffffp+127;
    EXPECT_EQ(Encode(std::nextafter(static_cast<double>(FLT_MAX), inf), 89), "7f7fffff");
    EXPECT_EQ(Encode(-std::nextafter(overflowPoint, 0.0), 89), "ff7fffff");
    EXPECT_EQ(Encode(overflowPoint, 89), "7f800000");
    EXPECT_EQ(Encode(-inf, 89), "ff800000");
    // Odd integers near 2^52 keep their value (adding 0.5 first would round them up).
    EXPECT_EQ(Encode(4503599627370497.0, 90), "0010000000000001");
}

TEST(CodecChunkReversal, PartialChunkIsDropped)
{
    EXPECT_EQ(Decode("ABCD", 83, 3), 0xBCD);
    EXPECT_EQ(Encode(4660, 83, 3), "234");
    EXPECT_EQ(Decode("000001", 0, 4, 3), 1.0);  // one whole chunk "0001"
    EXPECT_EQ(Decode("3f800000", 89, 5), 0.0);  // one chunk "00000", no pairs beyond it
    EXPECT_EQ(Decode("1234", 83, 5), 0.0);
    EXPECT_EQ(Encode(1.0, 93, 7), "0000000f000000");
    // A wide bit field reordered off the stack: 100 bytes, the lowest one first.
    const std::string wide = "01" + std::string(198, '0');
    EXPECT_EQ(Decode(wide.c_str(), 0, 2, 100), 1.0);
    EXPECT_EQ(Decode(wide.c_str(), 0, 0, 100), 1.0);  // 200 digits saturate the parse: all bits set
}

TEST(CodecRoundTrip, IntegerCodesAcrossTheirRange)
{
    struct {
        int type;
        double low, high;
    } ranges[] = {{80, 0, 255},
                  {81, -128, 127},
                  {82, 0, 99},
                  {83, 0, 65535},
                  {84, -32768, 32767},
                  {85, 0, 9999},
                  {86, 0, 4294967295.0},
                  {87, -2147483648.0, 2147483647.0},
                  {88, 0, 99999999},
                  {90, 0, 18446744073709549568.0},
                  {91, -9223372036854775808.0, 9223372036854774784.0},
                  {92, 0, 9999999999999998}};
    std::mt19937_64 random(12345);
    for (const auto& range : ranges) {
        std::vector<double> values;
        if (range.high - range.low <= 65535) {
            for (double v = range.low; v <= range.high; ++v) values.push_back(v);
        } else {
            values = {range.low, range.high, range.low + 1, range.high - 1, 0, 1, -1};
            // Spread over all magnitudes: random bits under a random width.
            for (int i = 0; i < 3000; ++i) {
                const uint64_t bits = random() >> (random() % 64);
                values.push_back(std::round(std::fmod(static_cast<double>(bits), range.high - range.low) + range.low));
            }
        }
        for (double value : values) {
            if (value > range.high || value < range.low) continue;
            const std::string text = Encode(value, range.type);
            ASSERT_EQ(Decode(text.c_str(), range.type), value) << range.type << " " << text;
            const std::string swapped = Encode(value, range.type, 2);
            ASSERT_EQ(swapped, ReverseBytes(text));
            ASSERT_EQ(Decode(swapped.c_str(), range.type, 2), value) << range.type << " " << swapped;
            if (range.type <= 88) {
                ASSERT_EQ(text, ReferenceInteger(value, range.type)) << value;
            }
        }
    }
}

TEST(CodecRoundTrip, FloatBitPatternsSurvive)
{
    const uint32_t singles[] = {0x00000000, 0x80000000, 0x7f800000, 0xff800000, 0x7fc00001,
                                0xffc12345, 0x00000001, 0x7f7fffff, 0x3f800000, 0x80800000};
    for (uint32_t bits : singles) {
        const std::string text = Hex(bits, 8);
        const double value = Decode(text.c_str(), 89);
        EXPECT_EQ(std::signbit(value), (bits >> 31) != 0) << text;
        EXPECT_EQ(Encode(value, 89), text);
    }
    // A signalling NaN comes back quiet with its payload, on every target.
    EXPECT_EQ(Encode(Decode("7f800001", 89), 89), "7fc00001");
    EXPECT_EQ(Encode(Decode("fff0000000000001", 93), 89), "ffc00000");
    const uint64_t doubles[] = {0x0000000000000000, 0x8000000000000000, 0x7ff0000000000000, 0xfff0000000000000,
                                0x7ff8000000000123, 0xfff8abcdef012345, 0x0000000000000001, 0x7fefffffffffffff};
    for (uint64_t bits : doubles) {
        const std::string text = Hex(bits, 16);
        EXPECT_EQ(Encode(Decode(text.c_str(), 93), 93), text);
        EXPECT_EQ(Encode(Decode(ReverseBytes(text).c_str(), 93, 2), 93, 2), ReverseBytes(text));
    }
    std::mt19937_64 random(99);
    for (int i = 0; i < 1000; ++i) {
        uint64_t bits = random();
        if (((bits >> 52) & 0x7FF) == 0x7FF) bits |= 1ull << 51;  // signalling NaNs may be quietened
        uint32_t single = static_cast<uint32_t>(bits);
        if (((single >> 23) & 0xFF) == 0xFF) single |= 1u << 22;
        EXPECT_EQ(Encode(Decode(Hex(bits, 16).c_str(), 93), 93), Hex(bits, 16));
        EXPECT_EQ(Encode(Decode(Hex(single, 8).c_str(), 89), 89), Hex(single, 8));
    }
}

// The in-place scanners must read malformed digits exactly as the format-key parsers do.
TEST(CodecDecode, MalformedDigitsParseLikeTheFormatKeys)
{
    const char alphabet[] = "0 1-+xXfFg9\t";
    std::mt19937 random(7);
    for (int i = 0; i < 10000; ++i) {
        std::string text(16, ' ');
        for (char& c : text) c = alphabet[random() % (sizeof(alphabet) - 1)];
        const CString word = CString(text.c_str()).Left(4);
        const CString full = text.c_str();
        uint32_t hex = 0;
        int32_t dec = 0;
        uint64_t llx = 0;
        uint64_t llu = 0;
        cstringToNumeric(word, "%X", &hex);
        cstringToNumeric(word, "%d", &dec);
        cstringToNumeric(full, "%llx", &llx);
        cstringToNumeric(full, "%llu", &llu);
        ASSERT_EQ(Decode(text.c_str(), 83), hex & 0xFFFF) << text;
        ASSERT_EQ(Decode(text.c_str(), 84), static_cast<int16_t>(hex & 0xFFFF)) << text;
        ASSERT_EQ(Decode(text.c_str(), 85), dec) << text;
        ASSERT_EQ(Decode(text.c_str(), 5, 0, 2), (hex >> 5) & 1) << text;
        ASSERT_EQ(Decode(text.c_str(), 90), static_cast<double>(llx)) << text;
        ASSERT_EQ(Decode(text.c_str(), 92), static_cast<double>(llu)) << text;
        uint32_t single = 0;
        for (int pair = 0; pair < 4; ++pair) {
            uint32_t byte = 0;
            cstringToNumeric(full.Mid(2 * pair, 2), "%x", &byte);
            single = (single << 8) | (byte & 0xFF);
        }
        float expected;
        std::memcpy(&expected, &single, sizeof(expected));
        const double decoded = Decode(text.c_str(), 89);
        if (!std::isnan(expected)) {
            ASSERT_EQ(decoded, static_cast<double>(expected)) << text;
        }
    }
}
