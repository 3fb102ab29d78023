#include "runtime/connection_options.h"

#include <cctype>
#include <iostream>
#include <stdexcept>

#include "runtime/config_source.h"

namespace vemo::runtime {

void ConnectionOptions::addTo(CLI::App& command)
{
    auto* config_ = command.add_option("--config", config, "device description (TOML); default: the bundled sample")
                        ->check(CLI::ExistingFile);
    command.add_option("--blob", blob, "compiled configuration blob instead of --config")
        ->check(CLI::ExistingFile)
        ->excludes(config_);
    command.add_option("--host", host, "controller address (TCP)")->capture_default_str();
    command.add_option("--port", port, "controller port (TCP)")->capture_default_str();
    auto* serial_ = command.add_option("--serial", serial, "serial device instead of TCP, e.g. /dev/ttyUSB0");
    command.add_option("--baud", baud, "serial baud rate")->capture_default_str()->needs(serial_);
    command.add_option("--parity", parity, "serial parity: N, E or O")
        ->capture_default_str()
        ->check(CLI::IsMember({"N", "E", "O"}, CLI::ignore_case))
        ->needs(serial_);
    command.add_option("--driver", driver, "driver library to load; default: the one built with this program");
    command.add_option("--name", deviceName, "device name handed to the driver")->capture_default_str();
    command.add_option("--connect-timeout", connectTimeoutMs, "TCP connect time-out (ms)")->capture_default_str();
}

std::unique_ptr<Session> ConnectionOptions::open(std::string& configSource) const
{
    LoadedConfig loaded = loadConfig(config, blob);
    configSource = loaded.source;
    for (const std::string& warning : loaded.warnings) std::cerr << "warning: " << warning << "\n";
    std::unique_ptr<FdChannel> channel;
    if (!serial.empty()) {
        SerialSettings settings;
        settings.device = serial;
        settings.baud = baud;
        settings.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parity.empty() ? 'N' : parity[0])));
        channel = std::make_unique<SerialChannel>(settings);
    } else {
        channel = std::make_unique<TcpChannel>(host, port, connectTimeoutMs);
    }
    return std::make_unique<Session>(resolveDriverPath(driver), std::move(loaded.blob), std::move(channel), deviceName);
}

void runGuarded(const char* command, const std::function<int()>& body)
{
    int code = 0;
    try {
        code = body();
    } catch (const CLI::Error&) {
        throw;
    } catch (const std::exception& e) {
        std::cerr << "vemo " << command << ": " << e.what() << "\n";
        code = 2;
    }
    if (code != 0) throw CLI::RuntimeError(code);
}

}  // namespace vemo::runtime
