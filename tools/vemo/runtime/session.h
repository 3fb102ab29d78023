// A configured device on a channel, set up in the order the runtime uses,
// and the collection loop that drives it cycle after cycle.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/channel.h"
#include "runtime/database.h"
#include "runtime/device_table.h"
#include "runtime/driver_library.h"
#include "runtime/stats.h"

namespace vemo::runtime {

class Session {
public:
    // Loads the library, creates the device, announces database version 2,
    // initializes it with the blob, lends it the channel and references
    // every channel. Throws std::runtime_error at the first step the driver
    // refuses, naming the step and its result code.
    Session(const std::string& driverPath, std::vector<uint8_t> blob, std::unique_ptr<FdChannel> channel,
            const std::string& deviceName = "vemo");
    ~Session();

    const DeviceDescription& description() const { return description_; }
    Database& database() { return *database_; }
    const Database& database() const { return *database_; }
    Device& device() { return *device_; }
    FdChannel& channel() { return *channel_; }
    const FdChannel& channel() const { return *channel_; }
    const DriverLibrary& library() const { return *library_; }

    // One collection call as the runtime makes it: the stores it brings are
    // stamped with the call's time.
    int collect();

private:
    // Declaration order is teardown order in reverse: the device goes
    // first, while its database, channel and library still exist.
    DeviceDescription description_;
    std::unique_ptr<DriverLibrary> library_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<FdChannel> channel_;
    std::unique_ptr<Device> device_;
};

// Channel state after the last full cycle.
enum class ChannelStatus { Ok, Stale, NoValue, WriteOnly };
const char* statusName(ChannelStatus status);

class Poller {
public:
    Poller(Session& session, CollectStats& stats);

    // One full cycle: as many CollectDevData calls as the plan has ranks
    // (one when there is none). `stop` is asked between calls; a cycle
    // cut short is not counted. Returns true when every call returned 0.
    bool runCycle(const std::function<bool()>& stop = {});

    ChannelStatus status(int channel) const;
    // Milliseconds since the channel's value was last stored (-1: never).
    int64_t ageMs(int channel) const;
    bool lastCycleSucceeded() const { return lastCycleOk_; }

private:
    Session& session_;
    CollectStats& stats_;
    std::vector<bool> fresh_;  // stored during the last complete cycle
    bool lastCycleOk_ = false;
};

}  // namespace vemo::runtime
