// What a configuration blob describes, read with the driver's own
// configuration code: the device properties, every channel with its area,
// address, data type and the database type the runtime keeps it in, and
// the read plan (how many collection calls make one full cycle).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/hostif.h"

namespace vemo::runtime {

struct ChannelInfo {
    int index = 0;         // channel number = row of the channel table
    std::string name;      // the row's name, e.g. 读写DWUB0100
    std::string location;  // area and address, e.g. D100, D100.03, M5
    std::string typeName;  // BIT, BT03, WUB ... LF, STR20
    uint32_t area = 0;
    uint32_t address = 0;
    uint32_t bit = 0;     // bit of a register, or a string's length
    uint32_t code = 0;    // data-type code
    uint32_t rwFlag = 0;  // 0 read-only, 1 write-only, 2 read-write
    DATATYPE databaseType = DATATYPE_INT;
    int rank = -1;  // collection request that reads it; -1 when never read
};

struct DeviceDescription {
    std::vector<int32_t> properties;
    std::vector<ChannelInfo> channels;
    int rankCount = 0;

    std::vector<DATATYPE> databaseTypes() const;
    int channelCount() const { return static_cast<int>(channels.size()); }
};

// Reads a blob the way InitDevice does and plans it with every channel
// referenced. Throws std::runtime_error for an empty blob.
DeviceDescription describeBlob(const std::vector<uint8_t>& blob);

// The runtime's type for a data-type code: bits and integers of up to 32
// bits as int, except 32-bit unsigned, whose range needs a double; floats
// and 64-bit values as double; strings as string.
DATATYPE databaseTypeFor(uint32_t code);
// Short name of a data type: BIT, BT00..BT15, WUB..LF, STRn (n = length).
std::string typeNameFor(uint32_t code, uint32_t bit);

// A channel by number, by name (with or without the read/write prefix,
// letter case ignored) or by location (D100, M5, D100.03). Throws
// std::runtime_error naming what was not found or is ambiguous.
const ChannelInfo& findChannel(const DeviceDescription& device, const std::string& key);

// Device property index of a blob rewritten in place (e.g. a longer wait
// time); throws std::runtime_error when the blob has no such property.
void setBlobProperty(std::vector<uint8_t>& blob, int index, int32_t value);

}  // namespace vemo::runtime
