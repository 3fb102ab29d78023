// `vemo config compile` and `vemo config dump`.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "config/blob_compiler.h"
#include "config/blob_dump.h"
#include "config/config_input.h"
#include "config/device_config.h"

namespace vemo {
namespace {

struct ConfigArgs {
    std::string input;
    std::string output;
    bool toml = false;
};

void printWarnings(const std::vector<std::string>& warnings)
{
    for (const std::string& w : warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
}

void runCompile(const ConfigArgs& args)
{
    try {
        DeviceConfig config = loadDeviceConfig(args.input);
        CompileResult result = compileBlob(config);
        printWarnings(result.warnings);
        const std::string output =
            args.output.empty() ? args.input.substr(0, args.input.rfind(".toml")) + ".blob" : args.output;
        writeBlobFile(output, result.blob);
        std::printf("%s: %zu run(s), %d channel(s), %zu bytes written to %s\n", args.input.c_str(), config.runs.size(),
                    result.rows, result.blob.size(), output.c_str());
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vemo config compile: %s\n", e.what());
        throw CLI::RuntimeError(2);
    }
}

void runDump(const ConfigArgs& args)
{
    try {
        const std::vector<uint8_t> blob = readBlobFile(args.input);
        if (args.toml) {
            TomlDump dump = dumpBlobToml(blob, args.input);
            printWarnings(dump.warnings);
            std::fputs(dump.text.c_str(), stdout);
        } else {
            std::fputs(dumpBlobText(blob).c_str(), stdout);
        }
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vemo config dump: %s\n", e.what());
        throw CLI::RuntimeError(2);
    }
}

}  // namespace

void addConfigCommand(CLI::App& app)
{
    CLI::App* config =
        app.add_subcommand("config", "Compile a device description into a configuration blob, or dump one");
    config->require_subcommand(1);

    auto compile = std::make_shared<ConfigArgs>();
    CLI::App* c = config->add_subcommand("compile", "TOML device description -> configuration blob");
    c->add_option("input", compile->input, "Device description (.toml)")->required()->check(CLI::ExistingFile);
    c->add_option("-o,--output", compile->output, "Blob file to write (default: the input's name with .blob)");
    c->callback([compile]() { runCompile(*compile); });

    auto dump = std::make_shared<ConfigArgs>();
    CLI::App* d = config->add_subcommand("dump", "Print a configuration blob as text (any blob, also a broken one)");
    d->add_option("blob", dump->input, "Blob file")->required()->check(CLI::ExistingFile);
    d->add_flag("--toml", dump->toml, "Print it as a device description that compiles back to the same blob");
    d->callback([dump]() { runDump(*dump); });
}

}  // namespace vemo
