// Database adapter: forwards to the runtime's database when the interface
// version the runtime announced allows the operation.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

// Result for an operation the announced version does not offer.
const int RTDB_VERSION_TOO_OLD = static_cast<int>(0x80000002u);

// Final: the device object's stores (one or two calls per channel and
// collection) then go to the adapter directly rather than through its vtable.
class CDevRtdb final : public IDevRtdbCtrl2 {
public:
    CDevRtdb() = default;
    explicit CDevRtdb(IDevRtdbCtrl* runtime) : m_pRuntime(runtime) {}
    virtual ~CDevRtdb() = default;

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

    int SetIDevRtdbCtrlVersion(int version);
    int GetIDevRtdbCtrlVersion() const { return m_nVersion; }

private:
    IDevRtdbCtrl* Runtime(int minVersion) const;

    int32_t m_nVersion = 1;
    IDevRtdbCtrl* m_pRuntime = nullptr;
};
