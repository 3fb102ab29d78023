#include "config/Dev.h"

#include <algorithm>
#include <cstring>

#include "config/DevConst.h"

namespace {

const uint32_t KIND_DWORD = 1;
const uint32_t KIND_STRING = 2;
// What a text property reads as before it is set.
const CString TEXT_UNSET;
// Newest blob format the readers understand.
const int FORMAT_CURRENT = ARCHIVE_FORMAT_MARKER;

int CompareDword(uint32_t a, uint32_t b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareText(const CString& a, const CString& b)
{
    return std::strcmp(a.GetString(), b.GetString());
}

}  // namespace

// ---------------------------------------------------------------- CDevRow

uint32_t CDevRow::m_dwRowNum = 0;
uint32_t CDevRow::m_dwPropertyNum = 0;
CStringArray CDevRow::m_strArPropertyName;
CArray<uint32_t, uint32_t> CDevRow::m_dwArPropertyType;
CArray<uint32_t, uint32_t> CDevRow::m_dwArPropertyTaxis;

CDevRow::CDevRow()
{
    static_assert(DWORD_INLINE_NUM >= DEVROW_PROPERTY_NUM, "channel rows must keep their dword values inline");
    const int count = static_cast<int>(m_dwPropertyNum);
    ReshapeDwords(count);
    std::fill_n(m_pdwValues, count, 0u);
    ++m_dwRowNum;
}

CDevRow::CDevRow(const CDevRow& other) : COwnerObject(other), m_strValues(other.m_strValues)
{
    CopyDwords(other);
    ++m_dwRowNum;
}

CDevRow& CDevRow::operator=(const CDevRow& other)
{
    if (this != &other) {
        CopyDwords(other);
        m_strValues.Copy(other.m_strValues);
    }
    return *this;
}

CDevRow::~CDevRow()
{
    if (m_pdwValues != m_dwInline) delete[] m_pdwValues;
    --m_dwRowNum;
}

// Room for count values, contents unset. The new block is allocated before
// the old one goes, so a failed allocation leaves the row as it was.
void CDevRow::ReshapeDwords(int count)
{
    uint32_t* values = count > DWORD_INLINE_NUM ? new uint32_t[static_cast<size_t>(count)] : m_dwInline;
    if (m_pdwValues != m_dwInline) delete[] m_pdwValues;
    m_pdwValues = values;
    m_nDwordNum = count;
}

// Takes the other row's slot count with its values: a row keeps the count of
// the schema it was made under, and assignment hands that on.
void CDevRow::CopyDwords(const CDevRow& other)
{
    if (m_nDwordNum != other.m_nDwordNum) ReshapeDwords(other.m_nDwordNum);
    std::copy(other.m_pdwValues, other.m_pdwValues + other.m_nDwordNum, m_pdwValues);
}

int CDevRow::SetPropertyNum(int n)
{
    // A negative count would turn into billions of slots per row.
    if (n < 0) return -1;
    m_dwPropertyNum = static_cast<uint32_t>(n);
    m_strArPropertyName.SetSize(n);
    m_dwArPropertyType.SetSize(n);
    m_dwArPropertyTaxis.SetSize(n);
    return n;
}

int CDevRow::SetPropertyNameAndType(int index, int kind, const CString& name, int taxis)
{
    if (index < 0 || static_cast<uint32_t>(index) >= m_dwPropertyNum) return 0;
    if (index >= m_strArPropertyName.GetSize() || index >= m_dwArPropertyType.GetSize() ||
        index >= m_dwArPropertyTaxis.GetSize())
        return 0;
    m_strArPropertyName[index] = name;
    m_dwArPropertyType[index] = static_cast<uint32_t>(kind);
    m_dwArPropertyTaxis[index] = static_cast<uint32_t>(taxis);
    return 1;
}

int CDevRow::GetIndexFromName(const CString& name)
{
    if (m_dwPropertyNum < 1 || static_cast<uint32_t>(m_strArPropertyName.GetSize()) != m_dwPropertyNum) return -1;
    for (int i = 0; i < m_strArPropertyName.GetSize(); ++i)
        if (m_strArPropertyName[i] == name) return i;
    return -1;
}

bool CDevRow::SchemaIsConsistent()
{
    return static_cast<uint32_t>(m_strArPropertyName.GetSize()) == m_dwPropertyNum &&
           static_cast<uint32_t>(m_dwArPropertyType.GetSize()) == m_dwPropertyNum &&
           static_cast<uint32_t>(m_dwArPropertyTaxis.GetSize()) == m_dwPropertyNum;
}

// A row's slots are its dword values; texts are held only once set and read
// as empty before.
bool CDevRow::HasAllSlots() const
{
    return static_cast<uint32_t>(m_nDwordNum) >= m_dwPropertyNum;
}

const CString& CDevRow::TextAt(int index) const
{
    for (int i = 0; i < m_strValues.GetSize(); ++i)
        if (m_strValues[i].nIndex == index) return m_strValues[i].strValue;
    return TEXT_UNSET;
}

void CDevRow::SetTextAt(int index, const CString& value)
{
    for (int i = 0; i < m_strValues.GetSize(); ++i) {
        if (m_strValues[i].nIndex == index) {
            m_strValues.ElementAt(i).strValue = value;
            return;
        }
    }
    SRowText text;
    text.nIndex = index;
    text.strValue = value;
    m_strValues.Add(text);
}

uint32_t CDevRow::GetdwValue(const CString& name) const
{
    return GetdwValueAt(GetIndexFromName(name));
}

void CDevRow::SetdwValue(const CString& name, uint32_t value)
{
    SetdwValueAt(GetIndexFromName(name), value);
}

CString CDevRow::GetstrValue(const CString& name) const
{
    const int index = GetIndexFromName(name);
    if (index < 0 || index >= m_nDwordNum) return CString();
    return TextAt(index);
}

void CDevRow::SetstrValue(const CString& name, const CString& value)
{
    const int index = GetIndexFromName(name);
    if (index < 0 || index >= m_nDwordNum) return;
    SetTextAt(index, value);
}

void CDevRow::SetdwValueAt(int index, uint32_t value)
{
    if (index < 0 || index >= m_nDwordNum) return;
    m_pdwValues[index] = value;
}

int CDevRow::CompareKeys(const CDevRow& other) const
{
    const int count = static_cast<int>(m_dwPropertyNum);
    for (int i = 0; i < count; ++i) {
        if (m_dwArPropertyTaxis[i] == 0) continue;
        int order = 0;
        if (m_dwArPropertyType[i] == KIND_DWORD)
            order = CompareDword(m_pdwValues[i], other.m_pdwValues[i]);
        else if (m_dwArPropertyType[i] == KIND_STRING)
            order = CompareText(TextAt(i), other.TextAt(i));
        if (order != 0) return order;
    }
    return 0;
}

bool CDevRow::operator>(const CDevRow& other) const
{
    if (!SchemaIsConsistent() || !HasAllSlots() || !other.HasAllSlots()) return false;
    return CompareKeys(other) > 0;
}

bool CDevRow::operator<(const CDevRow& other) const
{
    if (!SchemaIsConsistent() || !HasAllSlots() || !other.HasAllSlots()) return false;
    return CompareKeys(other) < 0;
}

bool CDevRow::operator==(const CDevRow& other) const
{
    if (!SchemaIsConsistent() || !HasAllSlots() || !other.HasAllSlots()) return false;
    // Only flag value 1 makes a property part of equality.
    const int count = static_cast<int>(m_dwPropertyNum);
    for (int i = 0; i < count; ++i) {
        if (m_dwArPropertyTaxis[i] != 1) continue;
        if (m_dwArPropertyType[i] == KIND_DWORD && m_pdwValues[i] != other.m_pdwValues[i]) return false;
        if (m_dwArPropertyType[i] == KIND_STRING && CompareText(TextAt(i), other.TextAt(i)) != 0) return false;
    }
    return true;
}

bool CDevRow::operator>=(const CDevRow& other) const
{
    return *this > other || *this == other;
}

bool CDevRow::operator<=(const CDevRow& other) const
{
    return *this < other || *this == other;
}

bool CDevRow::operator!=(const CDevRow& other) const
{
    return !(*this == other);
}

void CDevRow::Serialize(COwnerArchive& ar)
{
    if (!ar.IsStoring()) {
        Deserialize(ar);
        return;
    }
    const int count = SerializableCount();
    for (int i = 0; i < count; ++i) {
        if (m_dwArPropertyType[i] == KIND_DWORD)
            ar << static_cast<unsigned int>(m_pdwValues[i]);
        else if (m_dwArPropertyType[i] == KIND_STRING)
            ar << TextAt(i);
    }
}

int CDevRow::Deserialize(COwnerArchive& ar)
{
    const int version = ar.GetNowVersion();
    if (version > FORMAT_CURRENT) return version - FORMAT_CURRENT;
    return DeserializeFormOld(ar);
}

int CDevRow::DeserializeFormOld(COwnerArchive& ar)
{
    // Marked and unmarked blobs lay rows out alike.
    const int count = SerializableCount();
    for (int i = 0; i < count; ++i) {
        if (m_dwArPropertyType[i] == KIND_DWORD) {
            unsigned int value = m_pdwValues[i];
            ar >> value;
            m_pdwValues[i] = value;
        } else if (m_dwArPropertyType[i] == KIND_STRING) {
            // A failed read leaves the text as it was.
            CString text = TextAt(i);
            ar >> text;
            SetTextAt(i, text);
        }
    }
    return 0;
}

int CDevRow::SerializableCount() const
{
    // A row made under an older, smaller schema only has its own slots.
    int count = static_cast<int>(m_dwPropertyNum);
    if (count > m_dwArPropertyType.GetSize()) count = m_dwArPropertyType.GetSize();
    if (count > m_nDwordNum) count = m_nDwordNum;
    return count;
}

int CDevRow::GetMinSerializedSize()
{
    int size = 0;
    const int count = static_cast<int>(m_dwPropertyNum);
    for (int i = 0; i < count && i < m_dwArPropertyType.GetSize(); ++i)
        if (m_dwArPropertyType[i] == KIND_DWORD || m_dwArPropertyType[i] == KIND_STRING) size += 4;
    return size;
}

// ---------------------------------------------------------------- CDevTable

CDevTable::CDevTable(const CDevTable& other) : COwnerObject(other), m_nRowCount(0)
{
    *this = other;
}

CDevTable& CDevTable::operator=(const CDevTable& other)
{
    if (this == &other) return *this;
    m_nRowCount = other.GetRowCount();
    m_Rows.SetSize(m_nRowCount);
    for (int i = 0; i < m_nRowCount; ++i) m_Rows[i] = other.m_Rows[i];
    return *this;
}

int CDevTable::AddRows(CArray<CDevRow, CDevRow&>& rows, int bReplace)
{
    const int n = rows.GetSize();
    const int m = m_Rows.GetSize();
    if (n == 0) return -1;
    if (m == 0 || bReplace == 0) {
        m_Rows.Append(rows);
        m_nRowCount = m_Rows.GetSize();
        return m;
    }
    // The table is in key order and the input is a key-ordered run: the run
    // replaces the table rows whose keys lie within its range.
    int start = 0;
    for (int i = m - 1; i >= 0; --i) {
        if (rows[0] > m_Rows[i]) {
            start = i + 1;
            break;
        }
    }
    int end = -1;
    for (int i = m - 1; i >= 0; --i) {
        if (rows[n - 1] >= m_Rows[i]) {
            end = i;
            break;
        }
    }
    if (end >= 0 && end + 1 - start > 0) m_Rows.RemoveAt(start, end + 1 - start);
    m_Rows.InsertAt(start, &rows);
    m_nRowCount = m_Rows.GetSize();
    return start;
}

void CDevTable::DelRow(int i)
{
    if (i < 0 || i >= m_Rows.GetSize()) return;
    m_Rows.RemoveAt(i);
    m_Rows.FreeExtra();
    m_nRowCount = m_Rows.GetSize();
}

void CDevTable::DelTable()
{
    m_Rows.RemoveAll();
    m_nRowCount = 0;
}

void CDevTable::Serialize(COwnerArchive& ar)
{
    if (!ar.IsStoring()) {
        Deserialize(ar);
        return;
    }
    m_nRowCount = m_Rows.GetSize();
    ar << static_cast<int>(m_nRowCount);
    for (int i = 0; i < m_nRowCount; ++i) m_Rows[i].Serialize(ar);
}

int CDevTable::Deserialize(COwnerArchive& ar)
{
    const int version = ar.GetNowVersion();
    if (version > FORMAT_CURRENT) return version - FORMAT_CURRENT;
    if (ar.SvrGetRemaining() < 4) return 0;  // no count to read: the rows stay
    int count = 0;
    ar >> count;
    // The count comes from an untrusted blob. Every row takes at least 4 bytes
    // per dword or string property (32 with the channel schema), so no more
    // rows are made than the bytes left can fill; a negative count is 0 rows.
    // A schema with nothing to store still gets one row per byte at most.
    if (count < 0) count = 0;
    int rowMinBytes = CDevRow::GetMinSerializedSize();
    if (rowMinBytes < 1) rowMinBytes = 1;
    const int remaining = ar.SvrGetRemaining() > 0 ? ar.SvrGetRemaining() : 0;
    const int fillable = remaining / rowMinBytes;
    if (count > fillable) count = fillable;

    m_Rows.SetSize(count);
    m_nRowCount = count;
    for (int i = 0; i < count; ++i) m_Rows[i].Serialize(ar);
    return 0;
}

// ---------------------------------------------------------------- SChlInfo

SChlInfo& SChlInfo::operator=(const SChlInfo& other)
{
    if (this == &other) return *this;
    nReserved1 = other.nReserved1;
    nChlType = other.nChlType;
    nDataTypeIndex = other.nDataTypeIndex;
    nBitOrLen = other.nBitOrLen;
    strStartAddr = other.strStartAddr;
    nChlNum = other.nChlNum;
    nRWFlag = other.nRWFlag;
    nReserved2 = other.nReserved2;
    strReserved1 = other.strReserved1;
    strReserved2 = other.strReserved2;
    strReserved3 = other.strReserved3;
    strArReserved1.RemoveAll();
    strArReserved1.Append(other.strArReserved1);
    strArReserved2.RemoveAll();
    strArReserved2.Append(other.strArReserved2);
    return *this;
}

// ---------------------------------------------------------------- CDataTypeArray

CDataTypeArray::~CDataTypeArray()
{
    DeleteAll();
}

void CDataTypeArray::DeleteAll()
{
    for (int i = 0; i < m_Lists.GetSize(); ++i) {
        delete m_Lists[i];
        m_Lists[i] = nullptr;
    }
    m_Lists.RemoveAll();
}

int CDataTypeArray::mfStrArSetSize(int n)
{
    if (n < 0) return 0;
    DeleteAll();
    m_Lists.SetSize(n);
    return 1;
}

int CDataTypeArray::mfStrArSetAt(int i, CStringArray& list)
{
    if (i < 0 || i >= m_Lists.GetSize()) return 0;
    if (m_Lists[i] == &list) return 1;
    if (!m_Lists[i]) {
        m_Lists[i] = new CStringArray(list);
    } else {
        m_Lists[i]->RemoveAll();
        m_Lists[i]->Append(list);
    }
    return 1;
}

int CDataTypeArray::mfStrArGetAt(int i, CStringArray*& out)
{
    if (i < 0 || i >= m_Lists.GetSize()) return 0;
    out = m_Lists[i];
    return 1;
}

int CDataTypeArray::mfStrArAdd(CStringArray& list)
{
    m_Lists.Add(new CStringArray(list));
    return 1;
}
