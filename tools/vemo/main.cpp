// vemo: try the driver without a panel and without hardware.
#include <cstdio>

#include "commands.h"

int main(int argc, char** argv)
{
    CLI::App app{"vemo: controller simulator, runtime stand-in and configuration compiler for the driver"};
    app.require_subcommand(1);
    vemo::addDemoCommand(app);
    vemo::addSimCommand(app);
    vemo::addPollCommand(app);
    vemo::addWriteCommand(app);
    vemo::addIoctlCommand(app);
    vemo::addConfigCommand(app);
    vemo::addPlanCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return 0;
}
