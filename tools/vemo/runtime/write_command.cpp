// vemo write: one WriteChannel call, as the runtime makes it when an
// operator changes a value, with the channel read before and after.
#include <iostream>
#include <memory>
#include <vector>

#include "commands.h"
#include "runtime/connection_options.h"
#include "runtime/value_text.h"
#include "runtime/view.h"

namespace vemo {

namespace {

struct WriteSettings {
    runtime::ConnectionOptions connection;
    std::string channel;
    std::string value;
};

// The channel's value after one full collection cycle, or why there is none.
std::string readBack(runtime::Session& session, const runtime::ChannelInfo& channel)
{
    if (channel.rwFlag == 1) return "(write-only: not read)";
    runtime::CollectStats stats;
    runtime::Poller poller(session, stats);
    poller.runCycle();
    if (poller.status(channel.index) != runtime::ChannelStatus::Ok) {
        return "(not read: " + runtime::failureCounts(stats) + ")";
    }
    return runtime::formatValue(session.database().channel(channel.index).value, runtime::displayDigits(channel));
}

// WriteChannel takes an int, a double or a null-terminated text.
int writeValue(runtime::Session& session, int channel, const runtime::Value& value)
{
    if (value.type == DATATYPE_INT) {
        int v = value.i;
        return session.device().write(channel, DATATYPE_INT, &v);
    }
    if (value.type == DATATYPE_DOUBLE) {
        double v = value.d;
        return session.device().write(channel, DATATYPE_DOUBLE, &v);
    }
    std::vector<char> text(value.s.begin(), value.s.end());
    text.push_back('\0');
    return session.device().write(channel, DATATYPE_STRING, text.data());
}

int runWrite(const WriteSettings& settings)
{
    std::string source;
    std::unique_ptr<runtime::Session> session = settings.connection.open(source);
    const runtime::ChannelInfo& channel = runtime::findChannel(session->description(), settings.channel);
    const runtime::Value value = runtime::parseChannelValue(channel, settings.value);
    std::cout << "channel " << channel.index << "  " << channel.name << "  " << channel.location << "  "
              << channel.typeName << "  (" << session->channel().describe() << ")\n";
    if (channel.rwFlag == 0) {
        std::cout << "note: the channel is configured read-only; the driver will refuse the write\n";
    }
    std::cout << "before  " << readBack(*session, channel) << "\n";
    const int result = writeValue(*session, channel.index, value);
    std::cout << "write   " << runtime::formatValue(value) << "  -> result " << runtime::resultText(result) << "\n";
    std::cout << "after   " << readBack(*session, channel) << "\n";
    return result == 0 ? 0 : 1;
}

}  // namespace

void addWriteCommand(CLI::App& app)
{
    auto settings = std::make_shared<WriteSettings>();
    CLI::App* write =
        app.add_subcommand("write", "write one channel through the driver (WriteChannel) and read it back");
    write->add_option("CHANNEL", settings->channel, "channel number, name (e.g. DWUB0100) or location (e.g. D100)")
        ->required();
    write->add_option("VALUE", settings->value, "value, typed by the channel: 0/1 for bits, integers, numbers, text")
        ->required();
    settings->connection.addTo(*write);
    write->callback([settings] { runtime::runGuarded("write", [&] { return runWrite(*settings); }); });
}

}  // namespace vemo
