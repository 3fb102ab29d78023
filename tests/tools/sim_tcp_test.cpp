// The simulator over real loopback sockets and a pseudo-terminal: exact
// replies, hostile clients, many clients at once, repeatable faults, and a
// client that never reads. Deadlines are generous and only guard against a
// hang; nothing here measures time.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "plc/plc_model.h"
#include "plc/plc_values.h"
#include "sim/simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kDeadlineMs = 10000;

const int D = plc::areaIndexFromName("D");
const int M = plc::areaIndexFromName("M");

Bytes ReadWords(uint16_t txn, uint32_t address, uint16_t count)
{
    return {static_cast<uint8_t>(txn >> 8),
            static_cast<uint8_t>(txn),
            0,
            0,
            0,
            8,
            1,
            0x20,
            0x80,
            static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address),
            static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(count)};
}

Bytes WriteWord(uint16_t txn, uint32_t address, uint16_t value)
{
    return {static_cast<uint8_t>(txn >> 8),
            static_cast<uint8_t>(txn),
            0,
            0,
            0,
            11,
            1,
            0x21,
            0x80,
            static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address),
            0,
            1,
            2,
            static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value)};
}

// A blocking loopback client with deadlines.
class Client {
public:
    explicit Client(uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot connect to the simulator");
    }
    ~Client()
    {
        if (fd_ >= 0) close(fd_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Send(const Bytes& b) { return send(fd_, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size()); }
    void ShutdownWrite() { shutdown(fd_, SHUT_WR); }

    // Exactly n bytes, or fewer when the peer closes or the deadline passes.
    Bytes Receive(size_t n)
    {
        Bytes out;
        while (out.size() < n) {
            if (!Wait()) break;
            uint8_t buf[4096];
            ssize_t got = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    // Everything until the peer closes.
    Bytes ReceiveAll()
    {
        Bytes out;
        for (;;) {
            if (!Wait()) break;
            uint8_t buf[4096];
            ssize_t got = recv(fd_, buf, sizeof buf, 0);
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    // True when the peer closed the connection (before the deadline).
    bool Closed()
    {
        Bytes rest = ReceiveAll();
        (void)rest;
        pollfd p{fd_, POLLIN, 0};
        uint8_t byte;
        return poll(&p, 1, 0) == 1 && recv(fd_, &byte, 1, MSG_DONTWAIT) == 0;
    }

private:
    bool Wait()
    {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, kDeadlineMs) == 1;
    }
    int fd_ = -1;
};

vemo::SimulatorOptions Quiet()
{
    vemo::SimulatorOptions o;
    o.port = 0;
    o.log = [](const std::string&) {};
    return o;
}

TEST(SimulatorTcp, ReadAndWriteGiveExactBytes)
{
    vemo::Simulator sim(Quiet());
    sim.withMemory([](plc::Memory& m) {
        m.setWord(D, 100, 0x1234);
        m.setWord(D, 101, 0x5678);
    });
    sim.start();
    ASSERT_NE(sim.port(), 0);
    Client c(sim.port());
    ASSERT_TRUE(c.Send(ReadWords(0x0001, 100, 2)));
    EXPECT_EQ(c.Receive(13), (Bytes{0, 1, 0, 0, 0, 7, 1, 0x20, 4, 0x12, 0x34, 0x56, 0x78}));
    ASSERT_TRUE(c.Send(WriteWord(0x0002, 101, 0xBEEF)));
    EXPECT_EQ(c.Receive(14), (Bytes{0, 2, 0, 0, 0, 8, 1, 0x21, 0x80, 0, 0, 101, 0, 1}));
    EXPECT_EQ(sim.withMemory([](plc::Memory& m) { return m.word(D, 101); }), 0xBEEF);
    // Two requests in one segment get two replies, in order.
    Bytes two = ReadWords(3, 101, 1);
    Bytes second = ReadWords(4, 100, 1);
    two.insert(two.end(), second.begin(), second.end());
    ASSERT_TRUE(c.Send(two));
    EXPECT_EQ(c.Receive(22),
              (Bytes{0, 3, 0, 0, 0, 5, 1, 0x20, 2, 0xBE, 0xEF, 0, 4, 0, 0, 0, 5, 1, 0x20, 2, 0x12, 0x34}));
    EXPECT_EQ(sim.stats().requests, 4u);
}

TEST(SimulatorTcp, HostileClientsAreDroppedAndOthersStayServed)
{
    vemo::Simulator sim(Quiet());
    sim.start();
    {
        Client liar(sim.port());
        ASSERT_TRUE(liar.Send({0, 1, 0, 0, 0xFF, 0xFF, 1, 0x20}));  // claims a 65 KiB frame
        EXPECT_TRUE(liar.Closed());
    }
    {
        // Random bytes, some with random lengths: never a crash; each client
        // either gets replies or is dropped.
        std::mt19937 rng(7);
        for (int round = 0; round < 20; ++round) {
            Client fuzz(sim.port());
            Bytes junk(1 + rng() % 300);
            for (uint8_t& b : junk) b = static_cast<uint8_t>(rng());
            fuzz.Send(junk);
            fuzz.ShutdownWrite();
            fuzz.ReceiveAll();
        }
    }
    {
        // Well-framed nonsense gets exception replies, the connection stays.
        Client c(sim.port());
        Bytes unknown = {0, 9, 0, 0, 0, 2, 1, 0x42};
        ASSERT_TRUE(c.Send(unknown));
        EXPECT_EQ(c.Receive(9), (Bytes{0, 9, 0, 0, 0, 3, 1, 0xC2, 0x01}));
        ASSERT_TRUE(c.Send(ReadWords(10, 0, 1)));
        EXPECT_EQ(c.Receive(11).size(), 11u);
    }
    EXPECT_TRUE(sim.running());
    EXPECT_GE(sim.stats().dropped, 1u);
}

TEST(SimulatorTcp, TwentyClientsAtOnce)
{
    vemo::Simulator sim(Quiet());
    sim.start();
    constexpr int kClients = 20;
    constexpr int kRounds = 25;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            Client c(sim.port());
            for (int r = 0; r < kRounds; ++r) {
                uint16_t value = static_cast<uint16_t>(i * 1000 + r);
                uint32_t address = 1000 + static_cast<uint32_t>(i);
                if (!c.Send(WriteWord(static_cast<uint16_t>(r), address, value))) return;
                if (c.Receive(14).size() != 14) return;
                if (!c.Send(ReadWords(static_cast<uint16_t>(r), address, 1))) return;
                Bytes reply = c.Receive(11);
                if (reply.size() == 11 && reply[9] == (value >> 8) && reply[10] == (value & 0xFF)) ++good;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, kClients * kRounds);
    EXPECT_EQ(sim.stats().connections, static_cast<uint64_t>(kClients));
}

// Everything one client receives for a fixed batch of requests.
Bytes FaultyRun(uint32_t seed)
{
    vemo::SimulatorOptions o = Quiet();
    o.faults.seed = seed;
    o.faults.drop = 0.2;
    o.faults.exception = 0.1;
    o.faults.garbage = 0.1;
    o.faults.stale = 0.3;
    o.faults.split = 0.3;
    o.faults.delay = 0.2;
    o.faults.delayMs = 1;
    vemo::Simulator sim(o);
    sim.withMemory([](plc::Memory& m) {
        for (uint32_t a = 0; a < 64; ++a) m.setWord(D, a, static_cast<uint16_t>(a * 3));
    });
    sim.start();
    Client c(sim.port());
    Bytes batch;
    for (uint16_t i = 0; i < 60; ++i) {
        Bytes r = ReadWords(i, i, 2);
        batch.insert(batch.end(), r.begin(), r.end());
    }
    c.Send(batch);
    // The simulator sends what is due, then closes: the stream is complete.
    c.ShutdownWrite();
    return c.ReceiveAll();
}

TEST(SimulatorTcp, FaultInjectionRepeatsWithTheSameSeed)
{
    Bytes first = FaultyRun(1234);
    EXPECT_EQ(FaultyRun(1234), first);
    EXPECT_NE(FaultyRun(4321), first);
    // And it did inject something: 60 clean replies would be 60 x 13 bytes.
    EXPECT_NE(first.size(), 60u * 13u);
}

TEST(SimulatorTcp, ClientThatNeverReadsIsDropped)
{
    vemo::Simulator sim(Quiet());
    sim.start();
    Client c(sim.port());
    // Each 14-byte request asks for a 263-byte reply; none is read.
    Bytes batch;
    for (int i = 0; i < 1000; ++i) {
        Bytes r = ReadWords(static_cast<uint16_t>(i), 0, 127);
        batch.insert(batch.end(), r.begin(), r.end());
    }
    // Sending fails once the simulator has given up on the connection.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs * 3);
    bool refused = false;
    while (!refused && std::chrono::steady_clock::now() < deadline) refused = !c.Send(batch);
    EXPECT_TRUE(refused);
    EXPECT_EQ(sim.stats().dropped, 1u);
    EXPECT_TRUE(sim.running());
}

TEST(SimulatorTcp, StopClosesClientsAndStartsAgain)
{
    vemo::Simulator sim(Quiet());
    sim.start();
    Client c(sim.port());
    ASSERT_TRUE(c.Send(ReadWords(1, 0, 1)));
    EXPECT_EQ(c.Receive(11).size(), 11u);
    sim.stop();
    EXPECT_FALSE(sim.running());
    EXPECT_TRUE(c.Closed());
    sim.stop();  // twice is fine
    sim.start();
    Client again(sim.port());
    ASSERT_TRUE(again.Send(ReadWords(2, 0, 1)));
    EXPECT_EQ(again.Receive(11).size(), 11u);
}

TEST(SimulatorTcp, BusyPortIsAClearError)
{
    vemo::Simulator first(Quiet());
    first.start();
    vemo::SimulatorOptions o = Quiet();
    o.port = first.port();
    vemo::Simulator second(o);
    try {
        second.start();
        FAIL() << "a second simulator listened on a busy port";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot listen"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.running());
}

TEST(SimulatorPty, ServesTheSameFramesOnASerialLine)
{
    vemo::SimulatorOptions o = Quiet();
    o.tcp = false;
    o.pty = true;
    vemo::Simulator sim(o);
    sim.withMemory([](plc::Memory& m) { m.setWord(D, 7, 0x0D0A); });  // CR LF must pass untranslated
    sim.start();
    ASSERT_FALSE(sim.ptyPath().empty());
    int fd = open(sim.ptyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    Bytes request = ReadWords(0x0D0A, 7, 1);
    ASSERT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes reply;
    while (reply.size() < 11) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kDeadlineMs) != 1) break;
        uint8_t buf[64];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        reply.insert(reply.end(), buf, buf + n);
    }
    close(fd);
    EXPECT_EQ(reply, (Bytes{0x0D, 0x0A, 0, 0, 0, 5, 1, 0x20, 2, 0x0D, 0x0A}));
}

TEST(SimulatorSignals, DocumentedRegistersChange)
{
    vemo::Simulator sim(Quiet());
    sim.applySignals(5);
    sim.withMemory([](plc::Memory& m) {
        EXPECT_EQ(m.word(D, 0), 5);
        EXPECT_TRUE(m.bit(M, 0));
        // A quarter period of the 20-second sine: the peak, as a float in order 0 - 1234.
        std::vector<uint8_t> wire = {static_cast<uint8_t>(m.word(D, 2) >> 8), static_cast<uint8_t>(m.word(D, 2)),
                                     static_cast<uint8_t>(m.word(D, 3) >> 8), static_cast<uint8_t>(m.word(D, 3))};
        EXPECT_EQ(wire, plc::canonicalFloat(*plc::parseValueType("DF"), 100.0));
    });
    sim.applySignals(6);
    sim.withMemory([](plc::Memory& m) {
        EXPECT_EQ(m.word(D, 0), 6);
        EXPECT_FALSE(m.bit(M, 0));
    });
}

}  // namespace
