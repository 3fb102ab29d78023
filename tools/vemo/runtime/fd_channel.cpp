#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/channel.h"

namespace vemo::runtime {

namespace {

// Time left until a deadline on the host clock, never negative.
int remainingMs(int64_t deadline)
{
    int64_t left = deadline - Holn_GetTickCount();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

FdChannel::~FdChannel()
{
    closeFd();
}

void FdChannel::adopt(int fd)
{
    closeFd();
    fd_ = fd;
}

void FdChannel::closeFd()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void FdChannel::fail(const std::string& what)
{
    lastError_ = what;
}

bool FdChannel::waitReadable(int timeoutMs)
{
    const int64_t deadline = Holn_GetTickCount() + std::max(timeoutMs, 0);
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0) return true;  // readable, or hang-up/error that the read will report
        if (r == 0) return false;
        if (errno != EINTR) {
            fail(std::string("waiting for data: ") + std::strerror(errno));
            return false;
        }
    }
}

long FdChannel::readSome(unsigned char* buffer, size_t size)
{
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n > 0) {
            bytesReceived_ += static_cast<uint64_t>(n);
            return n;
        }
        if (n == 0) {
            fail("connection closed by the controller");
            closeFd();
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        fail(std::string("read: ") + std::strerror(errno));
        closeFd();
        return -1;
    }
}

int FdChannel::pendingInput() const
{
    int pending = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &pending) != 0 || pending < 0) return 0;
    return pending;
}

long FdChannel::sendSome(const unsigned char* data, size_t size)
{
    return ::write(fd_, data, size);
}

int FdChannel::WriteData(const unsigned char* data, int& length, int timeoutMs)
{
    const int wanted = length;
    length = 0;
    if (!data || wanted <= 0) return 0;
    if (!ensureOpen(timeoutMs)) return -1;
    // The wait time may be 0; a write still gets a moment to drain. The
    // clock is read only when the line is full: a request usually goes at once.
    int64_t deadline = -1;
    int sent = 0;
    while (sent < wanted) {
        long n = sendSome(data + sent, static_cast<size_t>(wanted - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            bytesSent_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(std::string("write: ") + std::strerror(errno));
            closeFd();
            break;
        }
        if (deadline < 0) deadline = Holn_GetTickCount() + std::max(timeoutMs, 100);
        pollfd p{fd_, POLLOUT, 0};
        int left = remainingMs(deadline);
        if (left == 0 || ::poll(&p, 1, left) == 0) {
            fail("write timed out");
            break;
        }
    }
    length = sent;
    return sent == wanted ? sent : -1;
}

long FdChannel::readWithin(unsigned char* buffer, size_t size, int timeoutMs)
{
    if (!waitReadable(timeoutMs)) return 0;
    return readSome(buffer, size);
}

int FdChannel::ReadData(unsigned char* buffer, int& length, int timeoutMs)
{
    const int capacity = length;
    length = 0;
    if (!isOpen()) return -1;
    if (!buffer || capacity <= 0) return 0;
    long n = readWithin(buffer, static_cast<size_t>(capacity), timeoutMs);
    if (n <= 0) return n < 0 ? -1 : 0;
    // A read that left room took everything there was: nothing is pending,
    // and the system need not be asked.
    length = n == capacity ? pendingInput() : 0;
    return static_cast<int>(n);
}

int FdChannel::ReadDataByLen(unsigned char* buffer, int& length, int timeoutMs)
{
    const int wanted = length;
    length = 0;
    if (!isOpen() || !buffer || wanted <= 0) return -1;
    const int64_t deadline = Holn_GetTickCount() + std::max(timeoutMs, 0);
    int got = 0;
    while (got < wanted && waitReadable(remainingMs(deadline))) {
        long n = readSome(buffer + got, static_cast<size_t>(wanted - got));
        if (n < 0) break;
        got += static_cast<int>(n);
    }
    length = got;
    return got > 0 ? got : -1;
}

int FdChannel::ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs)
{
    const int capacity = length;
    length = 0;
    if (!isOpen()) return -1;
    if (!buffer || capacity <= 0) return 0;
    const size_t endLength = endText ? std::strlen(endText) : 0;
    if (endLength == 0) {
        int pending = capacity;
        int n = ReadData(buffer, pending, timeoutMs);
        length = n > 0 ? n : 0;
        return length;
    }
    const int64_t deadline = Holn_GetTickCount() + std::max(timeoutMs, 0);
    int got = 0;
    // Byte by byte, so that nothing after the end text is taken from the line.
    while (got < capacity && waitReadable(remainingMs(deadline))) {
        long n = readSome(buffer + got, 1);
        if (n < 0) break;
        if (n == 0) continue;
        ++got;
        if (static_cast<size_t>(got) >= endLength &&
            std::memcmp(buffer + got - static_cast<int>(endLength), endText, endLength) == 0) {
            break;
        }
    }
    length = got;
    return got;
}

int FdChannel::ClearInBuff()
{
    if (!isOpen()) return -1;
    unsigned char scratch[512];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) break;
        if (readSome(scratch, sizeof scratch) <= 0) break;
    }
    return isOpen() ? 0 : -1;
}

int FdChannel::SetDevName(const char* name)
{
    deviceName_ = name ? name : "";
    return 0;
}

}  // namespace vemo::runtime
