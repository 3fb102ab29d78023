// Typed values in controller registers: how a number or a text must sit in
// 16-bit registers so that a device configured with a given byte-order
// option reads it back as that number or text. Used by the simulator's
// initial values and live signals, and by tests that cross-check the
// driver's decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plc {

enum class ValueKind { RegisterBit, Unsigned, Signed, Bcd, Float, String };

// A channel data type as written in configurations: "WUB", "DF", "BT05", "STR", ...
struct ValueType {
    ValueKind kind = ValueKind::Unsigned;
    int bytes = 2;  // 2, 4 or 8 for numbers; 2 for a register bit; 0 for strings
    int bit = 0;    // RegisterBit only
    std::string name;
};

// Case-insensitive; std::nullopt for anything else (the bit codes need two digits: BT05).
std::optional<ValueType> parseValueType(const std::string& name);
// The type names accepted by parseValueType, for error messages.
std::string valueTypeNames();

// Most significant byte first ("canonical" order). Throw std::out_of_range
// with a readable reason when the value does not fit the type.
std::vector<uint8_t> canonicalInteger(const ValueType& type, int64_t value);
std::vector<uint8_t> canonicalFloat(const ValueType& type, double value);

// Rearranges canonical bytes into the order on the wire that the device
// decodes with byte-order option `order` (the number in front of the
// option text, e.g. 2 for "2 - 3412"). 64-bit values use the read layout,
// which for options 0, 3, 4 and 7 differs from the order the device writes.
// Throws std::out_of_range for an option the width does not have.
std::vector<uint8_t> wireOrder(const std::vector<uint8_t>& canonical, int order);

// Text as the device's string options expect it: encoding 0 = "ASCII"
// (GB18030 bytes), anything else = UTF-16LE; order 0 = "21" (the bytes of
// every register swapped, an odd length padded first), else "12".
// Throws std::runtime_error when the text cannot be converted.
std::vector<uint8_t> stringBytes(const std::string& utf8, int encoding, int order);

// The string order "0 - 21": an odd length padded with one zero byte, then
// the two bytes of every register swapped.
std::vector<uint8_t> swapRegisterBytes(std::vector<uint8_t> bytes);

// Wire bytes into registers, first byte high; an odd tail is padded with 0.
std::vector<uint16_t> toRegisters(const std::vector<uint8_t>& wire);

}  // namespace plc
