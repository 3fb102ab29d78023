#include "runtime/view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "runtime/value_text.h"

namespace vemo::runtime {

namespace {

std::string fixed(double value, int decimals)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string ageText(int64_t ms)
{
    if (ms < 0) return "-";
    if (ms < 10000) return fixed(static_cast<double>(ms) / 1000.0, 1) + "s";
    return std::to_string(ms / 1000) + "s";
}

std::string valueText(const Session& session, const Poller& poller, int channel)
{
    ChannelStatus status = poller.status(channel);
    if (status == ChannelStatus::NoValue || status == ChannelStatus::WriteOnly) return "-";
    return formatValue(session.database().channel(channel).value,
                       displayDigits(session.description().channels[static_cast<size_t>(channel)]));
}

std::string histogramText(const CollectStats& stats)
{
    std::string text;
    const auto& buckets = stats.histogram();
    for (size_t b = 0; b < buckets.size(); ++b) {
        if (buckets[b] == 0) continue;
        if (!text.empty()) text += "  ";
        text += CollectStats::bucketLabel(b) + " " + std::to_string(buckets[b]);
    }
    return text.empty() ? "-" : text;
}

std::string lastErrorText(const CollectStats& stats)
{
    if (!stats.hasError()) return "none";
    return resultText(stats.lastErrorCode()) + " at " + timeOfDay(stats.lastErrorAt());
}

double rate(uint64_t count, double seconds)
{
    return seconds > 0 ? static_cast<double>(count) / seconds : 0;
}

}  // namespace

std::string failureCounts(const CollectStats& stats)
{
    std::string text;
    for (const auto& [code, count] : stats.failures()) {
        if (!text.empty()) text += ", ";
        text += resultText(code) + ": " + std::to_string(count);
    }
    return text.empty() ? "none" : text;
}

namespace {

// Screen lines the text takes, long lines wrapping at `columns`.
size_t lineCount(const std::string& text, size_t columns)
{
    size_t n = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t width = displayWidth(line);
        n += columns == 0 || width == 0 ? 1 : (width + columns - 1) / columns;
    }
    return n;
}

// The channels a screen of `rows` lines can show: all when they fit;
// otherwise those whose values move or that have trouble come first, so
// that a short window still shows what is going on. In channel order.
std::vector<size_t> visibleChannels(const Session& session, const Poller& poller, size_t rows)
{
    const size_t count = session.description().channels.size();
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i) order[i] = i;
    if (rows == 0 || count <= rows) return order;
    auto interest = [&](size_t i) {
        const int channel = static_cast<int>(i);
        if (session.database().channel(channel).changes > 1) return 0;
        return poller.status(channel) == ChannelStatus::Ok ? 2 : 1;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return interest(a) < interest(b); });
    order.resize(rows);
    std::sort(order.begin(), order.end());
    return order;
}

}  // namespace

std::string renderTable(const Session& session, const Poller& poller, const CollectStats& stats,
                        const ViewContext& context)
{
    const DeviceDescription& device = session.description();
    std::ostringstream out;
    out << context.title << "  " << session.channel().describe() << "  config " << shortPath(context.configSource)
        << "\n";
    for (const std::string& note : context.notes) out << note << "\n";
    out << "link " << (session.channel().isOpen() ? "connected" : "down");
    if (!session.channel().lastError().empty()) out << " (last problem: " << session.channel().lastError() << ")";
    out << "   cycles " << stats.cycles() << " x " << device.rankCount << " requests   calls " << stats.calls() << " ("
        << fixed(rate(stats.calls(), context.elapsedSeconds), 1) << "/s)   ok " << stats.succeeded() << "   failed "
        << stats.failed() << "\n";
    out << "cycle ms   last " << fixed(stats.lastCycleMs(), 1) << "   mean " << fixed(stats.meanCycleMs(), 1)
        << "   max " << fixed(stats.maxCycleMs(), 1) << "   histogram " << histogramText(stats) << "\n";
    out << "failures   " << failureCounts(stats) << "   last error " << lastErrorText(stats) << "\n\n";

    // Column widths follow the content (names are mostly CJK, two columns each).
    size_t nameWidth = 7, typeWidth = 4, valueWidth = 5, locWidth = 8;
    std::vector<std::string> values;
    for (const ChannelInfo& c : device.channels) {
        values.push_back(valueText(session, poller, c.index));
        nameWidth = std::max(nameWidth, displayWidth(c.name));
        typeWidth = std::max(typeWidth, displayWidth(c.typeName));
        locWidth = std::max(locWidth, displayWidth(c.location));
        valueWidth = std::max(valueWidth, std::min<size_t>(displayWidth(values.back()), 40));
    }
    out << padLeft("#", 4) << "  " << padRight("channel", nameWidth) << "  " << padRight("location", locWidth) << "  "
        << padRight("type", typeWidth) << "  " << padRight("value", valueWidth) << "  " << padLeft("age", 6)
        << "  status\n";

    // Room for the rows below the header, one line for "more", one for the cursor.
    const size_t used = lineCount(out.str(), context.columns) + 2;
    const size_t rows = context.maxLines == 0 ? 0 : context.maxLines > used ? context.maxLines - used : 1;
    const std::vector<size_t> shown = visibleChannels(session, poller, rows);
    for (size_t i : shown) {
        const ChannelInfo& c = device.channels[i];
        out << padLeft(std::to_string(c.index), 4) << "  " << padRight(c.name, nameWidth) << "  "
            << padRight(c.location, locWidth) << "  " << padRight(c.typeName, typeWidth) << "  "
            << padRight(values[i], valueWidth) << "  " << padLeft(ageText(poller.ageMs(c.index)), 6) << "  "
            << statusName(poller.status(c.index)) << "\n";
    }
    if (shown.size() < device.channels.size()) {
        out << "  ... " << device.channels.size() - shown.size()
            << " steady channels not shown (a taller window, or --once, shows all)\n";
    }
    if (device.channels.empty()) out << "  (the configuration has no channels)\n";
    return out.str();
}

std::string renderJson(const Session& session, const Poller& poller, const CollectStats& stats,
                       const ViewContext& context)
{
    const DeviceDescription& device = session.description();
    std::ostringstream out;
    out << "{\n  \"endpoint\": " << jsonString(session.channel().describe())
        << ",\n  \"config\": " << jsonString(context.configSource) << ",\n  \"channels\": [";
    for (size_t i = 0; i < device.channels.size(); ++i) {
        const ChannelInfo& c = device.channels[i];
        ChannelStatus status = poller.status(c.index);
        bool hasValue = status == ChannelStatus::Ok || status == ChannelStatus::Stale;
        out << (i ? ",\n    " : "\n    ") << "{\"channel\": " << c.index << ", \"name\": " << jsonString(c.name)
            << ", \"location\": " << jsonString(c.location) << ", \"type\": " << jsonString(c.typeName)
            << ", \"value\": " << (hasValue ? jsonValue(session.database().channel(c.index).value) : "null")
            << ", \"status\": " << jsonString(statusName(status)) << ", \"age_ms\": " << poller.ageMs(c.index) << "}";
    }
    out << (device.channels.empty() ? "],\n" : "\n  ],\n");
    out << "  \"stats\": {\"cycles\": " << stats.cycles() << ", \"requests_per_cycle\": " << device.rankCount
        << ", \"calls\": " << stats.calls() << ", \"ok\": " << stats.succeeded() << ", \"failed\": " << stats.failed()
        << ", \"failures\": {";
    bool first = true;
    for (const auto& [code, count] : stats.failures()) {
        out << (first ? "" : ", ") << jsonString(std::to_string(code)) << ": " << count;
        first = false;
    }
    out << "}, \"cycle_ms\": {\"last\": " << fixed(stats.lastCycleMs(), 3)
        << ", \"mean\": " << fixed(stats.meanCycleMs(), 3) << ", \"max\": " << fixed(stats.maxCycleMs(), 3)
        << "}, \"calls_per_second\": " << fixed(rate(stats.calls(), context.elapsedSeconds), 2) << ", \"last_error\": ";
    if (stats.hasError()) {
        out << "{\"code\": " << stats.lastErrorCode() << ", \"text\": " << jsonString(resultText(stats.lastErrorCode()))
            << ", \"time\": " << jsonString(timeOfDay(stats.lastErrorAt())) << "}";
    } else {
        out << "null";
    }
    out << "}\n}\n";
    return out.str();
}

std::string renderSummary(const CollectStats& stats, double elapsedSeconds)
{
    std::ostringstream out;
    out << "summary: " << stats.cycles() << " cycles, " << stats.calls() << " collection calls in "
        << fixed(elapsedSeconds, 1) << " s (" << fixed(rate(stats.calls(), elapsedSeconds), 1) << "/s), "
        << stats.succeeded() << " ok, " << stats.failed() << " failed\n";
    out << "  failures by code: " << failureCounts(stats) << "\n";
    out << "  cycle time: mean " << fixed(stats.meanCycleMs(), 2) << " ms, max " << fixed(stats.maxCycleMs(), 2)
        << " ms;  histogram " << histogramText(stats) << "\n";
    out << "  last error: " << lastErrorText(stats) << "\n";
    return out.str();
}

LiveScreen::LiveScreen(std::ostream& out, bool terminal) : out_(out), terminal_(terminal)
{
    if (terminal_) out_ << "\x1b[?25l";  // hide the cursor while frames replace each other
}

LiveScreen::~LiveScreen()
{
    if (terminal_) out_ << "\x1b[?25h" << std::flush;
}

void LiveScreen::show(const std::string& frame)
{
    if (!terminal_) {
        out_ << frame << "\n" << std::flush;
        return;
    }
    out_ << (first_ ? "\x1b[2J\x1b[H" : "\x1b[H");
    first_ = false;
    // Clearing each line's rest and everything below keeps no leftovers of
    // a longer previous frame.
    std::istringstream lines(frame);
    std::string line;
    while (std::getline(lines, line)) out_ << line << "\x1b[K\n";
    out_ << "\x1b[J" << std::flush;
}

size_t LiveScreen::rows() const
{
    winsize size{};
    if (!terminal_ || ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_row;
}

size_t LiveScreen::columns() const
{
    winsize size{};
    if (!terminal_ || ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

std::string shortPath(const std::string& path)
{
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer)) return path;
    const std::string cwd = std::string(buffer) + "/";
    return path.compare(0, cwd.size(), cwd) == 0 && path.size() > cwd.size() ? path.substr(cwd.size()) : path;
}

}  // namespace vemo::runtime
