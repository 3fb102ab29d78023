// Reading TOML input files with errors that point at the offending line.
#pragma once

#include <toml++/toml.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>

namespace vemo {

// "FILE:LINE: what was wrong"; line 0 when no position is known.
class InputError : public std::runtime_error {
public:
    InputError(const std::string& source, uint32_t line, const std::string& message);
    uint32_t line() const { return line_; }
    const std::string& message() const { return message_; }

private:
    uint32_t line_;
    std::string message_;
};

// Parses TOML text; syntax errors become InputError with the parser's position.
toml::table parseToml(const std::string& text, const std::string& sourceName);
// Reads and parses a file; an unreadable file is an InputError at line 0.
toml::table parseTomlFile(const std::string& path);
// Whole file as bytes; throws std::runtime_error naming the file when it
// cannot be read or is larger than maxBytes.
std::string readFile(const std::string& path, size_t maxBytes);

// Throws an InputError at the node's line.
[[noreturn]] void failAt(const toml::node& node, const std::string& message);
uint32_t lineOf(const toml::node& node);

// Refuses keys of a table other than the allowed ones (typing mistakes).
void checkKeys(const toml::table& table, std::initializer_list<const char*> allowed, const std::string& where);

// Typed fields. A missing optional field gives std::nullopt; a field of the
// wrong kind is an InputError naming the key and the expected kind.
std::optional<int64_t> getInteger(const toml::table& table, const char* key);
std::optional<std::string> getString(const toml::table& table, const char* key);
// The same for fields that must be there.
int64_t requireInteger(const toml::table& table, const char* key);
std::string requireString(const toml::table& table, const char* key);

// Quotes a text for messages and TOML output (escapes quotes, backslashes, controls).
std::string quoted(const std::string& text);

}  // namespace vemo
