// The codec decodes the usual field (a few plain hex digits) on a short road
// of its own; it must read every field exactly as the format-key parsers do,
// byte-reversed or not, and hand anything unusual to the general road.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "config/cstrtonumeric.h"
#include "service/DevServer.h"

namespace {

std::string ReversePairs(const std::string& text)
{
    std::string out;
    for (size_t i = text.size(); i >= 2; i -= 2) out += text.substr(i - 2, 2);
    return out;
}

// "%X" over the whole window, as the integer and bit codes read it.
uint32_t HexKey(const std::string& text)
{
    uint32_t value = 0;
    cstringToNumeric(CString(text.c_str()), "%X", &value);
    return value;
}

// "%x" per byte pair, as the float code reads it.
uint32_t PairKeys(const std::string& text)
{
    uint32_t bits = 0;
    for (int pair = 0; pair < 4; ++pair) {
        uint32_t byte = 0;
        cstringToNumeric(CString(text.c_str()).Mid(2 * pair, 2), "%x", &byte);
        bits = (bits << 8) | (byte & 0xFF);
    }
    return bits;
}

std::string RandomField(std::mt19937& random, int digits, const char* alphabet, size_t size)
{
    std::string text(static_cast<size_t>(digits), '0');
    for (char& c : text) c = alphabet[random() % size];
    return text;
}

// Digits of every case, and now and then a character that is none.
const char MOSTLY_HEX[] = "0123456789abcdefABCDEF0123456789-x g";

}  // namespace

TEST(CodecPlainFields, IntegerAndBitCodesReadAsTheFormatKeys)
{
    std::mt19937 random(2024);
    for (int i = 0; i < 20000; ++i) {
        for (int swap : {0, 2}) {
            const std::string w8 = RandomField(random, 2, MOSTLY_HEX, sizeof(MOSTLY_HEX) - 1);
            const std::string w16 = RandomField(random, 4, MOSTLY_HEX, sizeof(MOSTLY_HEX) - 1);
            const std::string w32 = RandomField(random, 8, MOSTLY_HEX, sizeof(MOSTLY_HEX) - 1);
            const std::string r8 = swap ? ReversePairs(w8) : w8;
            const std::string r16 = swap ? ReversePairs(w16) : w16;
            const std::string r32 = swap ? ReversePairs(w32) : w32;
            const int bit = static_cast<int>(random() % 16);
            ASSERT_EQ(CDevServer::SvrText2Double(w8.data(), 2, 80, swap, 0), HexKey(r8) & 0xFF) << w8;
            ASSERT_EQ(CDevServer::SvrText2Double(w8.data(), 2, 81, swap, 0), static_cast<int8_t>(HexKey(r8) & 0xFF))
                << w8;
            ASSERT_EQ(CDevServer::SvrText2Double(w16.data(), 4, 83, swap, 0), HexKey(r16) & 0xFFFF) << w16;
            ASSERT_EQ(CDevServer::SvrText2Double(w16.data(), 4, 84, swap, 0),
                      static_cast<int16_t>(HexKey(r16) & 0xFFFF))
                << w16;
            ASSERT_EQ(CDevServer::SvrText2Double(w32.data(), 8, 86, swap, 0), HexKey(r32)) << w32;
            ASSERT_EQ(CDevServer::SvrText2Double(w32.data(), 8, 87, swap, 0), static_cast<int32_t>(HexKey(r32))) << w32;
            ASSERT_EQ(CDevServer::SvrText2Double(w16.data(), 4, bit, swap, 2), (HexKey(r16) >> bit) & 1) << w16;
            ASSERT_EQ(CDevServer::SvrText2Double(w8.data(), 2, bit % 8, swap, 1), (HexKey(r8) >> (bit % 8)) & 1) << w8;
        }
    }
}

TEST(CodecPlainFields, FloatsReadAsTheirBytePairs)
{
    std::mt19937 random(77);
    for (int i = 0; i < 20000; ++i) {
        for (int swap : {0, 2}) {
            const std::string text = RandomField(random, 8, MOSTLY_HEX, sizeof(MOSTLY_HEX) - 1);
            const uint32_t bits = PairKeys(swap ? ReversePairs(text) : text);
            float expected;
            std::memcpy(&expected, &bits, sizeof(expected));
            const double decoded = CDevServer::SvrText2Double(text.data(), 8, 89, swap, 0);
            if (std::isnan(expected)) {
                ASSERT_TRUE(std::isnan(decoded)) << text;
            } else {
                ASSERT_EQ(decoded, static_cast<double>(expected)) << text;
            }
        }
    }
}

// The character form and the CString form are one decoder: a window longer
// than the code needs is cut, a shorter one gives 0, and units other than 2
// or wider than the field take the general road with the same results.
TEST(CodecPlainFields, WindowAndUnitEdges)
{
    const char text[] = "12345678";
    EXPECT_EQ(CDevServer::SvrText2Double(text, 8, 83, 0, 0), 0x1234);
    EXPECT_EQ(CDevServer::SvrText2Double(text, 3, 83, 0, 0), 0.0);
    EXPECT_EQ(CDevServer::SvrText2Double(nullptr, 0, 83, 0, 0), 0.0);
    EXPECT_EQ(CDevServer::SvrText2Double(text, 4, 83, 4, 0), 0x1234);  // one chunk of four: unchanged
    EXPECT_EQ(CDevServer::SvrText2Double(text, 4, 83, 1, 0), 0x4321);  // single characters reversed
    EXPECT_EQ(CDevServer::SvrText2Double(text, 8, 86, 4, 0), 0x56781234);
    EXPECT_EQ(CDevServer::SvrText2Double(text, 4, 83, 3, 0), 0x234);  // the partial chunk in front is dropped
    for (int type : {80, 81, 83, 84, 85, 86, 87, 88, 89, 5}) {
        for (int swap : {0, 1, 2, 4}) {
            EXPECT_EQ(CDevServer::SvrText2Double(text, 8, type, swap, 2),
                      CDevServer::SvrStr2Double(CString(text), type, swap, 2))
                << type << " " << swap;
        }
    }
}
