// The wire's floor and the reference client of the end-to-end comparison.
//
// CFloorClient sends recorded request frames over a plain blocking socket
// and waits for each complete reply: what the round trips cost with nothing
// on top. CModbusReference reads the same number of elements per request
// with libmodbus from libmodbus's own server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace perf {

using Frame = std::vector<uint8_t>;

// Reply length the controller gives to a read request (0 for anything else).
size_t ExpectedReplyBytes(const Frame& request);

// One request of the comparison, as the driver sent it.
struct SReadRequest {
    bool bits = false;  // a bit area (function 0x1E), else registers (0x20)
    uint32_t address = 0;
    uint16_t count = 0;
};
SReadRequest DescribeRequest(const Frame& request);

class CFloorClient {
public:
    // Connects (TCP_NODELAY, 2 s receive time-out); throws std::runtime_error.
    CFloorClient(const std::string& host, uint16_t port);
    ~CFloorClient();
    CFloorClient(const CFloorClient&) = delete;
    CFloorClient& operator=(const CFloorClient&) = delete;

    // Sends each frame and reads until its whole reply is in; false when a
    // reply did not come or the connection broke.
    bool RunCycle(const std::vector<Frame>& frames);

private:
    int m_fd = -1;
    std::vector<uint8_t> m_buffer;
};

class CModbusReference {
public:
    // Connects with libmodbus; throws std::runtime_error.
    CModbusReference(const std::string& host, uint16_t port);
    ~CModbusReference();
    CModbusReference(const CModbusReference&) = delete;
    CModbusReference& operator=(const CModbusReference&) = delete;

    // Registers with function 0x03, bits with 0x01 (same count, same bytes
    // on the wire); false at the first failed request.
    bool RunCycle(const std::vector<SReadRequest>& requests);

private:
    void* m_ctx = nullptr;  // modbus_t
    std::vector<uint16_t> m_registers;
    std::vector<uint8_t> m_bits;
};

}  // namespace perf
