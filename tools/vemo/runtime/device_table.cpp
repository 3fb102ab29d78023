#include "runtime/device_table.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "config/loaded_device.h"
#include "protocol/DevBas.h"

namespace vemo::runtime {

namespace {

const uint32_t CODE_BIT_AREA = 20;
const uint32_t CODE_DUB = 86;
const uint32_t CODE_DF = 89;
const uint32_t CODE_LUB = 90;

std::string locationOf(uint32_t area, uint32_t address, uint32_t code)
{
    std::string text = area < static_cast<uint32_t>(CHL_AREA_NUM) ? CHL_STR_NAME[area].str() : "?";
    text += std::to_string(address);
    if (area > static_cast<uint32_t>(CHL_BITAREA_LAST) && code < 16) {
        char bit[8];
        std::snprintf(bit, sizeof bit, ".%02u", code);
        text += bit;
    }
    return text;
}

ChannelInfo channelOf(int index, const CDevRow& row)
{
    ChannelInfo c;
    c.index = index;
    c.rwFlag = row.GetdwValueAt(DEVROW_IDX_RWFLAG);
    c.area = row.GetdwValueAt(DEVROW_IDX_TYPE);
    c.address = row.GetdwValueAt(DEVROW_IDX_ADDRESS);
    c.bit = row.GetdwValueAt(DEVROW_IDX_BIT);
    c.code = row.GetdwValueAt(DEVROW_IDX_DATATYPE);
    c.name = row.GetstrValue(DEVROW_STR_CHLNAME).str();
    c.typeName = typeNameFor(c.code, c.bit);
    c.location = locationOf(c.area, c.address, c.code);
    c.databaseType = databaseTypeFor(c.code);
    return c;
}

std::string lower(std::string text)
{
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

// The name without its read/write prefix (只读, 只写, 读写).
std::string withoutPrefix(const std::string& name)
{
    for (const CString& prefix : CHLNAME_STR_RWFLAG) {
        const std::string& p = prefix.str();
        if (!p.empty() && name.compare(0, p.size(), p) == 0) return name.substr(p.size());
    }
    return name;
}

bool parseIndex(const std::string& text, long& index)
{
    if (text.empty() || text.size() > 9) return false;
    for (char ch : text) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    }
    index = std::stol(text);
    return true;
}

}  // namespace

DATATYPE databaseTypeFor(uint32_t code)
{
    if (code == static_cast<uint32_t>(DATACODE_STR)) return DATATYPE_STRING;
    if (code == CODE_DUB || code == CODE_DF || code >= CODE_LUB) return DATATYPE_DOUBLE;
    return DATATYPE_INT;
}

std::string typeNameFor(uint32_t code, uint32_t bit)
{
    char text[16];
    if (code < 16) {
        std::snprintf(text, sizeof text, "BT%02u", code);
        return text;
    }
    if (code == CODE_BIT_AREA) return "BIT";
    if (code >= static_cast<uint32_t>(DATACODE_WUB) && code <= static_cast<uint32_t>(DATACODE_LF)) {
        return DATATYPE_STR_NAME[code - static_cast<uint32_t>(DATACODE_WUB)].str();
    }
    if (code == static_cast<uint32_t>(DATACODE_STR)) return "STR" + std::to_string(bit);
    return "code " + std::to_string(code);
}

std::vector<DATATYPE> DeviceDescription::databaseTypes() const
{
    std::vector<DATATYPE> types;
    types.reserve(channels.size());
    for (const ChannelInfo& c : channels) types.push_back(c.databaseType);
    return types;
}

DeviceDescription describeBlob(const std::vector<uint8_t>& blob)
{
    if (blob.empty()) throw std::runtime_error("the configuration blob is empty");
    if (blob.size() > 0x7FFFFFFF) throw std::runtime_error("the configuration blob is too large");
    LoadedDevice loaded(blob);

    DeviceDescription device;
    DEV_DATA& dev = loaded.dev();
    for (int i = 0; i < dev.dwPropValue.GetSize(); ++i) device.properties.push_back(dev.dwPropValue[i]);
    CDevTable& table = *dev.pDevTable;
    for (int i = 0; i < table.GetRowCount(); ++i) device.channels.push_back(channelOf(i, table.Row(i)));

    // The same plan ChannelRefChange makes with every channel referenced.
    CArray<int, int> refs;
    refs.SetSize(table.GetRowCount() + 1);
    for (int i = 1; i < refs.GetSize(); ++i) refs[i] = 1;
    int ranks = table.GetRowCount() > 0 ? CDevBas::mfMakeBlock(loaded.data(), refs, 1) : 0;
    device.rankCount = ranks > 0 ? ranks : 0;
    for (int b = 0; b < dev.DynBlockArray.GetSize(); ++b) {
        const DynBlock& block = dev.DynBlockArray[b];
        for (int row = block.nStartRow; row <= block.nEndRow; ++row) {
            if (row >= 0 && row < device.channelCount()) device.channels[static_cast<size_t>(row)].rank = block.nRank;
        }
    }
    return device;
}

const ChannelInfo& findChannel(const DeviceDescription& device, const std::string& key)
{
    long index = 0;
    if (parseIndex(key, index)) {
        if (index >= device.channelCount()) {
            throw std::runtime_error("there is no channel " + key + ": the configuration has " +
                                     std::to_string(device.channelCount()) + " channels (0 to " +
                                     std::to_string(device.channelCount() - 1) + ")");
        }
        return device.channels[static_cast<size_t>(index)];
    }
    const std::string wanted = lower(key);
    for (const ChannelInfo& c : device.channels) {
        if (c.name == key || lower(c.name) == wanted || lower(withoutPrefix(c.name)) == wanted) return c;
    }
    const ChannelInfo* match = nullptr;
    for (const ChannelInfo& c : device.channels) {
        if (lower(c.location) != wanted) continue;
        if (match) {
            throw std::runtime_error("more than one channel sits at " + key + " (" + match->name + ", " + c.name +
                                     "): name it by its number or full name");
        }
        match = &c;
    }
    if (match) return *match;
    throw std::runtime_error("no channel named " + key + " (`vemo poll --once` lists the channels)");
}

void setBlobProperty(std::vector<uint8_t>& blob, int index, int32_t value)
{
    // A marked blob starts with the 16-bit format marker; older ones do not.
    size_t offset = 0;
    if (blob.size() >= 2 && (blob[0] | (blob[1] << 8)) == ARCHIVE_FORMAT_MARKER) offset = 2;
    if (blob.size() < offset + 4 || index < 0) throw std::runtime_error("the blob has no device properties");
    uint32_t raw = 0;
    for (int i = 3; i >= 0; --i) raw = (raw << 8) | blob[offset + static_cast<size_t>(i)];
    const int32_t count = static_cast<int32_t>(raw);
    size_t at = offset + 4 + 4 * static_cast<size_t>(index);
    if (index >= count || blob.size() < at + 4) {
        throw std::runtime_error("the blob has no device property " + std::to_string(index));
    }
    for (int i = 0; i < 4; ++i)
        blob[at + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

}  // namespace vemo::runtime
