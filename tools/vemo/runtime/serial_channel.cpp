#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "runtime/channel.h"

namespace vemo::runtime {

namespace {

struct BaudEntry {
    int baud;
    speed_t speed;
};

const BaudEntry BAUD_RATES[] = {
    {1200, B1200},   {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedOf(int baud, speed_t& speed)
{
    for (const BaudEntry& e : BAUD_RATES) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

}  // namespace

bool isSupportedBaud(int baud)
{
    speed_t unused;
    return speedOf(baud, unused);
}

SerialChannel::SerialChannel(const SerialSettings& settings) : settings_(settings)
{
    speed_t speed;
    if (!speedOf(settings.baud, speed)) {
        throw std::runtime_error(
            "unsupported baud rate " + std::to_string(settings.baud) +
            " (use 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800 or 921600)");
    }
    if (settings.parity != 'N' && settings.parity != 'E' && settings.parity != 'O') {
        throw std::runtime_error(std::string("unknown parity '") + settings.parity + "' (use N, E or O)");
    }
    std::string error;
    int fd = openDevice(error);
    if (fd < 0) throw std::runtime_error(error);
    adopt(fd);
}

int SerialChannel::openDevice(std::string& error) const
{
    speed_t speed = B9600;
    speedOf(settings_.baud, speed);
    int fd = ::open(settings_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the serial device " + settings_.device + ": " + std::strerror(errno);
        return -1;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        error = settings_.device + " is not a serial device: " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    tio.c_cflag |= CS8;
    if (settings_.parity != 'N') tio.c_cflag |= PARENB;
    if (settings_.parity == 'O') tio.c_cflag |= PARODD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = "cannot configure " + settings_.device + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

bool SerialChannel::ensureOpen(int /*timeoutMs*/)
{
    if (isOpen()) return true;
    // A USB adapter that was pulled and plugged back in comes back here.
    std::string error;
    int fd = openDevice(error);
    if (fd < 0) {
        fail("reopening failed: " + error);
        return false;
    }
    adopt(fd);
    return true;
}

int SerialChannel::ClearInBuff()
{
    if (!isOpen()) return -1;
    ::tcflush(fd(), TCIFLUSH);
    return FdChannel::ClearInBuff();
}

std::string SerialChannel::describe() const
{
    return settings_.device + " " + std::to_string(settings_.baud) + " 8" + settings_.parity + "1";
}

}  // namespace vemo::runtime
