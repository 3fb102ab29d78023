#include "runtime/poll_loop.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

namespace vemo::runtime {

namespace {

std::atomic<bool> g_stop{false};
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

extern "C" void onStopSignal(int)
{
    g_stop.store(true);
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Frames per second the live view shows at most; a pipe gets fewer.
const double TERMINAL_FRAME_SECONDS = 0.25;
const double PIPE_FRAME_SECONDS = 1.0;

}  // namespace

StopSignal::StopSignal()
{
    g_stop.store(false);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_oldInt);
    ::sigaction(SIGTERM, &action, &g_oldTerm);
}

StopSignal::~StopSignal()
{
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
}

bool StopSignal::stopRequested()
{
    return g_stop.load();
}

int runPollLoop(Session& session, const LoopOptions& options, ViewContext context, std::ostream& out,
                const std::function<void(ViewContext&)>& refresh)
{
    StopSignal signals;
    CollectStats stats;
    Poller poller(session, stats);
    const Clock::time_point start = Clock::now();
    auto timeIsUp = [&] { return options.seconds > 0 && secondsSince(start) >= options.seconds; };
    auto shouldStop = [&] { return StopSignal::stopRequested() || timeIsUp(); };

    if (options.once) {
        bool ok = poller.runCycle(StopSignal::stopRequested);
        context.elapsedSeconds = secondsSince(start);
        if (refresh) refresh(context);
        out << (options.json ? renderJson(session, poller, stats, context)
                             : renderTable(session, poller, stats, context))
            << std::flush;
        return ok ? 0 : 1;
    }

    LiveScreen screen(out, options.json ? false : ::isatty(STDOUT_FILENO) == 1 && &out == &std::cout);
    const double frameSeconds = screen.terminal() ? TERMINAL_FRAME_SECONDS : PIPE_FRAME_SECONDS;
    Clock::time_point lastFrame = start - std::chrono::hours(1);
    auto showFrame = [&] {
        context.elapsedSeconds = secondsSince(start);
        context.maxLines = screen.rows();
        context.columns = screen.columns();
        if (refresh) refresh(context);
        screen.show(renderTable(session, poller, stats, context));
        lastFrame = Clock::now();
    };

    while (!shouldStop()) {
        poller.runCycle(shouldStop);
        if (secondsSince(lastFrame) >= frameSeconds) showFrame();
        // The pause is sliced so that Ctrl-C and the time limit act at once.
        const Clock::time_point pauseEnd = Clock::now() + std::chrono::milliseconds(options.intervalMs);
        while (!shouldStop() && Clock::now() < pauseEnd) {
            std::this_thread::sleep_for(
                std::min<Clock::duration>(pauseEnd - Clock::now(), std::chrono::milliseconds(20)));
        }
    }
    showFrame();
    const double elapsed = secondsSince(start);
    if (options.summary) out << "\n" << renderSummary(stats, elapsed) << std::flush;
    return stats.calls() > 0 && stats.succeeded() == 0 ? 1 : 0;
}

}  // namespace vemo::runtime
