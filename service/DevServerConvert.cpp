// Byte, hexadecimal and text-encoding conversions of CDevServer.
//
// Frames travel as hexadecimal text inside the driver, so the two hex
// routines run on every transaction: they work on the raw storage with
// lookup tables and never build a CString per byte.
#include <iconv.h>

#include <climits>
#include <cstddef>
#include <cstring>

#include "service/DevServer.h"

namespace {

const int CONVERT_FAIL = static_cast<int>(0x80000000u);

// Character classes of one byte for the hex pair parser.
enum : signed char { HEXCLS_OTHER = -1, HEXCLS_LEAD = -2 };

// Digit value of a hex digit; HEXCLS_LEAD for what the number parser lets
// stand before the first digit (a sign, C-locale white space); else
// HEXCLS_OTHER.
struct SHexClassTable {
    signed char cls[256];
    constexpr SHexClassTable() : cls()
    {
        for (int i = 0; i < 256; ++i) cls[i] = HEXCLS_OTHER;
        for (int i = 0; i < 10; ++i) cls['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) {
            cls['a' + i] = static_cast<signed char>(10 + i);
            cls['A' + i] = static_cast<signed char>(10 + i);
        }
        const char lead[] = {'+', '-', ' ', '\t', '\n', '\v', '\f', '\r'};
        for (char c : lead) cls[static_cast<unsigned char>(c)] = HEXCLS_LEAD;
    }
};
constexpr SHexClassTable HEX_CLASS;

constexpr char HEX_DIGITS_UPPER[] = "0123456789ABCDEF";

// The two upper-case digits of every byte value: one lookup per byte.
struct SHexPairTable {
    char pair[256][2];
    constexpr SHexPairTable() : pair()
    {
        for (int i = 0; i < 256; ++i) {
            pair[i][0] = HEX_DIGITS_UPPER[i >> 4];
            pair[i][1] = HEX_DIGITS_UPPER[i & 0x0F];
        }
    }
};
constexpr SHexPairTable HEX_PAIR;

// Value of a two-character field as the "%x" text parser reads it: a leading
// minus is dropped, white space and a plus may precede the digit, parsing
// stops at the first non-digit, no digit at all gives 0. A lone "0x" reads
// as 0, which the generic rule already yields.
inline unsigned char HexPairValue(unsigned char a, unsigned char b)
{
    const int ca = HEX_CLASS.cls[a];
    const int cb = HEX_CLASS.cls[b];
    if (ca >= 0) return static_cast<unsigned char>(cb >= 0 ? ca * 16 + cb : ca);
    if (ca == HEXCLS_LEAD && cb >= 0) return static_cast<unsigned char>(cb);
    return 0;
}

// Length of the text at the start of buf that ends before the first zero
// byte (or all of it).
int TextLengthUpToZero(const char* buf, int size)
{
    if (size <= 0) return 0;
    const void* zero = std::memchr(buf, 0, static_cast<size_t>(size));
    return zero ? static_cast<int>(static_cast<const char*>(zero) - buf) : size;
}

const iconv_t ICONV_NONE = reinterpret_cast<iconv_t>(-1);

// Runs one conversion of in into out through an open converter. 0: clean;
// 1: the converter reported a fault, what it produced before stays in out.
// outLeft returns the unused room.
int Convert(iconv_t cd, const char* in, size_t inLen, char* out, size_t& outLeft)
{
    if (outLeft > 0) std::memset(out, 0, outLeft);
    char* inPtr = const_cast<char*>(in);  // iconv's signature, the input is only read
    size_t inLeft = inLen;
    char* outPtr = out;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    return rc == static_cast<size_t>(-1) ? 1 : 0;
}

// One conversion through a converter opened for it. -1: the converter could
// not be opened (nothing written); otherwise as Convert.
int RunIconv(const char* from, const char* to, const char* in, size_t inLen, char* out, size_t& outLeft)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == ICONV_NONE) return -1;
    const int rc = Convert(cd, in, inLen, out, outLeft);
    iconv_close(cd);
    return rc;
}

const char* const DECODE_TARGET = "UTF-8//IGNORE";
const char* const DECODE_SOURCE[CTextDecoders::SOURCE_COUNT] = {"GB18030", "UTF-16LE"};

// Decoding of controller bytes into UTF-8 text. Controller data may hold an
// invalid or truncated sequence: the text produced up to the fault is kept
// (the buffer is zero-filled, so the text ends where output stopped). Only a
// converter that cannot be opened counts as failure. Returns the text
// length, or -1 on failure (out emptied). With decoders, their kept
// converter is used instead of opening one.
int DecodeToUtf8(int source, const CByteArray& in, CString& out, CTextDecoders* decoders)
{
    const int inSize = in.GetSize();
    if (inSize > INT_MAX / 2) {
        out.Empty();
        return -1;
    }
    const int cap = inSize * 2;  // every source unit grows at most twofold in UTF-8
    char* buf = out.GetBufferSetLength(cap);
    size_t outLeft = static_cast<size_t>(cap);
    const char* bytes = reinterpret_cast<const char*>(in.GetData());
    int rc = -1;
    if (!decoders) {
        rc = RunIconv(DECODE_SOURCE[source], DECODE_TARGET, bytes, static_cast<size_t>(inSize), buf, outLeft);
    } else if (void* cd = decoders->Get(source)) {
        rc = Convert(static_cast<iconv_t>(cd), bytes, static_cast<size_t>(inSize), buf, outLeft);
    }
    if (rc < 0) {
        out.Empty();
        return -1;
    }
    const int len = TextLengthUpToZero(buf, cap - static_cast<int>(outLeft));
    out.ReleaseBuffer(len);
    return len;
}

int DecodeGb18030(CByteArray& in, CString& out, CTextDecoders* decoders)
{
    in.Add(0);
    if (DecodeToUtf8(CTextDecoders::SOURCE_GB18030, in, out, decoders) < 0) return 0;
    return in.GetSize();
}

int DecodeUtf16(CByteArray& in, CString& out, CTextDecoders* decoders)
{
    if ((in.GetSize() & 1) != 0) in.SetSize(in.GetSize() - 1);
    const int n = in.GetSize();
    const bool terminated = n >= 2 && in[n - 2] == 0 && in[n - 1] == 0;
    if (!terminated) {
        in.Add(0);
        in.Add(0);
    }
    const int len = DecodeToUtf8(CTextDecoders::SOURCE_UTF16LE, in, out, decoders);
    return len < 0 ? 0 : len;
}

}  // namespace

int CDevServer::SvrStr2Byte(const CString& text, CByteArray& out)
{
    const int len = text.GetLength();
    out.Clear();
    out.SetSize(len);
    if (len > 0) std::memcpy(out.GetData(), text.GetString(), static_cast<size_t>(len));
    return out.GetSize();
}

int CDevServer::SvrByte2Str(CByteArray& in, CString& out)
{
    in.Add(0);  // callers see the terminator: it stays in their array
    const char* bytes = reinterpret_cast<const char*>(in.GetData());
    out = CString(bytes, TextLengthUpToZero(bytes, in.GetSize()));
    return in.GetSize();
}

int CDevServer::SvrHStr2HByte(const CString& hex, CByteArray& out)
{
    const int len = hex.GetLength();
    if (len == 0 || (len & 1) != 0) return 0;
    const int n = len / 2;
    out.SetSize(n);
    const unsigned char* src = reinterpret_cast<const unsigned char*>(hex.GetString());
    unsigned char* dst = out.GetData();
    for (int i = 0; i < n; ++i) dst[i] = HexPairValue(src[2 * i], src[2 * i + 1]);
    return 1;
}

int CDevServer::SvrHByte2HStr(const CByteArray& in, CString& out)
{
    const int n = in.GetSize();
    if (n > INT_MAX / 2) {  // cannot be held as text
        out.Empty();
        return 1;
    }
    char* dst = out.GetBufferSetLength(2 * n);
    const unsigned char* src = in.GetData();
    int i = 0;
    // Two bytes per step: a 240-byte reply is converted on every transaction.
    for (; i + 1 < n; i += 2) {
        char quad[4];
        std::memcpy(quad, HEX_PAIR.pair[src[i]], 2);
        std::memcpy(quad + 2, HEX_PAIR.pair[src[i + 1]], 2);
        std::memcpy(dst + 2 * i, quad, 4);
    }
    if (i < n) std::memcpy(dst + 2 * i, HEX_PAIR.pair[src[i]], 2);
    return 1;
}

int CDevServer::SvrChangeStrIncode(CByteArray& bytes, int order)
{
    if (order != 0) return 1;
    if ((bytes.GetSize() & 1) != 0) bytes.Add(0);
    unsigned char* p = bytes.GetData();
    for (int i = 0; i + 1 < bytes.GetSize(); i += 2) {
        const unsigned char t = p[i];
        p[i] = p[i + 1];
        p[i + 1] = t;
    }
    return 1;
}

int CDevServer::SvrStr2ASCII(const CString& text, CByteArray& out)
{
    const int len = text.GetLength();
    out.Clear();
    if (len > (INT_MAX - 2) / 2) return 0;
    // A character of two UTF-8 bytes may need four in GB18030: twice the
    // length is the worst case.
    const int cap = 2 * len + 2;
    out.SetSize(cap);
    size_t outLeft = static_cast<size_t>(cap);
    const int rc = RunIconv("UTF-8", "GB18030//IGNORE", text.GetString(), static_cast<size_t>(len),
                            reinterpret_cast<char*>(out.GetData()), outLeft);
    if (rc != 0) return 0;
    out.SetSize(cap - static_cast<int>(outLeft));
    return out.GetSize();
}

int CDevServer::SvrASCII2Str(CByteArray& in, CString& out)
{
    return DecodeGb18030(in, out, nullptr);
}

int CDevServer::SvrASCII2Str(CByteArray& in, CString& out, CTextDecoders& decoders)
{
    return DecodeGb18030(in, out, &decoders);
}

int CDevServer::SvrStr2Unicode(const CString& text, CByteArray& out)
{
    const int len = text.GetLength();
    out.Clear();
    if (len > INT_MAX / 4 - 1) return 0;
    const int cap = 4 * (len + 1);
    out.SetSize(cap);
    size_t outLeft = static_cast<size_t>(cap);
    // len + 1: the text's terminating zero becomes the 16-bit zero unit.
    const int rc = RunIconv("UTF-8", "UTF-16LE//IGNORE", text.GetString(), static_cast<size_t>(len) + 1,
                            reinterpret_cast<char*>(out.GetData()), outLeft);
    if (rc != 0) return 0;
    out.SetSize(cap - static_cast<int>(outLeft));
    return out.GetSize();
}

int CDevServer::SvrUnicode2Str(CByteArray& in, CString& out)
{
    return DecodeUtf16(in, out, nullptr);
}

int CDevServer::SvrUnicode2Str(CByteArray& in, CString& out, CTextDecoders& decoders)
{
    return DecodeUtf16(in, out, &decoders);
}

// ------------------------------------------------------------ CTextDecoders

CTextDecoders::~CTextDecoders()
{
    for (void* cd : m_Handles) {
        if (cd) iconv_close(static_cast<iconv_t>(cd));
    }
}

void* CTextDecoders::Get(int source)
{
    if (source < 0 || source >= SOURCE_COUNT) return nullptr;
    void*& cd = m_Handles[source];
    if (!cd) {
        iconv_t opened = iconv_open(DECODE_TARGET, DECODE_SOURCE[source]);
        if (opened == ICONV_NONE) return nullptr;
        cd = opened;
    } else {
        // Back to the initial state: an earlier input may have ended inside
        // a sequence.
        iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    }
    return cd;
}

int CDevServer::ConvertCode(const char* from, const char* to, char* in, int inLen, char* out, int& outLeft)
{
    if (!from || !to || inLen < 0 || outLeft < 0) return CONVERT_FAIL;
    if ((!in && inLen > 0) || (!out && outLeft > 0)) return CONVERT_FAIL;
    size_t left = static_cast<size_t>(outLeft);
    const int rc = RunIconv(from, to, in, static_cast<size_t>(inLen), out, left);
    if (rc < 0) return CONVERT_FAIL;
    outLeft = static_cast<int>(left);
    return rc == 0 ? 0 : CONVERT_FAIL;
}

int CDevServer::Utf8ToGbk(char* in, int inLen, char* out, int& outLeft)
{
    return ConvertCode("UTF-8", "GB18030//IGNORE", in, inLen, out, outLeft);
}

int CDevServer::GbkToUtf8(char* in, int inLen, char* out, int& outLeft)
{
    return ConvertCode("GB18030", "UTF-8//IGNORE", in, inLen, out, outLeft);
}

int CDevServer::Utf8ToUnicode(char* in, int inLen, char* out, int& outLeft)
{
    return ConvertCode("UTF-8", "UTF-16LE//IGNORE", in, inLen, out, outLeft);
}

int CDevServer::UnicodeToUtf8(char* in, int inLen, char* out, int& outLeft)
{
    return ConvertCode("UTF-16LE", "UTF-8//IGNORE", in, inLen, out, outLeft);
}

int CDevServer::GbkToUnicode(char* in, int inLen, char* out, int& outLeft)
{
    return ConvertCode("GB18030", "UTF-16LE//IGNORE", in, inLen, out, outLeft);
}

int CDevServer::UnicodeToGbk(char* in, int inLen, char* out, int& outLeft)
{
    return ConvertCode("UTF-16LE", "GB18030//IGNORE", in, inLen, out, outLeft);
}
