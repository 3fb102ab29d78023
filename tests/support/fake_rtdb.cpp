#include "fake_rtdb.h"

namespace {
// Cut toward zero, saturating (NaN reads 0), so that hostile values stay defined.
int CutToInt(double v)
{
    if (v != v) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

SFakeValue IntValue(int v)
{
    SFakeValue value;
    value.type = DATATYPE_INT;
    value.i = v;
    value.d = v;
    return value;
}

SFakeValue DoubleValue(double v)
{
    SFakeValue value;
    value.type = DATATYPE_DOUBLE;
    value.d = v;
    value.i = CutToInt(v);
    return value;
}

SFakeValue StringValue(const std::string& v)
{
    SFakeValue value;
    value.type = DATATYPE_STRING;
    value.s = v;
    return value;
}

bool IsNumeric(DATATYPE type)
{
    return type == DATATYPE_INT || type == DATATYPE_DOUBLE;
}
}  // namespace

void CFakeRtdb::AddVar(const std::string& name, int value)
{
    m_Vars[name] = IntValue(value);
}

void CFakeRtdb::AddVar(const std::string& name, double value)
{
    m_Vars[name] = DoubleValue(value);
}

void CFakeRtdb::AddVar(const std::string& name, const std::string& value)
{
    m_Vars[name] = StringValue(value);
}

void CFakeRtdb::ForceResult(int slot, int result)
{
    if (slot < 0 || slot >= FAKE_RTDB_SLOT_COUNT) return;
    m_bForced[slot] = true;
    m_nForced[slot] = result;
}

void CFakeRtdb::ClearForcedResults()
{
    for (int i = 0; i < FAKE_RTDB_SLOT_COUNT; ++i) m_bForced[i] = false;
}

int CFakeRtdb::StoreCount(int channel) const
{
    int n = 0;
    for (const SFakeStore& s : m_Stores) n += s.channel == channel ? 1 : 0;
    return n;
}

SFakeValue CFakeRtdb::Stored(int channel) const
{
    auto it = m_Channels.find(channel);
    return it == m_Channels.end() ? SFakeValue() : it->second;
}

DATATYPE CFakeRtdb::VarType(const std::string& name) const
{
    auto it = m_Vars.find(name);
    return it == m_Vars.end() ? 0 : it->second.type;
}

int CFakeRtdb::IntVar(const std::string& name) const
{
    auto it = m_Vars.find(name);
    return it == m_Vars.end() ? 0 : it->second.i;
}

double CFakeRtdb::DoubleVar(const std::string& name) const
{
    auto it = m_Vars.find(name);
    return it == m_Vars.end() ? 0 : it->second.d;
}

std::string CFakeRtdb::StrVar(const std::string& name) const
{
    auto it = m_Vars.find(name);
    return it == m_Vars.end() ? std::string() : it->second.s;
}

int CFakeRtdb::Calls(int slot) const
{
    return slot >= 0 && slot < FAKE_RTDB_SLOT_COUNT ? m_Calls[slot] : 0;
}

int CFakeRtdb::TotalCalls() const
{
    int n = 0;
    for (int c : m_Calls) n += c;
    return n;
}

void CFakeRtdb::ResetCounters()
{
    for (int& c : m_Calls) c = 0;
    m_Stores.clear();
    m_NameSets.clear();
}

bool CFakeRtdb::Enter(int slot, int& result)
{
    ++m_Calls[slot];
    if (!m_bForced[slot]) return false;
    result = m_nForced[slot];
    return true;
}

SFakeValue* CFakeRtdb::FindVar(const char* name)
{
    if (!name) return nullptr;
    auto it = m_Vars.find(name);
    return it == m_Vars.end() ? nullptr : &it->second;
}

int CFakeRtdb::GetValueTypeByName(const char* name, DATATYPE& type)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETTYPEBYNAME, r)) return r;
    SFakeValue* var = FindVar(name);
    if (!var) return FAKE_RTDB_UNKNOWN;
    type = var->type;
    return 0;
}

int CFakeRtdb::GetValueByName(const char* name, int& value)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETINTBYNAME, r)) return r;
    SFakeValue* var = FindVar(name);
    if (!var) return FAKE_RTDB_UNKNOWN;
    if (!IsNumeric(var->type)) return FAKE_RTDB_MISMATCH;
    value = var->type == DATATYPE_INT ? var->i : CutToInt(var->d);
    return 0;
}

int CFakeRtdb::GetValueByName(const char* name, double& value)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETDOUBLEBYNAME, r)) return r;
    SFakeValue* var = FindVar(name);
    if (!var) return FAKE_RTDB_UNKNOWN;
    if (!IsNumeric(var->type)) return FAKE_RTDB_MISMATCH;
    value = var->type == DATATYPE_INT ? var->i : var->d;
    return 0;
}

int CFakeRtdb::GetValueByName(const char* name, std::string& value)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETSTRBYNAME, r)) return r;
    SFakeValue* var = FindVar(name);
    if (!var) return FAKE_RTDB_UNKNOWN;
    if (var->type != DATATYPE_STRING) return FAKE_RTDB_MISMATCH;
    value = var->s;
    return 0;
}

int CFakeRtdb::SetByName(int slot, const char* name, const SFakeValue& value)
{
    SFakeNameSet entry;
    entry.name = name ? name : "";
    entry.value = value;
    int r = 0;
    if (!Enter(slot, r)) {
        SFakeValue* var = FindVar(name);
        if (!var) {
            r = FAKE_RTDB_UNKNOWN;
        } else if (var->type == DATATYPE_STRING || value.type == DATATYPE_STRING) {
            if (var->type != value.type) {
                r = FAKE_RTDB_MISMATCH;
            } else {
                var->s = value.s;
            }
        } else if (var->type == DATATYPE_INT) {
            *var = IntValue(value.type == DATATYPE_INT ? value.i : CutToInt(value.d));
        } else {
            *var = DoubleValue(value.type == DATATYPE_INT ? value.i : value.d);
        }
    }
    entry.result = r;
    m_NameSets.push_back(entry);
    return r;
}

int CFakeRtdb::SetValueByName(const char* name, int value)
{
    return SetByName(FAKE_RTDB_SLOT_SETINTBYNAME, name, IntValue(value));
}

int CFakeRtdb::SetValueByName(const char* name, double value)
{
    return SetByName(FAKE_RTDB_SLOT_SETDOUBLEBYNAME, name, DoubleValue(value));
}

int CFakeRtdb::SetValueByName(const char* name, std::string& value)
{
    return SetByName(FAKE_RTDB_SLOT_SETSTRBYNAME, name, StringValue(value));
}

int CFakeRtdb::GetValueTypeByChannel(int channel, DATATYPE& type)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETTYPEBYCHANNEL, r)) return r;
    auto it = m_ChannelTypes.find(channel);
    if (it == m_ChannelTypes.end()) return FAKE_RTDB_UNKNOWN;
    type = it->second;
    return 0;
}

int CFakeRtdb::GetValueByChannel(int channel, int& value)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETINTBYCHANNEL, r)) return r;
    auto it = m_Channels.find(channel);
    if (it == m_Channels.end()) return FAKE_RTDB_UNKNOWN;
    value = it->second.i;
    return 0;
}

int CFakeRtdb::GetValueByChannel(int channel, double& value)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETDOUBLEBYCHANNEL, r)) return r;
    auto it = m_Channels.find(channel);
    if (it == m_Channels.end()) return FAKE_RTDB_UNKNOWN;
    value = it->second.d;
    return 0;
}

int CFakeRtdb::GetValueByChannel(int channel, std::string& value)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETSTRBYCHANNEL, r)) return r;
    auto it = m_Channels.find(channel);
    if (it == m_Channels.end()) return FAKE_RTDB_UNKNOWN;
    value = it->second.s;
    return 0;
}

int CFakeRtdb::StoreChannel(int slot, int channel, const SFakeValue& value)
{
    int r = 0;
    if (Enter(slot, r)) return r;
    SFakeStore store;
    store.channel = channel;
    store.value = value;
    m_Stores.push_back(store);
    m_Channels[channel] = value;
    return 0;
}

int CFakeRtdb::SetValueByChannel(int channel, int value)
{
    return StoreChannel(FAKE_RTDB_SLOT_SETINTBYCHANNEL, channel, IntValue(value));
}

int CFakeRtdb::SetValueByChannel(int channel, double value)
{
    return StoreChannel(FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL, channel, DoubleValue(value));
}

int CFakeRtdb::SetValueByChannel(int channel, std::string& value)
{
    return StoreChannel(FAKE_RTDB_SLOT_SETSTRBYCHANNEL, channel, StringValue(value));
}

int CFakeRtdb::GetValueIDByChannel(int channel, int& id)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_GETIDBYCHANNEL, r)) return r;
    id = channel;
    return 0;
}

int CFakeRtdb::SetCollectFlagSuc(int flag)
{
    int r = 0;
    if (Enter(FAKE_RTDB_SLOT_SETCOLLECTFLAG, r)) return r;
    m_nLastCollectFlag = flag;
    return 0;
}
