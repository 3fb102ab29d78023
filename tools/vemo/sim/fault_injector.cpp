#include "sim/fault_injector.h"

#include <algorithm>

#include "plc/plc_model.h"

namespace vemo {

std::string FaultDecision::describe() const
{
    std::string text;
    auto add = [&](const char* what) { text += text.empty() ? what : std::string("+") + what; };
    if (replace == Replacement::Drop) add("drop");
    if (replace == Replacement::Exception) add("exception");
    if (replace == Replacement::Garbage) add("garbage");
    if (stale) add("stale");
    if (split) add("split");
    if (delay) add("delay");
    return text;
}

FaultInjector::FaultInjector(const FaultOptions& options, uint64_t stream)
    : options_(options), rng_(static_cast<std::mt19937::result_type>(options.seed ^ (stream * 0x9E3779B9u)))
{
}

double FaultInjector::uniform()
{
    return static_cast<double>(rng_()) / 4294967296.0;
}

FaultDecision FaultInjector::decide()
{
    FaultDecision d;
    // Always five draws, whatever is configured, so a run repeats exactly.
    const double replace = uniform();
    const double stale = uniform();
    const double split = uniform();
    const double delay = uniform();
    const double extra = uniform();
    (void)extra;  // reserved so that a new fault kind keeps old sequences

    if (replace < options_.drop)
        d.replace = Replacement::Drop;
    else if (replace < options_.drop + options_.exception)
        d.replace = Replacement::Exception;
    else if (replace < options_.drop + options_.exception + options_.garbage)
        d.replace = Replacement::Garbage;
    if (d.replace != Replacement::Drop) {
        d.stale = stale < options_.stale;
        d.split = split < options_.split;
        d.delay = delay < options_.delay && options_.delayMs > 0;
    }
    return d;
}

std::vector<Send> FaultInjector::shape(const FaultDecision& d, const std::vector<uint8_t>& request,
                                       const std::vector<uint8_t>& reply)
{
    std::vector<Send> sends;
    if (d.replace == Replacement::Drop) return sends;

    std::vector<uint8_t> body = reply;
    if (d.replace == Replacement::Exception && request.size() >= 8) {
        body = plc::makeException(request, plc::Exception::DeviceFailure);
    } else if (d.replace == Replacement::Garbage) {
        body.resize(1 + rng_() % 16);
        for (uint8_t& b : body) b = static_cast<uint8_t>(rng_());
    }
    if (body.empty()) return sends;

    if (d.stale && body.size() >= 2) {
        // The reply to the previous transaction, as a slow controller sends it late.
        std::vector<uint8_t> old = body;
        uint16_t txn = static_cast<uint16_t>((old[0] << 8 | old[1]) - 1);
        old[0] = static_cast<uint8_t>(txn >> 8);
        old[1] = static_cast<uint8_t>(txn);
        sends.push_back({0, old});
    }
    if (d.split && body.size() >= 2) {
        size_t pieces = body.size() >= 3 ? 2 + rng_() % 2 : 2;
        size_t at = 0;
        for (size_t i = 0; i < pieces; ++i) {
            size_t end = i + 1 == pieces ? body.size() : at + std::max<size_t>(1, (body.size() - at) / (pieces - i));
            sends.push_back(
                {i == 0 ? 0 : kSplitGapMs, std::vector<uint8_t>(body.begin() + static_cast<std::ptrdiff_t>(at),
                                                                body.begin() + static_cast<std::ptrdiff_t>(end))});
            at = end;
        }
    } else {
        sends.push_back({0, body});
    }
    if (d.delay) {
        int ms = options_.delayMs;
        if (options_.delayMaxMs > ms)
            ms += static_cast<int>(rng_() % static_cast<uint32_t>(options_.delayMaxMs - ms + 1));
        sends.front().afterMs += ms;
    }
    return sends;
}

}  // namespace vemo
