// A device description in TOML, as `vemo config compile` reads it:
//
//   [device]                        # every key optional; defaults in brackets
//   station = 1                     # 设备地址 [1], 0 ... 255
//   wait_ms = 1000                  # 通讯等待时间 [1000]
//   order16 = "0 - 12"              # 16位整数解码顺序 [0]
//   order32 = "2 - 3412"            # 32位整数解码顺序 [0]
//   order_float = "0 - 1234"        # 32位浮点数解码顺序 [0]
//   string_encoding = "0 - ASCII"   # 字符串编码 [0]
//   string_order = "1 - 12"         # 字符串解码顺序 [0]
//   order64 = "6 - 7856_3412"       # 64位整数解码顺序 [0]
//   order_double = "6 - 7856_3412"  # 64位浮点数解码顺序 [0]
//
//   [[channel]]                     # a run of consecutive channels
//   area = "D"                      # M X Y S SM T C ET SEM HM HS HT HC HSC D ID QD SD TD CD ...
//   address = 100
//   type = "DUB"                    # word areas: WUB WB WD DUB DB DD DF LUB LB LD LF STR BT00-BT15
//   count = 4                       # [1]
//   access = "rw"                   # ro / wo / rw (or 只读 / 只写 / 读写, or 0 / 1 / 2) [rw]
//   length = 20                     # STR only: bytes per string [128]
//
// The device keys may also be written as the property names themselves
// ("设备地址" = 1). Option values are the option's number, its full text
// ("2 - 3412") or the part after the dash ("3412"). Channels of bit areas
// are single bits and take no type. Rarely needed, for single channels
// (count 1) carried over from other tools: name (replaces the generated
// name), fast_read and read_max (the two row properties the driver carries
// but does not use).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vemo {

// Number of device properties and their index names, in blob order.
constexpr int kDevicePropertyCount = 9;
// The frame's station field is one byte; the driver sends what it is given.
constexpr int64_t kMaxStation = 255;
constexpr int64_t kMaxWaitMs = 600000;

struct DeviceProperty {
    const char* key;          // TOML key
    const char* description;  // English, for messages and dumps
    int firstOption;          // position of its first option text in DEV_STR_PROPERTLIST, -1: a number
    int optionCount;
};
const DeviceProperty& deviceProperty(int index);
// Option text of a property value ("2 - 3412"), or nullptr when the value is no option.
const char* optionText(int property, int64_t value);
// The property's option texts, "0 - 12, 1 - 21", for messages.
std::string optionList(int property);

struct ChannelRun {
    int area = 0;
    std::string type;  // upper-case type code; empty for bit areas
    int dataTypeIndex = 0;
    uint32_t address = 0;
    int32_t length = -1;  // STR: bytes per string
    int64_t count = 1;
    int access = 2;  // 0 read-only, 1 write-only, 2 read-write
    std::optional<std::string> name;
    uint32_t fastRead = 0;
    uint32_t readMax = 0;
    uint32_t line = 0;
};

struct DeviceConfig {
    std::array<int32_t, kDevicePropertyCount> props{{1, 1000, 0, 0, 0, 0, 0, 0, 0}};
    std::vector<ChannelRun> runs;
    std::string source;  // file name, for messages
};

// Throw InputError ("FILE:LINE: ...") for bad TOML and for unknown areas,
// types, options and keys.
DeviceConfig parseDeviceConfig(const std::string& text, const std::string& sourceName);
DeviceConfig loadDeviceConfig(const std::string& path);

// Registers (word areas) or elements (bit areas) one channel of the run spans.
uint32_t channelSpan(const ChannelRun& run);

}  // namespace vemo
