#include "wire_client.h"

#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace perf {

namespace {

const size_t HEADER_BYTES = 8;
const size_t READ_REQUEST_BYTES = 14;
const uint8_t FUNC_READ_BITS = 0x1E;
const uint8_t FUNC_READ_WORDS = 0x20;
// Protocol addresses are 24-bit; a Modbus address is 16-bit.
const uint32_t MODBUS_ADDRESS_MASK = 0xFFFF;

std::string Reason(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

int Connect(const std::string& host, uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(Reason("socket"));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) {
        ::close(fd);
        throw std::runtime_error("not an IPv4 address: " + host);
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::string reason = Reason("connect");
        ::close(fd);
        throw std::runtime_error(reason + " (" + host + ":" + std::to_string(port) + ")");
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

bool SendAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

size_t ExpectedReplyBytes(const Frame& request)
{
    if (request.size() < READ_REQUEST_BYTES) return 0;
    const size_t count = (static_cast<size_t>(request[12]) << 8) | request[13];
    if (request[7] == FUNC_READ_BITS) return HEADER_BYTES + 1 + (count + 7) / 8;
    if (request[7] == FUNC_READ_WORDS) return HEADER_BYTES + 1 + 2 * count;
    return 0;
}

SReadRequest DescribeRequest(const Frame& request)
{
    SReadRequest r;
    if (request.size() < READ_REQUEST_BYTES) return r;
    r.bits = request[7] == FUNC_READ_BITS;
    r.address = (static_cast<uint32_t>(request[9]) << 16) | (static_cast<uint32_t>(request[10]) << 8) | request[11];
    r.count = static_cast<uint16_t>((request[12] << 8) | request[13]);
    return r;
}

// --- CFloorClient

CFloorClient::CFloorClient(const std::string& host, uint16_t port) : m_fd(Connect(host, port)), m_buffer(4096) {}

CFloorClient::~CFloorClient()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool CFloorClient::RunCycle(const std::vector<Frame>& frames)
{
    for (const Frame& frame : frames) {
        const size_t expected = ExpectedReplyBytes(frame);
        if (expected == 0 || expected > m_buffer.size()) return false;
        if (!SendAll(m_fd, frame.data(), frame.size())) return false;
        size_t got = 0;
        while (got < expected) {
            ssize_t n = ::recv(m_fd, m_buffer.data() + got, m_buffer.size() - got, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
    }
    return true;
}

// --- CModbusReference

CModbusReference::CModbusReference(const std::string& host, uint16_t port)
    : m_registers(MODBUS_MAX_READ_REGISTERS), m_bits(MODBUS_MAX_READ_BITS)
{
    modbus_t* ctx = modbus_new_tcp(host.c_str(), port);
    if (!ctx) throw std::runtime_error(Reason("modbus_new_tcp"));
    if (modbus_connect(ctx) != 0) {
        std::string reason = std::string("modbus_connect: ") + modbus_strerror(errno);
        modbus_free(ctx);
        throw std::runtime_error(reason + " (" + host + ":" + std::to_string(port) + ")");
    }
    // libmodbus sets TCP_NODELAY itself; a generous time-out, as for the floor.
    modbus_set_response_timeout(ctx, 2, 0);
    m_ctx = ctx;
}

CModbusReference::~CModbusReference()
{
    if (!m_ctx) return;
    modbus_close(static_cast<modbus_t*>(m_ctx));
    modbus_free(static_cast<modbus_t*>(m_ctx));
}

bool CModbusReference::RunCycle(const std::vector<SReadRequest>& requests)
{
    modbus_t* ctx = static_cast<modbus_t*>(m_ctx);
    for (const SReadRequest& r : requests) {
        const int address = static_cast<int>(r.address & MODBUS_ADDRESS_MASK);
        int n;
        if (r.bits) {
            n = modbus_read_bits(ctx, address, r.count, m_bits.data());
        } else {
            n = modbus_read_registers(ctx, address, r.count, m_registers.data());
        }
        if (n != r.count) return false;
    }
    return true;
}

}  // namespace perf
