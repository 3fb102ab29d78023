#include "runtime/config_source.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "config/blob_compiler.h"
#include "config/device_config.h"

#ifndef VEMO_DEFAULT_DRIVER
#define VEMO_DEFAULT_DRIVER ""
#endif
#ifndef VEMO_SAMPLE_DIR
#define VEMO_SAMPLE_DIR ""
#endif

namespace vemo::runtime {

namespace {

// A configuration blob is a few kilobytes; anything far larger is not one.
const std::streamsize MAX_BLOB_BYTES = 64 << 20;
const char DRIVER_FILE[] = "libdravik_vemo_pna.so";

bool isFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

std::vector<uint8_t> readBlob(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the blob " + path + " (make one with `vemo config compile`)");
    in.seekg(0, std::ios::end);
    std::streamsize size = in.tellg();
    if (size > MAX_BLOB_BYTES) throw std::runtime_error(path + " is too large for a configuration blob");
    in.seekg(0);
    std::vector<uint8_t> blob(static_cast<size_t>(size > 0 ? size : 0));
    if (!blob.empty()) in.read(reinterpret_cast<char*>(blob.data()), size);
    if (!in) throw std::runtime_error("cannot read the blob " + path);
    return blob;
}

std::string parentOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string executableDir()
{
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = '\0';
    return parentOf(buffer);
}

std::string samplePath(const std::string& fileName)
{
    // The source tree's samples, then a copy near the executable (build
    // tree or installed), then the working directory.
    const std::string exe = executableDir();
    std::vector<std::string> candidates;
    if (*VEMO_SAMPLE_DIR) candidates.push_back(std::string(VEMO_SAMPLE_DIR) + "/" + fileName);
    for (const char* up :
         {"/samples/", "/../samples/", "/../../samples/", "/../../../samples/", "/../share/vemo/samples/"}) {
        candidates.push_back(exe + up + fileName);
    }
    candidates.push_back("samples/" + fileName);
    for (const std::string& c : candidates) {
        if (isFile(c)) return c;
    }
    std::string tried;
    for (const std::string& c : candidates) tried += "\n  " + c;
    throw std::runtime_error("cannot find the sample " + fileName + "; looked in:" + tried);
}

std::string resolveDriverPath(const std::string& given)
{
    if (!given.empty()) return given;
    if (*VEMO_DEFAULT_DRIVER && isFile(VEMO_DEFAULT_DRIVER)) return VEMO_DEFAULT_DRIVER;
    const std::string exe = executableDir();
    for (const char* dir : {"/", "/../", "/../lib/"}) {
        std::string candidate = exe + dir + DRIVER_FILE;
        if (isFile(candidate)) return candidate;
    }
    // Not found anywhere: name the expected place, the loader explains.
    return *VEMO_DEFAULT_DRIVER ? VEMO_DEFAULT_DRIVER : exe + "/../" + DRIVER_FILE;
}

LoadedConfig loadConfig(const std::string& tomlPath, const std::string& blobPath)
{
    if (!tomlPath.empty() && !blobPath.empty()) throw std::runtime_error("give either --config or --blob, not both");
    LoadedConfig loaded;
    if (!blobPath.empty()) {
        loaded.source = blobPath;
        loaded.blob = readBlob(blobPath);
        return loaded;
    }
    loaded.source = tomlPath.empty() ? samplePath("demo.toml") : tomlPath;
    CompileResult compiled = compileBlob(loadDeviceConfig(loaded.source));
    loaded.blob = std::move(compiled.blob);
    loaded.warnings = std::move(compiled.warnings);
    return loaded;
}

}  // namespace vemo::runtime
