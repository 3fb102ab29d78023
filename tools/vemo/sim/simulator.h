// vemo::Simulator: a controller that serves the protocol on TCP and, on
// request, on a pseudo-terminal, from one background thread.
//
//   vemo::SimulatorOptions options;
//   options.port = 0;          // any free loopback port
//   options.signals = true;    // counter, sine and toggling bit (see below)
//   vemo::Simulator sim(options);
//   sim.start();               // throws std::runtime_error when it cannot listen
//   ... connect to 127.0.0.1:sim.port() ...
//   sim.withMemory([](plc::Memory& m) { m.setWord(plc::areaIndexFromName("D"), 100, 42); });
//   sim.stop();                // also done by the destructor
//
// Live signals (options.signals), updated once a second:
//   D0     16-bit counter, +1 per second, wraps at 65535 (read it as "WUB")
//   D2-D3  sine, amplitude 100, period 20 s, as a 32-bit float with the float
//          byte order "0 - 1234" (D2 holds the high half; read it as "DF")
//   M0     toggles every second
//
// Faults (options.faults) are drawn per request from a generator seeded with
// the seed and the connection's number (1, 2, ... in accept order; the
// pseudo-terminal is connection 0), so a run with the same requests repeats.
// A dropped reply still carries out the request (the reply is lost on the
// way); an injected exception or garbage reply does not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "plc/plc_model.h"

namespace vemo {

// Default port of `vemo sim` (an unprivileged neighbour of the usual 502).
constexpr uint16_t kDefaultSimPort = 15020;

struct FaultOptions {
    uint32_t seed = 1;
    double drop = 0;   // no reply at all
    double delay = 0;  // reply held back for delayMs
    int delayMs = 0;
    // Above delayMs: each delay is drawn evenly from delayMs ... delayMaxMs,
    // so one run holds replies back both shorter and longer than a wait time.
    int delayMaxMs = 0;
    double stale = 0;      // a copy with the previous transaction number goes first
    double split = 0;      // reply sent in pieces, a short pause apart
    double garbage = 0;    // random bytes instead of the reply
    double exception = 0;  // an exception reply (code 4, device failure) instead

    bool any() const { return drop > 0 || delay > 0 || stale > 0 || split > 0 || garbage > 0 || exception > 0; }
};

struct SimulatorOptions {
    std::string host = "127.0.0.1";
    uint16_t port = kDefaultSimPort;  // 0: the system picks a free port
    bool tcp = true;                  // false: serve only the pseudo-terminal
    bool pty = false;                 // also serve a pseudo-terminal (see ptyPath())
    bool signals = false;             // live values, see above
    bool verbose = false;             // log every request and reply, decoded
    std::string pcapPath;             // record the TCP conversations there (classic pcap)
    FaultOptions faults;
    // Where log lines go (connections, verbose frames, faults); stderr when empty.
    std::function<void(const std::string&)> log;
};

// Faults injected, by kind; one request may get several (stale+split+delay).
struct FaultCounts {
    uint64_t drops = 0;
    uint64_t delays = 0;
    uint64_t stales = 0;
    uint64_t splits = 0;
    uint64_t garbage = 0;
    uint64_t exceptions = 0;
};

struct SimulatorStats {
    uint64_t connections = 0;  // accepted so far
    uint64_t dropped = 0;      // connections closed for a broken stream
    uint64_t requests = 0;     // complete frames handled
    uint64_t replies = 0;      // replies sent (injected ones included)
    uint64_t faults = 0;       // requests that got a fault injected
    FaultCounts faultsByKind;
    uint64_t requestBytes = 0;      // bytes of the complete frames handled
    uint64_t writesCarriedOut = 0;  // write requests whose values reached the registers
    uint64_t unsentBytes = 0;       // reply bytes queued (or held back) and not yet sent
};

class Simulator {
public:
    explicit Simulator(SimulatorOptions options = SimulatorOptions());
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the listening socket (and the pseudo-terminal) and starts serving.
    // Throws std::runtime_error with the reason when it cannot.
    void start();
    // Closes every connection and joins the thread; safe to call twice.
    void stop();
    bool running() const;

    // The bound TCP port (the chosen one when options.port was 0); 0 before start().
    uint16_t port() const;
    // Device path of the pseudo-terminal's client side, empty without one.
    std::string ptyPath() const;

    // Runs f with the register memory locked; the server thread takes the
    // same lock for every request, so f sees no half-served request.
    template <class F>
    auto withMemory(F&& f)
    {
        std::lock_guard<std::mutex> lock(memoryMutex_);
        return f(memory_);
    }

    SimulatorStats stats() const;

    // Applies the live signals for a given number of seconds since start
    // (the server thread calls it once a second; tests may call it directly).
    void applySignals(uint64_t second);

private:
    class Server;

    SimulatorOptions options_;
    std::mutex memoryMutex_;
    plc::Memory memory_;
    std::unique_ptr<Server> server_;
};

}  // namespace vemo
