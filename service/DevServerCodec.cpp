// Value codec: the hexadecimal text of one controller value <-> the runtime's double.
//
// Every channel of every collection passes through here, so the common codes
// parse and format their digits in place instead of going through the
// CString-based parsers; the scanners below give the same results as the
// cstringToNumeric keys they stand for ("%x", "%X", "%d", "%llx", "%llu").
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "config/cstrtonumeric.h"
#include "service/DevServer.h"

namespace {

// Type codes known to the codec besides the bit numbers 0-15.
enum : int {
    CODEC_BIT_LAST = 15,
    CODEC_UB8 = 80,  // 8-bit unsigned
    CODEC_B8 = 81,   // 8-bit signed
    CODEC_D8 = 82,   // 8-bit BCD
    CODEC_WUB = 83,
    CODEC_WB = 84,
    CODEC_WD = 85,
    CODEC_DUB = 86,
    CODEC_DB = 87,
    CODEC_DD = 88,
    CODEC_DF = 89,
    CODEC_LUB = 90,
    CODEC_LB = 91,
    CODEC_LD = 92,
    CODEC_LF = 93,
    CODEC_TEXT = 100,  // decimal number written as text
};

// Windows up to this size are reordered on the stack; only wide bit fields go beyond it.
const int CODEC_STACK_CHARS = 64;
// Ceiling on the width and the decimals of a number written as text, so that a
// wild argument cannot ask for an arbitrarily large buffer.
const int CODEC_TEXT_MAX = 512;
// From 2^128 - 2^103 on, a double rounds to a float infinity.
const double CODEC_FLOAT_OVERFLOW = 0x1.ffffffp+127;
// IEEE 754 fields used to carry NaN payloads between single and double.
const uint32_t FLOAT_EXPONENT = 0x7F800000u;
const uint32_t FLOAT_FRACTION = 0x007FFFFFu;
const uint32_t FLOAT_QUIET = 0x00400000u;
const uint64_t DOUBLE_EXPONENT = 0x7FF0000000000000ull;
const int FRACTION_SHIFT = 52 - 23;
const double CODEC_TWO_POW_32 = 4294967296.0;
const double CODEC_TWO_POW_63 = 9223372036854775808.0;
const double CODEC_TWO_POW_64 = 18446744073709551616.0;

const char HEX_UPPER[] = "0123456789ABCDEF";
const char HEX_LOWER[] = "0123456789abcdef";

bool IsBitCode(int type)
{
    return type >= 0 && type <= CODEC_BIT_LAST;
}

bool IsIntegerCode(int type)
{
    return type >= CODEC_UB8 && type <= CODEC_DD;
}

// 2 ^ ((type - 80) / 3 + 1): 2, 4 or 8 digits.
int IntegerDigits(int type)
{
    return 2 << ((type - CODEC_UB8) / 3);
}

// Characters a decode consumes; 0 for codes without an encoding.
int64_t DecodeDigits(int type, int len)
{
    if (IsBitCode(type)) return 2 * static_cast<int64_t>(len);
    if (IsIntegerCode(type)) return IntegerDigits(type);
    if (type == CODEC_DF) return 8;
    if (type >= CODEC_LUB && type <= CODEC_LF) return 16;
    if (type == CODEC_TEXT) return len;
    return 0;
}

// Chunks of `unit` characters from the end backwards. A partial chunk left at
// the front is dropped rather than read from before the text. Returns the
// number of characters written to dst.
int ReverseChunks(const char* src, int count, int unit, char* dst)
{
    const int chunks = count / unit;
    for (int i = 1; i <= chunks; ++i) {
        std::memcpy(dst, src + (count - i * unit), static_cast<size_t>(unit));
        dst += unit;
    }
    return chunks * unit;
}

// --- scanning: strtoull's rules over a bounded window

bool IsCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Digit values of every byte for bases up to 36; 36 marks a non-digit.
struct SDigitTable {
    unsigned char value[256];
    constexpr SDigitTable() : value()
    {
        for (int c = 0; c < 256; ++c) {
            value[c] = 36;
            if (c >= '0' && c <= '9') value[c] = static_cast<unsigned char>(c - '0');
            if (c >= 'a' && c <= 'z') value[c] = static_cast<unsigned char>(c - 'a' + 10);
            if (c >= 'A' && c <= 'Z') value[c] = static_cast<unsigned char>(c - 'A' + 10);
        }
    }
};
constexpr SDigitTable DIGIT_TABLE;

unsigned DigitValue(char c)
{
    return DIGIT_TABLE.value[static_cast<unsigned char>(c)];
}

// White space, one sign, "0x" in base 16, digits up to the first stranger;
// saturates at the maximum on overflow and wraps a negative number, as strtoull does.
template <unsigned BASE>
uint64_t ScanU64(const char* p, const char* end)
{
    while (p < end && IsCSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (BASE == 16 && end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    constexpr uint64_t LIMIT = std::numeric_limits<uint64_t>::max() / BASE;
    constexpr unsigned LIMIT_DIGIT = static_cast<unsigned>(std::numeric_limits<uint64_t>::max() % BASE);
    uint64_t value = 0;
    bool overflow = false;
    for (; p < end; ++p) {
        const unsigned digit = DigitValue(*p);
        if (digit >= BASE) break;
        if (value > LIMIT || (value == LIMIT && digit > LIMIT_DIGIT)) {
            overflow = true;
        } else {
            value = value * BASE + digit;
        }
    }
    if (overflow) return std::numeric_limits<uint64_t>::max();
    return negative ? 0 - value : value;
}

// The dispatcher's rule: a minus in the first position is taken away before parsing.
bool TakeLeadingMinus(const char*& p, const char* end)
{
    if (p < end && *p == '-') {
        ++p;
        return true;
    }
    return false;
}

// The usual field: up to 16 hexadecimal digits and nothing else, which the
// general scan would read the same way. False at anything unusual.
bool ScanPlainHex(const char* p, const char* end, uint64_t& value)
{
    if (end - p > 16) return false;
    uint64_t digits = 0;
    for (; p < end; ++p) {
        const unsigned digit = DigitValue(*p);
        if (digit >= 16) return false;
        digits = (digits << 4) | digit;
    }
    value = digits;
    return true;
}

// "%x" / "%X" / "%llx": the removed minus is ignored.
uint64_t ScanHex(const char* p, const char* end)
{
    uint64_t value;
    if (ScanPlainHex(p, end, value)) return value;
    TakeLeadingMinus(p, end);
    return ScanU64<16>(p, end);
}

// "%llu".
uint64_t ScanDecimal(const char* p, const char* end)
{
    TakeLeadingMinus(p, end);
    return ScanU64<10>(p, end);
}

// "%d": the low 32 bits, negated when a minus was removed.
int32_t ScanDecimalInt(const char* p, const char* end)
{
    const bool negative = TakeLeadingMinus(p, end);
    uint32_t low = static_cast<uint32_t>(ScanU64<10>(p, end));
    if (negative) low = 0u - low;
    return static_cast<int32_t>(low);
}

// Big-endian bytes, one "%x" pair each; a pair missing from a short window is 0.
uint64_t ScanBytePairs(const char* p, const char* end, int bytes)
{
    uint64_t bits = 0;
    if (end - p == 2 * bytes && ScanPlainHex(p, end, bits)) return bits;
    for (int i = 0; i < bytes; ++i) {
        const char* pair = p + 2 * i < end ? p + 2 * i : end;
        const char* pairEnd = end - pair > 2 ? pair + 2 : end;
        bits = (bits << 8) | (ScanHex(pair, pairEnd) & 0xFFu);
    }
    return bits;
}

int32_t SignExtend(uint32_t value, int type)
{
    if (type == CODEC_B8) return static_cast<int8_t>(value & 0xFFu);
    if (type == CODEC_WB) return static_cast<int16_t>(value & 0xFFFFu);
    return static_cast<int32_t>(value);
}

uint32_t LowMask(int type)
{
    if (type == CODEC_UB8) return 0xFFu;
    if (type == CODEC_WUB) return 0xFFFFu;
    return 0xFFFFFFFFu;
}

// NaNs are widened by hand: soft-float targets would replace the payload by the
// default NaN. The result is quiet with the payload kept, as FPUs do it.
double DecodeFloat(uint64_t bits)
{
    const uint32_t bits32 = static_cast<uint32_t>(bits);
    if ((bits32 & FLOAT_EXPONENT) == FLOAT_EXPONENT && (bits32 & FLOAT_FRACTION) != 0) {
        const uint64_t wide = (static_cast<uint64_t>(bits32 >> 31) << 63) | DOUBLE_EXPONENT |
                              (static_cast<uint64_t>((bits32 & FLOAT_FRACTION) | FLOAT_QUIET) << FRACTION_SHIFT);
        double value;
        std::memcpy(&value, &wide, sizeof(value));
        return value;
    }
    float value;
    std::memcpy(&value, &bits32, sizeof(value));
    return static_cast<double>(value);
}

double DecodeDouble(uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

double DecodeText(const char* p, int count)
{
    double value = 0.0;
    cstringToNumeric(CString(p, count), "%lf", &value);
    return value;
}

double DecodeWindow(const char* p, int count, int type)
{
    const char* end = p + count;
    if (IsBitCode(type)) return (static_cast<uint32_t>(ScanHex(p, end)) >> type) & 1u ? 1.0 : 0.0;
    switch (type) {
        case CODEC_UB8:
        case CODEC_WUB:
        case CODEC_DUB:
            return static_cast<double>(static_cast<uint32_t>(ScanHex(p, end)) & LowMask(type));
        case CODEC_B8:
        case CODEC_WB:
        case CODEC_DB:
            return static_cast<double>(SignExtend(static_cast<uint32_t>(ScanHex(p, end)), type));
        case CODEC_D8:
        case CODEC_WD:
        case CODEC_DD:
            return static_cast<double>(ScanDecimalInt(p, end));
        case CODEC_DF:
            return DecodeFloat(ScanBytePairs(p, end, 4));
        case CODEC_LUB:
            return static_cast<double>(ScanHex(p, end));
        case CODEC_LB:
            return static_cast<double>(static_cast<int64_t>(ScanHex(p, end)));
        case CODEC_LD:
            return static_cast<double>(ScanDecimal(p, end));
        case CODEC_LF:
            return DecodeDouble(ScanBytePairs(p, end, 8));
        case CODEC_TEXT:
            return DecodeText(p, count);
        default:
            return 0.0;
    }
}

// The usual field, decoded without the general window: an integer or bit
// field of at most 8 plain hexadecimal digits, unswapped or byte-reversed
// (swapUnit 2). Gives what DecodeWindow gives for such a field; false for
// anything else (BCD, text, 64-bit codes, other characters or units).
bool DecodePlainField(const char* p, int count, int type, int swapUnit, double& out)
{
    if (count < 2 || count > 8 || (count & 1) != 0 || (swapUnit > 0 && swapUnit != 2)) return false;
    uint32_t bits = 0;
    for (int i = 0; i < count; i += 2) {
        const unsigned high = DigitValue(p[i]);
        const unsigned low = DigitValue(p[i + 1]);
        if ((high | low) >= 16) return false;
        bits = (bits << 8) | (high << 4) | low;
    }
    if (swapUnit == 2) {
        uint32_t reversed = 0;
        for (int i = 0; i < count / 2; ++i) {
            reversed = (reversed << 8) | (bits & 0xFFu);
            bits >>= 8;
        }
        bits = reversed;
    }
    if (IsBitCode(type)) {
        out = (bits >> type) & 1u ? 1.0 : 0.0;
        return true;
    }
    switch (type) {
        case CODEC_UB8:
        case CODEC_WUB:
        case CODEC_DUB:
            out = static_cast<double>(bits & LowMask(type));
            return true;
        case CODEC_B8:
        case CODEC_WB:
        case CODEC_DB:
            out = static_cast<double>(SignExtend(bits, type));
            return true;
        case CODEC_DF:
            // Eight digits: the byte pairs read as one plain number.
            if (count != 8) return false;
            out = DecodeFloat(bits);
            return true;
        default:
            return false;
    }
}

// Everything but the plain fields: the window, reversed by swapUnit first.
// Kept out of line so that the common path sets up no buffers.
__attribute__((noinline)) double DecodeGeneral(const char* text, int count, int type, int swapUnit)
{
    if (swapUnit <= 0) return DecodeWindow(text, count, type);
    if (count > CODEC_STACK_CHARS) {
        std::string reversed(static_cast<size_t>(count), '\0');
        const int kept = ReverseChunks(text, count, swapUnit, &reversed[0]);
        return DecodeWindow(reversed.data(), kept, type);
    }
    char reversed[CODEC_STACK_CHARS];
    const int kept = ReverseChunks(text, count, swapUnit, reversed);
    return DecodeWindow(reversed, kept, type);
}

// --- formatting

// The last `digits` hexadecimal digits of value.
int PutHex(uint64_t value, int digits, const char* table, char* dst)
{
    for (int i = digits - 1; i >= 0; --i) {
        dst[i] = table[value & 0xFu];
        value >>= 4;
    }
    return digits;
}

// The last `digits` decimal digits of value, zero-padded.
int PutDecimal(uint64_t value, int digits, char* dst)
{
    for (int i = digits - 1; i >= 0; --i) {
        dst[i] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    }
    return digits;
}

// Half away from zero, saturating at both ends of the unsigned range; NaN gives 0.
uint64_t RoundToU64(double value)
{
    if (!(value > 0.0)) return 0;
    const double rounded = std::round(value);
    if (rounded >= CODEC_TWO_POW_64) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(rounded);
}

// Half away from zero, saturating at both ends of the signed range; NaN gives 0.
int64_t RoundToI64(double value)
{
    if (std::isnan(value)) return 0;
    const double rounded = std::round(value);
    if (rounded >= CODEC_TWO_POW_63) return std::numeric_limits<int64_t>::max();
    if (rounded < -CODEC_TWO_POW_63) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(rounded);
}

// IEEE narrowing without leaving the defined range of the conversion; a NaN
// keeps the top of its payload (see DecodeFloat).
float NarrowToFloat(double value)
{
    if (std::isnan(value)) {
        uint64_t wide;
        std::memcpy(&wide, &value, sizeof(wide));
        const uint32_t bits = (static_cast<uint32_t>(wide >> 63) << 31) | FLOAT_EXPONENT | FLOAT_QUIET |
                              (static_cast<uint32_t>(wide >> FRACTION_SHIFT) & FLOAT_FRACTION);
        float narrow;
        std::memcpy(&narrow, &bits, sizeof(narrow));
        return narrow;
    }
    const double magnitude = std::fabs(value);
    if (magnitude <= static_cast<double>(FLT_MAX)) return static_cast<float>(value);
    const float limit = magnitude >= CODEC_FLOAT_OVERFLOW ? std::numeric_limits<float>::infinity() : FLT_MAX;
    return std::signbit(value) ? -limit : limit;
}

// Codes 80-88: the low bits of the rounded value as hexadecimal, or its last
// decimal digits for BCD. A negative BCD value keeps only its digits.
int FormatInteger(double value, int type, char* dst)
{
    const int digits = IntegerDigits(type);
    const int32_t k = CDevServer::Double2Int(value);
    const uint32_t bits = static_cast<uint32_t>(k);
    switch (type) {
        case CODEC_D8:
            return PutDecimal(bits & 0xFFu, digits, dst);
        case CODEC_WD:
            return PutDecimal(bits & 0xFFFFu, digits, dst);
        case CODEC_DD:
            return PutDecimal(static_cast<uint64_t>(k < 0 ? -static_cast<int64_t>(k) : k), digits, dst);
        default:
            return PutHex(bits, digits, HEX_UPPER, dst);
    }
}

// Code 92 writes the magnitude: a minus sign is no BCD digit and has no place in the frame.
uint64_t BcdMagnitude(double value)
{
    return static_cast<uint64_t>(RoundToI64(std::fabs(value)));
}

// Codes 89-93 and the codes without an encoding (0 characters).
int FormatWide(double value, int type, char* dst)
{
    switch (type) {
        case CODEC_DF: {
            const float narrow = NarrowToFloat(value);
            uint32_t bits;
            std::memcpy(&bits, &narrow, sizeof(bits));
            return PutHex(bits, 8, HEX_LOWER, dst);
        }
        case CODEC_LF: {
            uint64_t bits;
            std::memcpy(&bits, &value, sizeof(bits));
            return PutHex(bits, 16, HEX_LOWER, dst);
        }
        case CODEC_LUB:
            return PutHex(RoundToU64(value), 16, HEX_UPPER, dst);
        case CODEC_LB:
            return PutHex(static_cast<uint64_t>(RoundToI64(value)), 16, HEX_UPPER, dst);
        case CODEC_LD:
            return PutDecimal(BcdMagnitude(value), 16, dst);
        default:
            return 0;
    }
}

// Code 100: right-aligned in `width` characters with `decimals` decimals; of a
// longer text the last `width` characters are kept.
CString FormatText(double value, int decimals, int width)
{
    if (width <= 0) return CString();
    if (width > CODEC_TEXT_MAX) width = CODEC_TEXT_MAX;
    if (decimals < 0) decimals = 0;
    if (decimals > CODEC_TEXT_MAX) decimals = CODEC_TEXT_MAX;
    // Sign, 309 integer digits, point and decimals fit with room to spare.
    char text[2 * CODEC_TEXT_MAX + 512];
    const int length = std::snprintf(text, sizeof(text), "%*.*f", width, decimals, value);
    if (length < 0 || length >= static_cast<int>(sizeof(text))) return CString();
    const int first = length > width ? length - width : 0;
    return CString(text + first, length - first);
}

}  // namespace

double CDevServer::SvrStr2Double(const CString& text, int type, int swapUnit, int len)
{
    return SvrText2Double(text.GetString(), text.GetLength(), type, swapUnit, len);
}

double CDevServer::SvrText2Double(const char* text, int length, int type, int swapUnit, int len)
{
    const int64_t digits = DecodeDigits(type, len);
    if (!text || digits <= 0 || length < digits) return 0.0;
    const int count = static_cast<int>(digits);
    double value;
    if (DecodePlainField(text, count, type, swapUnit, value)) return value;
    return DecodeGeneral(text, count, type, swapUnit);
}

CString CDevServer::SvrDouble2Str(double value, int type, int swapUnit, int len)
{
    if (type == CODEC_TEXT) return FormatText(value, swapUnit, len);
    char digits[16];
    const int count = IsIntegerCode(type) ? FormatInteger(value, type, digits) : FormatWide(value, type, digits);
    if (swapUnit <= 0) return CString(digits, count);
    char reversed[16];
    return CString(reversed, ReverseChunks(digits, count, swapUnit, reversed));
}

int CDevServer::Double2Int(double value)
{
    if (value > 0.0) {
        const double rounded = std::round(value);
        if (rounded >= CODEC_TWO_POW_32) return -1;  // all 32 bits set
        return static_cast<int>(static_cast<uint32_t>(rounded));
    }
    if (std::isnan(value)) return 0;
    const double rounded = std::round(value);
    if (rounded <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

int CDevServer::SvrSetByteBit(CByteArray& bytes, double value, int bit)
{
    if (bit < 0 || bit / 8 >= bytes.GetSize()) return 0;
    // Truncated toward zero the value is non-zero exactly when its magnitude reaches 1.
    const bool set = !std::isnan(value) && std::fabs(value) >= 1.0;
    const unsigned char mask = static_cast<unsigned char>(1u << (bit % 8));
    unsigned char& target = bytes[bit / 8];
    target = static_cast<unsigned char>(set ? (target | mask) : (target & ~mask));
    return 1;
}
