// Command-line options that poll, write and ioctl share: which
// configuration, which driver, and the way to the controller.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/session.h"

namespace vemo::runtime {

struct ConnectionOptions {
    std::string config;
    std::string blob;
    std::string host = "127.0.0.1";
    uint16_t port = 15020;
    std::string serial;
    int baud = 9600;
    std::string parity = "N";
    std::string driver;
    std::string deviceName = "vemo";
    int connectTimeoutMs = 3000;

    void addTo(CLI::App& command);
    // The configuration, the channel and the set-up device; prints the
    // compiler's warnings to stderr.
    std::unique_ptr<Session> open(std::string& configSource) const;
};

// Runs a command body; any exception becomes a message on stderr,
// "vemo NAME: ...", and exit code 2.
void runGuarded(const char* command, const std::function<int()>& body);

}  // namespace vemo::runtime
