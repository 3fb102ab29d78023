// Decides, request by request, which fault the simulator injects, and turns
// a reply into the pieces that go on the wire.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace vemo {

// Pause between the pieces of a split reply: long enough for a reader that
// reads until the line is quiet to see them as separate reads.
constexpr int kSplitGapMs = 30;

enum class Replacement { None, Drop, Exception, Garbage };

struct FaultDecision {
    Replacement replace = Replacement::None;
    bool stale = false;
    bool split = false;
    bool delay = false;

    bool any() const { return replace != Replacement::None || stale || split || delay; }
    // "drop", "stale+split", ... for logs; empty when nothing is injected.
    std::string describe() const;
};

// One piece of output: sent `afterMs` milliseconds after the previous piece
// of the same reply (the first piece: after the request arrived).
struct Send {
    int afterMs = 0;
    std::vector<uint8_t> bytes;
};

class FaultInjector {
public:
    // `stream` tells connections apart so that each has its own repeatable sequence.
    FaultInjector(const FaultOptions& options, uint64_t stream);

    // Draws the same number of random values for every request, so the
    // sequence depends only on the seed and the number of requests.
    FaultDecision decide();

    // The pieces to send for a request whose normal reply is `reply` (empty
    // for a dropped one). Exception and garbage replace the reply; stale puts
    // a copy with the previous transaction number in front; split cuts the
    // reply in two or three pieces; delay holds the first piece back.
    std::vector<Send> shape(const FaultDecision& decision, const std::vector<uint8_t>& request,
                            const std::vector<uint8_t>& reply);

private:
    double uniform();

    FaultOptions options_;
    std::mt19937 rng_;
};

}  // namespace vemo
