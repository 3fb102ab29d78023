#include "fake_comm.h"

#include <algorithm>
#include <cstring>

void FakeComm::QueueChunk(const Bytes& bytes, int result, int lengthOut)
{
    m_queue.push_back(Chunk{bytes, result, lengthOut});
}

void FakeComm::QueueChunk(const Bytes& bytes)
{
    const int n = static_cast<int>(bytes.size());
    QueueChunk(bytes, n, n);
}

void FakeComm::QueueReply(const Bytes& bytes)
{
    QueueChunk(bytes, static_cast<int>(bytes.size()), 0);
}

void FakeComm::SetIdleChunk(const Chunk& chunk)
{
    m_idle = chunk;
    m_hasIdle = true;
}

void FakeComm::ClearIdleChunk()
{
    m_hasIdle = false;
    m_idle = Chunk{};
}

void FakeComm::SetWriteResult(int result)
{
    m_fixedWriteResult = true;
    m_writeResult = result;
}

void FakeComm::ResetRecords()
{
    m_writes.clear();
    m_reads.clear();
    m_devNames.clear();
    m_callLog.clear();
    m_clearCalls = 0;
}

int FakeComm::WriteData(const unsigned char* data, int& length, int timeoutMs)
{
    m_callLog.push_back("WriteData");
    WriteCall call;
    if (data && length > 0) call.bytes.assign(data, data + length);
    call.length = length;
    call.timeoutMs = timeoutMs;
    m_writes.push_back(call);
    const int result = m_fixedWriteResult ? m_writeResult : static_cast<int>(call.bytes.size());
    OnWrite(m_writes.back().bytes);
    return result;
}

void FakeComm::OnWrite(const Bytes& written)
{
    if (m_onWrite) m_onWrite(*this, written);
}

int FakeComm::ServeRead(ReadSlot slot, unsigned char* buffer, int& length, const char* endText, int timeoutMs)
{
    ReadCall call;
    call.slot = slot;
    call.lengthIn = length;
    call.timeoutMs = timeoutMs;
    if (endText) call.endText = endText;

    Chunk chunk;
    if (!m_queue.empty()) {
        chunk = m_queue.front();
        m_queue.pop_front();
        call.served = true;
    } else if (m_hasIdle) {
        chunk = m_idle;
        call.served = true;
    }
    const size_t room = length > 0 ? static_cast<size_t>(length) : 0;
    const size_t n = buffer ? std::min(room, chunk.bytes.size()) : 0;
    if (n > 0) std::memcpy(buffer, chunk.bytes.data(), n);
    call.delivered = static_cast<int>(n);
    m_reads.push_back(call);
    length = chunk.lengthOut;
    return chunk.result;
}

int FakeComm::ReadData(unsigned char* buffer, int& length, int timeoutMs)
{
    m_callLog.push_back("ReadData");
    return ServeRead(ReadSlot::ReadData, buffer, length, nullptr, timeoutMs);
}

int FakeComm::ReadDataByLen(unsigned char* buffer, int& length, int timeoutMs)
{
    m_callLog.push_back("ReadDataByLen");
    return ServeRead(ReadSlot::ReadDataByLen, buffer, length, nullptr, timeoutMs);
}

int FakeComm::ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs)
{
    m_callLog.push_back("ReadDataByEndStr");
    return ServeRead(ReadSlot::ReadDataByEndStr, buffer, length, endText, timeoutMs);
}

int FakeComm::ClearInBuff()
{
    m_callLog.push_back("ClearInBuff");
    ++m_clearCalls;
    if (m_clearDropsQueue) m_queue.clear();
    return m_clearResult;
}

int FakeComm::SetDevName(const char* name)
{
    m_callLog.push_back("SetDevName");
    m_devNames.push_back(name ? name : "");
    return 0;
}

int FakeComm::GetCommType()
{
    m_callLog.push_back("GetCommType");
    return m_commType;
}
