// Read requests and the request/response transaction every exchange with the
// controller goes through.
#include <cstdint>
#include <cstring>

#include "config/DevConst.h"
#include "config/cstrtonumeric.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

// Frame fields have fixed widths; anything wider cannot be sent faithfully.
const uint32_t FRAME_MAX_STATION = 0xFF;
const uint32_t FRAME_MAX_ADDRESS = 0xFFFFFF;
const int FRAME_MAX_COUNT = 0xFFFF;
// Transaction numbers run 0..0xFFFF; above 0xFFFE the counter wraps to 0.
const uint32_t FRAME_SEQ_LAST = 0xFFFE;
// Poll interval while waiting for a reply (ms).
const int FRAME_POLL_MS = 10;
// A reply whose second byte is '[' carries one byte more than expected.
const unsigned char FRAME_BRACKET = 0x5B;

uint32_t NextFrameSeq(uint32_t seq)
{
    return seq > FRAME_SEQ_LAST ? 0 : seq + 1;
}

const char FRAME_HEX_LOWER[] = "0123456789abcdef";

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

// The function code sits in characters 14-15 of a frame text. Two hex
// digits, as every frame built or received here has them, are read
// directly; anything else goes through the text parser.
int FrameFunctionCode(const CString& text)
{
    if (text.GetLength() >= 16) {
        const int high = HexDigitValue(text[14]);
        const int low = HexDigitValue(text[15]);
        if (high >= 0 && low >= 0) return high * 16 + low;
    }
    uint32_t code = 0;
    cstringToNumeric(text.Mid(14, 2), "%X", &code);
    return static_cast<int>(code);
}

// Exactly `width` lower-case hex digits of value (printf's "%.Nx" for a
// value that fits); returns the end.
char* PutHexField(char* dst, uint32_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        dst[i] = FRAME_HEX_LOWER[value & 0xFu];
        value >>= 4;
    }
    return dst + width;
}

// Appends count bytes at once (the reply arrives in chunks of hundreds).
void AppendBytes(CByteArray& out, const unsigned char* bytes, int count)
{
    if (count <= 0) return;
    const int old = out.GetSize();
    out.SetSize(old + count);
    std::memcpy(out.GetData() + old, bytes, static_cast<size_t>(count));
}

bool StartsWithSeq(const CByteArray& bytes, uint32_t seq)
{
    return bytes.GetSize() >= 2 && bytes[0] == ((seq >> 8) & 0xFF) && bytes[1] == (seq & 0xFF);
}

// Drops complete replies of earlier transactions from the front of what was
// gathered, as long as their length field lets them be stepped over.
void RemoveStaleReplies(CByteArray& gathered, uint32_t seq)
{
    while (gathered.GetSize() > 1) {
        if (StartsWithSeq(gathered, seq)) return;
        // The length's low byte is at offset 5: with 5 bytes or fewer it has not arrived.
        if (gathered.GetSize() <= 5) return;
        int staleLen = gathered[5] + 6;
        if (staleLen > gathered.GetSize()) return;
        if (staleLen == gathered.GetSize()) {
            gathered.Clear();
            return;
        }
        gathered.RemoveAt(0, staleLen);
    }
}

// The bracket rule is about the reply's content, not about a transaction
// number whose low byte happens to be '['.
bool BracketRuleApplies(const CByteArray& gathered, uint32_t seq)
{
    return gathered.GetSize() == 2 && gathered[1] == FRAME_BRACKET && !StartsWithSeq(gathered, seq);
}

const unsigned char FRAME_EXCEPTION_FLAG = 0x80;

bool IsCompleteException(const CByteArray& gathered, uint32_t seq)
{
    if (gathered.GetSize() < 8 || !StartsWithSeq(gathered, seq)) return false;
    if ((gathered[7] & FRAME_EXCEPTION_FLAG) == 0) return false;
    int frameLength = 6 + ((gathered[4] << 8) | gathered[5]);
    return gathered.GetSize() >= frameLength;
}

// Gathers one attempt's reply into gathered.
void GatherReply(HOLN_DATA& data, uint32_t seq, unsigned int expected, int64_t waitMs, CByteArray& gathered)
{
    CByteArray& chunk = data.pMydata->ReadChunk;
    const int64_t start = Holn_GetTickCount();
    int64_t lastProgress = start;
    int bestLength = 0;
    unsigned int workExpected = expected;
    bool bracketSeen = false;
    for (;;) {
        int n = CDevServer::SvrReadTcpip(data, chunk);
        if (n <= 0) {
            if (Holn_GetTickCount() - start >= waitMs) return;
            Holn_Sleep(FRAME_POLL_MS, 0);
            continue;
        }
        // The bracket rule looks at the reply only when it is exactly two
        // bytes long: byte by byte up to there, the rest of the chunk at once.
        const int chunkSize = chunk.GetSize();
        int i = 0;
        for (; i < chunkSize && gathered.GetSize() < 2; ++i) {
            gathered.Add(chunk[i]);
            if (!bracketSeen && BracketRuleApplies(gathered, seq)) {
                ++workExpected;
                bracketSeen = true;
            }
        }
        AppendBytes(gathered, chunk.GetData() + i, chunkSize - i);
        RemoveStaleReplies(gathered, seq);
        if (static_cast<unsigned int>(gathered.GetSize()) >= workExpected) return;
        // An exception reply is shorter than any expected reply; once its own
        // length says it is complete, waiting longer cannot change the result.
        if (IsCompleteException(gathered, seq)) return;
        // A peer that keeps sending without completing a reply must not hold
        // the caller forever: give up once the wait time has passed since the
        // start or since the reply last grew, whichever is later.
        int64_t now = Holn_GetTickCount();
        if (gathered.GetSize() > bestLength) {
            bestLength = gathered.GetSize();
            lastProgress = now;
        }
        if (now - lastProgress >= waitMs) return;
        Holn_Sleep(FRAME_POLL_MS, 0);
    }
}

}  // namespace

unsigned int CDevBas::mfFormReadOrder(HOLN_DATA& /*data*/, CString& text, CDevTable& table, int station, int count,
                                      int firstRow)
{
    text.Empty();
    if (firstRow < 0 || firstRow >= table.GetRowCount()) return 0;
    const CDevRow& row = table.Row(firstRow);
    uint32_t area = row.GetdwValueAt(DEVROW_IDX_TYPE);
    uint32_t address = row.GetdwValueAt(DEVROW_IDX_ADDRESS);
    // Fields that do not fit the frame are refused, never masked: a masked
    // station could address another controller on a shared line.
    if (area >= static_cast<uint32_t>(CHL_AREA_NUM) || station < 0 ||
        static_cast<uint32_t>(station) > FRAME_MAX_STATION || address > FRAME_MAX_ADDRESS || count < 1 ||
        count > FRAME_MAX_COUNT) {
        return 0;
    }
    bool wordArea = area > static_cast<uint32_t>(CHL_BITAREA_LAST);
    // "00000008%.2x%s%s%.6x%.4x", written field by field: every value was
    // checked to fit its width above.
    const CString& areaCode = CHL_STR_READORDER[area];
    char buffer[32 + 8];
    char* end = buffer;
    std::memcpy(end, "00000008", 8);
    end = PutHexField(end + 8, static_cast<uint32_t>(station), 2);
    std::memcpy(end, wordArea ? "20" : "1e", 2);
    end += 2;
    const int areaChars = areaCode.GetLength() <= 8 ? areaCode.GetLength() : 8;
    std::memcpy(end, areaCode.GetString(), static_cast<size_t>(areaChars));
    end = PutHexField(end + areaChars, address, 6);
    end = PutHexField(end, static_cast<uint32_t>(count), 4);
    text.Append(buffer, static_cast<int>(end - buffer));
    unsigned int dataBytes =
        wordArea ? 2u * static_cast<unsigned int>(count) : (static_cast<unsigned int>(count) + 7) / 8;
    return 9 + dataBytes;
}

int CDevBas::mfWriteAndRead(HOLN_DATA& data, CString& frame, unsigned int expected, DEV_RWTYPE /*mode*/, int attempts)
{
    // A request that could not be built is never sent.
    if (!data.pMydata || frame.IsEmpty()) return DEV_PROTO_NOREPLY;

    uint32_t seq = NextFrameSeq(data.pMydata->nFrameSeq);
    data.pMydata->nFrameSeq = seq;
    char seqText[5];
    *PutHexField(seqText, seq, 4) = '\0';  // "%.4x"
    frame.Insert(0, seqText);
    const int requestCode = FrameFunctionCode(frame);

    if (attempts < 1) return DEV_PROTO_NOREPLY;

    // Every attempt sends the same bytes: the request is converted once.
    CByteArray& bytes = data.pMydata->RequestBytes;
    bytes.Clear();
    CDevServer::SvrHStr2HByte(frame, bytes);
    CByteArray& gathered = data.pMydata->ReplyBytes;
    // Room for the whole reply (and the bracket byte) from the start.
    gathered.Reserve(static_cast<int>(expected < 0x10000u ? expected + 1 : 0x10000u));
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int waitMs = DevPropValue(data, DEVPROP_WAITTIME);
        if (waitMs < 0) waitMs = 0;
        CDevServer::SvrWriteTcpip(data, bytes);
        gathered.Clear();
        GatherReply(data, seq, expected, waitMs, gathered);
        CDevServer::SvrHByte2HStr(gathered, frame);

        const int length = gathered.GetSize();
        if (length == 0) {
            if (attempt == attempts - 1) return DEV_PROTO_NOREPLY;
            continue;
        }
        if (length <= 8 && static_cast<unsigned int>(length) < expected) return DEV_PROTO_REFUSED;
        // A fragment of another transaction that could not be stepped over is
        // not this request's reply, whatever its function code.
        if (!StartsWithSeq(gathered, seq)) return DEV_PROTO_REFUSED;
        return FrameFunctionCode(frame) == requestCode ? length : DEV_PROTO_REFUSED;
    }
    return DEV_PROTO_NOREPLY;
}

int CDevBas::mfAddSum(HOLN_DATA& /*data*/, int /*unused*/, CString& /*text*/)
{
    return 1;  // the frames carry no checksum
}

int CDevBas::mfWriteLoginDataList(HOLN_DATA& /*data*/, int /*unused*/)
{
    return 0;  // there is no login exchange
}

int CDevBas::mfFormReadOrderMix(HOLN_DATA& /*data*/, CString& /*text*/, int /*unused*/)
{
    return 0;  // requests never span areas
}
