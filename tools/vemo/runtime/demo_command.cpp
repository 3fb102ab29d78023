// vemo demo: the whole chain in one process and one command. A simulated
// controller with live values on a free loopback port, the built driver
// loaded as the runtime loads it, the bundled sample configuration, and
// the live table of what the driver collects.
#include <iostream>
#include <memory>

#include "commands.h"
#include "runtime/config_source.h"
#include "runtime/connection_options.h"
#include "runtime/poll_loop.h"
#include "runtime/view.h"
#include "sim/init_file.h"
#include "sim/simulator.h"

namespace vemo {

namespace {

struct DemoSettings {
    double seconds = 0;
    uint16_t port = 0;
    int intervalMs = 200;
    std::string driver;
};

int runDemo(const DemoSettings& settings)
{
    const runtime::LoadedConfig config = runtime::loadConfig("", "");
    const std::string initPath = runtime::samplePath("demo_init.toml");
    const std::vector<RegisterWrite> init = parseInitFile(initPath);

    SimulatorOptions simOptions;
    simOptions.host = "127.0.0.1";
    simOptions.port = settings.port;
    simOptions.signals = true;
    // Its connection log would tear the live table.
    simOptions.log = [](const std::string&) {};
    Simulator simulator(simOptions);
    simulator.withMemory([&](plc::Memory& memory) { applyInit(init, memory); });
    simulator.start();

    const std::string driver = runtime::resolveDriverPath(settings.driver);
    auto channel = std::make_unique<runtime::TcpChannel>("127.0.0.1", simulator.port());
    runtime::Session session(driver, config.blob, std::move(channel));

    runtime::ViewContext context;
    context.title = "vemo demo";
    context.configSource = config.source;
    runtime::LoopOptions loop;
    loop.seconds = settings.seconds;
    loop.intervalMs = settings.intervalMs;
    auto refresh = [&](runtime::ViewContext& view) {
        view.notes = {
            "driver " + runtime::shortPath(driver),
            "simulator: " + std::to_string(simulator.stats().requests) + " requests served, initial values from " +
                runtime::shortPath(initPath),
            "live signals, once a second: D0 counts up, D2-D3 a sine (float), M0 toggles" +
                std::string(settings.seconds > 0 ? "" : "   (Ctrl-C stops)"),
        };
    };
    const int code = runtime::runPollLoop(session, loop, context, std::cout, refresh);
    simulator.stop();
    return code;
}

}  // namespace

void addDemoCommand(CLI::App& app)
{
    auto settings = std::make_shared<DemoSettings>();
    CLI::App* demo = app.add_subcommand(
        "demo",
        "simulated controller + the built driver + the sample configuration: watch live values (no arguments needed)");
    demo->add_option("--seconds", settings->seconds, "stop after this many seconds (default: until Ctrl-C)")
        ->check(CLI::NonNegativeNumber);
    demo->add_option("--port", settings->port, "loopback port for the simulator (default: any free port)");
    demo->add_option("--interval", settings->intervalMs, "pause between full cycles (ms)")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    demo->add_option("--driver", settings->driver, "driver library to load; default: the one built with this program");
    demo->callback([settings] { runtime::runGuarded("demo", [&] { return runDemo(*settings); }); });
}

}  // namespace vemo
