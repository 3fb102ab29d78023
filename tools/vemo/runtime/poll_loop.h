// The collection loop of `vemo poll` and `vemo demo`: full cycles until
// Ctrl-C or a time limit, a live table, a summary at the end.
#pragma once

#include <functional>
#include <iosfwd>

#include "runtime/session.h"
#include "runtime/view.h"

namespace vemo::runtime {

struct LoopOptions {
    bool once = false;     // one full cycle, one table (or JSON), then stop
    bool json = false;     // with once: JSON instead of the table
    int intervalMs = 200;  // pause between cycles
    double seconds = 0;    // stop after this long; 0: until interrupted
    bool summary = true;   // summary after a continuous run
};

// Runs the loop and returns the exit code: with `once`, 1 when a call of
// the cycle failed; otherwise 1 when no call at all succeeded; else 0.
// `context.notes` may be refreshed before each frame through `refresh`.
int runPollLoop(Session& session, const LoopOptions& options, ViewContext context, std::ostream& out,
                const std::function<void(ViewContext&)>& refresh = {});

// Installs SIGINT/SIGTERM handlers for its lifetime; stopRequested()
// turns true at the first signal.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;
    static bool stopRequested();
};

}  // namespace vemo::runtime
