#include "perf_device.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "blob_builder.h"
#include "config/Dev.h"
#include "config/DevConst.h"
#include "protocol/DevBas.h"

namespace perf {

namespace {

const int GROUP_CHANNELS = 100;
// Address strides of one group per area, wide enough for its channels.
const uint32_t GROUP_STRIDE_M = 32;
const uint32_t GROUP_STRIDE_X = 16;
const uint32_t GROUP_STRIDE_D = 128;
const uint32_t GROUP_STRIDE_HD = 16;
const uint32_t STRING_BYTES = 16;

const size_t HEADER_BYTES = 8;
const size_t READ_REQUEST_BYTES = 14;
const uint8_t FUNC_READ_BITS = 0x1E;
const uint8_t FUNC_WRITE_BITS = 0x1F;
const uint8_t FUNC_READ_WORDS = 0x20;
const uint8_t FUNC_WRITE_WORDS = 0x21;

[[noreturn]] void Fail(const char* step, int result)
{
    std::fprintf(stderr, "perf device: %s failed with %d\n", step, result);
    std::abort();
}

void AddRun(std::vector<SChannel>& out, uint32_t area, uint32_t address, int count, uint32_t code, uint32_t rw = 2)
{
    for (int i = 0; i < count; ++i) {
        SChannel c;
        c.area = area;
        c.address = address + static_cast<uint32_t>(i);
        c.code = code;
        c.rw = rw;
        out.push_back(c);
    }
}

// One group of the mixed configuration; words of wider types step by their width.
void AddGroup(std::vector<SChannel>& out, uint32_t g)
{
    AddRun(out, AREA_M, g * GROUP_STRIDE_M, 16, CODE_BITAREA);
    AddRun(out, AREA_X, g * GROUP_STRIDE_X, 8, CODE_BITAREA, 0);
    uint32_t d = g * GROUP_STRIDE_D;
    AddRun(out, AREA_D, d, 21, CODE_WUB);
    AddRun(out, AREA_D, d + 21, 10, CODE_WB);
    for (uint32_t i = 0; i < 10; ++i) out.push_back(SChannel{AREA_D, d + 32 + 2 * i, CODE_DUB, 0, 2});
    for (uint32_t i = 0; i < 8; ++i) out.push_back(SChannel{AREA_D, d + 52 + 2 * i, CODE_DF, 0, 2});
    for (uint32_t i = 0; i < 4; ++i) out.push_back(SChannel{AREA_D, d + 68 + 4 * i, CODE_LUB, 0, 2});
    for (uint32_t i = 0; i < 4; ++i) out.push_back(SChannel{AREA_D, d + 84 + 4 * i, CODE_LF, 0, 2});
    for (uint32_t b = 0; b < 8; ++b) out.push_back(SChannel{AREA_D, d + 100, b, b, 2});
    out.push_back(SChannel{AREA_D, d + 104, CODE_STR, STRING_BYTES, 2});
    AddRun(out, AREA_HD, g * GROUP_STRIDE_HD, 10, CODE_WUB);
}

uint32_t Be24(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

int AreaFromCode(uint8_t code)
{
    for (int i = 0; i < CHL_AREA_NUM; ++i)
        if (CHL_BYTE_READORDER[i] == code) return i;
    return -1;
}

void PutHeader(std::vector<uint8_t>& reply, const uint8_t* request, size_t rest)
{
    reply.assign(request, request + HEADER_BYTES);
    reply[4] = static_cast<uint8_t>((rest + 2) >> 8);
    reply[5] = static_cast<uint8_t>((rest + 2) & 0xFF);
}

}  // namespace

std::vector<SChannel> WordRun(uint32_t area, uint32_t first, int count, uint32_t code)
{
    std::vector<SChannel> out;
    uint32_t step = code >= CODE_LUB && code <= CODE_LF ? 4 : (code >= CODE_DUB ? 2 : 1);
    for (int i = 0; i < count; ++i) out.push_back(SChannel{area, first + step * static_cast<uint32_t>(i), code, 0, 2});
    return out;
}

std::vector<SChannel> MixedChannels(int count)
{
    std::vector<SChannel> all;
    int groups = (count + GROUP_CHANNELS - 1) / GROUP_CHANNELS;
    for (int g = 0; g < groups; ++g) AddGroup(all, static_cast<uint32_t>(g));
    // Cut by group order, then lay the table out in key order (area, address, bit).
    if (static_cast<int>(all.size()) > count) all.resize(static_cast<size_t>(count));
    std::stable_sort(all.begin(), all.end(), [](const SChannel& a, const SChannel& b) {
        uint32_t abit = a.code < 16 ? a.bit : 0;
        uint32_t bbit = b.code < 16 ? b.bit : 0;
        return std::tie(a.area, a.address, abit) < std::tie(b.area, b.address, bbit);
    });
    return all;
}

DATATYPE DatabaseType(const SChannel& c)
{
    if (c.code == CODE_STR) return DATATYPE_STRING;
    if (c.code == CODE_DF || (c.code >= CODE_LUB && c.code <= CODE_LF)) return DATATYPE_DOUBLE;
    return DATATYPE_INT;
}

std::vector<DATATYPE> DatabaseTypes(const std::vector<SChannel>& channels)
{
    std::vector<DATATYPE> types;
    types.reserve(channels.size());
    for (const SChannel& c : channels) types.push_back(DatabaseType(c));
    return types;
}

std::vector<int32_t> DefaultDeviceProps()
{
    return {1, 1000, 0, 0, 0, 0, 0, 0, 0};
}

std::vector<uint8_t> BuildBlob(const std::vector<SChannel>& channels, const std::vector<int32_t>& props)
{
    CDevBas::mfInitBlockAndRow();
    std::vector<SBlobRow> rows;
    rows.reserve(channels.size());
    for (const SChannel& c : channels) {
        CDevRow named;
        named.SetdwValueAt(DEVROW_IDX_RWFLAG, c.rw);
        named.SetdwValueAt(DEVROW_IDX_TYPE, c.area);
        named.SetdwValueAt(DEVROW_IDX_ADDRESS, c.address);
        named.SetdwValueAt(DEVROW_IDX_BIT, c.bit);
        named.SetdwValueAt(DEVROW_IDX_DATATYPE, c.code);
        CDevBas::mfFormRowName(named);
        SBlobRow row;
        row.rwFlag = c.rw;
        row.area = c.area;
        row.address = c.address;
        row.bit = c.bit;
        row.dataType = c.code;
        row.name = named.GetstrValue(DEVROW_STR_CHLNAME).str();
        rows.push_back(row);
    }
    return DeviceBlob(rows, props).Bytes();
}

uint8_t PatternByte(uint32_t area, uint32_t address, int half)
{
    return static_cast<uint8_t>('A' + (address * 2 + static_cast<uint32_t>(half) + area) % 26);
}

bool PatternBit(uint32_t area, uint32_t address)
{
    return ((address * 7 + area) % 3) == 0;
}

std::vector<uint8_t> BuildReply(const uint8_t* request, size_t size)
{
    std::vector<uint8_t> reply;
    if (size < READ_REQUEST_BYTES) return reply;
    const uint8_t function = request[7];
    const int area = AreaFromCode(request[8]);
    const uint32_t address = Be24(request + 9);
    const uint32_t count = (static_cast<uint32_t>(request[12]) << 8) | request[13];
    if (area < 0) return reply;
    if (function == FUNC_WRITE_BITS || function == FUNC_WRITE_WORDS) {
        PutHeader(reply, request, READ_REQUEST_BYTES - HEADER_BYTES);
        reply.insert(reply.end(), request + HEADER_BYTES, request + READ_REQUEST_BYTES);
        return reply;
    }
    const bool wordArea = area > CHL_BITAREA_LAST;
    if (function != (wordArea ? FUNC_READ_WORDS : FUNC_READ_BITS)) return reply;
    const size_t dataBytes = wordArea ? 2u * count : (count + 7u) / 8u;
    PutHeader(reply, request, 1 + dataBytes);
    reply.push_back(static_cast<uint8_t>(dataBytes & 0xFF));
    if (wordArea) {
        for (uint32_t i = 0; i < count; ++i) {
            reply.push_back(PatternByte(static_cast<uint32_t>(area), address + i, 0));
            reply.push_back(PatternByte(static_cast<uint32_t>(area), address + i, 1));
        }
    } else {
        reply.resize(reply.size() + dataBytes, 0);
        for (uint32_t i = 0; i < count; ++i)
            if (PatternBit(static_cast<uint32_t>(area), address + i))
                reply[HEADER_BYTES + 1 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
    return reply;
}

// --- CInstantChannel

int CInstantChannel::WriteData(const unsigned char* data, int& length, int /*timeoutMs*/)
{
    if (!data || length <= 0) return 0;
    const size_t size = static_cast<size_t>(length);
    ++m_requests;
    if (m_record) m_recorded.emplace_back(data, data + size);
    m_offset = 0;
    m_pending = nullptr;
    if (size < READ_REQUEST_BYTES) return length;
    m_seq[0] = data[0];
    m_seq[1] = data[1];
    const uint8_t function = data[7];
    if (function == FUNC_READ_BITS || function == FUNC_READ_WORDS) {
        Key key;
        std::copy(data + 6, data + READ_REQUEST_BYTES, key.begin());
        auto it = m_cache.find(key);
        if (it == m_cache.end()) it = m_cache.emplace(key, BuildReply(data, size)).first;
        m_pending = &it->second;
    } else {
        m_other = BuildReply(data, size);
        m_pending = &m_other;
    }
    return length;
}

// The whole reply in one read; the length word says nothing follows.
int CInstantChannel::Serve(unsigned char* buffer, int& length)
{
    const int capacity = length;
    length = 0;
    if (!m_pending || !buffer || capacity <= 0 || m_offset >= m_pending->size()) return 0;
    size_t n = std::min(m_pending->size() - m_offset, static_cast<size_t>(capacity));
    std::memcpy(buffer, m_pending->data() + m_offset, n);
    if (m_offset == 0 && n >= 2) {
        buffer[0] = m_seq[0];
        buffer[1] = m_seq[1];
    }
    m_offset += n;
    length = static_cast<int>(m_pending->size() - m_offset);
    return static_cast<int>(n);
}

int CInstantChannel::ReadData(unsigned char* buffer, int& length, int /*timeoutMs*/)
{
    return Serve(buffer, length);
}

int CInstantChannel::ReadDataByLen(unsigned char* buffer, int& length, int /*timeoutMs*/)
{
    int n = Serve(buffer, length);
    length = n;
    return n > 0 ? n : -1;
}

int CInstantChannel::ReadDataByEndStr(unsigned char* buffer, int& length, const char* /*endText*/, int /*timeoutMs*/)
{
    int n = Serve(buffer, length);
    length = n;
    return n;
}

int CInstantChannel::ClearInBuff()
{
    m_pending = nullptr;
    return 0;
}

int CInstantChannel::SetDevName(const char* /*name*/)
{
    return 0;
}

// --- CArrayRtdb

CArrayRtdb::CArrayRtdb(std::vector<DATATYPE> types)
    : m_types(std::move(types)), m_ints(m_types.size()), m_doubles(m_types.size()), m_strings(m_types.size())
{
}

int CArrayRtdb::GetValueTypeByName(const char*, DATATYPE&)
{
    return -1;
}
int CArrayRtdb::GetValueByName(const char*, int&)
{
    return -1;
}
int CArrayRtdb::GetValueByName(const char*, double&)
{
    return -1;
}
int CArrayRtdb::GetValueByName(const char*, std::string&)
{
    return -1;
}
int CArrayRtdb::SetValueByName(const char*, int)
{
    return -1;
}
int CArrayRtdb::SetValueByName(const char*, double)
{
    return -1;
}
int CArrayRtdb::SetValueByName(const char*, std::string&)
{
    return -1;
}

int CArrayRtdb::GetValueTypeByChannel(int channel, DATATYPE& type)
{
    if (!Has(channel)) return -1;
    type = m_types[static_cast<size_t>(channel)];
    return 0;
}

int CArrayRtdb::GetValueByChannel(int channel, int& value)
{
    if (!Has(channel)) return -1;
    value = m_ints[static_cast<size_t>(channel)];
    return 0;
}

int CArrayRtdb::GetValueByChannel(int channel, double& value)
{
    if (!Has(channel)) return -1;
    value = m_doubles[static_cast<size_t>(channel)];
    return 0;
}

int CArrayRtdb::GetValueByChannel(int channel, std::string& value)
{
    if (!Has(channel)) return -1;
    value = m_strings[static_cast<size_t>(channel)];
    return 0;
}

int CArrayRtdb::SetValueByChannel(int channel, int value)
{
    if (!Has(channel)) return -1;
    m_ints[static_cast<size_t>(channel)] = value;
    ++m_stores;
    return 0;
}

int CArrayRtdb::SetValueByChannel(int channel, double value)
{
    if (!Has(channel)) return -1;
    m_doubles[static_cast<size_t>(channel)] = value;
    ++m_stores;
    return 0;
}

int CArrayRtdb::SetValueByChannel(int channel, std::string& value)
{
    if (!Has(channel)) return -1;
    m_strings[static_cast<size_t>(channel)] = value;  // reuses the slot's capacity
    ++m_stores;
    return 0;
}

int CArrayRtdb::GetValueIDByChannel(int channel, int& id)
{
    if (!Has(channel)) return -1;
    id = channel;
    return 0;
}

int CArrayRtdb::SetCollectFlagSuc(int)
{
    return 0;
}

// --- CPerfDevice

CPerfDevice::CPerfDevice(const std::vector<SChannel>& channels, const std::vector<int32_t>& props)
    : m_rtdb(DatabaseTypes(channels)), m_flags(channels.size(), 1)
{
    const std::vector<uint8_t> blob = BuildBlob(channels, props);
    m_pDevice = CreateDeviceCtrl("perf", &m_rtdb);
    m_pCtrl = dynamic_cast<CDevCtrl*>(m_pDevice);
    if (!m_pCtrl) Fail("CreateDeviceCtrl", 0);
    if (GetInterfaceVersion(2, m_pDevice) != 2) Fail("GetInterfaceVersion", 0);
    int r = m_pDevice->InitDevice(blob.data(), static_cast<int>(blob.size()));
    if (r != 0) Fail("InitDevice", r);
    r = m_pDevice->UpdataCommunication(&m_channel);
    if (r != 0) Fail("UpdataCommunication", r);
    std::vector<int> refs(channels.size(), 1);
    r = m_pDevice->ChannelRefChange(refs.data(), static_cast<int>(refs.size()));
    if (r != 0) Fail("ChannelRefChange", r);
}

CPerfDevice::~CPerfDevice()
{
    m_pDevice->CleanupDevice();
    DestroyDeviceCtrl(m_pDevice);
}

int CPerfDevice::RankCount() const
{
    const DEV_DATA* dev = m_pCtrl->HolnData().pMydata;
    return dev ? dev->nRankNum : 0;
}

int CPerfDevice::CollectCycle()
{
    int failed = 0;
    const int calls = RankCount() > 0 ? RankCount() : 1;
    for (int i = 0; i < calls; ++i)
        if (Collect() != 0) ++failed;
    return failed;
}

SSizeOptions ParseSizeOptions(int argc, char** argv)
{
    SSizeOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            options.json = true;
        } else {
            options.sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (options.sizes.empty()) options.sizes = {100, 1000, 10000};
    return options;
}

}  // namespace perf
