// vemo poll: the driver collecting from a controller, as a live table.
#include <iostream>
#include <memory>

#include "commands.h"
#include "runtime/connection_options.h"
#include "runtime/poll_loop.h"

namespace vemo {

namespace {

struct PollSettings {
    runtime::ConnectionOptions connection;
    runtime::LoopOptions loop;
};

}  // namespace

void addPollCommand(CLI::App& app)
{
    auto settings = std::make_shared<PollSettings>();
    CLI::App* poll = app.add_subcommand(
        "poll", "run the driver against a controller and show its channels live, with collection statistics");
    settings->connection.addTo(*poll);
    auto* once = poll->add_flag("--once", settings->loop.once,
                                "one full cycle, print the table and exit (non-zero if a request failed)");
    poll->add_flag("--json", settings->loop.json, "with --once: print JSON instead of the table")->needs(once);
    poll->add_option("--interval", settings->loop.intervalMs, "pause between full cycles (ms)")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    poll->add_option("--seconds", settings->loop.seconds, "stop after this many seconds (default: until Ctrl-C)")
        ->check(CLI::NonNegativeNumber);
    poll->callback([settings] {
        runtime::runGuarded("poll", [&] {
            runtime::ViewContext context;
            context.title = "vemo poll";
            std::unique_ptr<runtime::Session> session = settings->connection.open(context.configSource);
            return runtime::runPollLoop(*session, settings->loop, context, std::cout);
        });
    });
}

}  // namespace vemo
