#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "runtime/channel.h"

namespace vemo::runtime {

TcpChannel::TcpChannel(std::string host, uint16_t port, int connectTimeoutMs)
    : host_(std::move(host)), port_(port), connectTimeoutMs_(connectTimeoutMs)
{
    std::string error;
    int fd = connectOnce(connectTimeoutMs_, error);
    if (fd < 0) {
        throw std::runtime_error("cannot connect to " + describe() + ": " + error +
                                 " (is the controller, or `vemo sim`, running there?)");
    }
    adoptConnected(fd);
}

std::string TcpChannel::describe() const
{
    return host_ + ":" + std::to_string(port_);
}

bool TcpChannel::ensureOpen(int timeoutMs)
{
    if (isOpen()) return true;
    std::string error;
    int fd = connectOnce(timeoutMs > 0 && timeoutMs < connectTimeoutMs_ ? timeoutMs : connectTimeoutMs_, error);
    if (fd < 0) {
        fail("reconnect to " + describe() + " failed: " + error);
        return false;
    }
    adoptConnected(fd);
    ++reconnects_;
    return true;
}

void TcpChannel::adoptConnected(int fd)
{
    adopt(fd);
    receiveTimeoutMs_ = -1;
}

long TcpChannel::sendSome(const unsigned char* data, size_t size)
{
    // A controller that went away must not kill the program with SIGPIPE;
    // a full line is waited for by the caller, never inside send.
    return ::send(fd(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Blocks in recv with the socket's receive time-out, one system call like a
// plain blocking client, instead of a poll followed by a read. The time-out
// is set only when it changes (the driver passes the same one every time).
long TcpChannel::readWithin(unsigned char* buffer, size_t size, int timeoutMs)
{
    if (timeoutMs <= 0) return FdChannel::readWithin(buffer, size, 0);
    if (timeoutMs != receiveTimeoutMs_) {
        timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        if (::setsockopt(fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
            return FdChannel::readWithin(buffer, size, timeoutMs);
        }
        receiveTimeoutMs_ = timeoutMs;
    }
    ssize_t n = ::recv(fd(), buffer, size, 0);
    if (n > 0) {
        countReceived(static_cast<size_t>(n));
        return n;
    }
    if (n == 0) {
        fail("connection closed by the controller");
        closeFd();
        return -1;
    }
    // Time-out, or a signal: nothing arrived; the caller's own loop decides
    // whether to wait on.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    fail(std::string("read: ") + std::strerror(errno));
    closeFd();
    return -1;
}

int TcpChannel::connectOnce(int timeoutMs, std::string& error) const
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found);
    if (rc != 0) {
        error = std::string("cannot resolve the host: ") + ::gai_strerror(rc);
        return -1;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    error = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&p, 1, timeoutMs);
            } while (ready < 0 && errno == EINTR);
            int soError = 0;
            socklen_t len = sizeof soError;
            if (ready == 0) {
                soError = ETIMEDOUT;
            } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) {
                soError = errno;
            }
            r = soError == 0 ? 0 : -1;
            errno = soError;
        }
        if (r == 0) {
            // Requests are small and each waits for its reply: send at once.
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            // Reads block in recv under a time-out (readWithin); sends stay
            // non-blocking per call.
            int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            return fd;
        }
        error = std::strerror(errno);
        ::close(fd);
    }
    return -1;
}

}  // namespace vemo::runtime
