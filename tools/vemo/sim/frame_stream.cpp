#include "sim/frame_stream.h"

#include "plc/plc_model.h"

namespace vemo {
namespace {
// Header, station and function: anything shorter is no request at all.
constexpr size_t kMinFrameSize = 8;
}  // namespace

void FrameAssembler::feed(const uint8_t* data, size_t size)
{
    if (broken()) return;
    buffer_.insert(buffer_.end(), data, data + size);
    check();
}

void FrameAssembler::check()
{
    std::optional<size_t> length = plc::frameLength(buffer_.data(), buffer_.size());
    if (!length) return;
    if (*length > plc::kMaxFrameSize)
        error_ = "frame length field claims " + std::to_string(*length) + " bytes, more than " +
                 std::to_string(plc::kMaxFrameSize);
    else if (*length < kMinFrameSize)
        error_ = "frame length field claims " + std::to_string(*length) + " bytes, too short for a request";
    if (broken()) buffer_.clear();
}

std::optional<std::vector<uint8_t>> FrameAssembler::next()
{
    if (broken()) return std::nullopt;
    std::optional<size_t> length = plc::frameLength(buffer_.data(), buffer_.size());
    if (!length || buffer_.size() < *length) return std::nullopt;
    std::vector<uint8_t> frame(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(*length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(*length));
    // The bytes behind this frame start the next one: judge its length now.
    check();
    return frame;
}

void FrameAssembler::reset()
{
    buffer_.clear();
    error_.clear();
}

}  // namespace vemo
