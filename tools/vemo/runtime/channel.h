// The communication channels the runtime lends the driver: a TCP
// connection or a serial device, both a file descriptor underneath.
//
// ReadData waits up to the time-out for the first byte, returns what has
// arrived (up to the buffer) and leaves in the length word the number of
// bytes still pending (0 when none). The driver's read loop stops at 0, so
// a reply that arrives whole costs one round trip and no extra wait.
#pragma once

#include <cstdint>
#include <string>

#include "host/hostif.h"

namespace vemo::runtime {

// Communication types as GetCommType reports them.
const int COMM_TYPE_TCP = 1;
const int COMM_TYPE_SERIAL = 2;

class FdChannel : public ICommunication {
public:
    FdChannel() = default;
    virtual ~FdChannel();
    FdChannel(const FdChannel&) = delete;
    FdChannel& operator=(const FdChannel&) = delete;

    int WriteData(const unsigned char* data, int& length, int timeoutMs) override;
    int ReadData(unsigned char* buffer, int& length, int timeoutMs) override;
    int ReadDataByLen(unsigned char* buffer, int& length, int timeoutMs) override;
    int ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs) override;
    int ClearInBuff() override;
    int SetDevName(const char* name) override;

    // What the last failure was ("connection closed by the controller"), empty when none.
    const std::string& lastError() const { return lastError_; }
    const std::string& deviceName() const { return deviceName_; }
    bool isOpen() const { return fd_ >= 0; }
    // Where the channel leads, for messages ("127.0.0.1:15020", "/dev/ttyUSB0").
    virtual std::string describe() const = 0;

    // Bytes received and not yet read (0 when closed).
    int pendingInput() const;
    uint64_t bytesSent() const { return bytesSent_; }
    uint64_t bytesReceived() const { return bytesReceived_; }

protected:
    // Makes sure a descriptor is there before a transfer (TCP reconnects).
    virtual bool ensureOpen(int timeoutMs) = 0;
    virtual long sendSome(const unsigned char* data, size_t size);
    // Waits up to timeoutMs for input and reads at most size bytes: > 0 bytes
    // read, 0 nothing arrived in time, -1 error or end of stream (closes).
    virtual long readWithin(unsigned char* buffer, size_t size, int timeoutMs);
    void adopt(int fd);
    void closeFd();
    void fail(const std::string& what);
    void countReceived(size_t n) { bytesReceived_ += n; }
    int fd() const { return fd_; }

private:
    // Waits for the descriptor to become readable; false on time-out or error.
    bool waitReadable(int timeoutMs);
    // One read of at most size bytes; -1 on error or end of stream (closes).
    long readSome(unsigned char* buffer, size_t size);

    int fd_ = -1;
    std::string lastError_;
    std::string deviceName_;
    uint64_t bytesSent_ = 0;
    uint64_t bytesReceived_ = 0;
};

class TcpChannel : public FdChannel {
public:
    // Connects at once; throws std::runtime_error with the reason when it
    // cannot. Later losses reconnect on the next write.
    TcpChannel(std::string host, uint16_t port, int connectTimeoutMs = 3000);

    int GetCommType() override { return COMM_TYPE_TCP; }
    std::string describe() const override;
    uint64_t reconnects() const { return reconnects_; }

protected:
    bool ensureOpen(int timeoutMs) override;
    long sendSome(const unsigned char* data, size_t size) override;
    long readWithin(unsigned char* buffer, size_t size, int timeoutMs) override;

private:
    // Returns the connected descriptor or -1 with the reason in `error`.
    int connectOnce(int timeoutMs, std::string& error) const;
    void adoptConnected(int fd);

    std::string host_;
    uint16_t port_;
    int connectTimeoutMs_;
    uint64_t reconnects_ = 0;
    int receiveTimeoutMs_ = -1;  // what SO_RCVTIMEO holds on the descriptor (-1: unknown)
};

struct SerialSettings {
    std::string device;
    int baud = 9600;
    char parity = 'N';  // 'N', 'E' or 'O'
};

class SerialChannel : public FdChannel {
public:
    // Opens and configures the device (8 data bits, 1 stop bit, raw);
    // throws std::runtime_error with the reason when it cannot.
    explicit SerialChannel(const SerialSettings& settings);

    int GetCommType() override { return COMM_TYPE_SERIAL; }
    int ClearInBuff() override;
    std::string describe() const override;

protected:
    bool ensureOpen(int timeoutMs) override;

private:
    // The configured descriptor, or -1 with the reason in `error`.
    int openDevice(std::string& error) const;

    SerialSettings settings_;
};

// Baud rates the serial channel accepts.
bool isSupportedBaud(int baud);

}  // namespace vemo::runtime
