// `vemo sim`: the controller simulator on the command line.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "commands.h"
#include "config/toml_input.h"
#include "sim/init_file.h"
#include "sim/simulator.h"

namespace vemo {
namespace {

struct SimArgs {
    SimulatorOptions options;
    std::string initFile;
    std::string delay;  // "P:MS"
    double seconds = 0;
    bool ptyOnly = false;
};

void parseDelay(const std::string& text, FaultOptions& faults)
{
    size_t colon = text.find(':');
    try {
        if (colon == std::string::npos) throw std::invalid_argument("no colon");
        size_t used = 0;
        faults.delay = std::stod(text.substr(0, colon), &used);
        if (used != colon) throw std::invalid_argument("probability");
        std::string ms = text.substr(colon + 1);
        faults.delayMs = std::stoi(ms, &used);
        if (used != ms.size()) throw std::invalid_argument("milliseconds");
    } catch (const std::exception&) {
        throw CLI::ValidationError("--delay", "expected PROBABILITY:MILLISECONDS, e.g. 0.1:500, not \"" + text + "\"");
    }
    if (faults.delay < 0 || faults.delay > 1 || faults.delayMs < 0 || faults.delayMs > 600000)
        throw CLI::ValidationError("--delay", "probability 0 ... 1 and 0 ... 600000 ms, not \"" + text + "\"");
}

// Waits for Ctrl-C / SIGTERM or the end of the run time (0: no end).
void waitForEnd(double seconds, const sigset_t& stopSignals)
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(seconds);
    deadline.tv_nsec += static_cast<long>((seconds - static_cast<double>(static_cast<time_t>(seconds))) * 1e9);
    for (;;) {
        timespec wait{1, 0};
        if (seconds > 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            double left = static_cast<double>(deadline.tv_sec - now.tv_sec) +
                          static_cast<double>(deadline.tv_nsec - now.tv_nsec) / 1e9;
            if (left <= 0) return;
            if (left < 1) wait = {0, static_cast<long>(left * 1e9)};
        }
        if (sigtimedwait(&stopSignals, nullptr, &wait) > 0) return;
    }
}

void runSim(SimArgs& args)
{
    SimulatorOptions& o = args.options;
    if (!args.delay.empty()) parseDelay(args.delay, o.faults);
    if (args.ptyOnly) {
        o.tcp = false;
        o.pty = true;
    }

    std::vector<RegisterWrite> init;
    if (!args.initFile.empty()) {
        try {
            init = parseInitFile(args.initFile);
        } catch (const std::runtime_error& e) {
            std::fprintf(stderr, "vemo sim: %s\n", e.what());
            throw CLI::RuntimeError(2);
        }
    }

    // Blocked before the server thread starts, so that only sigtimedwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Simulator sim(o);
    sim.withMemory([&](plc::Memory& m) {
        applyInit(init, m);
        return 0;
    });
    try {
        sim.start();
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vemo sim: %s\n", e.what());
        throw CLI::RuntimeError(1);
    }
    if (o.tcp) std::printf("vemo sim: listening on %s:%u\n", o.host.c_str(), static_cast<unsigned>(sim.port()));
    if (o.pty) std::printf("vemo sim: serial line on %s\n", sim.ptyPath().c_str());
    if (!init.empty()) std::printf("vemo sim: %zu initial value sets from %s\n", init.size(), args.initFile.c_str());
    if (o.signals)
        std::printf("vemo sim: live signals: D0 counter (WUB), D2-D3 sine (DF, order 0 - 1234), M0 toggling\n");
    if (o.faults.any()) std::printf("vemo sim: injecting faults, seed %u\n", static_cast<unsigned>(o.faults.seed));
    if (args.seconds > 0)
        std::printf("vemo sim: stopping after %g s\n", args.seconds);
    else
        std::printf("vemo sim: press Ctrl-C to stop\n");
    std::fflush(stdout);

    waitForEnd(args.seconds, stopSignals);
    SimulatorStats s = sim.stats();
    sim.stop();
    std::printf("vemo sim: stopped; %llu requests from %llu connections, %llu replies, %llu faults injected\n",
                static_cast<unsigned long long>(s.requests), static_cast<unsigned long long>(s.connections),
                static_cast<unsigned long long>(s.replies), static_cast<unsigned long long>(s.faults));
}

}  // namespace

void addSimCommand(CLI::App& app)
{
    auto args = std::make_shared<SimArgs>();
    CLI::App* sim = app.add_subcommand("sim", "Run a controller simulator (TCP and/or a pseudo-terminal)");
    SimulatorOptions& o = args->options;
    sim->add_option("--host", o.host, "Address to listen on")->capture_default_str();
    sim->add_option("--port", o.port, "TCP port (0: any free port, printed at start)")->capture_default_str();
    sim->add_flag("--pty", o.pty, "Also serve a pseudo-terminal (its device path is printed) for serial tests");
    sim->add_flag("--pty-only", args->ptyOnly, "Serve only the pseudo-terminal, no TCP");
    sim->add_option("--init", args->initFile, "TOML file of initial register values ([[set]] area, address, ...)")
        ->check(CLI::ExistingFile);
    sim->add_flag("--signals", o.signals,
                  "Live values: D0 counts seconds (WUB), D2-D3 a sine (DF, order 0), M0 toggles each second");
    sim->add_flag("-v,--verbose", o.verbose, "Print every request and reply, decoded");
    sim->add_option("--pcap", o.pcapPath, "Record the TCP traffic into this file (classic pcap, for Wireshark/tshark)");
    sim->add_option("--seconds", args->seconds, "Stop after this many seconds (default: run until Ctrl-C)")
        ->check(CLI::NonNegativeNumber);
    auto probability = CLI::Range(0.0, 1.0);
    sim->add_option("--seed", o.faults.seed, "Seed of the fault injection: the same seed repeats a run")
        ->capture_default_str();
    sim->add_option("--drop", o.faults.drop, "Probability of sending no reply")->check(probability);
    sim->add_option("--delay", args->delay, "P:MS: with probability P hold the reply back MS milliseconds");
    sim->add_option("--stale", o.faults.stale, "Probability of a stale reply (previous transaction) first")
        ->check(probability);
    sim->add_option("--split", o.faults.split, "Probability of sending the reply in pieces")->check(probability);
    sim->add_option("--garbage", o.faults.garbage, "Probability of random bytes instead of the reply")
        ->check(probability);
    sim->add_option("--exception", o.faults.exception, "Probability of an exception reply instead")->check(probability);
    sim->callback([args]() { runSim(*args); });
}

}  // namespace vemo
