// The stand-in's communication channels: what the driver's read loop
// relies on (one call per reply, a pending count that ends the loop),
// reconnection, and serial set-up on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "runtime/channel.h"

namespace {

using vemo::runtime::SerialChannel;
using vemo::runtime::SerialSettings;
using vemo::runtime::TcpChannel;

// Generous: a reply on loopback arrives at once unless the machine stalls.
const int WAIT_MS = 5000;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A loopback listener standing in for the controller.
class Peer {
public:
    Peer()
    {
        listen_.reset(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listen_.get(), reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(listen_.get(), 4) != 0 ||
            ::getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            throw std::runtime_error("cannot listen");
        }
        port_ = ntohs(addr.sin_port);
    }
    uint16_t port() const { return port_; }
    void accept() { conn_.reset(::accept(listen_.get(), nullptr, nullptr)); }
    void send(const std::string& bytes)
    {
        ASSERT_EQ(::write(conn_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string receive(size_t n)
    {
        std::string out(n, '\0');
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::read(conn_.get(), &out[got], n - got);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        out.resize(got);
        return out;
    }
    void hangUp() { conn_.reset(); }

private:
    Fd listen_;
    Fd conn_;
    uint16_t port_ = 0;
};

// Waits until the channel has at least n bytes queued (never sleeps blindly).
bool awaitPending(const vemo::runtime::FdChannel& channel, int n)
{
    for (int i = 0; i < 500 && channel.pendingInput() < n; ++i) ::poll(nullptr, 0, 10);
    return channel.pendingInput() >= n;
}

class Tcp : public ::testing::Test {
protected:
    Tcp() : channel("127.0.0.1", peer.port()) { peer.accept(); }
    Peer peer;
    TcpChannel channel;
    unsigned char buffer[512] = {};
};

TEST_F(Tcp, AWholeReplyComesInOneCallWithNothingLeftPending)
{
    peer.send("0123456789");
    ASSERT_TRUE(awaitPending(channel, 10));
    int length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, WAIT_MS), 10);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), "0123456789");
}

TEST_F(Tcp, MoreThanTheBufferLeavesThePendingCountInTheLengthWord)
{
    peer.send(std::string(700, 'x'));
    ASSERT_TRUE(awaitPending(channel, 700));
    int length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, WAIT_MS), 512);
    EXPECT_EQ(length, 188);
    length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, WAIT_MS), 188);
    EXPECT_EQ(length, 0);
}

TEST_F(Tcp, ABufferFilledExactlyLeavesNothingPending)
{
    peer.send(std::string(sizeof buffer, 'y'));
    ASSERT_TRUE(awaitPending(channel, sizeof buffer));
    int length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, WAIT_MS), static_cast<int>(sizeof buffer));
    EXPECT_EQ(length, 0);
}

// The read blocks for its time-out and returns as soon as the reply comes.
TEST_F(Tcp, AReplyArrivingDuringTheWaitIsTakenAtOnce)
{
    std::thread late([this] {
        ::poll(nullptr, 0, 50);
        peer.send("late");
    });
    int length = sizeof buffer;
    const int got = channel.ReadData(buffer, length, 30000);
    late.join();
    EXPECT_EQ(got, 4);
    EXPECT_EQ(length, 0);
    // A shorter time-out afterwards is applied, not the one of the last read.
    length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, 1), 0);
}

TEST_F(Tcp, SilenceGivesNothingAndAZeroLengthWord)
{
    int length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, 1), 0);
    EXPECT_EQ(length, 0);
}

TEST_F(Tcp, WriteSendsEveryByte)
{
    const std::string frame(3000, 'w');
    int length = static_cast<int>(frame.size());
    EXPECT_EQ(channel.WriteData(reinterpret_cast<const unsigned char*>(frame.data()), length, WAIT_MS), 3000);
    EXPECT_EQ(length, 3000);
    EXPECT_EQ(peer.receive(3000), frame);
    EXPECT_EQ(channel.bytesSent(), 3000u);
}

TEST_F(Tcp, ReadByEndTextStopsRightAfterIt)
{
    peer.send("abc\r\ndef");
    ASSERT_TRUE(awaitPending(channel, 8));
    int length = sizeof buffer;
    EXPECT_EQ(channel.ReadDataByEndStr(buffer, length, "\r\n", WAIT_MS), 5);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(channel.pendingInput(), 3);
}

TEST_F(Tcp, ReadByEndTextStopsAtTheCapacity)
{
    peer.send("abcdef");
    ASSERT_TRUE(awaitPending(channel, 6));
    int length = 4;
    EXPECT_EQ(channel.ReadDataByEndStr(buffer, length, "\n", WAIT_MS), 4);
    EXPECT_EQ(channel.pendingInput(), 2);
}

TEST_F(Tcp, ReadByLengthTakesExactlyTheWantedBytes)
{
    peer.send("123456");
    ASSERT_TRUE(awaitPending(channel, 6));
    int length = 4;
    EXPECT_EQ(channel.ReadDataByLen(buffer, length, WAIT_MS), 4);
    EXPECT_EQ(length, 4);
    length = 4;
    EXPECT_EQ(channel.ReadDataByLen(buffer, length, 1), 2);  // only two left
    length = 4;
    EXPECT_EQ(channel.ReadDataByLen(buffer, length, 1), -1);  // none at all
}

TEST_F(Tcp, ClearInBuffDropsWhatIsWaiting)
{
    peer.send("stale reply");
    ASSERT_TRUE(awaitPending(channel, 11));
    EXPECT_EQ(channel.ClearInBuff(), 0);
    EXPECT_EQ(channel.pendingInput(), 0);
}

TEST_F(Tcp, AClosedConnectionIsReportedAndTheNextWriteReconnects)
{
    peer.hangUp();
    int length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, WAIT_MS), -1);
    EXPECT_FALSE(channel.isOpen());
    EXPECT_NE(channel.lastError().find("closed"), std::string::npos);

    length = 3;
    EXPECT_EQ(channel.WriteData(reinterpret_cast<const unsigned char*>("abc"), length, WAIT_MS), 3);
    peer.accept();
    EXPECT_EQ(peer.receive(3), "abc");
    EXPECT_EQ(channel.reconnects(), 1u);
}

TEST_F(Tcp, ReportsItsTypeAndKeepsTheDeviceName)
{
    EXPECT_EQ(channel.GetCommType(), vemo::runtime::COMM_TYPE_TCP);
    EXPECT_EQ(channel.SetDevName("dev1"), 0);
    EXPECT_EQ(channel.deviceName(), "dev1");
    EXPECT_EQ(channel.describe(), "127.0.0.1:" + std::to_string(peer.port()));
}

TEST(TcpConnect, ARefusedConnectionNamesTheAddress)
{
    uint16_t port;
    {
        Peer gone;  // a port that was free a moment ago and has no listener now
        port = gone.port();
    }
    try {
        TcpChannel channel("127.0.0.1", port, 1000);
        FAIL() << "connected to a closed port";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(port)), std::string::npos) << e.what();
    }
}

// A pseudo-terminal: the master side plays the controller.
class Serial : public ::testing::Test {
protected:
    Serial()
    {
        master.reset(::posix_openpt(O_RDWR | O_NOCTTY));
        if (master.get() < 0 || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        path = ::ptsname(master.get());
    }
    Fd master;
    std::string path;
};

TEST_F(Serial, TalksOverThePseudoTerminal)
{
    SerialSettings settings{path, 19200, 'E'};
    SerialChannel channel(settings);
    EXPECT_EQ(channel.GetCommType(), vemo::runtime::COMM_TYPE_SERIAL);
    EXPECT_EQ(channel.describe(), path + " 19200 8E1");

    int length = 2;
    EXPECT_EQ(channel.WriteData(reinterpret_cast<const unsigned char*>("hi"), length, WAIT_MS), 2);
    char got[2] = {};
    ASSERT_EQ(::read(master.get(), got, 2), 2);
    EXPECT_EQ(std::string(got, 2), "hi");

    ASSERT_EQ(::write(master.get(), "\x01\x02\x03", 3), 3);
    ASSERT_TRUE(awaitPending(channel, 3));
    unsigned char buffer[512];
    length = sizeof buffer;
    EXPECT_EQ(channel.ReadData(buffer, length, WAIT_MS), 3);
    EXPECT_EQ(length, 0);
}

TEST_F(Serial, RefusesSettingsItCannotApply)
{
    EXPECT_THROW(SerialChannel(SerialSettings{path, 12345, 'N'}), std::runtime_error);
    EXPECT_THROW(SerialChannel(SerialSettings{path, 9600, 'X'}), std::runtime_error);
    EXPECT_THROW(SerialChannel(SerialSettings{"/nonexistent/tty", 9600, 'N'}), std::runtime_error);
    try {
        SerialChannel channel(SerialSettings{"/dev/null", 9600, 'N'});
        FAIL() << "/dev/null accepted as a serial device";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("not a serial device"), std::string::npos) << e.what();
    }
}

}  // namespace
