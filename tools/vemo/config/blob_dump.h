// Configuration blob -> text, for `vemo config dump`. Any byte sequence is
// accepted: the blob is read the way the driver reads it, and everything
// unusual about it (no marker, a newer format, counts that the bytes cannot
// back, reads past the end, trailing bytes, values outside the vocabulary)
// is reported next to the values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemo {

// Properties with their names and option texts, then one line per row.
std::string dumpBlobText(const std::vector<uint8_t>& blob);

struct TomlDump {
    std::string text;                   // a device description that compiles back to the same blob
    std::vector<std::string> warnings;  // what it could not express
};
// Consecutive rows that one [[channel]] run regenerates are merged into it.
TomlDump dumpBlobToml(const std::vector<uint8_t>& blob, const std::string& sourceName);

// Text safe to print: valid UTF-8 passes, control characters and invalid
// bytes become \xNN.
std::string printable(const std::string& text);
bool isValidUtf8(const std::string& text);

}  // namespace vemo
