// Where the tool finds its inputs: the configuration (a TOML description
// compiled on the fly, or a compiled blob), the driver library and the
// bundled samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemo::runtime {

struct LoadedConfig {
    std::vector<uint8_t> blob;
    std::string source;                 // the file it came from
    std::vector<std::string> warnings;  // from the compiler
};

// Exactly one of tomlPath and blobPath may be set; with neither, the
// bundled sample configuration is used. Throws std::runtime_error (or the
// compiler's InputError, which names file and line) when it cannot.
LoadedConfig loadConfig(const std::string& tomlPath, const std::string& blobPath);

// The driver library to load: the given path, else the one built with
// this program, else one found next to the executable.
std::string resolveDriverPath(const std::string& given);

// A file of the bundled samples (e.g. "demo.toml"); throws
// std::runtime_error listing where it looked.
std::string samplePath(const std::string& fileName);

// Directory of the running executable.
std::string executableDir();

}  // namespace vemo::runtime
