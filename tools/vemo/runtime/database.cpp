#include "runtime/database.h"

#include <cmath>
#include <limits>

namespace vemo::runtime {

Database::Database(const std::vector<DATATYPE>& channelTypes) : channels_(channelTypes.size())
{
    for (size_t i = 0; i < channelTypes.size(); ++i) channels_[i].value.type = channelTypes[i];
}

std::optional<Value> Database::variable(const std::string& name) const
{
    auto it = variables_.find(name);
    if (it == variables_.end()) return std::nullopt;
    return it->second;
}

int toIntSaturated(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

bool assignNumber(Value& slot, double value)
{
    switch (slot.type) {
        case DATATYPE_INT:
            slot.i = toIntSaturated(value);
            return true;
        case DATATYPE_DOUBLE:
            slot.d = value;
            return true;
        default:
            return false;
    }
}

namespace {

// Reads a numeric value as double; false for texts.
bool numberOf(const Value& v, double& out)
{
    if (v.type == DATATYPE_INT) {
        out = v.i;
        return true;
    }
    if (v.type == DATATYPE_DOUBLE) {
        out = v.d;
        return true;
    }
    return false;
}

int64_t now()
{
    return Holn_GetTickCount();
}

}  // namespace

ChannelSlot* Database::slot(int channel)
{
    if (channel < 0 || static_cast<size_t>(channel) >= channels_.size()) return nullptr;
    return &channels_[static_cast<size_t>(channel)];
}

Value* Database::findVariable(const char* name)
{
    if (!name) return nullptr;
    auto it = variables_.find(name);
    return it == variables_.end() ? nullptr : &it->second;
}

int Database::GetValueTypeByName(const char* name, DATATYPE& type)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    type = v->type;
    return 0;
}

int Database::GetValueByName(const char* name, int& value)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    double d = 0;
    if (!numberOf(*v, d)) return RTDB_MISMATCH;
    value = toIntSaturated(d);
    return 0;
}

int Database::GetValueByName(const char* name, double& value)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    return numberOf(*v, value) ? 0 : RTDB_MISMATCH;
}

int Database::GetValueByName(const char* name, std::string& value)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    if (v->type != DATATYPE_STRING) return RTDB_MISMATCH;
    value = v->s;
    return 0;
}

int Database::SetValueByName(const char* name, int value)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    return assignNumber(*v, value) ? 0 : RTDB_MISMATCH;
}

int Database::SetValueByName(const char* name, double value)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    return assignNumber(*v, value) ? 0 : RTDB_MISMATCH;
}

int Database::SetValueByName(const char* name, std::string& value)
{
    Value* v = findVariable(name);
    if (!v) return RTDB_UNKNOWN;
    if (v->type != DATATYPE_STRING) return RTDB_MISMATCH;
    v->s = value;
    return 0;
}

int Database::GetValueTypeByChannel(int channel, DATATYPE& type)
{
    ChannelSlot* s = slot(channel);
    if (!s) return RTDB_UNKNOWN;
    type = s->value.type;
    return 0;
}

int Database::GetValueByChannel(int channel, int& value)
{
    ChannelSlot* s = slot(channel);
    if (!s) return RTDB_UNKNOWN;
    double d = 0;
    if (!numberOf(s->value, d)) return RTDB_MISMATCH;
    value = toIntSaturated(d);
    return 0;
}

int Database::GetValueByChannel(int channel, double& value)
{
    ChannelSlot* s = slot(channel);
    if (!s) return RTDB_UNKNOWN;
    return numberOf(s->value, value) ? 0 : RTDB_MISMATCH;
}

int Database::GetValueByChannel(int channel, std::string& value)
{
    ChannelSlot* s = slot(channel);
    if (!s) return RTDB_UNKNOWN;
    if (s->value.type != DATATYPE_STRING) return RTDB_MISMATCH;
    value = s->value.s;
    return 0;
}

namespace {

// Counts a store into a slot and, when the value differs from the one
// before, the change (the first store counts as one).
void countStore(ChannelSlot& s, bool changed, int64_t tick)
{
    if (!s.stored || changed) ++s.changes;
    s.stored = true;
    s.storedAt = tick;
    ++s.stores;
}

bool sameNumber(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

int64_t Database::storeTime() const
{
    return storeTick_ >= 0 ? storeTick_ : now();
}

// Numbers go into the slot where it is, in its own type.
int Database::storeNumber(int channel, double value)
{
    ChannelSlot* s = slot(channel);
    if (!s) return RTDB_UNKNOWN;
    bool changed = false;
    if (s->value.type == DATATYPE_INT) {
        const int v = toIntSaturated(value);
        changed = s->value.i != v;
        s->value.i = v;
    } else if (s->value.type == DATATYPE_DOUBLE) {
        changed = !sameNumber(s->value.d, value);
        s->value.d = value;
    } else {
        return RTDB_MISMATCH;
    }
    countStore(*s, changed, storeTime());
    return 0;
}

int Database::SetValueByChannel(int channel, int value)
{
    return storeNumber(channel, value);
}

int Database::SetValueByChannel(int channel, double value)
{
    return storeNumber(channel, value);
}

int Database::SetValueByChannel(int channel, std::string& value)
{
    ChannelSlot* s = slot(channel);
    if (!s) return RTDB_UNKNOWN;
    if (s->value.type != DATATYPE_STRING) return RTDB_MISMATCH;
    const bool changed = s->value.s != value;
    s->value.s = value;
    countStore(*s, changed, storeTime());
    return 0;
}

int Database::GetValueIDByChannel(int channel, int& id)
{
    if (!slot(channel)) return RTDB_UNKNOWN;
    id = channel;
    return 0;
}

int Database::SetCollectFlagSuc(int flag)
{
    lastCollectFlag_ = flag;
    return 0;
}

}  // namespace vemo::runtime
