// Cuts a byte stream from one client into complete request frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vemo {

class FrameAssembler {
public:
    // Appends received bytes. Does nothing once the stream is broken.
    void feed(const uint8_t* data, size_t size);
    // The next complete frame, or std::nullopt while it is still incomplete
    // (or the stream is broken).
    std::optional<std::vector<uint8_t>> next();

    // A frame whose length field cannot belong to a request (longer than
    // plc::kMaxFrameSize, or too short to hold station and function): the
    // stream cannot be resynchronised, the caller should drop it or reset().
    bool broken() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    size_t buffered() const { return buffer_.size(); }
    void reset();

private:
    void check();

    std::vector<uint8_t> buffer_;
    std::string error_;
};

}  // namespace vemo
