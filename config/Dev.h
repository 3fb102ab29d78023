// Channel rows, the channel table and the run descriptions they are made from.
#pragma once

#include <cstdint>

#include "config/OwnerArchive.h"
#include "host/host.h"

// One channel: a record of named properties whose schema is shared by all rows.
class CDevRow : public COwnerObject {
public:
    CDevRow();
    CDevRow(const CDevRow& other);
    CDevRow& operator=(const CDevRow& other);
    ~CDevRow() override;

    static int SetPropertyNum(int n);
    static int SetPropertyNameAndType(int index, int kind, const CString& name, int taxis);
    static int GetIndexFromName(const CString& name);
    static uint32_t GetPropertyNum() { return m_dwPropertyNum; }
    static uint32_t GetRowNum() { return m_dwRowNum; }

    uint32_t GetdwValue(const CString& name) const;
    void SetdwValue(const CString& name, uint32_t value);
    CString GetstrValue(const CString& name) const;
    void SetstrValue(const CString& name, const CString& value);

    // Index-based access for hot paths (no name lookup); -1 / empty when out of range.
    // Inline: the decoder reads four properties of every channel it decodes.
    uint32_t GetdwValueAt(int index) const
    {
        // One unsigned comparison also turns negative indexes away.
        return static_cast<uint32_t>(index) < static_cast<uint32_t>(m_nDwordNum) ? m_pdwValues[index] : 0xFFFFFFFFu;
    }
    void SetdwValueAt(int index, uint32_t value);

    bool operator>(const CDevRow& other) const;
    bool operator<(const CDevRow& other) const;
    bool operator==(const CDevRow& other) const;
    bool operator>=(const CDevRow& other) const;
    bool operator<=(const CDevRow& other) const;
    bool operator!=(const CDevRow& other) const;

    void Serialize(COwnerArchive& ar) override;
    int Deserialize(COwnerArchive& ar);
    int DeserializeFormOld(COwnerArchive& ar);

    // Fewest bytes one stored row takes: 4 per dword or string property.
    static int GetMinSerializedSize();

private:
    static bool SchemaIsConsistent();
    bool HasAllSlots() const;
    int SerializableCount() const;
    // Sign of the first differing key property (flag non-zero), 0 when none differs.
    int CompareKeys(const CDevRow& other) const;

    static uint32_t m_dwRowNum;
    static uint32_t m_dwPropertyNum;
    static CStringArray m_strArPropertyName;
    static CArray<uint32_t, uint32_t> m_dwArPropertyType;
    static CArray<uint32_t, uint32_t> m_dwArPropertyTaxis;

    // One text property's value. A row holds only the texts that were set:
    // a channel row has one text property (its name) among eight, and a slot
    // per property would cost every channel seven empty strings.
    struct SRowText {
        int32_t nIndex = -1;
        CString strValue;
    };
    const CString& TextAt(int index) const;
    void SetTextAt(int index, const CString& value);

    // Dword values live in the row itself for schemas of up to eight
    // properties (the channel schema's count), so the decoder finds them next
    // to the row instead of behind one more pointer; a larger schema gets one
    // heap block. m_pdwValues points at whichever holds them.
    static constexpr int DWORD_INLINE_NUM = 8;
    void ReshapeDwords(int count);
    void CopyDwords(const CDevRow& other);

    uint32_t* m_pdwValues = m_dwInline;
    int32_t m_nDwordNum = 0;  // the property count when the row was made or last assigned
    uint32_t m_dwInline[DWORD_INLINE_NUM] = {};
    CArray<SRowText, const SRowText&> m_strValues;
};

class CDevTable : public COwnerObject {
public:
    CDevTable() = default;
    CDevTable(const CDevTable& other);
    CDevTable& operator=(const CDevTable& other);
    ~CDevTable() override = default;

    int GetRowCount() const { return m_Rows.GetSize(); }
    CDevRow& Row(int i) { return m_Rows[i]; }
    const CDevRow& Row(int i) const { return m_Rows[i]; }
    CDevRow& operator[](int i) { return m_Rows[i]; }

    int AddRows(CArray<CDevRow, CDevRow&>& rows, int bReplace);
    void DelRow(int i);
    void DelTable();

    void Serialize(COwnerArchive& ar) override;
    int Deserialize(COwnerArchive& ar);

private:
    int32_t m_nRowCount = 0;
    CArray<CDevRow, CDevRow&> m_Rows;
};

// Description of a run of channels to generate.
class SChlInfo {
public:
    SChlInfo() = default;
    SChlInfo(const SChlInfo& other) = default;
    SChlInfo& operator=(const SChlInfo& other);
    virtual ~SChlInfo() = default;

    int32_t nReserved1 = -1;
    int32_t nChlType = -1;        // area index
    int32_t nDataTypeIndex = -1;  // position in the area's selection list
    int32_t nBitOrLen = -1;       // string length (negative: 128)
    CString strStartAddr = "0";   // "address" or "address_length"
    int32_t nChlNum = -1;         // channel count
    int32_t nRWFlag = -1;
    int32_t nReserved2 = -1;
    CString strReserved1;
    CString strReserved2;
    CString strReserved3;
    CStringArray strArReserved1;
    CStringArray strArReserved2;
};

// Owning array of string lists (entries may be null).
class CDataTypeArray {
public:
    CDataTypeArray() = default;
    CDataTypeArray(const CDataTypeArray&) = delete;
    CDataTypeArray& operator=(const CDataTypeArray&) = delete;
    virtual ~CDataTypeArray();

    int mfStrArGetSize() const { return m_Lists.GetSize(); }
    int mfStrArSetSize(int n);
    int mfStrArSetAt(int i, CStringArray& list);
    int mfStrArGetAt(int i, CStringArray*& out);
    int mfStrArAdd(CStringArray& list);

private:
    void DeleteAll();
    CArray<CStringArray*, CStringArray*> m_Lists;
};
