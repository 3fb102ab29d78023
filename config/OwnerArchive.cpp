#include "config/OwnerArchive.h"

#include <cstring>
#include <new>

namespace {

// Values go through explicit byte assembly so that the blob stays
// little-endian on any host and no unaligned host integer is ever touched.
void PutLe(unsigned char* out, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t GetLe(const unsigned char* in, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

}  // namespace

COwnerArchive::COwnerArchive(ARCHIVESTATUS mode) : m_nMode(mode) {}

bool COwnerArchive::mfCheckBuffer(int n)
{
    if (n < 0) return false;
    const int64_t length = m_Buffer.GetSize();
    const int64_t need = static_cast<int64_t>(m_nCursor) + n;
    if (m_nMode == ARCHIVE_LOADING) return need <= length;
    if (need <= length) return true;
    // The step is kept as the blobs' producers use it, so reserves match theirs.
    int64_t grown = length + ARCHIVE_GROW_STEP;
    if (grown < need) grown = need;
    if (grown > INT32_MAX) {
        if (need > INT32_MAX) return false;
        grown = INT32_MAX;
    }
    m_Buffer.SetSize(static_cast<int>(grown));
    return true;
}

void COwnerArchive::mfWriteMarker()
{
    unsigned char bytes[2];
    PutLe(bytes, ARCHIVE_FORMAT_MARKER, 2);
    mfPut(bytes, 2);
}

void COwnerArchive::mfReadMarker()
{
    unsigned char bytes[2];
    // An unreadable or smaller first word means an old blob that starts at 0.
    if (!mfGet(bytes, 2) || GetLe(bytes, 2) < ARCHIVE_FORMAT_MARKER) m_nCursor = 0;
}

void COwnerArchive::SvrChangeMode(ARCHIVESTATUS mode)
{
    if (mode != m_nMode) {
        m_nMode = mode;
        if (m_nCursor != 0) {
            // Only what was written (or read) so far stays part of the blob.
            if (m_nCursor < m_Buffer.GetSize()) m_Buffer.SetSize(m_nCursor);
            m_nCursor = 0;
        }
    } else if (m_nCursor != 0) {
        return;
    }
    if (m_nMode == ARCHIVE_STORING)
        mfWriteMarker();
    else
        mfReadMarker();
}

int COwnerArchive::mfPut(const unsigned char* data, int n)
{
    if (n < 0 || (n > 0 && !data)) return 0;
    if (!mfCheckBuffer(n)) return 0;
    if (n > 0) std::memcpy(m_Buffer.GetData() + m_nCursor, data, static_cast<size_t>(n));
    m_nCursor += n;
    return 1;
}

int COwnerArchive::mfGet(unsigned char* dest, int n)
{
    if (n < 0 || (n > 0 && !dest)) return 0;
    if (!mfCheckBuffer(n)) return 0;
    if (n > 0) std::memcpy(dest, m_Buffer.GetData() + m_nCursor, static_cast<size_t>(n));
    m_nCursor += n;
    return 1;
}

int COwnerArchive::SvrWrite(const unsigned char* data, int n)
{
    if (n < 0) return 0;
    if (m_nMode == ARCHIVE_LOADING) SvrChangeMode(ARCHIVE_STORING);
    return mfPut(data, n);
}

int COwnerArchive::SvrRead(unsigned char* dest, int n)
{
    if (n < 0) return 0;
    if (m_nMode == ARCHIVE_STORING) SvrChangeMode(ARCHIVE_LOADING);
    return mfGet(dest, n);
}

int COwnerArchive::SvrWrite(CByteArray& bytes)
{
    return mfPut(bytes.GetData(), bytes.GetSize());
}

int COwnerArchive::SvrRead(CByteArray& bytes)
{
    return mfGet(bytes.GetData(), bytes.GetSize());
}

uint16_t COwnerArchive::GetNowVersion()
{
    if (m_nMode == ARCHIVE_STORING) SvrChangeMode(ARCHIVE_LOADING);
    if (m_Buffer.GetSize() < 2) return 0;
    return static_cast<uint16_t>(GetLe(m_Buffer.GetData(), 2));
}

bool COwnerArchive::mfWriteLe(uint64_t value, int width)
{
    unsigned char bytes[8];
    PutLe(bytes, value, width);
    return SvrWrite(bytes, width) == 1;
}

bool COwnerArchive::mfReadLe(uint64_t& value, int width)
{
    unsigned char bytes[8];
    if (SvrRead(bytes, width) != 1) return false;
    value = GetLe(bytes, width);
    return true;
}

COwnerArchive& COwnerArchive::operator<<(char v)
{
    mfWriteLe(static_cast<unsigned char>(v), 1);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(unsigned char v)
{
    mfWriteLe(v, 1);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(bool v)
{
    mfWriteLe(v ? 1 : 0, 1);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(unsigned short v)
{
    mfWriteLe(v, 2);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(int v)
{
    mfWriteLe(static_cast<uint32_t>(v), 4);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(unsigned int v)
{
    mfWriteLe(v, 4);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(long v)
{
    // Blobs carry long as 32 bits whatever the host's long is.
    mfWriteLe(static_cast<uint32_t>(static_cast<int32_t>(v)), 4);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    mfWriteLe(bits, 4);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    mfWriteLe(bits, 8);
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(const CString& v)
{
    // The text ends at its first NUL, as the runtime's strings do.
    const char* text = v.GetString();
    const size_t length = std::strlen(text);
    if (length > INT32_MAX) return *this;
    if (mfWriteLe(length, 4)) SvrWrite(reinterpret_cast<const unsigned char*>(text), static_cast<int>(length));
    return *this;
}

COwnerArchive& COwnerArchive::operator<<(COwnerObject& v)
{
    SvrChangeMode(ARCHIVE_STORING);
    v.Serialize(*this);
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(char& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 1)) v = static_cast<char>(static_cast<unsigned char>(raw));
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(unsigned char& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 1)) v = static_cast<unsigned char>(raw);
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(bool& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 1)) v = (raw == 1);
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(unsigned short& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 2)) v = static_cast<unsigned short>(raw);
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(int& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 4)) v = static_cast<int32_t>(static_cast<uint32_t>(raw));
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(unsigned int& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 4)) v = static_cast<uint32_t>(raw);
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(long& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 4)) v = static_cast<int32_t>(static_cast<uint32_t>(raw));
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(float& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 4)) {
        const uint32_t bits = static_cast<uint32_t>(raw);
        std::memcpy(&v, &bits, sizeof v);
    }
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(double& v)
{
    uint64_t raw;
    if (mfReadLe(raw, 8)) std::memcpy(&v, &raw, sizeof v);
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(CString& v)
{
    uint64_t raw;
    if (!mfReadLe(raw, 4)) return *this;
    // The length word comes from an untrusted blob: a length the buffer cannot
    // back yields an empty string and nothing is allocated for it.
    const int remaining = SvrGetRemaining();
    if (remaining < 0 || raw > static_cast<uint64_t>(remaining)) {
        v.Empty();
        return *this;
    }
    const int length = static_cast<int>(raw);
    char* text = new (std::nothrow) char[static_cast<size_t>(length) + 1];
    if (!text) return *this;
    if (SvrRead(reinterpret_cast<unsigned char*>(text), length) == 1) {
        text[length] = '\0';
        v = text;
    }
    delete[] text;
    return *this;
}

COwnerArchive& COwnerArchive::operator>>(COwnerObject& v)
{
    SvrChangeMode(ARCHIVE_LOADING);
    v.Serialize(*this);
    return *this;
}
