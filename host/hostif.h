// Interfaces the HMI runtime lends the driver, and the one it expects back.
// Slot order is fixed: only append, never reorder.
#pragma once

#include <cstdint>
#include <string>

// Runtime value type: 1 int, 2 double, 3 string (other values mean "unknown").
typedef int DATATYPE;
enum : int { DATATYPE_INT = 1, DATATYPE_DOUBLE = 2, DATATYPE_STRING = 3 };

class IDevRtdbCtrl {
public:
    virtual int GetValueTypeByName(const char* name, DATATYPE& type) = 0;  // 0
    virtual int GetValueByName(const char* name, int& value) = 0;          // 1
    virtual int GetValueByName(const char* name, double& value) = 0;       // 2
    virtual int GetValueByName(const char* name, std::string& value) = 0;  // 3
    virtual int SetValueByName(const char* name, int value) = 0;           // 4
    virtual int SetValueByName(const char* name, double value) = 0;        // 5
    virtual int SetValueByName(const char* name, std::string& value) = 0;  // 6
    virtual int GetValueTypeByChannel(int channel, DATATYPE& type) = 0;    // 7
    virtual int GetValueByChannel(int channel, int& value) = 0;            // 8
    virtual int GetValueByChannel(int channel, double& value) = 0;         // 9
    virtual int GetValueByChannel(int channel, std::string& value) = 0;    // 10
    virtual int SetValueByChannel(int channel, int value) = 0;             // 11
    virtual int SetValueByChannel(int channel, double value) = 0;          // 12
    virtual int SetValueByChannel(int channel, std::string& value) = 0;    // 13
    virtual int GetValueIDByChannel(int channel, int& id) = 0;             // 14

protected:
    ~IDevRtdbCtrl() = default;
};

class IDevRtdbCtrl2 : public IDevRtdbCtrl {
public:
    virtual int SetCollectFlagSuc(int flag) = 0;  // 15

protected:
    ~IDevRtdbCtrl2() = default;
};

// Port lent by the runtime. Slots 0-9 are the runtime's own business; they
// exist so that slots 10-16 sit where the runtime expects them.
class ICommunication {
public:
    virtual int Reserved0() { return 0; }
    virtual int Reserved1() { return 0; }
    virtual int Reserved2() { return 0; }
    virtual int Reserved3() { return 0; }
    virtual int Reserved4() { return 0; }
    virtual int Reserved5() { return 0; }
    virtual int Reserved6() { return 0; }
    virtual int Reserved7() { return 0; }
    virtual int Reserved8() { return 0; }
    virtual int Reserved9() { return 0; }
    // 10: send; length in/out.
    virtual int WriteData(const unsigned char* data, int& length, int timeoutMs) = 0;
    // 11: read what is there (buffer of 512); length in = capacity, out > 0 = more may follow.
    virtual int ReadData(unsigned char* buffer, int& length, int timeoutMs) = 0;
    // 12: read the wanted length; negative result = nothing.
    virtual int ReadDataByLen(unsigned char* buffer, int& length, int timeoutMs) = 0;
    // 13: read up to the end text or the capacity.
    virtual int ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs) = 0;
    virtual int ClearInBuff() = 0;                 // 14: 0 = success
    virtual int SetDevName(const char* name) = 0;  // 15
    virtual int GetCommType() = 0;                 // 16: 1 or 2

protected:
    ~ICommunication() = default;
};

// The device object as the runtime sees it (no virtual destructor by contract).
class IDeviceCtrl {
public:
    virtual int InitDevice(const unsigned char* config, int length) = 0;    // 0
    virtual int CleanupDevice() = 0;                                        // 1
    virtual int CollectDevData(const int* flags, int count) = 0;            // 2
    virtual int DevIOCtrl(const char* command) = 0;                         // 3
    virtual int WriteChannel(int channel, DATATYPE type, void* value) = 0;  // 4
    virtual int UpdataCommunication(ICommunication* comm) = 0;              // 5
    virtual int ChannelRefChange(const int* refs, int count) = 0;           // 6
    virtual int SetChannelAddress(int channel, int offset) = 0;             // 7

protected:
    ~IDeviceCtrl() = default;
};

// Host clock: the runtime's definitions win over the library's fallbacks.
extern "C" {
int64_t Holn_GetTickCount(void);
void Holn_Sleep(int ms, int reserved);
}

// Entry points of the library (C linkage, the only exported names).
extern "C" {
IDeviceCtrl* CreateDeviceCtrl(const char* name, IDevRtdbCtrl* rtdb);
int DestroyDeviceCtrl(IDeviceCtrl* object);
int GetInterfaceVersion(int rtdbVersion, IDeviceCtrl* object);
}
