// The device object the runtime drives through IDeviceCtrl.
#pragma once

#include <cstdint>
#include <set>

#include "driver/holn_data.h"
#include "driver/qdevrtdb.h"
#include "host/host.h"

// Interface result codes.
const int DEV_ERR_BADARG = static_cast<int>(0x80000001u);
const int DEV_ERR_RESOURCE = static_cast<int>(0x80000000u);
const int DEV_ERR_INITHOOK = static_cast<int>(0x82000001u);
const int DEV_ERR_NOCOMM = -2;
const int DEV_ERR_NORTDB = -3;
const int DEV_ERR_ADDRCHANGE = -10;
// Interface version the driver answers with.
const int DEV_INTERFACE_VERSION = 2;

class CDevCtrl : public virtual IDeviceCtrl {
public:
    CDevCtrl();
    CDevCtrl(const char* name, IDevRtdbCtrl* rtdb);
    CDevCtrl(const CDevCtrl&) = delete;
    CDevCtrl& operator=(const CDevCtrl&) = delete;

    int InitDevice(const unsigned char* config, int length) override;
    int CleanupDevice() override;
    int CollectDevData(const int* flags, int count) override;
    int DevIOCtrl(const char* command) override;
    int WriteChannel(int channel, DATATYPE type, void* value) override;
    int UpdataCommunication(ICommunication* comm) override;
    int ChannelRefChange(const int* refs, int count) override;
    int SetChannelAddress(int channel, int offset) override;
    virtual ~CDevCtrl();

    int CheckIDevRtdbCtrlversion(int version);

    // Runtime variables by name; their addresses fill the record's callbacks.
    static int GetParamType_Fun(HOLN_DATA& data, CString name, DATATYPE& type);
    static int GetParamValue_Fun(HOLN_DATA& data, CString name, DATATYPE type, void* out);
    static int SetParamValue_Fun(HOLN_DATA& data, CString name, DATATYPE type, void* value);

    // Read-only views for tests and tools.
    const HOLN_DATA& HolnData() const { return m_HolnData; }
    HOLN_DATA& HolnData() { return m_HolnData; }
    const CArray<double, double>& Values() const { return m_Value; }
    const CStringArray& Strings() const { return m_StrValue; }
    const CArray<int, int>& CollectFlags() const { return m_CollectFlag; }
    const CArray<int, int>& RefFlags() const { return m_RefFlag; }
    const CArray<unsigned int, unsigned int>& AddrTable() const { return m_AddrTable; }
    int ChannelCount() const { return m_nChlNum; }

    int _InitPChanglRef(const int* refs, int count, CArray<int, int>& out);
    int _InitValueArray(int count);
    int _InitSetReadIndex(CArray<int, int>& flags);
    int _NeedCollect(CArray<int, int>& flags, int rank);
    int _NeedCollect(int first, int last, CArray<int, int>& flags);
    int _InitCollectData(const int* flags, int count, CArray<int, int>& out);
    int _SetValueToRtdb(CArray<int, int>& flags, CArray<double, double>& values, CStringArray& strings);
    int _InitAddressTable(CArray<unsigned int, unsigned int>& table);

private:
    void RankEntries(const DEV_DATA& dev, int rank, int& first, int& last) const;
    void StoreEntries(CArray<int, int>& flags, CArray<double, double>& values, CStringArray& strings, int first,
                      int last);

    HOLN_DATA m_HolnData;
    CDevRtdb* m_pDevRtdb = nullptr;
    int32_t m_nChlNum = -1;
    CArray<int, int> m_CollectFlag;
    CArray<int, int> m_RefFlag;
    CArray<double, double> m_Value;
    CStringArray m_StrValue;
    CArray<unsigned int, unsigned int> m_AddrTable;
    std::set<int> m_ChangingChl;
};
