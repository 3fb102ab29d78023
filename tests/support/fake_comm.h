// FakeComm: a scriptable ICommunication for unit tests.
//
// What it does
// - Records every call: WriteData (bytes, length word, time-out), every read
//   (which slot, length word handed in, time-out, end text), ClearInBuff and
//   SetDevName.
// - Serves every read slot (ReadData, ReadDataByLen, ReadDataByEndStr) from
//   one FIFO of scripted chunks. A chunk is: the bytes to deliver, the value
//   the call returns, and the value left in the caller's length word. Only
//   min(bytes, length word in) bytes are copied: the fake never writes past
//   the room the caller announced, even when the chunk's result claims more.
// - An empty queue answers like a silent line: result 0, length word 0 and
//   no byte written (unless an idle chunk is set, see SetIdleChunk).
//
// Playing a controller
// - After recording a write, WriteData calls the virtual OnWrite(bytes). The
//   default calls the hook set with SetOnWrite, if any. Either a subclass
//   overriding OnWrite or the hook can decode the request and queue the
//   reply chunks that the next reads will receive:
//
//     FakeComm comm;
//     comm.SetOnWrite([](FakeComm& c, const FakeComm::Bytes& request) {
//         c.QueueReply(AnswerFor(request));
//     });
//
//   A subclass may also override any ICommunication slot (call the FakeComm
//   version to keep the recording), e.g. to advance a fake clock per read.
//
// Defaults: WriteData returns the number of bytes written (SetWriteResult
// overrides), ClearInBuff returns 0 and leaves the queue alone
// (SetClearInBuffResult, SetClearDropsQueue), GetCommType returns 1,
// SetDevName returns 0.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host/hostif.h"

class FakeComm : public ICommunication {
public:
    using Bytes = std::vector<uint8_t>;

    enum class ReadSlot { ReadData, ReadDataByLen, ReadDataByEndStr };

    struct Chunk {
        Bytes bytes;        // delivered, cut to the caller's length word
        int result = 0;     // what the read call returns
        int lengthOut = 0;  // left in the caller's length word
    };

    struct WriteCall {
        Bytes bytes;
        int length = 0;  // length word handed in
        int timeoutMs = 0;
    };

    struct ReadCall {
        ReadSlot slot = ReadSlot::ReadData;
        int lengthIn = 0;  // length word handed in
        int timeoutMs = 0;
        std::string endText;  // ReadDataByEndStr only
        bool served = false;  // a scripted (or idle) chunk answered it
        int delivered = 0;    // bytes copied into the caller's buffer
    };

    using WriteHook = std::function<void(FakeComm& comm, const Bytes& written)>;

    FakeComm() = default;
    virtual ~FakeComm() = default;
    FakeComm(const FakeComm&) = delete;
    FakeComm& operator=(const FakeComm&) = delete;

    // --- scripting
    // Chunk with explicit result and length word.
    void QueueChunk(const Bytes& bytes, int result, int lengthOut);
    // Chunk as a real line delivers it: result = size, length word = size.
    void QueueChunk(const Bytes& bytes);
    // A whole reply as one chunk whose length word says nothing follows.
    void QueueReply(const Bytes& bytes);
    // Answer every read with this chunk while the queue is empty (a line that
    // never goes quiet); ClearIdleChunk returns to the silent default.
    void SetIdleChunk(const Chunk& chunk);
    void ClearIdleChunk();
    size_t QueuedChunks() const { return m_queue.size(); }

    void SetWriteResult(int result);  // fixed result instead of the byte count
    void SetClearInBuffResult(int result) { m_clearResult = result; }
    void SetClearDropsQueue(bool drop) { m_clearDropsQueue = drop; }
    void SetCommType(int type) { m_commType = type; }
    void SetOnWrite(WriteHook hook) { m_onWrite = std::move(hook); }

    // --- what happened
    const std::vector<WriteCall>& Writes() const { return m_writes; }
    const std::vector<ReadCall>& Reads() const { return m_reads; }
    const std::vector<std::string>& DevNames() const { return m_devNames; }
    int ClearCalls() const { return m_clearCalls; }
    // Every call in order, by slot name ("WriteData", "ReadData", ...).
    const std::vector<std::string>& CallLog() const { return m_callLog; }
    void ResetRecords();

    // --- ICommunication
    int WriteData(const unsigned char* data, int& length, int timeoutMs) override;
    int ReadData(unsigned char* buffer, int& length, int timeoutMs) override;
    int ReadDataByLen(unsigned char* buffer, int& length, int timeoutMs) override;
    int ReadDataByEndStr(unsigned char* buffer, int& length, const char* endText, int timeoutMs) override;
    int ClearInBuff() override;
    int SetDevName(const char* name) override;
    int GetCommType() override;

protected:
    // Called after each WriteData has been recorded.
    virtual void OnWrite(const Bytes& written);
    // Serves one read of any slot from the queue.
    int ServeRead(ReadSlot slot, unsigned char* buffer, int& length, const char* endText, int timeoutMs);

private:
    std::deque<Chunk> m_queue;
    bool m_hasIdle = false;
    Chunk m_idle;
    bool m_fixedWriteResult = false;
    int m_writeResult = 0;
    int m_clearResult = 0;
    bool m_clearDropsQueue = false;
    int m_commType = 1;
    WriteHook m_onWrite;

    std::vector<WriteCall> m_writes;
    std::vector<ReadCall> m_reads;
    std::vector<std::string> m_devNames;
    std::vector<std::string> m_callLog;
    int m_clearCalls = 0;
};
