// Byte, hex and text-encoding conversions of CDevServer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/cstrtonumeric.h"
#include "service/DevServer.h"

namespace {

using Bytes = std::vector<uint8_t>;
const int CONVERT_FAIL = static_cast<int>(0x80000000u);

CByteArray Arr(const Bytes& v)
{
    CByteArray a;
    for (uint8_t b : v) a.Add(b);
    return a;
}

Bytes Vec(const CByteArray& a)
{
    return Bytes(a.GetData(), a.GetData() + a.GetSize());
}

// "中文" in UTF-8 and GB18030; mixed text with CJK, a symbol, Latin-1 and a non-BMP character.
const char ZH_UTF8[] = "\xE4\xB8\xAD\xE6\x96\x87";
const Bytes ZH_GB = {0xD6, 0xD0, 0xCE, 0xC4};
const char MIXED_UTF8[] = "\xE6\xB8\xA9\xE5\xBA\xA6 Temp 25\xE2\x84\x83 \xC3\x80\xC3\xA9 \xF0\x9F\x98\x80";

uint8_t NextRandom(uint32_t& s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<uint8_t>(s);
}

TEST(ConvertHex, BytesAndHexTextBothWays)
{
    CString text("stale");
    EXPECT_EQ(1, CDevServer::SvrHByte2HStr(Arr({0x0A, 0xFF}), text));
    EXPECT_EQ(CString("0AFF"), text);

    CByteArray out = Arr({9, 9, 9, 9, 9});
    EXPECT_EQ(1, CDevServer::SvrHStr2HByte(CString("0aff"), out));
    EXPECT_EQ((Bytes{0x0A, 0xFF}), Vec(out));

    CByteArray all;
    for (int i = 0; i < 256; ++i) all.Add(static_cast<unsigned char>(i));
    CDevServer::SvrHByte2HStr(all, text);
    EXPECT_EQ(CString("7F80"), text.Mid(0x7F * 2, 4));
    ASSERT_EQ(1, CDevServer::SvrHStr2HByte(text, out));
    EXPECT_EQ(Vec(all), Vec(out));
}

TEST(ConvertHex, OddOrEmptyTextLeavesOutputUnchanged)
{
    CByteArray out = Arr({1, 2, 3});
    EXPECT_EQ(0, CDevServer::SvrHStr2HByte(CString("ABC"), out));
    EXPECT_EQ(0, CDevServer::SvrHStr2HByte(CString(""), out));
    EXPECT_EQ((Bytes{1, 2, 3}), Vec(out));
}

TEST(ConvertHex, NonHexPairsReadAsTheirParsedPrefix)
{
    CByteArray out;
    ASSERT_EQ(1, CDevServer::SvrHStr2HByte(CString("1GG1 5-1+F0x\t7zz"), out));
    EXPECT_EQ((Bytes{0x01, 0x00, 0x05, 0x01, 0x0F, 0x00, 0x07, 0x00}), Vec(out));
}

TEST(ConvertHex, EveryPairMatchesTheNumericTextParser)
{
    int mismatches = 0;
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const char pair[2] = {static_cast<char>(a), static_cast<char>(b)};
            uint32_t expected = 0xDEADBEEF;
            cstringToNumeric(CString(pair, 2), CString("%x"), &expected);
            CByteArray out;
            CDevServer::SvrHStr2HByte(CString(pair, 2), out);
            ASSERT_EQ(1, out.GetSize());
            if (out[0] != static_cast<uint8_t>(expected) && ++mismatches <= 10) {
                ADD_FAILURE() << "pair " << a << "," << b << ": " << int(out[0]) << " vs " << (expected & 0xFF);
            }
        }
    }
    EXPECT_EQ(0, mismatches);
}

TEST(ConvertBytes, TextAndBytes)
{
    CByteArray out = Arr({7, 7, 7, 7});
    EXPECT_EQ(2, CDevServer::SvrStr2Byte(CString("AB"), out));
    EXPECT_EQ((Bytes{'A', 'B'}), Vec(out));

    CByteArray in = Arr({0x41, 0x00, 0x42});
    CString text;
    EXPECT_EQ(4, CDevServer::SvrByte2Str(in, text));
    EXPECT_EQ(CString("A"), text);
    EXPECT_EQ((Bytes{0x41, 0x00, 0x42, 0x00}), Vec(in));  // the caller keeps the terminator
}

TEST(ConvertBytes, OnlyOrderZeroSwapsPairs)
{
    CByteArray a = Arr({0x41, 0x42, 0x43});
    EXPECT_EQ(1, CDevServer::SvrChangeStrIncode(a, 0));
    EXPECT_EQ((Bytes{0x42, 0x41, 0x00, 0x43}), Vec(a));
    for (int order : {1, 2, -1}) {
        CByteArray b = Arr({0x41, 0x42, 0x43});
        EXPECT_EQ(1, CDevServer::SvrChangeStrIncode(b, order));
        EXPECT_EQ((Bytes{0x41, 0x42, 0x43}), Vec(b)) << "order " << order;
    }
}

TEST(ConvertGb18030, TextToBytes)
{
    CByteArray out;
    ASSERT_EQ(4, CDevServer::SvrStr2ASCII(CString(ZH_UTF8), out)) << "GB18030 converter unavailable?";
    EXPECT_EQ(ZH_GB, Vec(out));
    // U+00C0: two UTF-8 bytes, four GB18030 bytes.
    ASSERT_EQ(8, CDevServer::SvrStr2ASCII(CString("\xC3\x80\xC3\x80"), out));
    EXPECT_EQ((Bytes{0x81, 0x30, 0x86, 0x38, 0x81, 0x30, 0x86, 0x38}), Vec(out));
    std::string many;
    for (int i = 0; i < 100; ++i) many += "\xC3\x80";
    EXPECT_EQ(400, CDevServer::SvrStr2ASCII(CString(many), out));
}

TEST(ConvertGb18030, BytesToTextStopsAtZeroAndKeepsTheTerminator)
{
    CByteArray in = Arr(ZH_GB);
    CString out;
    ASSERT_EQ(5, CDevServer::SvrASCII2Str(in, out)) << "GB18030 converter unavailable?";
    EXPECT_EQ(CString(ZH_UTF8), out);
    EXPECT_EQ(0, in[4]);
    CByteArray split = Arr({0x41, 0x00, 0x42});
    EXPECT_EQ(4, CDevServer::SvrASCII2Str(split, out));
    EXPECT_EQ(CString("A"), out);
}

TEST(ConvertGb18030, BrokenControllerBytesKeepTheTextBeforeTheFault)
{
    CByteArray truncated = Arr({0x41, 0x42, 0x81, 0x30});  // half a four-byte sequence
    CString out("stale");
    EXPECT_EQ(5, CDevServer::SvrASCII2Str(truncated, out));
    EXPECT_EQ(CString("AB"), out);

    CByteArray invalid = Arr({0x41, 0xFF, 0x42});
    EXPECT_EQ(4, CDevServer::SvrASCII2Str(invalid, out));
    ASSERT_GE(out.GetLength(), 1);
    EXPECT_EQ('A', out[0]);
}

TEST(ConvertUtf16, TextToUnitsIncludesTheZeroUnit)
{
    CByteArray out;
    ASSERT_EQ(6, CDevServer::SvrStr2Unicode(CString("AB"), out)) << "UTF-16LE converter unavailable?";
    EXPECT_EQ((Bytes{0x41, 0x00, 0x42, 0x00, 0x00, 0x00}), Vec(out));
    ASSERT_EQ(6, CDevServer::SvrStr2Unicode(CString(ZH_UTF8), out));
    EXPECT_EQ((Bytes{0x2D, 0x4E, 0x87, 0x65, 0x00, 0x00}), Vec(out));
}

TEST(ConvertUtf16, UnitsToTextTerminatesOnlyWhenNeeded)
{
    CByteArray odd = Arr({0x41, 0x00, 0x42});
    CString out;
    EXPECT_EQ(1, CDevServer::SvrUnicode2Str(odd, out)) << "UTF-16LE converter unavailable?";
    EXPECT_EQ(CString("A"), out);
    EXPECT_EQ((Bytes{0x41, 0x00, 0x00, 0x00}), Vec(odd));

    CByteArray terminated = Arr({0x41, 0x00, 0x00, 0x00});
    EXPECT_EQ(1, CDevServer::SvrUnicode2Str(terminated, out));
    EXPECT_EQ(4, terminated.GetSize());

    // Zeros left in the storage just past the array's end are not its terminator.
    CByteArray shrunk = Arr({0x41, 0x00, 0x00, 0x00});
    shrunk.SetSize(2);
    EXPECT_EQ(1, CDevServer::SvrUnicode2Str(shrunk, out));
    EXPECT_EQ(4, shrunk.GetSize());

    CByteArray single = Arr({0x00});
    EXPECT_EQ(0, CDevServer::SvrUnicode2Str(single, out));
    EXPECT_EQ(2, single.GetSize());
}

TEST(ConvertUtf16, LoneSurrogateKeepsTheTextBeforeIt)
{
    for (const Bytes& raw : {Bytes{0x41, 0x00, 0x00, 0xD8}, Bytes{0x41, 0x00, 0x00, 0xDC, 0x42, 0x00}}) {
        CByteArray in = Arr(raw);
        CString out;
        const int len = CDevServer::SvrUnicode2Str(in, out);
        EXPECT_EQ(out.GetLength(), len);
        ASSERT_GE(len, 1);
        EXPECT_EQ('A', out[0]);
    }
}

// Converters kept open give, input after input, what a converter opened for
// each input gives: broken input leaves nothing behind for the next.
TEST(ConvertKeptDecoders, MatchOneShotConversionsInAnyOrder)
{
    const std::vector<Bytes> gbInputs = {ZH_GB, {0x41, 0x42, 0x81, 0x30}, {0x41, 0xFF, 0x42}, {0x81}, {},
                                         ZH_GB, {0x41, 0x00, 0x42}};
    const std::vector<Bytes> utf16Inputs = {
        {0x41, 0x00, 0x00, 0xD8}, {0x41, 0x00, 0x42}, {0x2D, 0x4E, 0x87, 0x65}, {0x00, 0xDC, 0x42, 0x00}, {0x41, 0x00}};
    CTextDecoders decoders;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < gbInputs.size() || i < utf16Inputs.size(); ++i) {
            if (i < gbInputs.size()) {
                CByteArray once = Arr(gbInputs[i]), kept = Arr(gbInputs[i]);
                CString expected, actual("stale");
                EXPECT_EQ(CDevServer::SvrASCII2Str(once, expected), CDevServer::SvrASCII2Str(kept, actual, decoders));
                EXPECT_EQ(expected, actual) << "GB18030 input " << i;
                EXPECT_EQ(Vec(once), Vec(kept));
            }
            if (i < utf16Inputs.size()) {
                CByteArray once = Arr(utf16Inputs[i]), kept = Arr(utf16Inputs[i]);
                CString expected, actual("stale");
                EXPECT_EQ(CDevServer::SvrUnicode2Str(once, expected),
                          CDevServer::SvrUnicode2Str(kept, actual, decoders));
                EXPECT_EQ(expected, actual) << "UTF-16LE input " << i;
            }
        }
    }
    // A copy opens its own and decodes alike.
    CTextDecoders copy(decoders);
    CByteArray in = Arr(ZH_GB);
    CString out;
    EXPECT_EQ(5, CDevServer::SvrASCII2Str(in, out, copy));
    EXPECT_EQ(CString(ZH_UTF8), out);
}

TEST(ConvertRoundTrip, MixedTextThroughBothEncodingsAndTheWire)
{
    CByteArray gb;
    CString back;
    ASSERT_GT(CDevServer::SvrStr2ASCII(CString(MIXED_UTF8), gb), 0);
    ASSERT_GT(CDevServer::SvrASCII2Str(gb, back), 0);
    EXPECT_EQ(CString(MIXED_UTF8), back);

    // Write path with byte order "21", then the read path back from hex text.
    CByteArray units;
    ASSERT_GT(CDevServer::SvrStr2Unicode(CString(MIXED_UTF8), units), 0);
    CDevServer::SvrChangeStrIncode(units, 0);
    CString hex;
    CDevServer::SvrHByte2HStr(units, hex);
    CByteArray wire;
    ASSERT_EQ(1, CDevServer::SvrHStr2HByte(hex, wire));
    CDevServer::SvrChangeStrIncode(wire, 0);
    ASSERT_GT(CDevServer::SvrUnicode2Str(wire, back), 0);
    EXPECT_EQ(CString(MIXED_UTF8), back);
}

TEST(ConvertHostile, RandomInputStaysWithinTheSizedBuffers)
{
    uint32_t seed = 0x2545F491u;
    for (int round = 0; round < 300; ++round) {
        const int n = round % 41;
        Bytes raw(static_cast<size_t>(n));
        for (auto& b : raw) b = NextRandom(seed);

        CByteArray gb = Arr(raw);
        CString text;
        EXPECT_EQ(n + 1, CDevServer::SvrASCII2Str(gb, text));
        EXPECT_EQ(std::strlen(text.GetString()), static_cast<size_t>(text.GetLength()));
        CByteArray u16 = Arr(raw);
        const int len = CDevServer::SvrUnicode2Str(u16, text);
        EXPECT_EQ(text.GetLength(), len);
        EXPECT_LE(text.GetLength(), 2 * u16.GetSize());

        std::string s(raw.begin(), raw.end());
        CByteArray out;
        EXPECT_LE(CDevServer::SvrStr2ASCII(CString(s), out), 2 * n + 2);
        EXPECT_LE(CDevServer::SvrStr2Unicode(CString(s), out), 4 * (n + 1));
    }
}

TEST(ConvertCode, ConvertsIntoTheRoomGivenAndNoFurther)
{
    char in[] = "\xE4\xB8\xAD\xE6\x96\x87";
    char out[16];
    std::memset(out, 0x55, sizeof out);
    int left = 10;
    ASSERT_EQ(0, CDevServer::Utf8ToGbk(in, 6, out, left)) << "GB18030 converter unavailable?";
    EXPECT_EQ(6, left);
    EXPECT_EQ(ZH_GB, Bytes(out, out + 4));
    EXPECT_EQ(Bytes(6, 0), Bytes(out + 4, out + 10));  // zero-filled room
    EXPECT_EQ(Bytes(6, 0x55), Bytes(out + 10, out + 16));

    std::memset(out, 0x55, sizeof out);
    left = 3;  // one UTF-16 unit fits, the second does not
    EXPECT_EQ(CONVERT_FAIL, CDevServer::Utf8ToUnicode(in, 6, out, left));
    EXPECT_EQ(1, left);
    EXPECT_EQ(Bytes(13, 0x55), Bytes(out + 3, out + 16));
}

TEST(ConvertCode, UnknownEncodingOrBadArgumentsFail)
{
    char in[] = "AB";
    char out[4] = {1, 2, 3, 4};
    int left = 4;
    EXPECT_EQ(CONVERT_FAIL, CDevServer::ConvertCode("NO-SUCH-CODE", "UTF-8", in, 2, out, left));
    EXPECT_EQ(4, left);
    EXPECT_EQ(1, out[0]);  // nothing written
    EXPECT_EQ(CONVERT_FAIL, CDevServer::ConvertCode("UTF-8", "UTF-8", nullptr, 2, out, left));
    EXPECT_EQ(CONVERT_FAIL, CDevServer::ConvertCode("UTF-8", "UTF-8", in, -1, out, left));
    EXPECT_EQ(CONVERT_FAIL, CDevServer::ConvertCode("UTF-8", "UTF-8", in, 2, nullptr, left));
    int negative = -1;
    EXPECT_EQ(CONVERT_FAIL, CDevServer::ConvertCode("UTF-8", "UTF-8", in, 2, out, negative));
}

// Runs one wrapper into a fresh 64-byte buffer and returns what it produced.
std::string Wrapped(int (*fn)(char*, int, char*, int&), std::string in)
{
    char out[64];
    int left = sizeof out;
    EXPECT_EQ(0, fn(&in[0], static_cast<int>(in.size()), out, left));
    return std::string(out, sizeof out - static_cast<size_t>(left));
}

TEST(ConvertCode, WrappersChainBackToTheOriginal)
{
    const std::string text(MIXED_UTF8);
    const std::string gb = Wrapped(CDevServer::Utf8ToGbk, text);
    const std::string u16 = Wrapped(CDevServer::GbkToUnicode, gb);
    EXPECT_EQ(Wrapped(CDevServer::Utf8ToUnicode, text), u16);
    EXPECT_EQ(gb, Wrapped(CDevServer::UnicodeToGbk, u16));
    EXPECT_EQ(text, Wrapped(CDevServer::GbkToUtf8, gb));
    EXPECT_EQ(text, Wrapped(CDevServer::UnicodeToUtf8, u16));
}

}  // namespace
