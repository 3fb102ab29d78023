#include "runtime/session.h"

#include <chrono>
#include <stdexcept>

namespace vemo::runtime {

namespace {

void require(int result, const char* step)
{
    if (result != 0) throw std::runtime_error(std::string(step) + " failed with " + resultText(result));
}

}  // namespace

Session::Session(const std::string& driverPath, std::vector<uint8_t> blob, std::unique_ptr<FdChannel> channel,
                 const std::string& deviceName)
    : description_(describeBlob(blob)), channel_(std::move(channel))
{
    library_ = std::make_unique<DriverLibrary>(driverPath);
    database_ = std::make_unique<Database>(description_.databaseTypes());
    device_ = std::make_unique<Device>(*library_, deviceName, *database_);
    if (device_->interfaceVersion() != 2) {
        throw std::runtime_error("GetInterfaceVersion answered " + std::to_string(device_->interfaceVersion()) +
                                 ", expected 2: is " + driverPath + " a driver of this project?");
    }
    require(device_->init(blob), "InitDevice (the configuration blob)");
    require(device_->attach(channel_.get()), "UpdataCommunication");
    require(device_->referenceAll(description_.channelCount()), "ChannelRefChange (planning the reads)");
}

Session::~Session() = default;

const char* statusName(ChannelStatus status)
{
    switch (status) {
        case ChannelStatus::Ok:
            return "ok";
        case ChannelStatus::Stale:
            return "stale";
        case ChannelStatus::NoValue:
            return "none";
        case ChannelStatus::WriteOnly:
            return "write-only";
    }
    return "?";
}

int Session::collect()
{
    database_->beginStores(Holn_GetTickCount());
    const int result = device_->collect();
    database_->endStores();
    return result;
}

Poller::Poller(Session& session, CollectStats& stats)
    : session_(session), stats_(stats), fresh_(static_cast<size_t>(session.description().channelCount()), false)
{
}

bool Poller::runCycle(const std::function<bool()>& stop)
{
    const Database& db = session_.database();
    std::vector<uint64_t> storesBefore(fresh_.size());
    for (size_t i = 0; i < fresh_.size(); ++i) storesBefore[i] = db.channel(static_cast<int>(i)).stores;

    const int calls = session_.description().rankCount > 0 ? session_.description().rankCount : 1;
    const auto start = std::chrono::steady_clock::now();
    bool allOk = true;
    for (int i = 0; i < calls; ++i) {
        if (stop && stop()) return false;
        int result = session_.collect();
        stats_.recordCall(result, wallClockMs());
        if (result != 0) allOk = false;
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    stats_.recordCycle(took.count(), allOk);
    for (size_t i = 0; i < fresh_.size(); ++i) fresh_[i] = db.channel(static_cast<int>(i)).stores > storesBefore[i];
    lastCycleOk_ = allOk;
    return allOk;
}

ChannelStatus Poller::status(int channel) const
{
    const ChannelInfo& info = session_.description().channels.at(static_cast<size_t>(channel));
    const ChannelSlot& slot = session_.database().channel(channel);
    if (info.rwFlag == 1 && !slot.stored) return ChannelStatus::WriteOnly;
    if (!slot.stored) return ChannelStatus::NoValue;
    return fresh_[static_cast<size_t>(channel)] ? ChannelStatus::Ok : ChannelStatus::Stale;
}

int64_t Poller::ageMs(int channel) const
{
    const ChannelSlot& slot = session_.database().channel(channel);
    return slot.stored ? Holn_GetTickCount() - slot.storedAt : -1;
}

}  // namespace vemo::runtime
