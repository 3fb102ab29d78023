#include "sim/init_file.h"

#include <algorithm>
#include <cctype>

#include "config/toml_input.h"
#include "plc/plc_values.h"

namespace vemo {
namespace {

std::string areaNames()
{
    std::string names;
    for (int i = 0; i < plc::kAreaCount; ++i) names += (i ? ", " : "") + std::string(plc::areaInfo(i).name);
    return names;
}

// Option number from an integer or from a text that starts with it ("2 - 3412").
int optionOf(const toml::table& set, const char* key, int fallback)
{
    const toml::node* node = set.get(key);
    if (!node) return fallback;
    if (auto v = node->value_exact<int64_t>()) {
        if (*v < 0 || *v > 7) failAt(*node, std::string(key) + " must be an option number 0 ... 7");
        return static_cast<int>(*v);
    }
    if (auto text = node->value_exact<std::string>()) {
        if (text->empty() || !std::isdigit(static_cast<unsigned char>((*text)[0])))
            failAt(*node, std::string(key) + " must be an option number or its text, e.g. \"2 - 3412\"");
        return (*text)[0] - '0';
    }
    failAt(*node, std::string(key) + " must be an option number or its text, e.g. \"2 - 3412\"");
}

int encodingOf(const toml::table& set)
{
    const toml::node* node = set.get("encoding");
    if (!node) return 0;
    if (auto v = node->value_exact<int64_t>(); v && (*v == 0 || *v == 1)) return static_cast<int>(*v);
    if (auto text = node->value_exact<std::string>()) {
        std::string t = *text;
        std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::toupper(c); });
        if (t == "0 - ASCII" || t == "ASCII" || t == "0") return 0;
        if (t == "1 - UNICODE" || t == "UNICODE" || t == "1") return 1;
    }
    failAt(*node, "encoding must be 0 / \"0 - ASCII\" or 1 / \"1 - UNICODE\"");
}

// The value nodes of a set: `value` or the elements of `values`.
std::vector<const toml::node*> valueNodes(const toml::table& set)
{
    const toml::node* one = set.get("value");
    const toml::node* many = set.get("values");
    if (one && many) failAt(*many, "give either value or values, not both");
    if (!one && !many) failAt(set, "value or values is missing");
    std::vector<const toml::node*> nodes;
    if (one) {
        nodes.push_back(one);
    } else {
        const toml::array* array = many->as_array();
        if (!array) failAt(*many, "values must be a list in brackets, e.g. [1, 2, 3]");
        if (array->empty()) failAt(*many, "values is empty");
        for (const toml::node& n : *array) nodes.push_back(&n);
    }
    return nodes;
}

uint16_t bitValue(const toml::node& node)
{
    if (auto b = node.value_exact<bool>()) return *b ? 1 : 0;
    if (auto v = node.value_exact<int64_t>(); v && (*v == 0 || *v == 1)) return static_cast<uint16_t>(*v);
    failAt(node, "a bit must be 0, 1, true or false");
}

uint16_t rawWord(const toml::node& node)
{
    // Negative numbers are taken as 16-bit two's complement, for convenience.
    if (auto v = node.value_exact<int64_t>(); v && *v >= -32768 && *v <= 65535)
        return static_cast<uint16_t>(*v & 0xFFFF);
    failAt(node, "a register value must be a whole number from -32768 to 65535 (or give a type)");
}

std::vector<uint16_t> typedWords(const toml::table& set, const plc::ValueType& type,
                                 const std::vector<const toml::node*>& nodes)
{
    const int order = optionOf(set, "order", 0);
    std::vector<uint16_t> words;
    for (const toml::node* node : nodes) {
        std::vector<uint8_t> canonical;
        try {
            if (auto i = node->value_exact<int64_t>())
                canonical = plc::canonicalInteger(type, *i);
            else if (auto d = node->value_exact<double>())
                canonical = plc::canonicalFloat(type, *d);
            else
                failAt(*node, type.name + " needs a number");
            std::vector<uint16_t> w = plc::toRegisters(plc::wireOrder(canonical, order));
            words.insert(words.end(), w.begin(), w.end());
        } catch (const std::out_of_range& e) {
            failAt(*node, e.what());
        }
    }
    return words;
}

std::vector<uint16_t> stringWords(const toml::table& set, const std::vector<const toml::node*>& nodes)
{
    if (nodes.size() != 1 || !nodes[0]->is_string()) failAt(set, "STR needs value = \"some text\"");
    const int encoding = encodingOf(set);
    const int order = optionOf(set, "order", 1);
    std::vector<uint8_t> bytes;
    try {
        bytes = plc::stringBytes(*nodes[0]->value<std::string>(), encoding, 1);
    } catch (const std::runtime_error& e) {
        failAt(*nodes[0], e.what());
    }
    if (auto length = getInteger(set, "length")) {
        if (*length < 1 || *length > 254) failAt(*set.get("length"), "length must be 1 ... 254 bytes");
        bytes.resize(static_cast<size_t>(*length), 0);
    }
    if (order == 0) bytes = plc::swapRegisterBytes(bytes);
    return plc::toRegisters(bytes);
}

RegisterWrite parseSet(const toml::table& set)
{
    checkKeys(set, {"area", "address", "type", "value", "values", "order", "encoding", "length"}, "[[set]]");
    RegisterWrite w;
    w.line = lineOf(set);
    const std::string areaName = requireString(set, "area");
    w.area = plc::areaIndexFromName(areaName);
    if (w.area < 0) failAt(*set.get("area"), "unknown area " + quoted(areaName) + " (areas: " + areaNames() + ")");
    const bool wordArea = plc::areaInfo(w.area).isWord;
    const int64_t address = requireInteger(set, "address");
    if (address < 0 || address >= plc::kAreaSize)
        failAt(*set.get("address"), "address must be 0 ... " + std::to_string(plc::kAreaSize - 1));
    w.address = static_cast<uint32_t>(address);

    const std::vector<const toml::node*> nodes = valueNodes(set);
    const std::optional<std::string> typeName = getString(set, "type");
    uint64_t span = 0;  // elements or registers from address on
    if (!typeName) {
        for (const toml::node* n : nodes) w.values.push_back(wordArea ? rawWord(*n) : bitValue(*n));
        span = w.values.size();
    } else {
        if (!wordArea)
            failAt(*set.get("type"), "area " + areaName + " holds single bits: leave out type and give 0/1 values");
        std::optional<plc::ValueType> type = plc::parseValueType(*typeName);
        if (!type)
            failAt(*set.get("type"), "unknown type " + quoted(*typeName) + " (types: " + plc::valueTypeNames() + ")");
        if (type->kind == plc::ValueKind::RegisterBit) {
            for (const toml::node* n : nodes) w.values.push_back(bitValue(*n));
            w.registerBit = type->bit;
            span = (static_cast<uint64_t>(type->bit) + w.values.size() + 15) / 16;
        } else {
            w.values = type->kind == plc::ValueKind::String ? stringWords(set, nodes) : typedWords(set, *type, nodes);
            span = w.values.size();
        }
    }
    if (w.address + span > plc::kAreaSize)
        failAt(set, "the values run past the end of area " + areaName + " (" + std::to_string(plc::kAreaSize) +
                        (wordArea ? " registers)" : " elements)"));
    return w;
}

std::vector<RegisterWrite> parseTable(const toml::table& root)
{
    checkKeys(root, {"set"}, "the init file");
    std::vector<RegisterWrite> writes;
    const toml::node* sets = root.get("set");
    if (!sets) return writes;
    const toml::array* array = sets->as_array();
    if (!array) failAt(*sets, "write each entry as [[set]]");
    for (const toml::node& entry : *array) {
        const toml::table* set = entry.as_table();
        if (!set) failAt(entry, "write each entry as [[set]]");
        writes.push_back(parseSet(*set));
    }
    return writes;
}

}  // namespace

std::vector<RegisterWrite> parseInitText(const std::string& text, const std::string& sourceName)
{
    return parseTable(parseToml(text, sourceName));
}

std::vector<RegisterWrite> parseInitFile(const std::string& path)
{
    return parseTable(parseTomlFile(path));
}

void applyInit(const std::vector<RegisterWrite>& writes, plc::Memory& memory)
{
    for (const RegisterWrite& w : writes) {
        for (size_t i = 0; i < w.values.size(); ++i) {
            if (!plc::areaInfo(w.area).isWord) {
                memory.setBit(w.area, w.address + static_cast<uint32_t>(i), w.values[i] != 0);
            } else if (w.registerBit < 0) {
                memory.setWord(w.area, w.address + static_cast<uint32_t>(i), w.values[i]);
            } else {
                const size_t bit = static_cast<size_t>(w.registerBit) + i;
                const uint32_t address = w.address + static_cast<uint32_t>(bit / 16);
                const uint16_t mask = static_cast<uint16_t>(1u << (bit % 16));
                const uint16_t old = memory.word(w.area, address);
                memory.setWord(w.area, address, static_cast<uint16_t>(w.values[i] ? old | mask : old & ~mask));
            }
        }
    }
}

}  // namespace vemo
