#include "sim/simulator.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <stdexcept>
#include <thread>

#include "plc/plc_values.h"
#include "sim/fault_injector.h"
#include "sim/frame_stream.h"
#include "sim/pcap_writer.h"

namespace vemo {
namespace {

using Clock = std::chrono::steady_clock;

// Connections beyond this are closed right after accept.
constexpr size_t kMaxConnections = 256;
// Replies a client does not read pile up here; past this it is dropped.
constexpr size_t kMaxPendingBytes = 1 << 20;
constexpr size_t kReadChunk = 4096;
// The pseudo-terminal is connection 0; TCP clients count from 1.
constexpr uint64_t kPtyConnection = 0;

constexpr double kPi = 3.14159265358979323846;
constexpr double kSineAmplitude = 100.0;
constexpr double kSinePeriodSeconds = 20.0;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

void setNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

bool isWrite(const std::vector<uint8_t>& request)
{
    return request.size() >= 8 && (request[7] == plc::kFuncWriteBits || request[7] == plc::kFuncWriteWords);
}

struct Pending {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
    size_t offset = 0;
};

struct Connection {
    Connection(Fd socket, uint64_t id, std::string name, const FaultOptions& faultOptions)
        : fd(std::move(socket)), number(id), peer(std::move(name)), faults(faultOptions, id)
    {
    }

    Fd fd;
    uint64_t number;
    std::string peer;
    uint32_t peerIp = 0;  // for the capture; TCP only
    uint16_t peerPort = 0;
    FrameAssembler frames;
    FaultInjector faults;
    std::deque<Pending> out;
    size_t outBytes = 0;
    bool peerClosed = false;  // no more requests; close once the replies are out
    bool closeNow = false;

    bool isPty() const { return number == kPtyConnection; }
};

}  // namespace

// ------------------------------------------------------------------ Server

class Simulator::Server {
public:
    Server(Simulator& owner, const SimulatorOptions& options) : owner_(owner), options_(options) {}
    ~Server() { stop(); }

    void start();
    void stop();

    uint16_t port = 0;
    std::string ptyPath;
    std::atomic<bool> running{false};
    std::atomic<uint64_t> connections{0}, dropped{0}, requests{0}, replies{0}, faults{0};
    std::atomic<uint64_t> drops{0}, delays{0}, stales{0}, splits{0}, garbage{0}, exceptions{0};
    std::atomic<uint64_t> requestBytes{0}, writesCarriedOut{0};
    // Sum of every connection's outBytes, readable from other threads.
    std::atomic<uint64_t> unsentBytes{0};

private:
    void openListener();
    void openPty();
    void run();
    void acceptClients();
    void readFrom(Connection& c);
    void serve(Connection& c, const std::vector<uint8_t>& request);
    void flush(Connection& c, Clock::time_point now);
    void breakStream(Connection& c, const std::string& reason);
    void countFault(const FaultDecision& decision);
    void queued(Connection& c, size_t bytes);
    void discardOutput(Connection& c);
    void log(const std::string& line) const;
    std::string tag(const Connection& c) const;

    void capture(const Connection& c, const uint8_t* data, size_t size, bool fromClient);
    void captureClose(const Connection& c);

    Simulator& owner_;
    SimulatorOptions options_;
    std::unique_ptr<PcapWriter> pcap_;
    Fd listen_, wakeRead_, wakeWrite_, ptySlave_;
    std::vector<std::unique_ptr<Connection>> conns_;
    std::thread thread_;
    uint64_t nextConnection_ = 1;
};

void Simulator::Server::log(const std::string& line) const
{
    if (options_.log)
        options_.log(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

std::string Simulator::Server::tag(const Connection& c) const
{
    return c.isPty() ? std::string("[pty] ") : "[" + std::to_string(c.number) + " " + c.peer + "] ";
}

void Simulator::Server::openListener()
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(options_.port);
    int rc = getaddrinfo(options_.host.empty() ? nullptr : options_.host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) throw std::runtime_error("cannot resolve host \"" + options_.host + "\": " + gai_strerror(rc));
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);

    std::string lastError = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        Fd fd(socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
        if (!fd.valid()) {
            lastError = systemError("socket");
            continue;
        }
        int yes = 1;
        setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || listen(fd.get(), 64) != 0) {
            lastError = std::strerror(errno);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &length);
        char portText[NI_MAXSERV] = "";
        getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, nullptr, 0, portText, sizeof portText, NI_NUMERICSERV);
        port = static_cast<uint16_t>(std::atoi(portText));
        listen_ = std::move(fd);
        return;
    }
    throw std::runtime_error("cannot listen on " + options_.host + ":" + service + ": " + lastError +
                             " (is another simulator running? choose another --port, or 0 for any free one)");
}

void Simulator::Server::openPty()
{
    Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid()) throw std::runtime_error(systemError("cannot open a pseudo-terminal"));
    if (grantpt(master.get()) != 0 || unlockpt(master.get()) != 0)
        throw std::runtime_error(systemError("cannot unlock the pseudo-terminal"));
    char name[128];
    if (ptsname_r(master.get(), name, sizeof name) != 0)
        throw std::runtime_error(systemError("cannot name the pseudo-terminal"));
    // Held open so that the line stays up between clients; raw so that no
    // byte of a frame is echoed or translated.
    Fd slave(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid()) throw std::runtime_error(systemError(std::string("cannot open ") + name));
    termios tio{};
    if (tcgetattr(slave.get(), &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave.get(), TCSANOW, &tio);
    }
    setNonBlocking(master.get());
    ptyPath = name;
    ptySlave_ = std::move(slave);
    conns_.push_back(std::make_unique<Connection>(std::move(master), kPtyConnection, name, options_.faults));
}

void Simulator::Server::start()
{
    if (running) return;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error(systemError("pipe"));
    wakeRead_ = Fd(pipeFds[0]);
    wakeWrite_ = Fd(pipeFds[1]);
    if (options_.tcp) openListener();
    if (options_.pty) openPty();
    if (!options_.pcapPath.empty()) pcap_ = std::make_unique<PcapWriter>(options_.pcapPath);
    if (!listen_.valid() && conns_.empty()) throw std::runtime_error("nothing to serve: neither TCP nor --pty");
    if (options_.signals) owner_.applySignals(0);
    running = true;
    thread_ = std::thread([this] { run(); });
}

void Simulator::Server::stop()
{
    if (thread_.joinable()) {
        char byte = 1;
        ssize_t ignored = write(wakeWrite_.get(), &byte, 1);
        (void)ignored;
        thread_.join();
    }
    running = false;
    conns_.clear();
    unsentBytes = 0;
    listen_.reset();
    ptySlave_.reset();
    wakeRead_.reset();
    wakeWrite_.reset();
}

void Simulator::Server::run()
{
    const Clock::time_point started = Clock::now();
    uint64_t nextSecond = 1;
    std::vector<pollfd> fds;
    for (;;) {
        Clock::time_point now = Clock::now();
        if (options_.signals && now >= started + std::chrono::seconds(nextSecond)) {
            nextSecond = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now - started).count());
            owner_.applySignals(nextSecond);
            ++nextSecond;
        }

        // Wake for the earliest held-back reply piece or the next signal tick.
        Clock::time_point wake = now + std::chrono::seconds(1);
        if (options_.signals) wake = std::min(wake, started + std::chrono::seconds(nextSecond));
        fds.clear();
        fds.push_back({wakeRead_.get(), POLLIN, 0});
        if (listen_.valid()) fds.push_back({listen_.get(), POLLIN, 0});
        const size_t firstConnection = fds.size();
        for (const auto& c : conns_) {
            short events = c->peerClosed ? 0 : POLLIN;
            if (!c->out.empty()) {
                if (c->out.front().due <= now)
                    events |= POLLOUT;
                else
                    wake = std::min(wake, c->out.front().due);
            }
            // A closed peer keeps reporting a hang-up: leave it out until a
            // held-back reply is due, instead of spinning on it.
            fds.push_back({events ? c->fd.get() : -1, events, 0});
        }
        auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1;
        int ready = poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(0, waitMs)));
        if (ready < 0 && errno != EINTR) {
            log(systemError("simulator stopped: poll"));
            break;
        }
        if (fds[0].revents & POLLIN) break;
        if (listen_.valid() && (fds[1].revents & POLLIN)) acceptClients();

        now = Clock::now();
        // acceptClients() appended connections that were not polled this round.
        for (size_t i = 0; i + firstConnection < fds.size() && i < conns_.size(); ++i) {
            Connection& c = *conns_[i];
            short revents = fds[i + firstConnection].revents;
            if (revents & (POLLIN | POLLHUP | POLLERR)) readFrom(c);
            flush(c, Clock::now());
        }
        for (auto it = conns_.begin(); it != conns_.end();) {
            Connection& c = **it;
            bool done = c.closeNow || (c.peerClosed && c.out.empty());
            if (done && !c.isPty()) {
                log(tag(c) + "disconnected");
                captureClose(c);
                discardOutput(c);
                it = conns_.erase(it);
            } else {
                ++it;
            }
        }
    }
    running = false;
}

void Simulator::Server::acceptClients()
{
    for (;;) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        Fd fd(accept4(listen_.get(), reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) return;  // EAGAIN: no more waiting, or a transient error
        char host[NI_MAXHOST] = "?";
        char serv[NI_MAXSERV] = "?";
        getnameinfo(reinterpret_cast<sockaddr*>(&from), length, host, sizeof host, serv, sizeof serv,
                    NI_NUMERICHOST | NI_NUMERICSERV);
        std::string peer = std::string(host) + ":" + serv;
        if (conns_.size() >= kMaxConnections) {
            log("refused " + peer + ": already " + std::to_string(kMaxConnections) + " clients");
            continue;
        }
        int yes = 1;
        setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ++connections;
        auto c = std::make_unique<Connection>(std::move(fd), nextConnection_++, peer, options_.faults);
        c->peerIp = PcapWriter::ipv4(host);
        c->peerPort = static_cast<uint16_t>(std::strtoul(serv, nullptr, 10));
        log(tag(*c) + "connected");
        conns_.push_back(std::move(c));
    }
}

void Simulator::Server::readFrom(Connection& c)
{
    uint8_t chunk[kReadChunk];
    for (;;) {
        ssize_t n = c.isPty() ? read(c.fd.get(), chunk, sizeof chunk) : recv(c.fd.get(), chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            // A pseudo-terminal reports EIO while no client holds it open.
            if (!c.isPty()) c.peerClosed = true;
            return;
        }
        if (n < 0) return;
        capture(c, chunk, static_cast<size_t>(n), true);
        c.frames.feed(chunk, static_cast<size_t>(n));
        while (!c.closeNow) {
            auto frame = c.frames.next();
            if (!frame) break;
            serve(c, *frame);
        }
        if (c.frames.broken()) {
            breakStream(c, c.frames.error());
            return;
        }
        if (c.closeNow) return;
    }
}

void Simulator::Server::breakStream(Connection& c, const std::string& reason)
{
    if (c.closeNow) return;
    if (c.isPty()) {
        // The line stays; what was received is thrown away and the next request starts afresh.
        log(tag(c) + "discarding input: " + reason);
        c.frames.reset();
        return;
    }
    log(tag(c) + "dropping the connection: " + reason);
    ++dropped;
    c.closeNow = true;
}

void Simulator::Server::countFault(const FaultDecision& d)
{
    ++faults;
    if (d.replace == Replacement::Drop) ++drops;
    if (d.replace == Replacement::Exception) ++exceptions;
    if (d.replace == Replacement::Garbage) ++garbage;
    if (d.stale) ++stales;
    if (d.split) ++splits;
    if (d.delay) ++delays;
}

void Simulator::Server::queued(Connection& c, size_t bytes)
{
    c.outBytes += bytes;
    unsentBytes += bytes;
}

void Simulator::Server::discardOutput(Connection& c)
{
    unsentBytes -= c.outBytes;
    c.out.clear();
    c.outBytes = 0;
}

void Simulator::Server::serve(Connection& c, const std::vector<uint8_t>& request)
{
    ++requests;
    FaultDecision decision;
    if (options_.faults.any()) decision = c.faults.decide();
    const bool execute = decision.replace == Replacement::None || decision.replace == Replacement::Drop;

    std::vector<uint8_t> reply;
    if (execute) reply = owner_.withMemory([&](plc::Memory& m) { return m.handle(request); });
    // A write is carried out when the registers took it: no exception came back.
    if (execute && isWrite(request) && reply.size() >= 8 && reply[7] == request[7]) ++writesCarriedOut;
    std::vector<Send> sends = c.faults.shape(decision, request, reply);

    if (options_.verbose) log(tag(c) + "<- " + plc::describeFrame(request, true));
    if (decision.any()) {
        countFault(decision);
        if (options_.verbose) log(tag(c) + "fault: " + decision.describe());
    }
    Clock::time_point at = Clock::now();
    if (!c.out.empty()) at = std::max(at, c.out.back().due);
    for (Send& s : sends) {
        if (options_.verbose) log(tag(c) + "-> " + plc::describeFrame(s.bytes, false));
        at += std::chrono::milliseconds(s.afterMs);
        queued(c, s.bytes.size());
        c.out.push_back({at, std::move(s.bytes), 0});
    }
    if (!sends.empty()) ++replies;
    if (c.outBytes > kMaxPendingBytes) {
        if (c.isPty()) {
            log(tag(c) + "nobody reads the replies: discarding them");
            discardOutput(c);
        } else {
            breakStream(c, "client does not read its replies");
        }
    }
    // Last, so that a reader who sees the bytes counted also sees the reply queued.
    requestBytes += request.size();
}

// Only TCP conversations have addresses to show in a capture.
void Simulator::Server::capture(const Connection& c, const uint8_t* data, size_t size, bool fromClient)
{
    if (!pcap_ || c.isPty()) return;
    pcap_->record(c.peerIp, c.peerPort, PcapWriter::ipv4(options_.host), port, data, size, fromClient);
}

void Simulator::Server::captureClose(const Connection& c)
{
    if (!pcap_ || c.isPty()) return;
    pcap_->close(c.peerIp, c.peerPort, PcapWriter::ipv4(options_.host), port, c.peerClosed);
}

void Simulator::Server::flush(Connection& c, Clock::time_point now)
{
    while (!c.out.empty() && c.out.front().due <= now && !c.closeNow) {
        Pending& p = c.out.front();
        const uint8_t* data = p.bytes.data() + p.offset;
        size_t left = p.bytes.size() - p.offset;
        ssize_t n = c.isPty() ? write(c.fd.get(), data, left) : send(c.fd.get(), data, left, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
            if (c.isPty()) {
                discardOutput(c);
                return;
            }
            c.closeNow = true;  // the peer is gone
            return;
        }
        capture(c, data, static_cast<size_t>(n), false);
        p.offset += static_cast<size_t>(n);
        if (p.offset < p.bytes.size()) return;
        c.outBytes -= p.bytes.size();
        unsentBytes -= p.bytes.size();
        c.out.pop_front();
    }
}

// --------------------------------------------------------------- Simulator

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {}

Simulator::~Simulator()
{
    stop();
}

void Simulator::start()
{
    if (server_ && server_->running) return;
    server_ = std::make_unique<Server>(*this, options_);
    try {
        server_->start();
    } catch (...) {
        server_.reset();
        throw;
    }
}

void Simulator::stop()
{
    if (server_) server_->stop();
}

bool Simulator::running() const
{
    return server_ && server_->running;
}

uint16_t Simulator::port() const
{
    return server_ ? server_->port : 0;
}

std::string Simulator::ptyPath() const
{
    return server_ ? server_->ptyPath : std::string();
}

SimulatorStats Simulator::stats() const
{
    SimulatorStats s;
    if (!server_) return s;
    s.connections = server_->connections;
    s.dropped = server_->dropped;
    s.requests = server_->requests;
    s.replies = server_->replies;
    s.faults = server_->faults;
    s.faultsByKind.drops = server_->drops;
    s.faultsByKind.delays = server_->delays;
    s.faultsByKind.stales = server_->stales;
    s.faultsByKind.splits = server_->splits;
    s.faultsByKind.garbage = server_->garbage;
    s.faultsByKind.exceptions = server_->exceptions;
    s.requestBytes = server_->requestBytes;
    s.writesCarriedOut = server_->writesCarriedOut;
    s.unsentBytes = server_->unsentBytes;
    return s;
}

void Simulator::applySignals(uint64_t second)
{
    static const int kAreaD = plc::areaIndexFromName("D");
    static const int kAreaM = plc::areaIndexFromName("M");
    const double sine = kSineAmplitude * std::sin(2.0 * kPi * static_cast<double>(second) / kSinePeriodSeconds);
    const std::vector<uint16_t> sineWords =
        plc::toRegisters(plc::wireOrder(plc::canonicalFloat(*plc::parseValueType("DF"), sine), 0));
    withMemory([&](plc::Memory& m) {
        m.setWord(kAreaD, 0, static_cast<uint16_t>(second & 0xFFFF));
        m.setWord(kAreaD, 2, sineWords[0]);
        m.setWord(kAreaD, 3, sineWords[1]);
        m.setBit(kAreaM, 0, second % 2 == 1);
        return 0;
    });
}

}  // namespace vemo
