#include "runtime/value_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace vemo::runtime {

namespace {

std::string trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The whole text as a 64-bit integer: decimal, or hexadecimal after 0x.
bool parseInteger(const std::string& text, long long& out)
{
    if (text.empty()) return false;
    const size_t digits = text[0] == '-' || text[0] == '+' ? 1 : 0;
    const bool hex =
        text.size() > digits + 2 && text[digits] == '0' && (text[digits + 1] == 'x' || text[digits + 1] == 'X');
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && end != text.c_str() && *end == '\0';
}

bool parseDouble(const std::string& text, double& out)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(out);
}

bool fitsInt(long long v)
{
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

std::string unquote(const std::string& text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// Code point at text[i] (advancing i); malformed bytes count as one column.
uint32_t nextCodePoint(const std::string& text, size_t& i)
{
    unsigned char c = static_cast<unsigned char>(text[i++]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t cp = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0Fu : extra == 1 ? c & 0x1Fu : c;
    for (int k = 0; k < extra && i < text.size(); ++k) {
        unsigned char next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) break;
        cp = (cp << 6) | (next & 0x3Fu);
        ++i;
    }
    return cp;
}

bool isWide(uint32_t cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

std::string escaped(const std::string& text, bool json)
{
    std::string out;
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, json ? "\\u%04x" : "\\x%02x", c);
                    out += hex;
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

std::string formatDouble(double d, int digits)
{
    char text[64];
    // Whole numbers (64-bit and 32-bit unsigned channels) in full, not as 1.2e+12.
    if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 1e17) {
        std::snprintf(text, sizeof text, "%.0f", d);
    } else {
        std::snprintf(text, sizeof text, "%.*g", digits, d);
    }
    return text;
}

}  // namespace

Value parseChannelValue(const ChannelInfo& channel, const std::string& raw)
{
    const std::string text = trim(raw);
    const std::string where =
        "channel " + std::to_string(channel.index) + " (" + channel.name + ", " + channel.typeName + ")";
    if (channel.databaseType == DATATYPE_STRING) return Value::ofString(unquote(raw));
    const bool isBit = channel.code < 16 || channel.code == 20;
    if (isBit) {
        if (text == "1" || text == "true" || text == "on") return Value::ofInt(1);
        if (text == "0" || text == "false" || text == "off") return Value::ofInt(0);
        throw std::runtime_error(where + " is a bit: give 0 or 1, not \"" + raw + "\"");
    }
    if (channel.databaseType == DATATYPE_INT) {
        long long v = 0;
        if (!parseInteger(text, v) || !fitsInt(v)) {
            throw std::runtime_error(where + " takes an integer of up to 32 bits, not \"" + raw + "\"");
        }
        return Value::ofInt(static_cast<int>(v));
    }
    double d = 0;
    long long v = 0;
    if (parseInteger(text, v)) return Value::ofDouble(static_cast<double>(v));
    if (!parseDouble(text, d)) throw std::runtime_error(where + " takes a number, not \"" + raw + "\"");
    return Value::ofDouble(d);
}

std::pair<std::string, Value> parseVariable(const std::string& setting)
{
    size_t eq = setting.find('=');
    if (eq == std::string::npos) {
        throw std::runtime_error("--var " + setting +
                                 ": write NAME=VALUE (e.g. --var Count=0 --var Level=0.0 --var Text=\"\")");
    }
    std::string name = trim(setting.substr(0, eq));
    if (name.empty()) throw std::runtime_error("--var " + setting + ": the variable has no name");
    const std::string raw = setting.substr(eq + 1);
    const std::string text = trim(raw);
    long long v = 0;
    if (parseInteger(text, v)) {
        // A runtime int has 32 bits; a larger whole number needs a double.
        if (fitsInt(v)) return {name, Value::ofInt(static_cast<int>(v))};
        return {name, Value::ofDouble(static_cast<double>(v))};
    }
    double d = 0;
    if (text.find_first_of(".eE") != std::string::npos && text.find_first_of("0123456789") != std::string::npos &&
        parseDouble(text, d)) {
        return {name, Value::ofDouble(d)};
    }
    return {name, Value::ofString(unquote(text))};
}

std::string formatValue(const Value& value, int digits)
{
    switch (value.type) {
        case DATATYPE_INT:
            return std::to_string(value.i);
        case DATATYPE_DOUBLE:
            return formatDouble(value.d, digits);
        case DATATYPE_STRING:
            return "\"" + escaped(value.s, false) + "\"";
        default:
            return "?";
    }
}

int displayDigits(const ChannelInfo& channel)
{
    const uint32_t CODE_DF = 89;
    const uint32_t CODE_LF = 93;
    return channel.code == CODE_DF ? 7 : channel.code == CODE_LF ? 15 : 10;
}

std::string jsonValue(const Value& value)
{
    switch (value.type) {
        case DATATYPE_INT:
            return std::to_string(value.i);
        case DATATYPE_DOUBLE: {
            if (!std::isfinite(value.d)) return "null";
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", value.d);
            return text;
        }
        case DATATYPE_STRING:
            return jsonString(value.s);
        default:
            return "null";
    }
}

std::string jsonString(const std::string& text)
{
    return "\"" + escaped(text, true) + "\"";
}

size_t displayWidth(const std::string& text)
{
    size_t width = 0;
    for (size_t i = 0; i < text.size();) width += isWide(nextCodePoint(text, i)) ? 2 : 1;
    return width;
}

std::string padRight(const std::string& text, size_t width)
{
    size_t w = displayWidth(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

std::string padLeft(const std::string& text, size_t width)
{
    size_t w = displayWidth(text);
    return w >= width ? text : std::string(width - w, ' ') + text;
}

}  // namespace vemo::runtime
