#include "plc_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace plc {
namespace {

constexpr AreaInfo kAreas[kAreaCount] = {
    {"M", 0x03, false},   {"X", 0x01, false},  {"Y", 0x02, false},  {"S", 0x04, false},   {"SM", 0x0D, false},
    {"T", 0x05, false},   {"C", 0x06, false},  {"ET", 0x07, false}, {"SEM", 0x12, false}, {"HM", 0x08, false},
    {"HS", 0x09, false},  {"HT", 0x0A, false}, {"HC", 0x0B, false}, {"HSC", 0x0C, false}, {"D", 0x80, true},
    {"ID", 0x86, true},   {"QD", 0x87, true},  {"SD", 0x83, true},  {"TD", 0x81, true},   {"CD", 0x82, true},
    {"ETD", 0x85, true},  {"HD", 0x88, true},  {"HSD", 0x8C, true}, {"HTD", 0x89, true},  {"HCD", 0x8A, true},
    {"HSCD", 0x8B, true}, {"FD", 0x8D, true},  {"SFD", 0x8E, true}, {"FS", 0x91, true},
};

constexpr size_t kHeaderSize = 8;
constexpr size_t kReadRequestSize = 14;
constexpr size_t kWriteHeaderSize = 15;
// Most elements one request may move: what a one-byte byte count can carry.
constexpr uint32_t kMaxReadBits = 255 * 8;
constexpr uint32_t kMaxReadWords = 127;

uint32_t be16(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t{b[at]} << 8) | b[at + 1];
}
uint32_t be24(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t{b[at]} << 16) | (uint32_t{b[at + 1]} << 8) | b[at + 2];
}

}  // namespace

const AreaInfo& areaInfo(int index)
{
    return kAreas[index];
}

int areaIndexFromCode(uint8_t code)
{
    for (int i = 0; i < kAreaCount; ++i)
        if (kAreas[i].code == code) return i;
    return -1;
}

int areaIndexFromName(const std::string& name)
{
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    for (int i = 0; i < kAreaCount; ++i)
        if (upper == kAreas[i].name) return i;
    return -1;
}

std::optional<size_t> frameLength(const uint8_t* buf, size_t size)
{
    if (size < 6) return std::nullopt;
    return size_t{6} + ((size_t{buf[4]} << 8) | buf[5]);
}

Memory::Memory()
{
    for (int i = 0; i < kAreaCount; ++i) {
        if (kAreas[i].isWord)
            words_.emplace_back(kAreaSize, 0);
        else
            bits_.emplace_back(kAreaSize, 0);
    }
}

bool Memory::bit(int area, uint32_t address) const
{
    return bits_.at(area).at(address) != 0;
}
void Memory::setBit(int area, uint32_t address, bool value)
{
    bits_.at(area).at(address) = value ? 1 : 0;
}
uint16_t Memory::word(int area, uint32_t address) const
{
    return words_.at(area - kFirstWordArea).at(address);
}
void Memory::setWord(int area, uint32_t address, uint16_t value)
{
    words_.at(area - kFirstWordArea).at(address) = value;
}

std::vector<uint8_t> makeReply(const std::vector<uint8_t>& request, uint8_t function,
                               const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> reply(request.begin(), request.begin() + kHeaderSize);
    size_t length = 2 + payload.size();  // station, function, payload
    reply[4] = static_cast<uint8_t>(length >> 8);
    reply[5] = static_cast<uint8_t>(length);
    reply[7] = function;
    reply.insert(reply.end(), payload.begin(), payload.end());
    return reply;
}

std::vector<uint8_t> makeException(const std::vector<uint8_t>& request, Exception code)
{
    uint8_t function = request.size() > 7 ? request[7] : 0;
    return makeReply(request, static_cast<uint8_t>(function | kExceptionFlag), {static_cast<uint8_t>(code)});
}

std::vector<uint8_t> Memory::handle(const std::vector<uint8_t>& request)
{
    ++requests_;
    if (request.size() < kHeaderSize) return {};
    auto fail = [&](Exception code) {
        ++exceptions_;
        return makeException(request, code);
    };
    uint8_t function = request[7];
    bool isRead = function == kFuncReadBits || function == kFuncReadWords;
    bool isWrite = function == kFuncWriteBits || function == kFuncWriteWords;
    if (!isRead && !isWrite) return fail(Exception::IllegalFunction);
    if (request.size() < (isRead ? kReadRequestSize : kWriteHeaderSize)) return fail(Exception::IllegalValue);
    if (frameLength(request.data(), request.size()) != request.size()) return fail(Exception::IllegalValue);

    int area = areaIndexFromCode(request[8]);
    if (area < 0) return fail(Exception::IllegalAddress);
    bool wordFunction = function == kFuncReadWords || function == kFuncWriteWords;
    if (kAreas[area].isWord != wordFunction) return fail(Exception::IllegalAddress);
    uint32_t address = be24(request, 9);
    uint32_t count = be16(request, 12);
    if (count == 0) return fail(Exception::IllegalValue);
    if (uint64_t{address} + count > kAreaSize) return fail(Exception::IllegalAddress);
    return isRead ? read(request, area, address, count) : write(request, area, address, count);
}

std::vector<uint8_t> Memory::read(const std::vector<uint8_t>& request, int area, uint32_t address, uint32_t count)
{
    std::vector<uint8_t> payload;
    if (kAreas[area].isWord) {
        if (count > kMaxReadWords || request.size() != kReadRequestSize) {
            ++exceptions_;
            return makeException(request, Exception::IllegalValue);
        }
        payload.push_back(static_cast<uint8_t>(count * 2));
        for (uint32_t i = 0; i < count; ++i) {
            uint16_t v = word(area, address + i);
            payload.push_back(static_cast<uint8_t>(v >> 8));
            payload.push_back(static_cast<uint8_t>(v));
        }
    } else {
        if (count > kMaxReadBits || request.size() != kReadRequestSize) {
            ++exceptions_;
            return makeException(request, Exception::IllegalValue);
        }
        payload.push_back(static_cast<uint8_t>((count + 7) / 8));
        payload.resize(1 + (count + 7) / 8, 0);
        for (uint32_t i = 0; i < count; ++i)
            if (bit(area, address + i)) payload[1 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
    return makeReply(request, request[7], payload);
}

std::vector<uint8_t> Memory::write(const std::vector<uint8_t>& request, int area, uint32_t address, uint32_t count)
{
    size_t byteCount = request[14];
    size_t needed = kAreas[area].isWord ? size_t{count} * 2 : (size_t{count} + 7) / 8;
    if (byteCount != needed || request.size() != kWriteHeaderSize + byteCount) {
        ++exceptions_;
        return makeException(request, Exception::IllegalValue);
    }
    const uint8_t* data = request.data() + kWriteHeaderSize;
    if (kAreas[area].isWord) {
        for (uint32_t i = 0; i < count; ++i)
            setWord(area, address + i, static_cast<uint16_t>((data[2 * i] << 8) | data[2 * i + 1]));
    } else {
        for (uint32_t i = 0; i < count; ++i) setBit(area, address + i, (data[i / 8] >> (i % 8)) & 1);
    }
    // The acknowledgement echoes area, address and count: 14 bytes in all.
    std::vector<uint8_t> echo(request.begin() + 8, request.begin() + 14);
    return makeReply(request, request[7], echo);
}

namespace {

std::string hexBytes(const uint8_t* data, size_t size, size_t limit)
{
    std::string out;
    char byte[4];
    for (size_t i = 0; i < size && i < limit; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
        out += byte;
    }
    if (size > limit) out += " ...";
    return out;
}

std::string functionName(uint8_t function)
{
    switch (function) {
        case kFuncReadBits:
            return "read bits";
        case kFuncWriteBits:
            return "write bits";
        case kFuncReadWords:
            return "read words";
        case kFuncWriteWords:
            return "write words";
        default: {
            char text[24];
            std::snprintf(text, sizeof text, "function %02X", function);
            return text;
        }
    }
}

std::string areaAddress(const std::vector<uint8_t>& frame)
{
    int area = areaIndexFromCode(frame[8]);
    char text[48];
    if (area >= 0)
        std::snprintf(text, sizeof text, "%s%u x%u", kAreas[area].name, be24(frame, 9), be16(frame, 12));
    else
        std::snprintf(text, sizeof text, "area %02X?%u x%u", frame[8], be24(frame, 9), be16(frame, 12));
    return text;
}

}  // namespace

std::string exceptionName(uint8_t code)
{
    switch (code) {
        case 0x01:
            return "illegal function";
        case 0x02:
            return "illegal address";
        case 0x03:
            return "illegal value";
        case 0x04:
            return "device failure";
        default:
            return "code " + std::to_string(code);
    }
}

std::string describeFrame(const std::vector<uint8_t>& frame, bool isRequest)
{
    // Data bytes shown before the line is cut short.
    constexpr size_t kShownBytes = 16;
    if (frame.size() < kHeaderSize) return "short frame of " + std::to_string(frame.size()) + " bytes";
    char head[32];
    std::snprintf(head, sizeof head, "#%04X ", be16(frame, 0));
    std::string line = head;
    if (be16(frame, 2) != 0) line += "(protocol " + std::to_string(be16(frame, 2)) + ") ";
    if (frameLength(frame.data(), frame.size()) != frame.size())
        line += "(length field says " + std::to_string(*frameLength(frame.data(), frame.size())) + " bytes) ";
    const uint8_t function = frame[7];
    const bool known = function == kFuncReadBits || function == kFuncWriteBits || function == kFuncReadWords ||
                       function == kFuncWriteWords;
    const bool write = function == kFuncWriteBits || function == kFuncWriteWords;

    if (isRequest) {
        line += "st " + std::to_string(frame[6]) + " " + functionName(function);
        if (!known || frame.size() < kReadRequestSize)
            return line + ", " + std::to_string(frame.size()) +
                   " bytes: " + hexBytes(frame.data() + kHeaderSize, frame.size() - kHeaderSize, kShownBytes);
        line += " " + areaAddress(frame);
        if (write && frame.size() >= kWriteHeaderSize)
            line += ", " + std::to_string(frame[14]) + " data bytes: " +
                    hexBytes(frame.data() + kWriteHeaderSize, frame.size() - kWriteHeaderSize, kShownBytes);
        return line;
    }
    if (function & kExceptionFlag)
        return line + "exception to " + functionName(static_cast<uint8_t>(function & 0x7F)) + ": " +
               (frame.size() > kHeaderSize ? exceptionName(frame[8]) : std::string("no code"));
    if (write) {
        if (frame.size() >= kReadRequestSize) return line + functionName(function) + " done: " + areaAddress(frame);
        return line + functionName(function) + " reply of " + std::to_string(frame.size()) + " bytes";
    }
    if (frame.size() == kHeaderSize) return line + functionName(function) + " reply without data";
    const size_t data = frame.size() - kHeaderSize - 1;
    line += functionName(function) + " reply, byte count " + std::to_string(frame[8]);
    if (frame[8] != data) line += " (" + std::to_string(data) + " present)";
    return line + ": " + hexBytes(frame.data() + kHeaderSize + 1, data, kShownBytes);
}

}  // namespace plc
