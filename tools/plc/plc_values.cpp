#include "plc_values.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace plc {
namespace {

struct NamedType {
    const char* name;
    ValueKind kind;
    int bytes;
};

constexpr NamedType kTypes[] = {
    {"WUB", ValueKind::Unsigned, 2}, {"WB", ValueKind::Signed, 2},    {"WD", ValueKind::Bcd, 2},
    {"DUB", ValueKind::Unsigned, 4}, {"DB", ValueKind::Signed, 4},    {"DD", ValueKind::Bcd, 4},
    {"DF", ValueKind::Float, 4},     {"LUB", ValueKind::Unsigned, 8}, {"LB", ValueKind::Signed, 8},
    {"LD", ValueKind::Bcd, 8},       {"LF", ValueKind::Float, 8},     {"STR", ValueKind::String, 0},
};

// Wire position -> canonical byte (0-based), per option, as the device reads.
constexpr int kOrder16[2][2] = {{0, 1}, {1, 0}};
constexpr int kOrder32[4][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {2, 3, 0, 1}, {3, 2, 1, 0}};
constexpr int kOrder64[8][8] = {
    {7, 6, 5, 4, 3, 2, 1, 0}, {1, 0, 3, 2, 5, 4, 7, 6}, {2, 3, 0, 1, 6, 7, 4, 5}, {4, 5, 6, 7, 0, 1, 2, 3},
    {3, 2, 1, 0, 7, 6, 5, 4}, {5, 4, 7, 6, 1, 0, 3, 2}, {6, 7, 4, 5, 2, 3, 0, 1}, {0, 1, 2, 3, 4, 5, 6, 7},
};

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::vector<uint8_t> bigEndian(uint64_t value, int bytes)
{
    std::vector<uint8_t> out(static_cast<size_t>(bytes));
    for (int i = 0; i < bytes; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
    return out;
}

// Decimal digits as nibbles: 1234 -> 0x1234.
uint64_t toBcd(uint64_t value)
{
    uint64_t out = 0;
    for (int shift = 0; value != 0; shift += 4, value /= 10) out |= (value % 10) << shift;
    return out;
}

std::vector<uint8_t> convert(const std::string& text, const char* to)
{
    iconv_t cd = iconv_open(to, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no text conversion to ") + to);
    std::vector<char> in(text.begin(), text.end());
    std::vector<char> out(text.size() * 4 + 8);
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int error = errno;
    iconv_close(cd);
    if (r == static_cast<size_t>(-1))
        throw std::runtime_error("text \"" + text + "\" cannot be converted to " + to + ": " + std::strerror(error));
    return std::vector<uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(out.size() - outLeft));
}

}  // namespace

std::optional<ValueType> parseValueType(const std::string& name)
{
    std::string code = upper(name);
    for (const NamedType& t : kTypes)
        if (code == t.name) return ValueType{t.kind, t.bytes, 0, t.name};
    if (code.size() == 4 && code.compare(0, 2, "BT") == 0 && std::isdigit(static_cast<unsigned char>(code[2])) &&
        std::isdigit(static_cast<unsigned char>(code[3]))) {
        int bit = (code[2] - '0') * 10 + (code[3] - '0');
        if (bit < 16) return ValueType{ValueKind::RegisterBit, 2, bit, code};
    }
    return std::nullopt;
}

std::string valueTypeNames()
{
    std::string names;
    for (const NamedType& t : kTypes) names += std::string(t.name) + ", ";
    return names + "BT00 ... BT15";
}

std::vector<uint8_t> canonicalInteger(const ValueType& type, int64_t value)
{
    auto fail = [&](const char* range) {
        throw std::out_of_range(std::to_string(value) + " does not fit " + type.name + " (" + range + ")");
    };
    switch (type.kind) {
        case ValueKind::Unsigned:
            if (value < 0) fail("no negative values");
            if (type.bytes < 8 && static_cast<uint64_t>(value) >> (8 * type.bytes) != 0)
                fail(type.bytes == 2 ? "0 ... 65535" : "0 ... 4294967295");
            return bigEndian(static_cast<uint64_t>(value), type.bytes);
        case ValueKind::Signed: {
            if (type.bytes < 8) {
                int64_t limit = int64_t{1} << (8 * type.bytes - 1);
                if (value < -limit || value >= limit) fail(type.bytes == 2 ? "-32768 ... 32767" : "32-bit signed");
            }
            return bigEndian(static_cast<uint64_t>(value), type.bytes);
        }
        case ValueKind::Bcd: {
            // Two decimal digits per byte.
            uint64_t limit = 1;
            for (int i = 0; i < 2 * type.bytes; ++i) limit *= 10;
            if (value < 0 || static_cast<uint64_t>(value) >= limit)
                fail(type.bytes == 2 ? "0 ... 9999" : type.bytes == 4 ? "0 ... 99999999" : "0 ... 16 decimal digits");
            return bigEndian(toBcd(static_cast<uint64_t>(value)), type.bytes);
        }
        case ValueKind::Float:
            return canonicalFloat(type, static_cast<double>(value));
        case ValueKind::RegisterBit:
            if (value != 0 && value != 1) fail("0 or 1");
            return bigEndian(static_cast<uint64_t>(value) << type.bit, 2);
        case ValueKind::String:
            break;
    }
    throw std::out_of_range(std::string(type.name) + " holds text, not a number");
}

std::vector<uint8_t> canonicalFloat(const ValueType& type, double value)
{
    if (type.kind != ValueKind::Float) {
        double whole = std::nearbyint(value);
        if (whole != value || !std::isfinite(value) || std::fabs(value) > 9.2e18)
            throw std::out_of_range(std::to_string(value) + " is not a whole number, as " + type.name + " needs");
        return canonicalInteger(type, static_cast<int64_t>(whole));
    }
    if (type.bytes == 4) {
        float single = static_cast<float>(value);
        uint32_t bits = 0;
        std::memcpy(&bits, &single, sizeof bits);
        return bigEndian(bits, 4);
    }
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bigEndian(bits, 8);
}

std::vector<uint8_t> wireOrder(const std::vector<uint8_t>& canonical, int order)
{
    const size_t n = canonical.size();
    const int options = n == 2 ? 2 : n == 4 ? 4 : n == 8 ? 8 : 0;
    if (options == 0) throw std::out_of_range("no byte order for a value of " + std::to_string(n) + " bytes");
    if (order < 0 || order >= options)
        throw std::out_of_range("byte-order option " + std::to_string(order) + " does not exist for " +
                                std::to_string(8 * n) + "-bit values (0 ... " + std::to_string(options - 1) + ")");
    std::vector<uint8_t> wire(n);
    for (size_t i = 0; i < n; ++i) {
        int from = n == 2 ? kOrder16[order][i] : n == 4 ? kOrder32[order][i] : kOrder64[order][i];
        wire[i] = canonical[static_cast<size_t>(from)];
    }
    return wire;
}

std::vector<uint8_t> stringBytes(const std::string& utf8, int encoding, int order)
{
    std::vector<uint8_t> bytes = convert(utf8, encoding == 0 ? "GB18030" : "UTF-16LE");
    return order == 0 ? swapRegisterBytes(std::move(bytes)) : bytes;
}

std::vector<uint8_t> swapRegisterBytes(std::vector<uint8_t> bytes)
{
    if (bytes.size() % 2) bytes.push_back(0);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

std::vector<uint16_t> toRegisters(const std::vector<uint8_t>& wire)
{
    std::vector<uint16_t> registers((wire.size() + 1) / 2, 0);
    for (size_t i = 0; i < wire.size(); ++i) {
        uint16_t byte = wire[i];
        registers[i / 2] = static_cast<uint16_t>(registers[i / 2] | (i % 2 ? byte : byte << 8));
    }
    return registers;
}

}  // namespace plc
