#include "config/config_input.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "config/blob_compiler.h"
#include "config/device_config.h"
#include "config/toml_input.h"

namespace vemo {

std::vector<uint8_t> readBlobFile(const std::string& path)
{
    const std::string bytes = readFile(path, kMaxBlobFileBytes);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void writeBlobFile(const std::string& path, const std::vector<uint8_t>& blob)
{
    // Written next to the target and renamed, so a failed write leaves no half blob.
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + temporary + ": " + std::strerror(errno));
        out.write(reinterpret_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.size()));
        out.close();
        if (!out) throw std::runtime_error("writing " + temporary + " failed: " + std::strerror(errno));
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::string reason = std::strerror(errno);
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot replace " + path + ": " + reason);
    }
}

std::vector<uint8_t> loadConfigBlob(const std::string& path, InputKind kind, std::vector<std::string>& warnings)
{
    if (kind == InputKind::Auto) {
        const std::string suffix = ".toml";
        const bool toml =
            path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
        kind = toml ? InputKind::Toml : InputKind::Blob;
    }
    if (kind == InputKind::Blob) return readBlobFile(path);
    CompileResult result = compileBlob(loadDeviceConfig(path));
    warnings.insert(warnings.end(), result.warnings.begin(), result.warnings.end());
    return result.blob;
}

}  // namespace vemo
