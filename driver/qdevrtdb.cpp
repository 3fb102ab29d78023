// Database adapter: every call goes to the runtime's database only when the
// interface version the runtime announced offers it.
#include "driver/qdevrtdb.h"

namespace {
// Slots 0-14 exist from version 1 on, SetCollectFlagSuc from version 2.
const int32_t RTDB_VERSION_BASE = 1;
const int32_t RTDB_VERSION_COLLECTFLAG = 2;
}  // namespace

int CDevRtdb::SetIDevRtdbCtrlVersion(int version)
{
    m_nVersion = version;
    return 1;
}

// Null when the operation must be refused: version too old, or no runtime
// object to talk to (a null pointer is refused like a too-old version).
IDevRtdbCtrl* CDevRtdb::Runtime(int minVersion) const
{
    if (m_nVersion < minVersion) return nullptr;
    return m_pRuntime;
}

int CDevRtdb::GetValueTypeByName(const char* name, DATATYPE& type)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueTypeByName(name, type) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueByName(const char* name, int& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueByName(name, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueByName(const char* name, double& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueByName(name, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueByName(const char* name, std::string& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueByName(name, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::SetValueByName(const char* name, int value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->SetValueByName(name, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::SetValueByName(const char* name, double value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->SetValueByName(name, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::SetValueByName(const char* name, std::string& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->SetValueByName(name, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueTypeByChannel(int channel, DATATYPE& type)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueTypeByChannel(channel, type) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueByChannel(int channel, int& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueByChannel(channel, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueByChannel(int channel, double& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueByChannel(channel, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueByChannel(int channel, std::string& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueByChannel(channel, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::SetValueByChannel(int channel, int value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->SetValueByChannel(channel, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::SetValueByChannel(int channel, double value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->SetValueByChannel(channel, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::SetValueByChannel(int channel, std::string& value)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->SetValueByChannel(channel, value) : RTDB_VERSION_TOO_OLD;
}

int CDevRtdb::GetValueIDByChannel(int channel, int& id)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_BASE);
    return rt ? rt->GetValueIDByChannel(channel, id) : RTDB_VERSION_TOO_OLD;
}

// The runtime's object offers slot 15 only when it announced version 2, so
// the down-cast is what the announcement promises.
int CDevRtdb::SetCollectFlagSuc(int flag)
{
    IDevRtdbCtrl* rt = Runtime(RTDB_VERSION_COLLECTFLAG);
    return rt ? static_cast<IDevRtdbCtrl2*>(rt)->SetCollectFlagSuc(flag) : RTDB_VERSION_TOO_OLD;
}
