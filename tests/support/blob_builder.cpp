#include "blob_builder.h"

SBlobRow SBlobRow::Word(uint32_t area, uint32_t address, uint32_t dataType, const std::string& name)
{
    SBlobRow row;
    row.area = area;
    row.address = address;
    row.dataType = dataType;
    row.name = name;
    return row;
}

SBlobRow SBlobRow::Bit(uint32_t area, uint32_t address, const std::string& name)
{
    SBlobRow row;
    row.area = area;
    row.address = address;
    row.dataType = 20;
    row.name = name;
    return row;
}

CBlobBuilder& CBlobBuilder::Byte(uint8_t v)
{
    m_Bytes.push_back(v);
    return *this;
}

CBlobBuilder& CBlobBuilder::U16(uint16_t v)
{
    m_Bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    m_Bytes.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

CBlobBuilder& CBlobBuilder::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) m_Bytes.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
    return *this;
}

CBlobBuilder& CBlobBuilder::Str(const std::string& text)
{
    U32(static_cast<uint32_t>(text.size()));
    m_Bytes.insert(m_Bytes.end(), text.begin(), text.end());
    return *this;
}

CBlobBuilder& CBlobBuilder::Raw(const std::vector<uint8_t>& bytes)
{
    m_Bytes.insert(m_Bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

CBlobBuilder& CBlobBuilder::Props(const std::vector<int32_t>& values)
{
    I32(static_cast<int32_t>(values.size()));
    for (int32_t v : values) I32(v);
    return *this;
}

CBlobBuilder& CBlobBuilder::Row(const SBlobRow& row)
{
    U32(row.rwFlag).U32(row.area).U32(row.address).U32(row.bit).U32(row.dataType);
    return U32(row.readFast).U32(row.readMax).Str(row.name);
}

CBlobBuilder& CBlobBuilder::Rows(const std::vector<SBlobRow>& rows)
{
    RowCount(static_cast<int32_t>(rows.size()));
    for (const SBlobRow& row : rows) Row(row);
    return *this;
}

std::vector<int32_t> DefaultProps()
{
    return std::vector<int32_t>(9, 0);
}

CBlobBuilder DeviceBlob(const std::vector<SBlobRow>& rows, const std::vector<int32_t>& props)
{
    CBlobBuilder b;
    b.Marker().Props(props).Rows(rows);
    return b;
}
