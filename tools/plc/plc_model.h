// The controller's side of the protocol: register memory for every area and
// a request handler that turns one complete request frame into its reply.
// Shared by the simulator and the tests; knows nothing about sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plc {

constexpr int kAreaCount = 29;
constexpr int kFirstWordArea = 14;
// Elements per bit area and registers per word area.
constexpr uint32_t kAreaSize = 65536;

constexpr uint8_t kFuncReadBits = 0x1E;
constexpr uint8_t kFuncWriteBits = 0x1F;
constexpr uint8_t kFuncReadWords = 0x20;
constexpr uint8_t kFuncWriteWords = 0x21;
constexpr uint8_t kExceptionFlag = 0x80;

// 1-3 answer requests the controller cannot serve; 4 is what the simulator
// injects as a device failure.
enum class Exception : uint8_t {
    IllegalFunction = 0x01,
    IllegalAddress = 0x02,
    IllegalValue = 0x03,
    DeviceFailure = 0x04
};

// Largest frame the controller accepts: any request of the protocol is far
// smaller, so a longer length field means a broken or hostile stream.
constexpr size_t kMaxFrameSize = 4096;

struct AreaInfo {
    const char* name;
    uint8_t code;
    bool isWord;
};

// Area table in area-index order.
const AreaInfo& areaInfo(int index);
// Area index of a protocol area code, or -1.
int areaIndexFromCode(uint8_t code);
// Area index of a name such as "D" or "HSC" (case-insensitive), or -1.
int areaIndexFromName(const std::string& name);

// Size in bytes of the frame at the front of buf, from its length field, or
// std::nullopt while fewer than 6 bytes are there.
std::optional<size_t> frameLength(const uint8_t* buf, size_t size);

class Memory {
public:
    Memory();

    bool bit(int area, uint32_t address) const;
    void setBit(int area, uint32_t address, bool value);
    uint16_t word(int area, uint32_t address) const;
    void setWord(int area, uint32_t address, uint16_t value);

    // Handles one complete request frame; returns the reply (never empty for a
    // frame of at least 8 bytes; an exception reply for anything it cannot serve).
    std::vector<uint8_t> handle(const std::vector<uint8_t>& request);

    uint64_t requestsServed() const { return requests_; }
    uint64_t exceptionsSent() const { return exceptions_; }

private:
    std::vector<uint8_t> read(const std::vector<uint8_t>& request, int area, uint32_t address, uint32_t count);
    std::vector<uint8_t> write(const std::vector<uint8_t>& request, int area, uint32_t address, uint32_t count);

    std::vector<std::vector<uint8_t>> bits_;    // per bit area, one byte per element
    std::vector<std::vector<uint16_t>> words_;  // per word area
    uint64_t requests_ = 0;
    uint64_t exceptions_ = 0;
};

// Builds the reply header plus payload for a request header.
std::vector<uint8_t> makeReply(const std::vector<uint8_t>& request, uint8_t function,
                               const std::vector<uint8_t>& payload);
std::vector<uint8_t> makeException(const std::vector<uint8_t>& request, Exception code);

// Human-readable one-line description of a request or reply (for --verbose),
// e.g. "#0001 st 1 read D100 x4" or "#0001 reply 8 data bytes: 00 01 ...".
std::string describeFrame(const std::vector<uint8_t>& frame, bool isRequest);
// Name of an exception code ("illegal address"), "code N" for others.
std::string exceptionName(uint8_t code);

}  // namespace plc
