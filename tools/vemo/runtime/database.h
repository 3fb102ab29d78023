// The runtime's real-time database, in memory: one typed value per channel
// with the time it was last stored, and named runtime variables.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/hostif.h"

namespace vemo::runtime {

// A value of one of the runtime's three types.
struct Value {
    DATATYPE type = DATATYPE_INT;
    int i = 0;
    double d = 0;
    std::string s;

    static Value ofInt(int v) { return Value{DATATYPE_INT, v, 0, {}}; }
    static Value ofDouble(double v) { return Value{DATATYPE_DOUBLE, 0, v, {}}; }
    static Value ofString(std::string v) { return Value{DATATYPE_STRING, 0, 0, std::move(v)}; }
};

// Results the database gives besides 0 (success).
const int RTDB_UNKNOWN = -1;   // no such channel or variable
const int RTDB_MISMATCH = -2;  // a text for a number or a number for a text

struct ChannelSlot {
    Value value;
    bool stored = false;
    int64_t storedAt = 0;  // host tick (ms) of the last store
    uint64_t stores = 0;
    uint64_t changes = 0;  // stores that brought a different value (the first one counts)
};

class Database : public IDevRtdbCtrl2 {
public:
    // One slot per channel with the type the runtime keeps it in.
    explicit Database(const std::vector<DATATYPE>& channelTypes = {});
    virtual ~Database() = default;

    int channelCount() const { return static_cast<int>(channels_.size()); }
    const ChannelSlot& channel(int index) const { return channels_.at(static_cast<size_t>(index)); }

    // Declares (or replaces) a runtime variable; its type is the value's.
    void setVariable(const std::string& name, const Value& value) { variables_[name] = value; }
    std::optional<Value> variable(const std::string& name) const;
    const std::map<std::string, Value>& variables() const { return variables_; }
    int lastCollectFlag() const { return lastCollectFlag_; }

    // Until endStores(), channel stores are stamped with this host tick
    // instead of reading the clock once per channel: a collection call
    // stores a whole rank at once.
    void beginStores(int64_t tick) { storeTick_ = tick; }
    void endStores() { storeTick_ = -1; }

    // --- IDevRtdbCtrl2
    int GetValueTypeByName(const char* name, DATATYPE& type) override;
    int GetValueByName(const char* name, int& value) override;
    int GetValueByName(const char* name, double& value) override;
    int GetValueByName(const char* name, std::string& value) override;
    int SetValueByName(const char* name, int value) override;
    int SetValueByName(const char* name, double value) override;
    int SetValueByName(const char* name, std::string& value) override;
    int GetValueTypeByChannel(int channel, DATATYPE& type) override;
    int GetValueByChannel(int channel, int& value) override;
    int GetValueByChannel(int channel, double& value) override;
    int GetValueByChannel(int channel, std::string& value) override;
    int SetValueByChannel(int channel, int value) override;
    int SetValueByChannel(int channel, double value) override;
    int SetValueByChannel(int channel, std::string& value) override;
    int GetValueIDByChannel(int channel, int& id) override;
    int SetCollectFlagSuc(int flag) override;

private:
    ChannelSlot* slot(int channel);
    Value* findVariable(const char* name);
    int storeNumber(int channel, double value);
    int64_t storeTime() const;

    std::vector<ChannelSlot> channels_;
    std::map<std::string, Value> variables_;
    int lastCollectFlag_ = 0;
    int64_t storeTick_ = -1;
};

// Numbers convert between int and double as a runtime would: a double into
// an int is cut toward zero and saturates; NaN becomes 0.
int toIntSaturated(double value);
// Puts a number into a numeric value of its own type; false for a text.
bool assignNumber(Value& slot, double value);

}  // namespace vemo::runtime
