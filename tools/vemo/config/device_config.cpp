#include "config/device_config.h"

#include <algorithm>
#include <cctype>

#include "config/DevConst.h"
#include "config/toml_input.h"
#include "protocol/DevBas.h"

namespace vemo {
namespace {

constexpr DeviceProperty kProperties[kDevicePropertyCount] = {
    {"station", "device address (station)", -1, 0},     {"wait_ms", "communication wait time, ms", -1, 0},
    {"order16", "16-bit integer byte order", 0, 2},     {"order32", "32-bit integer byte order", 2, 4},
    {"order_float", "32-bit float byte order", 6, 4},   {"string_encoding", "string encoding", 10, 2},
    {"string_order", "string byte order", 12, 2},       {"order64", "64-bit integer byte order", 14, 8},
    {"order_double", "64-bit float byte order", 22, 8},
};

// Start addresses travel in three bytes of a frame.
constexpr uint64_t kAddressLimit = 1u << 24;
// One frame moves at most 127 registers: 254 bytes of a string.
constexpr int64_t kMaxStringLength = 254;
constexpr int32_t kDefaultStringLength = 128;

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string withoutBlanks(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return upper(out);
}

std::string areaNames()
{
    std::string names;
    for (int i = 0; i < CHL_AREA_NUM; ++i) names += (i ? " " : "") + CHL_STR_NAME[i].str();
    return names;
}

int areaIndex(const std::string& name)
{
    for (int i = 0; i < CHL_AREA_NUM; ++i)
        if (upper(name) == CHL_STR_NAME[i].str()) return i;
    return -1;
}

int32_t propertyValue(int index, const toml::node& node)
{
    const DeviceProperty& p = kProperties[index];
    const std::string name = p.key;
    if (p.firstOption < 0) {
        auto v = node.value_exact<int64_t>();
        const int64_t max = index == 0 ? kMaxStation : kMaxWaitMs;
        if (!v || *v < 0 || *v > max)
            failAt(node, name + " (" + DEV_STR_PROPERTYNAME[index].str() + ") must be a whole number 0 ... " +
                             std::to_string(max));
        return static_cast<int32_t>(*v);
    }
    if (auto v = node.value_exact<int64_t>()) {
        if (*v >= 0 && *v < p.optionCount) return static_cast<int32_t>(*v);
    } else if (auto text = node.value_exact<std::string>()) {
        const std::string wanted = withoutBlanks(*text);
        for (int k = 0; k < p.optionCount; ++k) {
            const std::string option = DEV_STR_PROPERTLIST[p.firstOption + k].str();
            const std::string layout = option.substr(option.find('-') + 1);
            if (wanted == withoutBlanks(option) || wanted == withoutBlanks(layout)) return k;
        }
        // A number in quotes; no layout text is a single digit, so this cannot clash.
        if (wanted.size() == 1 && wanted[0] >= '0' && wanted[0] < '0' + p.optionCount) return wanted[0] - '0';
    }
    failAt(node, name + " (" + DEV_STR_PROPERTYNAME[index].str() + ") must be one of " + optionList(index) +
                     " (the text or its number)");
}

void parseDevice(const toml::table& device, DeviceConfig& config)
{
    for (const auto& [key, node] : device) {
        int index = -1;
        for (int i = 0; i < kDevicePropertyCount; ++i)
            if (key.str() == kProperties[i].key || key.str() == DEV_STR_PROPERTYNAME[i].str()) index = i;
        if (index < 0) {
            std::string keys;
            for (const DeviceProperty& p : kProperties) keys += (keys.empty() ? "" : ", ") + std::string(p.key);
            failAt(node, "unknown device property " + quoted(std::string(key.str())) + " (known: " + keys + ")");
        }
        config.props[static_cast<size_t>(index)] = propertyValue(index, node);
    }
}

int accessOf(const toml::table& channel)
{
    const toml::node* node = channel.get("access");
    if (!node) return 2;
    if (auto v = node->value_exact<int64_t>(); v && *v >= 0 && *v <= 2) return static_cast<int>(*v);
    if (auto text = node->value_exact<std::string>()) {
        const std::string t = upper(*text);
        if (t == "RO" || t == "R" || *text == CHLNAME_STR_RWFLAG[0].str()) return 0;
        if (t == "WO" || t == "W" || *text == CHLNAME_STR_RWFLAG[1].str()) return 1;
        if (t == "RW" || *text == CHLNAME_STR_RWFLAG[2].str()) return 2;
    }
    failAt(*node, "access must be \"ro\", \"wo\" or \"rw\"");
}

ChannelRun parseChannel(const toml::table& channel)
{
    checkKeys(channel, {"area", "address", "type", "count", "access", "length", "name", "fast_read", "read_max"},
              "[[channel]]");
    ChannelRun run;
    run.line = lineOf(channel);
    const std::string areaName = requireString(channel, "area");
    run.area = areaIndex(areaName);
    if (run.area < 0)
        failAt(*channel.get("area"), "unknown area " + quoted(areaName) + " (areas: " + areaNames() + ")");
    const bool bitArea = SELECT2_DWORD_PROPERTYNUM[run.area] == 0;

    const int64_t address = requireInteger(channel, "address");
    if (address < 0 || static_cast<uint64_t>(address) >= kAddressLimit)
        failAt(*channel.get("address"), "address must be 0 ... " + std::to_string(kAddressLimit - 1));
    run.address = static_cast<uint32_t>(address);

    const std::optional<std::string> type = getString(channel, "type");
    if (bitArea) {
        if (type && upper(*type) != "BIT")
            failAt(*channel.get("type"),
                   "area " + CHL_STR_NAME[run.area].str() + " holds single bits: leave out type (or write \"BIT\")");
    } else {
        if (!type)
            failAt(channel, "type is missing (WUB WB WD DUB DB DD DF LUB LB LD LF STR, or BT00 ... BT15 for a bit)");
        CString code(*type);
        run.dataTypeIndex = CDevBas::mfGetDataTypeListNum(code, run.area);
        if (run.dataTypeIndex < 0)
            failAt(*channel.get("type"), "unknown type " + quoted(*type) +
                                             " (WUB WB WD DUB DB DD DF LUB LB LD LF STR, or BT00 ... BT15 for a bit)");
        run.type = code.str();
    }

    if (auto count = getInteger(channel, "count")) {
        if (*count < 1 || *count > 1000000) failAt(*channel.get("count"), "count must be 1 ... 1000000");
        run.count = *count;
    }
    run.access = accessOf(channel);

    if (auto length = getInteger(channel, "length")) {
        if (run.type != "STR") failAt(*channel.get("length"), "length belongs to STR channels only");
        if (*length < 1 || *length > kMaxStringLength)
            failAt(*channel.get("length"), "length must be 1 ... " + std::to_string(kMaxStringLength) +
                                               " bytes (one frame carries at most 127 registers)");
        run.length = static_cast<int32_t>(*length);
    } else if (run.type == "STR") {
        run.length = kDefaultStringLength;
    }

    if (auto name = getString(channel, "name")) {
        if (run.count != 1) failAt(*channel.get("name"), "name needs count = 1: runs are named automatically");
        if (name->empty()) failAt(*channel.get("name"), "name must not be empty");
        run.name = *name;
    }
    for (const char* key : {"fast_read", "read_max"}) {
        if (auto v = getInteger(channel, key)) {
            if (*v < 0 || *v > UINT32_MAX) failAt(*channel.get(key), std::string(key) + " must be 0 ... 4294967295");
            (std::string(key) == "fast_read" ? run.fastRead : run.readMax) = static_cast<uint32_t>(*v);
        }
    }

    uint64_t end = run.address + static_cast<uint64_t>(run.count) * channelSpan(run);
    if (!bitArea && run.dataTypeIndex < DATATYPE_BIT_NUM)  // bits of registers: 16 to a register
        end = run.address + (static_cast<uint64_t>(run.dataTypeIndex) + static_cast<uint64_t>(run.count) + 15) / 16;
    if (end > kAddressLimit)
        failAt(channel, "the run ends at address " + std::to_string(end - 1) + ", beyond the frame's limit " +
                            std::to_string(kAddressLimit - 1));
    return run;
}

DeviceConfig parseRoot(const toml::table& root, const std::string& sourceName)
{
    checkKeys(root, {"device", "channel"}, "the device description");
    DeviceConfig config;
    config.source = sourceName;
    if (const toml::node* device = root.get("device")) {
        if (!device->as_table()) failAt(*device, "write the device properties under [device]");
        parseDevice(*device->as_table(), config);
    }
    if (const toml::node* channels = root.get("channel")) {
        const toml::array* array = channels->as_array();
        if (!array) failAt(*channels, "write each run of channels as [[channel]]");
        for (const toml::node& entry : *array) {
            if (!entry.as_table()) failAt(entry, "write each run of channels as [[channel]]");
            config.runs.push_back(parseChannel(*entry.as_table()));
        }
    }
    return config;
}

}  // namespace

const DeviceProperty& deviceProperty(int index)
{
    return kProperties[index];
}

const char* optionText(int property, int64_t value)
{
    if (property < 0 || property >= kDevicePropertyCount) return nullptr;
    const DeviceProperty& p = kProperties[property];
    if (p.firstOption < 0 || value < 0 || value >= p.optionCount) return nullptr;
    return DEV_STR_PROPERTLIST[p.firstOption + value].GetString();
}

std::string optionList(int property)
{
    std::string list;
    const DeviceProperty& p = kProperties[property];
    for (int k = 0; k < p.optionCount; ++k)
        list += (k ? ", " : "") + quoted(DEV_STR_PROPERTLIST[p.firstOption + k].str());
    return list;
}

uint32_t channelSpan(const ChannelRun& run)
{
    if (SELECT2_DWORD_PROPERTYNUM[run.area] == 0) return 1;
    unsigned int step = 0;
    int code = CDevBas::mfGetDataType(run.dataTypeIndex, run.area, step);
    if (code == DATACODE_STR) return static_cast<uint32_t>((run.length + 1) / 2);
    if (code < DATACODE_BITAREA) return 1;  // a bit run: at most one register per channel
    return step;
}

DeviceConfig parseDeviceConfig(const std::string& text, const std::string& sourceName)
{
    return parseRoot(parseToml(text, sourceName), sourceName);
}

DeviceConfig loadDeviceConfig(const std::string& path)
{
    return parseRoot(parseTomlFile(path), path);
}

}  // namespace vemo
