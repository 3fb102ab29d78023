// CBlobBuilder: builds configuration blobs byte by byte for tests.
//
//   CBlobBuilder b;
//   b.Marker().Props({1, 500, 0, 0, 0, 0, 0, 0, 0})
//    .Rows({SBlobRow::Word(14, 100), SBlobRow::Bit(0, 5)});
//   dev.InitDevice(b.Data(), b.Size());
//
// Everything is little-endian and packed, as the driver reads it: Marker()
// writes the 16-bit format marker (20000 unless told otherwise), Props() the
// property count and values, Rows() the row count and the rows; Row() writes
// one row without a count, RowCount() a count alone (for hostile counts).
// I32/U32/U16/Byte/Str/Raw append single fields. DeviceBlob() is the usual
// marked blob with nine properties.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One channel row: seven unsigned 32-bit properties, then the name.
struct SBlobRow {
    uint32_t rwFlag = 2;  // read-write
    uint32_t area = 14;   // first word area
    uint32_t address = 0;
    uint32_t bit = 0;        // bit of a register, or a string's length
    uint32_t dataType = 83;  // "WUB"
    uint32_t readFast = 0;
    uint32_t readMax = 0;
    std::string name;

    // A 16-bit word (or another numeric code) of a word area.
    static SBlobRow Word(uint32_t area, uint32_t address, uint32_t dataType = 83, const std::string& name = "");
    // An element of a bit area (data-type code 20).
    static SBlobRow Bit(uint32_t area, uint32_t address, const std::string& name = "");
};

class CBlobBuilder {
public:
    CBlobBuilder& Marker(uint16_t marker = 20000) { return U16(marker); }
    CBlobBuilder& Byte(uint8_t v);
    CBlobBuilder& U16(uint16_t v);
    CBlobBuilder& U32(uint32_t v);
    CBlobBuilder& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    // Length word, then the bytes (no terminator).
    CBlobBuilder& Str(const std::string& text);
    CBlobBuilder& Raw(const std::vector<uint8_t>& bytes);

    // Property count, then the values.
    CBlobBuilder& Props(const std::vector<int32_t>& values);
    CBlobBuilder& RowCount(int32_t count) { return I32(count); }
    CBlobBuilder& Row(const SBlobRow& row);
    // Row count, then the rows.
    CBlobBuilder& Rows(const std::vector<SBlobRow>& rows);

    const unsigned char* Data() const { return m_Bytes.data(); }
    int Size() const { return static_cast<int>(m_Bytes.size()); }
    const std::vector<uint8_t>& Bytes() const { return m_Bytes; }

private:
    std::vector<uint8_t> m_Bytes;
};

// Nine zero properties unless given.
std::vector<int32_t> DefaultProps();
// Marker, properties, rows.
CBlobBuilder DeviceBlob(const std::vector<SBlobRow>& rows, const std::vector<int32_t>& props = DefaultProps());
