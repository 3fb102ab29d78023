// A channel that only answers GetCommType and records SetDevName: enough for
// the device object's checks, which never send or read here.
#pragma once

#include <string>
#include <vector>

#include "host/hostif.h"

class CStubComm : public ICommunication {
public:
    explicit CStubComm(int commType = 1) : m_nCommType(commType) {}
    virtual ~CStubComm() = default;

    int WriteData(const unsigned char*, int& length, int) override
    {
        ++writes;
        return length;
    }
    int ReadData(unsigned char*, int& length, int) override
    {
        ++reads;
        length = 0;
        return 0;
    }
    int ReadDataByLen(unsigned char*, int& length, int) override
    {
        ++reads;
        length = 0;
        return -1;
    }
    int ReadDataByEndStr(unsigned char*, int& length, const char*, int) override
    {
        ++reads;
        length = 0;
        return 0;
    }
    int ClearInBuff() override { return 0; }
    int SetDevName(const char* name) override
    {
        names.push_back(name ? name : "");
        return 0;
    }
    int GetCommType() override { return m_nCommType; }

    std::vector<std::string> names;
    int writes = 0;
    int reads = 0;

private:
    int m_nCommType;
};
