// Binary archive of configuration blobs: a growable byte buffer with a cursor
// and a direction. Little-endian, packed, 16-bit format marker 20000 at offset 0.
#pragma once

#include <cstdint>

#include "host/host.h"

enum ARCHIVESTATUS : int { ARCHIVE_LOADING = 0, ARCHIVE_STORING = 1 };

// Current blob format; a larger marker is a newer format that readers refuse.
const uint16_t ARCHIVE_FORMAT_MARKER = 20000;
// Growth step of a storing archive (kept as the blobs' producers use it).
const int ARCHIVE_GROW_STEP = 16534;

class COwnerArchive;

class COwnerObject {
public:
    virtual ~COwnerObject() = default;
    virtual void Serialize(COwnerArchive& ar) = 0;
};

class COwnerArchive {
public:
    explicit COwnerArchive(ARCHIVESTATUS mode);
    virtual ~COwnerArchive() = default;

    bool IsStoring() const { return m_nMode == ARCHIVE_STORING; }
    void SvrSeekToBegin() { m_nCursor = 0; }
    int SvrGetBufferSize() const { return m_nCursor; }
    int SvrGetRealBufferSize() const { return m_Buffer.GetSize(); }
    bool IsBufferEnd() const { return m_nCursor == m_Buffer.GetSize(); }
    // Bytes that remain between the cursor and the end of the buffer.
    int SvrGetRemaining() const { return m_Buffer.GetSize() - m_nCursor; }

    bool mfCheckBuffer(int n);
    void SvrChangeMode(ARCHIVESTATUS mode);

    int SvrWrite(const unsigned char* data, int n);
    int Write(const void* data, int n) { return SvrWrite(static_cast<const unsigned char*>(data), n); }
    int SvrRead(unsigned char* dest, int n);
    int Read(void* dest, int n) { return SvrRead(static_cast<unsigned char*>(dest), n); }
    int SvrWrite(CByteArray& bytes);
    int SvrRead(CByteArray& bytes);

    uint16_t GetNowVersion();

    COwnerArchive& operator<<(char v);
    COwnerArchive& operator<<(unsigned char v);
    COwnerArchive& operator<<(bool v);
    COwnerArchive& operator<<(unsigned short v);
    COwnerArchive& operator<<(int v);
    COwnerArchive& operator<<(unsigned int v);
    COwnerArchive& operator<<(long v);
    COwnerArchive& operator<<(float v);
    COwnerArchive& operator<<(double v);
    COwnerArchive& operator<<(const CString& v);
    COwnerArchive& operator<<(COwnerObject& v);

    COwnerArchive& operator>>(char& v);
    COwnerArchive& operator>>(unsigned char& v);
    COwnerArchive& operator>>(bool& v);
    COwnerArchive& operator>>(unsigned short& v);
    COwnerArchive& operator>>(int& v);
    COwnerArchive& operator>>(unsigned int& v);
    COwnerArchive& operator>>(long& v);
    COwnerArchive& operator>>(float& v);
    COwnerArchive& operator>>(double& v);
    COwnerArchive& operator>>(CString& v);
    COwnerArchive& operator>>(COwnerObject& v);

    const CByteArray& GetBuffer() const { return m_Buffer; }

private:
    // Transfers at the cursor in the current mode (no mode switch).
    int mfPut(const unsigned char* data, int n);
    int mfGet(unsigned char* dest, int n);
    // Little-endian values of 1-8 bytes through the raw read/write path.
    bool mfWriteLe(uint64_t value, int width);
    bool mfReadLe(uint64_t& value, int width);
    void mfWriteMarker();
    void mfReadMarker();

    CByteArray m_Buffer;
    int32_t m_nCursor = 0;
    ARCHIVESTATUS m_nMode;
};
