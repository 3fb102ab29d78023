// What the user sees of a polled device: the channel table with its
// statistics (text, refreshed in place on a terminal), JSON, and the
// summary at the end of a run.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "runtime/session.h"
#include "runtime/stats.h"

namespace vemo::runtime {

struct ViewContext {
    std::string title;               // first line, e.g. "vemo poll"
    std::string configSource;        // where the configuration came from
    double elapsedSeconds = 0;       // since the loop started
    std::vector<std::string> notes;  // extra lines under the title
    size_t maxLines = 0;             // height of the screen; 0: no limit
    size_t columns = 0;              // width of the screen, for wrapped lines; 0: unknown
};

std::string renderTable(const Session& session, const Poller& poller, const CollectStats& stats,
                        const ViewContext& context);
std::string renderJson(const Session& session, const Poller& poller, const CollectStats& stats,
                       const ViewContext& context);
std::string renderSummary(const CollectStats& stats, double elapsedSeconds);
// A path below the working directory, shortened to be relative to it.
std::string shortPath(const std::string& path);
// "2 no reply: 3, 7 reply refused: 1", or "none".
std::string failureCounts(const CollectStats& stats);

// Shows successive frames: on a terminal each frame replaces the previous
// one (cursor home, clear), otherwise frames follow each other.
class LiveScreen {
public:
    LiveScreen(std::ostream& out, bool terminal);
    ~LiveScreen();
    LiveScreen(const LiveScreen&) = delete;
    LiveScreen& operator=(const LiveScreen&) = delete;

    void show(const std::string& frame);
    bool terminal() const { return terminal_; }
    // Rows and columns of the terminal (0 when unknown or not a terminal).
    size_t rows() const;
    size_t columns() const;

private:
    std::ostream& out_;
    bool terminal_;
    bool first_ = true;
};

}  // namespace vemo::runtime
