#include "fake_plc.h"

#include <algorithm>

namespace {

// Area codes by area index: the controller's numbering, not in index order.
const uint8_t PLC_AREA_CODES[PLC_AREA_COUNT] = {0x03, 0x01, 0x02, 0x04, 0x0D, 0x05, 0x06, 0x07, 0x12, 0x08,
                                                0x09, 0x0A, 0x0B, 0x0C, 0x80, 0x86, 0x87, 0x83, 0x81, 0x82,
                                                0x85, 0x88, 0x8C, 0x89, 0x8A, 0x8B, 0x8D, 0x8E, 0x91};

const uint8_t FUNC_READ_BITS = 0x1E;
const uint8_t FUNC_WRITE_BITS = 0x1F;
const uint8_t FUNC_READ_WORDS = 0x20;
const uint8_t FUNC_WRITE_WORDS = 0x21;

const uint8_t EXC_BAD_FUNCTION = 0x01;
const uint8_t EXC_BAD_FRAME = 0x03;

bool IsRead(uint8_t function)
{
    return function == FUNC_READ_BITS || function == FUNC_READ_WORDS;
}
bool IsWrite(uint8_t function)
{
    return function == FUNC_WRITE_BITS || function == FUNC_WRITE_WORDS;
}
bool IsBitFunction(uint8_t function)
{
    return function == FUNC_READ_BITS || function == FUNC_WRITE_BITS;
}

void Put16(FakeComm::Bytes& out, unsigned value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Header with the length field set from what follows it.
FakeComm::Bytes Header(const SPlcRequest& request, uint8_t function, size_t rest)
{
    FakeComm::Bytes out;
    Put16(out, request.transaction);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(rest + 2));
    out.push_back(request.station);
    out.push_back(function);
    return out;
}

bool AreaIsBit(int area)
{
    return area >= 0 && area <= PLC_LAST_BIT_AREA;
}

}  // namespace

void CFakePlc::SetBit(int area, uint32_t address, bool value)
{
    if (area >= 0 && area < PLC_AREA_COUNT) m_bits[area][address] = value;
}

bool CFakePlc::Bit(int area, uint32_t address) const
{
    if (area < 0 || area >= PLC_AREA_COUNT) return false;
    auto it = m_bits[area].find(address);
    return it != m_bits[area].end() && it->second;
}

void CFakePlc::SetWord(int area, uint32_t address, uint16_t value)
{
    if (area >= 0 && area < PLC_AREA_COUNT) m_words[area][address] = value;
}

uint16_t CFakePlc::Word(int area, uint32_t address) const
{
    if (area < 0 || area >= PLC_AREA_COUNT) return 0;
    auto it = m_words[area].find(address);
    return it == m_words[area].end() ? 0 : it->second;
}

void CFakePlc::SetWords(int area, uint32_t address, const std::vector<uint16_t>& values)
{
    for (size_t i = 0; i < values.size(); ++i) SetWord(area, address + static_cast<uint32_t>(i), values[i]);
}

void CFakePlc::SetWordBytes(int area, uint32_t address, const Bytes& bytes)
{
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint16_t low = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        SetWord(area, address + static_cast<uint32_t>(i / 2), static_cast<uint16_t>(bytes[i] << 8 | low));
    }
}

void CFakePlc::ClearMemory()
{
    for (int i = 0; i < PLC_AREA_COUNT; ++i) {
        m_bits[i].clear();
        m_words[i].clear();
    }
}

uint8_t CFakePlc::AreaCode(int area)
{
    return area >= 0 && area < PLC_AREA_COUNT ? PLC_AREA_CODES[area] : 0xFF;
}

int CFakePlc::AreaFromCode(uint8_t code)
{
    for (int i = 0; i < PLC_AREA_COUNT; ++i) {
        if (PLC_AREA_CODES[i] == code) return i;
    }
    return -1;
}

void CFakePlc::AnswerException(uint8_t code, int times)
{
    Schedule(EPlcAnswer::Exception, times, code);
}

void CFakePlc::AnswerShort(size_t bytes, int times)
{
    Schedule(EPlcAnswer::Short, times, static_cast<int>(bytes));
}

void CFakePlc::AnswerGarbage(const Bytes& bytes, int times)
{
    Schedule(EPlcAnswer::Garbage, times, 0, bytes);
}

void CFakePlc::AnswerSplit(const std::vector<size_t>& sizes, int times)
{
    Schedule(EPlcAnswer::Split, times, 0, Bytes(), sizes);
}

void CFakePlc::Normal()
{
    m_schedule.clear();
    m_standing = SAnswer();
}

void CFakePlc::Schedule(EPlcAnswer kind, int times, int param, const Bytes& bytes, const std::vector<size_t>& sizes)
{
    SAnswer answer;
    answer.kind = kind;
    answer.param = param;
    answer.bytes = bytes;
    answer.sizes = sizes;
    if (times < 0) {
        m_standing = answer;
        return;
    }
    for (int i = 0; i < times; ++i) m_schedule.push_back(answer);
}

CFakePlc::SAnswer CFakePlc::NextAnswer()
{
    if (m_schedule.empty()) return m_standing;
    SAnswer answer = m_schedule.front();
    m_schedule.pop_front();
    return answer;
}

SPlcRequest CFakePlc::Parse(const Bytes& bytes)
{
    SPlcRequest request;
    request.bytes = bytes;
    const size_t n = bytes.size();
    if (n < 8) return request;
    request.transaction = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    request.protocol = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
    request.length = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    request.station = bytes[6];
    request.function = bytes[7];
    if (n < 14 || !(IsRead(request.function) || IsWrite(request.function))) return request;
    request.areaCode = bytes[8];
    request.area = AreaFromCode(request.areaCode);
    request.address = static_cast<uint32_t>(bytes[9]) << 16 | static_cast<uint32_t>(bytes[10]) << 8 | bytes[11];
    request.count = static_cast<uint16_t>(bytes[12] << 8 | bytes[13]);
    if (request.area < 0 || AreaIsBit(request.area) != IsBitFunction(request.function)) return request;
    if (IsWrite(request.function)) {
        if (n < 15) return request;
        request.byteCount = bytes[14];
        if (n < 15u + request.byteCount) return request;
        request.data.assign(bytes.begin() + 15, bytes.begin() + 15 + request.byteCount);
    }
    request.wellFormed = true;
    return request;
}

FakeComm::Bytes CFakePlc::ExceptionReply(const SPlcRequest& request, uint8_t code) const
{
    Bytes out = Header(request, static_cast<uint8_t>(request.function + 0x80), 1);
    out.push_back(code);
    return out;
}

FakeComm::Bytes CFakePlc::ReadReply(const SPlcRequest& request) const
{
    Bytes data;
    if (AreaIsBit(request.area)) {
        data.assign((request.count + 7u) / 8u, 0);
        for (uint32_t k = 0; k < request.count; ++k) {
            if (Bit(request.area, request.address + k)) data[k / 8] |= static_cast<uint8_t>(1u << (k % 8));
        }
    } else {
        for (uint32_t k = 0; k < request.count; ++k) Put16(data, Word(request.area, request.address + k));
    }
    Bytes out = Header(request, request.function, 1 + data.size());
    out.push_back(static_cast<uint8_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

FakeComm::Bytes CFakePlc::WriteReply(const SPlcRequest& request) const
{
    Bytes out = Header(request, request.function, 6);
    out.push_back(request.areaCode);
    out.push_back(static_cast<uint8_t>(request.address >> 16));
    Put16(out, request.address & 0xFFFFu);
    Put16(out, request.count);
    return out;
}

FakeComm::Bytes CFakePlc::BuildReply(const SPlcRequest& request) const
{
    if (!request.wellFormed) {
        bool known = IsRead(request.function) || IsWrite(request.function);
        return ExceptionReply(request, known ? EXC_BAD_FRAME : EXC_BAD_FUNCTION);
    }
    return IsRead(request.function) ? ReadReply(request) : WriteReply(request);
}

void CFakePlc::StoreWrite(const SPlcRequest& request)
{
    if (!request.wellFormed || !IsWrite(request.function)) return;
    for (uint32_t k = 0; k < request.count; ++k) {
        if (AreaIsBit(request.area)) {
            if (k / 8 < request.data.size())
                SetBit(request.area, request.address + k, (request.data[k / 8] >> (k % 8)) & 1u);
        } else if (2 * k + 1 < request.data.size()) {
            SetWord(request.area, request.address + k,
                    static_cast<uint16_t>(request.data[2 * k] << 8 | request.data[2 * k + 1]));
        }
    }
}

void CFakePlc::OnWrite(const Bytes& written)
{
    FakeComm::OnWrite(written);
    m_requests.push_back(Parse(written));
    const SPlcRequest& request = m_requests.back();
    SAnswer answer = NextAnswer();
    switch (answer.kind) {
        case EPlcAnswer::Silent:
            return;
        case EPlcAnswer::Exception:
            QueueReply(ExceptionReply(request, static_cast<uint8_t>(answer.param)));
            return;
        case EPlcAnswer::Garbage:
            QueueReply(answer.bytes);
            return;
        default:
            break;
    }
    Bytes reply = BuildReply(request);
    StoreWrite(request);
    switch (answer.kind) {
        case EPlcAnswer::Stale:
        case EPlcAnswer::StaleOnly: {
            SPlcRequest old = request;
            old.transaction = static_cast<uint16_t>(request.transaction - 1);
            Bytes stale = BuildReply(old);
            if (answer.kind == EPlcAnswer::Stale) stale.insert(stale.end(), reply.begin(), reply.end());
            QueueReply(stale);
            return;
        }
        case EPlcAnswer::Short:
            reply.resize(std::min(reply.size(), static_cast<size_t>(answer.param)));
            QueueReply(reply);
            return;
        case EPlcAnswer::Split: {
            size_t at = 0;
            for (size_t size : answer.sizes) {
                if (at >= reply.size()) break;
                size_t take = std::min(size, reply.size() - at);
                QueueReply(Bytes(reply.begin() + at, reply.begin() + at + take));
                at += take;
            }
            if (at < reply.size()) QueueReply(Bytes(reply.begin() + at, reply.end()));
            return;
        }
        default:
            QueueReply(reply);
            return;
    }
}
