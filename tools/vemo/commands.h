// Subcommands of the vemo tool; each file registers its own.
#pragma once

#include <CLI/CLI.hpp>

namespace vemo {

void addSimCommand(CLI::App& app);     // sim/sim_command.cpp
void addConfigCommand(CLI::App& app);  // config/config_command.cpp
void addPlanCommand(CLI::App& app);    // config/plan_command.cpp
void addPollCommand(CLI::App& app);    // runtime/poll_command.cpp
void addWriteCommand(CLI::App& app);   // runtime/write_command.cpp
void addIoctlCommand(CLI::App& app);   // runtime/ioctl_command.cpp
void addDemoCommand(CLI::App& app);    // runtime/demo_command.cpp

}  // namespace vemo
