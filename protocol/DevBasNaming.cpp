// Channel naming and data-type selection: turns run descriptions into channel
// rows with their data-type codes and canonical names.
#include <climits>
#include <cstdint>

#include "config/DevConst.h"
#include "config/cstrtonumeric.h"
#include "protocol/DevBas.h"

namespace {

// A run never generates more channels than this.
const uint32_t CHL_RUN_MAXNUM = 5000;
const unsigned int STEP_BIT_OF_WORD = 16;
const unsigned int STEP_STRING = 128;
const int LISTIDX_FIRST_VALUE = DATATYPE_BIT_NUM;  // 16: "WUB"
const int LISTIDX_STRING = SELECT2_LIST_LEN - 1;   // 27: "STR"
const int LISTIDX_FIRST_DWORD = 19;                // "DUB"
const int LISTIDX_LAST_DWORD = 22;                 // "DF"
const int LISTIDX_TO_CODE = DATACODE_WUB - LISTIDX_FIRST_VALUE;
const int CODE_LAST_DWORD = 89;
const int CODE_FIRST_VALUE = DATACODE_WUB;
// More trailing digits than an int can carry in full.
const int AUTONAME_MAX_DIGITS = 10;

bool IsArea(int area)
{
    return area >= 0 && area < CHL_AREA_NUM;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Start of the area's list in SELECT2_STR_PROPERTYNAME.
int SelectListStart(int area)
{
    uint32_t start = 0;
    for (int a = 0; a < area; ++a) start += SELECT2_DWORD_PROPERTYNUM[a];
    return static_cast<int>(start);
}

// Position of text in the area's selection list, or -1.
int FindInSelectList(int area, const CString& text)
{
    int start = SelectListStart(area);
    int n = static_cast<int>(SELECT2_DWORD_PROPERTYNUM[area]);
    for (int p = 0; p < n && start + p < SELECT2_TOTAL; ++p) {
        if (SELECT2_STR_PROPERTYNAME[start + p] == text) return p;
    }
    return -1;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
// The formats are the vocabulary's own constants, never text from outside.
void AppendVocabularyFormat(CString& out, const CString& format, int value)
{
    if (format.IsEmpty()) return;
    CString piece;
    piece.Format(format.GetString(), value);
    out += piece;
}
#pragma GCC diagnostic pop

// Table entry for a row value, or nothing when the value lies outside the table.
const CString* TableEntry(const CString* table, int size, uint32_t index)
{
    return index < static_cast<uint32_t>(size) ? &table[index] : nullptr;
}

void AppendEntry(CString& out, const CString* entry)
{
    if (entry) out += *entry;
}

}  // namespace

int CDevBas::mfGetDataType(int listIndex, int area, unsigned int& step)
{
    step = 0;
    if (!IsArea(area)) return 0;
    uint32_t n = SELECT2_DWORD_PROPERTYNUM[area];
    if (n == 0) {
        step = 1;
        return DATACODE_BITAREA;
    }
    if (n != static_cast<uint32_t>(SELECT2_LIST_LEN)) return 0;
    if (listIndex >= 0 && listIndex < LISTIDX_FIRST_VALUE) {
        step = STEP_BIT_OF_WORD;
        return listIndex;
    }
    if (listIndex == LISTIDX_STRING) {
        step = STEP_STRING;
        return DATACODE_STR;
    }
    if (listIndex >= LISTIDX_FIRST_VALUE && listIndex < LISTIDX_STRING) {
        int code = listIndex + LISTIDX_TO_CODE;
        if (code > CODE_LAST_DWORD)
            step = 4;
        else if (listIndex >= LISTIDX_FIRST_DWORD && listIndex <= LISTIDX_LAST_DWORD)
            step = 2;
        else
            step = 1;
        return code;
    }
    return 0;  // not a position of the list
}

int CDevBas::mfGetDataTypeListNum(CString& typeCode, int area)
{
    if (!IsArea(area)) return -1;
    if (SELECT2_DWORD_PROPERTYNUM[area] == 0) return 0;
    typeCode.MakeUpper();
    if (typeCode.GetLength() < 2) return -1;
    for (int i = 0; i < DATATYPE_NUM; ++i) {
        if (DATATYPE_STR_NAME[i] != typeCode) continue;
        int p = FindInSelectList(area, DATATYPE_STR_SELECT2NAME[i]);
        if (p >= 0) return p;
    }
    for (int k = 0; k < DATATYPE_BIT_NUM; ++k) {
        if (DATATYPE_STR_BITNAME[k] != typeCode) continue;
        int p = FindInSelectList(area, DATATYPE_STR_SELECT2BITNAME[k]);
        if (p >= 0) return p;
    }
    return -1;
}

int CDevBas::mfFormRowName(CDevRow& row)
{
    uint32_t area = row.GetdwValueAt(DEVROW_IDX_TYPE);
    uint32_t rw = row.GetdwValueAt(DEVROW_IDX_RWFLAG);
    uint32_t code = row.GetdwValueAt(DEVROW_IDX_DATATYPE);
    uint32_t address = row.GetdwValueAt(DEVROW_IDX_ADDRESS);
    uint32_t bit = row.GetdwValueAt(DEVROW_IDX_BIT);

    CString name;
    AppendEntry(name, TableEntry(CHLNAME_STR_RWFLAG, RWFLAG_NUM, rw));
    AppendEntry(name, TableEntry(CHL_STR_NAME, CHL_AREA_NUM, area));
    if (code == static_cast<uint32_t>(DATACODE_STR)) {
        name += "STR";
    } else if (code >= static_cast<uint32_t>(CODE_FIRST_VALUE)) {
        AppendEntry(name, TableEntry(DATATYPE_STR_NAME, DATATYPE_NUM, code - CODE_FIRST_VALUE));
    }
    const CString* addressFormat = TableEntry(DEV_STR_ADDRESSFORMAT, CHL_AREA_NUM, area);
    if (addressFormat) AppendVocabularyFormat(name, *addressFormat, static_cast<int>(address));
    const CString* bitFormat = TableEntry(DEV_STR_BITFORMAT, CHL_AREA_NUM, area);
    if (code < static_cast<uint32_t>(DATATYPE_BIT_NUM) && bitFormat && !bitFormat->IsEmpty()) {
        AppendVocabularyFormat(name, *bitFormat, static_cast<int>(code));
    } else if (code == static_cast<uint32_t>(DATACODE_STR)) {
        name.AppendFormat("_%u", bit);
    }
    name.MakeUpper();
    row.SetstrValue(DEVROW_STR_CHLNAME, name);
    return 1;
}

int CDevBas::mfMakeDevRowsFromSChlInfo(SChlInfo& info, CArray<CDevRow, CDevRow&>& rows)
{
    int area = info.nChlType;
    if (!IsArea(area)) return 0;
    uint32_t listLen = SELECT2_DWORD_PROPERTYNUM[area];
    if (listLen != 0 && (info.nDataTypeIndex < 0 || static_cast<uint32_t>(info.nDataTypeIndex) >= listLen)) return 0;

    CString addressText = info.strStartAddr;
    int sep = addressText.Find('_');
    if (sep >= 0) {
        int len = 0;
        cstringToNumeric(addressText.Mid(sep + 1), "%d", &len);
        info.nBitOrLen = len;
        addressText = addressText.Left(sep);
    }
    int parsed = 0;
    cstringToNumeric(addressText, "%d", &parsed);
    uint32_t address = parsed < 0 ? 0 : static_cast<uint32_t>(parsed);

    CDevRow row;
    row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
    unsigned int step = 0;
    int code = mfGetDataType(info.nDataTypeIndex, area, step);
    uint32_t bit = 0;
    if (code < DATACODE_BITAREA) {
        bit = static_cast<uint32_t>(code);
    } else if (code == DATACODE_STR) {
        if (info.nBitOrLen < 0) info.nBitOrLen = static_cast<int32_t>(STEP_STRING);
        bit = static_cast<uint32_t>(info.nBitOrLen);
        step = bit;
    }
    row.SetdwValueAt(DEVROW_IDX_BIT, bit);
    row.SetdwValueAt(DEVROW_IDX_DATATYPE, static_cast<uint32_t>(code));
    row.SetdwValueAt(DEVROW_IDX_TYPE, static_cast<uint32_t>(area));
    if (CHLTYPE_DWORD_RWFLAG[area] == 0) info.nRWFlag = 0;
    row.SetdwValueAt(DEVROW_IDX_RWFLAG, static_cast<uint32_t>(info.nRWFlag));
    row.SetdwValueAt(DEVROW_IDX_READMAX, 0);
    row.SetdwValueAt(DEVROW_IDX_READFAST, 0);

    uint32_t count = static_cast<uint32_t>(info.nChlNum);
    if (count == 0) count = 1;
    if (count > CHL_RUN_MAXNUM) count = CHL_RUN_MAXNUM;

    rows.Reserve(rows.GetSize() + static_cast<int>(count));  // rows copy slowly when the array grows
    for (uint32_t i = 0; i < count; ++i) {
        mfFormRowName(row);
        rows.Add(row);
        if (code == DATACODE_STR) {
            address += (step + 1) / 2;  // registers that hold the string's bytes
        } else if (code >= DATACODE_BITAREA) {
            address += step;
        } else {
            if (bit >= STEP_BIT_OF_WORD - 1) {
                address += 1;
                bit = 0;
            } else {
                bit += 1;
            }
            row.SetdwValueAt(DEVROW_IDX_BIT, bit);
            row.SetdwValueAt(DEVROW_IDX_DATATYPE, bit);
        }
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
    }
    info.strStartAddr.Format("%d", static_cast<int32_t>(address));
    return 1;
}

int CDevBas::mfGetVarAutoName(CString& name, CString& format, int& number)
{
    int len = name.GetLength();
    int first = len;  // first character of the numeric tail
    while (first > 0 && IsDigit(name[first - 1])) --first;
    if (len == 0 || first == 0) return 0;
    int digits = len - first;
    if (digits > AUTONAME_MAX_DIGITS) return 0;
    int64_t value = 0;
    for (int i = first; i < len; ++i) value = value * 10 + (name[i] - '0');
    if (value > INT_MAX) return 0;

    // A "%" of the name must come out of the format as itself.
    CString prefixFormat;
    for (int i = 0; i < first; ++i) {
        prefixFormat += name[i];
        if (name[i] == '%') prefixFormat += '%';
    }
    prefixFormat.AppendFormat("%%.%dd", digits);
    format = prefixFormat;
    number = static_cast<int>(value);
    return digits > 0 ? 1 : 0;
}

int CDevBas::mfGetRWFlag(int n)
{
    // The writing keywords sit at the odd positions of IOCTRL_STR_PROPERTYNAME.
    return (n >= 1 && n < IOCTRL_COMMAND_NUM && n % 2 == 1) ? 1 : 0;
}
