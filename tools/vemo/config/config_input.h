// Loading a configuration given either as a device description (.toml) or
// as a compiled blob.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemo {

enum class InputKind { Auto, Toml, Blob };

// Largest blob file that is read at all.
constexpr size_t kMaxBlobFileBytes = 64u << 20;

// Auto: a name ending in .toml is a description, anything else a blob.
// A description is compiled (its warnings are appended to `warnings`).
// Throws InputError / std::runtime_error with a readable message.
std::vector<uint8_t> loadConfigBlob(const std::string& path, InputKind kind, std::vector<std::string>& warnings);

std::vector<uint8_t> readBlobFile(const std::string& path);
void writeBlobFile(const std::string& path, const std::vector<uint8_t>& blob);

}  // namespace vemo
