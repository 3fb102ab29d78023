// Communication primitives of CDevServer: bytes to and from the channel the
// runtime lends, in four read modes, plus text wrappers around them.
#include <climits>
#include <cstdint>
#include <cstring>

#include "service/DevServer.h"

namespace {

// The loops that read chunk after chunk (stop character, quiet line) end at
// the latest after gathering this many bytes or after this multiple of their
// time-out since they started. A reply of this protocol is a few hundred
// bytes; a peer that keeps talking must not hold the runtime thread forever.
const int SVR_READ_LOOP_MAXBYTES = 4096;
const int64_t SVR_READ_LOOP_TIMEFACTOR = 4;

// Communication wait time (ms). A negative configured value would reach the
// channel as a huge unsigned time-out: it counts as 0.
unsigned int WaitTime(const HOLN_DATA& data)
{
    const int wait = DevPropValue(data, DEVPROP_WAITTIME);
    return wait > 0 ? static_cast<unsigned int>(wait) : 0u;
}

unsigned int MinReadTimeout(unsigned int timeout)
{
    return timeout < SVR_MIN_READ_TIMEOUT ? SVR_MIN_READ_TIMEOUT : timeout;
}

// The channel takes a signed time-out: keep large values positive.
int ChannelTimeout(unsigned int timeout)
{
    return timeout > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(timeout);
}

// Requested lengths beyond what the channel's length word can carry.
int ChannelLength(unsigned int length)
{
    return length > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

// Bytes a channel call may really have delivered into a buffer of room
// bytes, whatever it claims.
int Delivered(int result, int room)
{
    if (result < 1) return 0;
    return result > room ? room : result;
}

// Appends up to count bytes of chunk, never growing out beyond the loop
// limit. Returns false once the limit is reached.
bool AppendBounded(CByteArray& out, const unsigned char* chunk, int count)
{
    const int room = SVR_READ_LOOP_MAXBYTES - out.GetSize();
    const int take = count < room ? count : room;
    if (take > 0) {
        const int old = out.GetSize();
        out.SetSize(old + take);
        std::memcpy(out.GetData() + old, chunk, static_cast<size_t>(take));
    }
    return out.GetSize() < SVR_READ_LOOP_MAXBYTES;
}

// Bound on the time a chunk loop may spend, measured from its start.
class CReadLoopClock {
public:
    explicit CReadLoopClock(unsigned int timeout)
        : m_start(Holn_GetTickCount()), m_limit(SVR_READ_LOOP_TIMEFACTOR * static_cast<int64_t>(timeout))
    {
    }
    bool Expired() const { return Holn_GetTickCount() - m_start > m_limit; }

private:
    int64_t m_start;
    int64_t m_limit;
};

CString StopText(unsigned char stop)
{
    CString text("");
    text += static_cast<char>(stop);
    return text;
}

}  // namespace

int CDevServer::SvrWriteTcpip(HOLN_DATA& data, CByteArray& bytes)
{
    if (!data.pComm) return 0;
    int length = bytes.GetSize();
    if (length <= 0) return 0;
    return data.pComm->WriteData(bytes.GetData(), length, ChannelTimeout(WaitTime(data)));
}

int CDevServer::mfWriteComm(HOLN_DATA& data, CByteArray& bytes)
{
    return SvrWriteTcpip(data, bytes);
}

int CDevServer::SvrReadTcpip(HOLN_DATA& data, CByteArray& bytes)
{
    return mfReadCommUseSleep(data, bytes, WaitTime(data));
}

int CDevServer::mfReadComm(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout, int mode, unsigned int length,
                           unsigned char stop)
{
    bytes.Clear();
    switch (mode) {
        case SVR_READ_STOPCHAR:
            return mfReadCommUseStopChar(data, bytes, timeout, stop);
        case SVR_READ_INPUTLEN:
            return mfReadCommUseInputLen(data, bytes, timeout, length);
        case SVR_READ_SLEEP:
            return mfReadCommUseSleep(data, bytes, timeout);
        case SVR_READ_CHARORLEN:
            return mfReadCommUseCharOrLen(data, bytes, stop, timeout, length);
        default:
            return -2;
    }
}

int CDevServer::mfReadCommUseStopChar(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout, unsigned char stop)
{
    timeout = MinReadTimeout(timeout);
    if (!data.pComm) return -1;
    bytes.Clear();
    const CString stopText = StopText(stop);
    const CReadLoopClock clock(timeout);
    unsigned char chunk[SVR_READ_CHUNK];
    for (;;) {
        std::memset(chunk, 0, sizeof chunk);
        int length = SVR_READ_CHUNK;
        const int result = data.pComm->ReadDataByEndStr(chunk, length, stopText, ChannelTimeout(timeout));
        const int got = Delivered(result, SVR_READ_CHUNK);
        if (got == 0) break;
        if (!AppendBounded(bytes, chunk, got)) break;
        // Only a full chunk that did not end with the stop character may have more behind it.
        if (result != SVR_READ_CHUNK || chunk[SVR_READ_CHUNK - 1] == stop) break;
        if (clock.Expired()) break;
    }
    return bytes.GetSize();
}

int CDevServer::mfReadCommUseInputLen(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout, unsigned int length)
{
    const int wanted = ChannelLength(length);
    bytes.SetSize(wanted);
    if (!data.pComm) return -1;
    int lengthWord = wanted;
    const int result = data.pComm->ReadDataByLen(bytes.GetData(), lengthWord, ChannelTimeout(timeout));
    bytes.SetSize(Delivered(result, wanted));
    return bytes.GetSize();
}

int CDevServer::mfReadCommUseSleep(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout)
{
    timeout = MinReadTimeout(timeout);
    if (!data.pComm) return -1;
    bytes.Clear();
    const CReadLoopClock clock(timeout);
    unsigned char chunk[SVR_READ_CHUNK];
    for (;;) {
        std::memset(chunk, 0, sizeof chunk);
        int length = SVR_READ_CHUNK;
        const int result = data.pComm->ReadData(chunk, length, ChannelTimeout(timeout));
        const int got = Delivered(result, SVR_READ_CHUNK);
        if (got == 0) break;
        if (!AppendBounded(bytes, chunk, got)) break;
        // A positive length word means more may follow.
        if (length <= 0) break;
        if (clock.Expired()) break;
    }
    return bytes.GetSize();
}

int CDevServer::mfReadCommUseCharOrLen(HOLN_DATA& data, CByteArray& bytes, unsigned char stop, unsigned int timeout,
                                       unsigned int length)
{
    timeout = MinReadTimeout(timeout);
    if (!data.pComm) return -1;
    const int wanted = ChannelLength(length);
    bytes.Clear();
    bytes.SetSize(wanted);
    const CString stopText = StopText(stop);
    int lengthWord = wanted;
    const int result = data.pComm->ReadDataByEndStr(bytes.GetData(), lengthWord, stopText, ChannelTimeout(timeout));
    bytes.SetSize(Delivered(result, wanted));
    return bytes.GetSize();
}

int CDevServer::SvrWriteComm(HOLN_DATA& data, int textMode, CString& text)
{
    CByteArray bytes;
    if (textMode == SVR_TEXT_PLAIN) {
        SvrStr2Byte(text, bytes);
    } else if (textMode == SVR_TEXT_HEX) {
        SvrHStr2HByte(text, bytes);
    } else {
        return 0;
    }
    return SvrWriteTcpip(data, bytes);
}

int CDevServer::SvrReadComm(HOLN_DATA& data, int textMode, CString& text, unsigned int timeout, int readMode,
                            unsigned int length, unsigned char stop)
{
    CByteArray bytes;
    const int result = mfReadComm(data, bytes, timeout, readMode, length, stop);
    // A failed read yields empty text (the fixed-length mode leaves its
    // pre-sized buffer behind when there is no channel).
    if (result < 0) bytes.Clear();
    if (textMode == SVR_TEXT_PLAIN) {
        SvrByte2Str(bytes, text);
    } else if (textMode == SVR_TEXT_HEX) {
        SvrHByte2HStr(bytes, text);
    } else {
        return -1;
    }
    return result;
}

int CDevServer::SvrWriteAndReadComm(HOLN_DATA& data, int textMode, CString& text, unsigned int timeout, int readMode,
                                    unsigned int length, unsigned char stop)
{
    if (data.pComm) data.pComm->ClearInBuff();  // stale input would be taken for the reply
    SvrWriteComm(data, textMode, text);
    return SvrReadComm(data, textMode, text, timeout, readMode, length, stop);
}

int CDevServer::SvrClearCommInBuff(HOLN_DATA& data)
{
    if (!data.pComm) return 0;
    return data.pComm->ClearInBuff() == 0 ? 1 : 0;
}
