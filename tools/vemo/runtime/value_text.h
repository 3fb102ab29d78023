// Values as text: parsing what the user types for a channel or a runtime
// variable, and formatting database values for tables and JSON.
#pragma once

#include <string>
#include <utility>

#include "runtime/database.h"
#include "runtime/device_table.h"

namespace vemo::runtime {

// A value for WriteChannel, typed by the channel's database type. Bit
// channels take 0/1 (also true/false, on/off); integer channels a decimal
// or 0x-hexadecimal integer within 32 bits; double channels any number.
// Throws std::runtime_error saying what the channel expects.
Value parseChannelValue(const ChannelInfo& channel, const std::string& text);

// "NAME=VALUE" for a runtime variable: an integer if the value parses as
// one (a double when it exceeds 32 bits), a double if it is a number with a
// point or an exponent, otherwise a string (surrounding quotes removed).
// Throws std::runtime_error when there is no "=" or no name.
std::pair<std::string, Value> parseVariable(const std::string& setting);

// Display text: integers in decimal, doubles with up to `digits`
// significant digits, strings quoted with control characters escaped.
std::string formatValue(const Value& value, int digits = 10);
// Significant digits worth showing for a channel: about 7 for a 32-bit
// float, 15 for a 64-bit one.
int displayDigits(const ChannelInfo& channel);
// The value as a JSON literal (non-finite numbers as null).
std::string jsonValue(const Value& value);
// A JSON string literal (UTF-8 passes through, controls escaped).
std::string jsonString(const std::string& text);

// Terminal columns a UTF-8 text takes (CJK characters count two).
size_t displayWidth(const std::string& text);
// The text padded with spaces to the given number of columns (left-aligned).
std::string padRight(const std::string& text, size_t width);
std::string padLeft(const std::string& text, size_t width);

}  // namespace vemo::runtime
