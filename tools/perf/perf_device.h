// In-process fixture of the performance programs: channel configurations,
// their blobs, a controller that answers at once from memory, a database
// of plain arrays, and a device set up the way the runtime sets it up.
//
//   perf::CPerfDevice dev(perf::WordRun(perf::AREA_D, 0, 115, 83));
//   dev.Collect();                  // one CollectDevData, every flag 1
//   dev.Rtdb().IntAt(0);            // what the driver stored for channel 0
//
// Nothing here sleeps or touches a socket: what a collection call costs
// here is what the driver adds on top of the wire.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver/qdevctrl.h"
#include "host/hostif.h"

namespace perf {

// Area indexes used by the configurations here.
enum : uint32_t { AREA_M = 0, AREA_X = 1, AREA_D = 14, AREA_HD = 21 };
// Data-type codes.
enum : uint32_t {
    CODE_BITAREA = 20,
    CODE_WUB = 83,
    CODE_WB = 84,
    CODE_DUB = 86,
    CODE_DB = 87,
    CODE_DF = 89,
    CODE_LUB = 90,
    CODE_LF = 93,
    CODE_STR = 131
};

// One channel row. For register bits the bit number is also the code.
struct SChannel {
    uint32_t area = AREA_D;
    uint32_t address = 0;
    uint32_t code = CODE_WUB;
    uint32_t bit = 0;  // register bit, or a string's length in bytes
    uint32_t rw = 2;   // 0 read-only, 1 write-only, 2 read-write
};

// count channels of one numeric code one after the other from first.
std::vector<SChannel> WordRun(uint32_t area, uint32_t first, int count, uint32_t code);

// The mixed configuration of the end-to-end and scaling runs, in key order:
// groups of 100 channels, each with 16 bits of M, 8 read-only bits of X, in
// D 21 WUB, 10 WB, 10 DUB, 8 DF, 4 LUB, 4 LF, 8 bits of one register and
// one 16-byte string, and 10 WUB in HD. count is cut to a whole channel
// (a count that is not a multiple of 100 ends inside a group).
std::vector<SChannel> MixedChannels(int count);

// The database type a runtime keeps the channel in: int for bits and 16/32-
// bit integers, double for floats and 64-bit numbers, string for strings.
DATATYPE DatabaseType(const SChannel& channel);
std::vector<DATATYPE> DatabaseTypes(const std::vector<SChannel>& channels);

// Station 1, wait 1000 ms, every byte order 0.
std::vector<int32_t> DefaultDeviceProps();

// The configuration blob, every row named by the driver's own naming.
std::vector<uint8_t> BuildBlob(const std::vector<SChannel>& channels,
                               const std::vector<int32_t>& props = DefaultDeviceProps());

// Register contents of the simulated controller: letters, so that strings
// decode to text, and numbers of every sign.
uint8_t PatternByte(uint32_t area, uint32_t address, int half);
bool PatternBit(uint32_t area, uint32_t address);

// The reply a controller gives to a read request (function 0x1E/0x20) from
// the pattern memory, with the request's transaction number; the 14-byte
// echo for a write request; empty for anything else.
std::vector<uint8_t> BuildReply(const uint8_t* request, size_t size);

// The channel the runtime would lend, answering every request at once. A
// request seen before is answered from a cache (only its transaction number
// is stamped in), so a steady collection loop allocates nothing here.
class CInstantChannel : public ICommunication {
public:
    CInstantChannel() = default;
    virtual ~CInstantChannel() = default;
    CInstantChannel(const CInstantChannel&) = delete;
    CInstantChannel& operator=(const CInstantChannel&) = delete;

    int WriteData(const unsigned char* data, int& length, int timeoutMs) override;
    int ReadData(unsigned char* buffer, int& length, int timeoutMs) override;
    int ReadDataByLen(unsigned char* buffer, int& length, int timeoutMs) override;
    int ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs) override;
    int ClearInBuff() override;
    int SetDevName(const char* name) override;
    int GetCommType() override { return 1; }

    uint64_t Requests() const { return m_requests; }
    // Every request frame written so far, in order (when recording is on).
    void Record(bool on) { m_record = on; }
    const std::vector<std::vector<uint8_t>>& Recorded() const { return m_recorded; }

private:
    // Station, function, area, address and count: what decides the reply.
    using Key = std::array<uint8_t, 8>;
    int Serve(unsigned char* buffer, int& length);

    std::map<Key, std::vector<uint8_t>> m_cache;
    std::vector<uint8_t> m_other;  // reply to a request that is not cached
    const std::vector<uint8_t>* m_pending = nullptr;
    size_t m_offset = 0;
    uint8_t m_seq[2] = {0, 0};
    uint64_t m_requests = 0;
    bool m_record = false;
    std::vector<std::vector<uint8_t>> m_recorded;
};

// Database with one typed slot per channel in plain arrays, so that its own
// cost hardly shows next to the driver's. Named variables do not exist.
class CArrayRtdb : public IDevRtdbCtrl2 {
public:
    explicit CArrayRtdb(std::vector<DATATYPE> types);
    virtual ~CArrayRtdb() = default;

    int IntAt(int channel) const { return m_ints[static_cast<size_t>(channel)]; }
    double DoubleAt(int channel) const { return m_doubles[static_cast<size_t>(channel)]; }
    const std::string& StringAt(int channel) const { return m_strings[static_cast<size_t>(channel)]; }
    uint64_t Stores() const { return m_stores; }

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
    bool Has(int channel) const { return channel >= 0 && static_cast<size_t>(channel) < m_types.size(); }

    std::vector<DATATYPE> m_types;
    std::vector<int> m_ints;
    std::vector<double> m_doubles;
    std::vector<std::string> m_strings;
    uint64_t m_stores = 0;
};

// A device created by the exported factory and brought up in the runtime's
// order: GetInterfaceVersion(2), InitDevice, UpdataCommunication,
// ChannelRefChange with every channel referenced. Aborts the program with a
// message when the driver refuses a step.
class CPerfDevice {
public:
    explicit CPerfDevice(const std::vector<SChannel>& channels,
                         const std::vector<int32_t>& props = DefaultDeviceProps());
    ~CPerfDevice();
    CPerfDevice(const CPerfDevice&) = delete;
    CPerfDevice& operator=(const CPerfDevice&) = delete;

    // One CollectDevData call with every flag 1; the driver's result.
    int Collect() { return m_pDevice->CollectDevData(m_flags.data(), static_cast<int>(m_flags.size())); }
    // One full cycle: as many calls as the plan has ranks. Returns the
    // number of calls that failed.
    int CollectCycle();

    int ChannelCount() const { return static_cast<int>(m_flags.size()); }
    int RankCount() const;
    IDeviceCtrl& Device() { return *m_pDevice; }
    CDevCtrl& Ctrl() { return *m_pCtrl; }
    HOLN_DATA& Data() { return m_pCtrl->HolnData(); }
    CArrayRtdb& Rtdb() { return m_rtdb; }
    CInstantChannel& Channel() { return m_channel; }

private:
    CArrayRtdb m_rtdb;
    CInstantChannel m_channel;
    IDeviceCtrl* m_pDevice = nullptr;
    CDevCtrl* m_pCtrl = nullptr;
    std::vector<int> m_flags;
};

// Command line of the footprint and scaling programs: channel counts (100,
// 1,000 and 10,000 when none is given) and "--json" for one JSON object a line.
struct SSizeOptions {
    bool json = false;
    std::vector<int> sizes;
};
SSizeOptions ParseSizeOptions(int argc, char** argv);

}  // namespace perf
