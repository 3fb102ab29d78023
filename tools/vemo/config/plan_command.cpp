// `vemo plan`: the driver's block plan for a configuration.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "config/block_plan.h"
#include "config/config_input.h"
#include "config/loaded_device.h"

namespace vemo {
namespace {

struct PlanArgs {
    std::string input;
    bool toml = false;
    bool blob = false;
};

void runPlan(const PlanArgs& args)
{
    try {
        const InputKind kind = args.toml ? InputKind::Toml : args.blob ? InputKind::Blob : InputKind::Auto;
        std::vector<std::string> warnings;
        const std::vector<uint8_t> bytes = loadConfigBlob(args.input, kind, warnings);
        for (const std::string& w : warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
        LoadedDevice device(bytes);
        if (device.refused())
            std::fprintf(stderr, "warning: %s has a newer format marker (%u): the driver reads no channels from it\n",
                         args.input.c_str(), static_cast<unsigned>(device.firstWord()));
        const BlockPlan plan = planCollection(device);
        std::fputs(formatPlan(plan, device).c_str(), stdout);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vemo plan: %s\n", e.what());
        throw CLI::RuntimeError(2);
    }
}

}  // namespace

void addPlanCommand(CLI::App& app)
{
    auto args = std::make_shared<PlanArgs>();
    CLI::App* plan = app.add_subcommand("plan", "Show the driver's block plan: which request reads which channels");
    plan->add_option("config", args->input, "Device description (.toml) or configuration blob")
        ->required()
        ->check(CLI::ExistingFile);
    auto* toml = plan->add_flag("--toml", args->toml, "Read the file as a device description whatever its name");
    plan->add_flag("--blob", args->blob, "Read the file as a blob whatever its name")->excludes(toml);
    plan->callback([args]() { runPlan(*args); });
}

}  // namespace vemo
