#include "config/toml_input.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vemo {

InputError::InputError(const std::string& source, uint32_t line, const std::string& message)
    : std::runtime_error(source + (line ? ":" + std::to_string(line) : std::string()) + ": " + message),
      line_(line),
      message_(message)
{
}

toml::table parseToml(const std::string& text, const std::string& sourceName)
{
    try {
        return toml::parse(text, sourceName);
    } catch (const toml::parse_error& e) {
        throw InputError(sourceName, static_cast<uint32_t>(e.source().begin.line),
                         "not valid TOML: " + std::string(e.description()));
    }
}

std::string readFile(const std::string& path, size_t maxBytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path + ": no such file or no permission");
    std::string bytes;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
        if (bytes.size() > maxBytes)
            throw std::runtime_error(path + " is larger than " + std::to_string(maxBytes) + " bytes: not read");
    }
    return bytes;
}

toml::table parseTomlFile(const std::string& path)
{
    // Configurations are small; a huge file is a mistake, not input.
    constexpr size_t kMaxTomlBytes = 16u << 20;
    std::string text;
    try {
        text = readFile(path, kMaxTomlBytes);
    } catch (const std::runtime_error& e) {
        throw InputError(path, 0, e.what());
    }
    return parseToml(text, path);
}

uint32_t lineOf(const toml::node& node)
{
    return static_cast<uint32_t>(node.source().begin.line);
}

void failAt(const toml::node& node, const std::string& message)
{
    const auto& path = node.source().path;
    throw InputError(path ? *path : std::string("input"), lineOf(node), message);
}

void checkKeys(const toml::table& table, std::initializer_list<const char*> allowed, const std::string& where)
{
    for (const auto& [key, value] : table) {
        bool known = false;
        for (const char* name : allowed) known = known || key.str() == name;
        if (known) continue;
        std::string list;
        for (const char* name : allowed) list += (list.empty() ? "" : ", ") + std::string(name);
        failAt(value, "unknown key " + quoted(std::string(key.str())) + " in " + where + " (known keys: " + list + ")");
    }
}

std::optional<int64_t> getInteger(const toml::table& table, const char* key)
{
    const toml::node* node = table.get(key);
    if (!node) return std::nullopt;
    if (auto v = node->value_exact<int64_t>()) return *v;
    failAt(*node, std::string(key) + " must be a whole number");
}

std::optional<std::string> getString(const toml::table& table, const char* key)
{
    const toml::node* node = table.get(key);
    if (!node) return std::nullopt;
    if (auto v = node->value_exact<std::string>()) return *v;
    failAt(*node, std::string(key) + " must be a text in quotes");
}

int64_t requireInteger(const toml::table& table, const char* key)
{
    if (auto v = getInteger(table, key)) return *v;
    failAt(table, std::string(key) + " is missing");
}

std::string requireString(const toml::table& table, const char* key)
{
    if (auto v = getString(table, key)) return *v;
    failAt(table, std::string(key) + " is missing");
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace vemo
