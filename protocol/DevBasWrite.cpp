// Write frames: one channel from the runtime or one planned block of a
// command-built table, laid out as a write request, sent through the
// transaction and judged by the reply's length.
#include <cstdint>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

// Every accepted write is answered with exactly this many bytes.
const int WRITE_REPLY_LEN = 14;
const int WRITE_ATTEMPTS = 3;
const DEV_RWTYPE WRITE_RWTYPE_READ = 0;
const DEV_RWTYPE WRITE_RWTYPE_BLOCK = 3;
const int READBACK_ATTEMPTS = 1;

// Field limits of the request: station and byte count are one byte, the
// count two bytes, the start address three bytes.
const int64_t WRITE_MAX_STATION = 0xFF;
const uint32_t WRITE_MAX_ADDRESS = 0xFFFFFF;
const int64_t WRITE_MAX_COUNT = 0xFFFF;
const int64_t WRITE_MAX_BYTES = 0xFF;
// A string fills whole registers, so its byte count is even.
const uint32_t WRITE_MAX_STRLEN = 254;

const uint32_t RWFLAG_READONLY = 0;
const uint32_t BITS_PER_REGISTER = 16;
const uint32_t CODE_REGBIT_LAST = 15;
const uint32_t CODE_16BIT_LAST = 85;
const uint32_t CODE_32BIT_FIRST = 86;
const uint32_t CODE_DF = 89;
const uint32_t CODE_64BIT_FIRST = 90;
const uint32_t CODE_LF = 93;

// Reply text positions: data from character 18, four characters a register.
const int REPLY_DATA_POS = 18;
const int REGISTER_CHARS = 4;

// Byte order option that swaps the two bytes of a 16-bit register.
const int ORDER16_SWAPPED = 1;

// Write layouts: the canonical bytes (0 = most significant) in wire order.
const int LAYOUT32_NUM = 4;
const int LAYOUT32[LAYOUT32_NUM][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {2, 3, 0, 1}, {3, 2, 1, 0}};
const int LAYOUT64_NUM = 8;
const int LAYOUT64[LAYOUT64_NUM][8] = {{0, 1, 2, 3, 4, 5, 6, 7}, {1, 0, 3, 2, 5, 4, 7, 6}, {2, 3, 0, 1, 6, 7, 4, 5},
                                       {3, 2, 1, 0, 7, 6, 5, 4}, {4, 5, 6, 7, 0, 1, 2, 3}, {5, 4, 7, 6, 1, 0, 3, 2},
                                       {6, 7, 4, 5, 2, 3, 0, 1}, {7, 6, 5, 4, 3, 2, 1, 0}};

struct SWriteRow {
    uint32_t nArea;
    uint32_t nAddr;
    uint32_t nBit;
    uint32_t nCode;
};

SWriteRow ReadWriteRow(const CDevRow& row)
{
    SWriteRow r;
    r.nArea = row.GetdwValueAt(DEVROW_IDX_TYPE);
    r.nAddr = row.GetdwValueAt(DEVROW_IDX_ADDRESS);
    r.nBit = row.GetdwValueAt(DEVROW_IDX_BIT);
    r.nCode = row.GetdwValueAt(DEVROW_IDX_DATATYPE);
    return r;
}

bool IsWordArea(uint32_t area)
{
    return area > static_cast<uint32_t>(CHL_BITAREA_LAST);
}
bool IsRegisterBit(uint32_t code)
{
    return code <= CODE_REGBIT_LAST;
}
bool IsString(uint32_t code)
{
    return code == static_cast<uint32_t>(DATACODE_STR);
}
bool IsNumeric(uint32_t code)
{
    return code >= static_cast<uint32_t>(DATACODE_WUB) && code <= CODE_LF;
}

// Registers one numeric value occupies.
int64_t NumericRegisters(uint32_t code)
{
    if (code <= CODE_16BIT_LAST) return 1;
    if (code < CODE_64BIT_FIRST) return 2;
    return 4;
}

// The first and last row of what is written: a block of the plan (mode 1)
// or one row. False when they do not name rows of the table in order.
bool WriteRows(const DEV_DATA& dev, int index, int mode, int& first, int& last)
{
    if (mode == 1) {
        if (index < 0 || index >= dev.DynBlockArray.GetSize()) return false;
        first = dev.DynBlockArray[index].nStartRow;
        last = dev.DynBlockArray[index].nEndRow;
    } else {
        first = last = index;
    }
    const int rows = dev.pDevTable->GetRowCount();
    return first >= 0 && first <= last && last < rows;
}

bool ValidStation(const HOLN_DATA& data)
{
    const int station = DevPropValue(data, DEVPROP_STATION);
    return station >= 0 && station <= WRITE_MAX_STATION;
}

bool FitsFrame(int64_t count, int64_t bytes)
{
    return count >= 1 && count <= WRITE_MAX_COUNT && bytes >= 1 && bytes <= WRITE_MAX_BYTES;
}

// Checks that every row of the block can be laid out one after the other
// from the start address, and counts the registers (or bits) and data bytes.
// A block that mixes kinds or leaves gaps would put values at the wrong
// addresses: it is refused.
bool MeasureRows(CDevTable& table, int first, int last, int64_t& count, int64_t& bytes)
{
    const SWriteRow head = ReadWriteRow(table.Row(first));
    count = 0;
    bytes = 0;
    for (int i = first; i <= last; ++i) {
        const SWriteRow r = ReadWriteRow(table.Row(i));
        const int64_t step = static_cast<int64_t>(i) - first;
        if (r.nArea != head.nArea) return false;
        if (!IsWordArea(head.nArea)) {
            if (r.nAddr != static_cast<int64_t>(head.nAddr) + step) return false;
            ++count;
            continue;
        }
        if (IsRegisterBit(head.nCode)) {
            const int64_t offset = static_cast<int64_t>(head.nCode) + step;
            if (!IsRegisterBit(r.nCode) || r.nCode != offset % BITS_PER_REGISTER) return false;
            if (r.nAddr != static_cast<int64_t>(head.nAddr) + offset / BITS_PER_REGISTER) return false;
            continue;
        }
        if (!IsNumeric(r.nCode) || r.nAddr != static_cast<int64_t>(head.nAddr) + count) return false;
        count += NumericRegisters(r.nCode);
    }
    if (!IsWordArea(head.nArea)) {
        bytes = first == last ? 1 : (count + 7) / 8;
    } else if (IsRegisterBit(head.nCode)) {
        count = (static_cast<int64_t>(head.nCode) + (last - first)) / BITS_PER_REGISTER + 1;
        bytes = 2 * count;
    } else {
        bytes = 2 * count;
    }
    return true;
}

// Every row written must have its value entry.
bool HasValues(const CArray<double, double>& values, int last)
{
    return last + 1 < values.GetSize();
}

CString SwapPair(const CString& text)
{
    return text.Mid(2, 2) + text.Left(2);
}

// The canonical text of n bytes rearranged into a write layout.
CString Permute(const CString& canonical, const int* layout, int n)
{
    CString out;
    for (int k = 0; k < n; ++k) out += canonical.Mid(2 * layout[k], 2);
    return out;
}

CString Word16Text(const HOLN_DATA& data, double value, uint32_t code)
{
    CString text = CDevServer::SvrDouble2Str(value, static_cast<int>(code), 0, 0);
    return DevPropValue(data, DEVPROP_ORDER16) == ORDER16_SWAPPED ? SwapPair(text) : text;
}

CString WideText(const HOLN_DATA& data, double value, uint32_t code)
{
    const CString canonical = CDevServer::SvrDouble2Str(value, static_cast<int>(code), 0, 0);
    if (code < CODE_64BIT_FIRST) {
        const int option = DevPropValue(data, code == CODE_DF ? DEVPROP_ORDERFLOAT : DEVPROP_ORDER32);
        const int chosen = option >= 0 && option < LAYOUT32_NUM ? option : 0;
        return Permute(canonical, LAYOUT32[chosen], 4);
    }
    const int option = DevPropValue(data, code == CODE_LF ? DEVPROP_ORDERDOUBLE : DEVPROP_ORDER64);
    const int chosen = option >= 0 && option < LAYOUT64_NUM ? option : 0;
    return Permute(canonical, LAYOUT64[chosen], 8);
}

bool IsOn(double value)
{
    return CDevServer::Double2Int(value) != 0;
}

// Bit area: one byte for a single row, else the bits packed eight to a
// byte, least significant first.
CString BitAreaData(const CArray<double, double>& values, int first, int last)
{
    if (first == last) return IsOn(values[first + 1]) ? "01" : "00";
    CString text;
    unsigned int byte = 0;
    for (int i = first; i <= last; ++i) {
        const int k = (i - first) % 8;
        if (IsOn(values[i + 1])) byte |= 1u << k;
        if (k == 7 || i == last) {
            text.AppendFormat("%.2X", byte);
            byte = 0;
        }
    }
    return text;
}

// Bits of registers: the registers rewritten whole from what was read back.
// Registers between the first and the last are covered bit for bit by rows.
CString RegisterBitData(const HOLN_DATA& data, const CArray<double, double>& values, int first, int last,
                        uint32_t firstBit, uint32_t firstReg, uint32_t lastReg)
{
    CString text;
    const int64_t lastOffset = static_cast<int64_t>(firstBit) + (last - first);
    const int64_t lastStart = BITS_PER_REGISTER * (lastOffset / BITS_PER_REGISTER);
    uint32_t acc = firstReg;
    for (int i = first; i <= last; ++i) {
        const int64_t offset = static_cast<int64_t>(firstBit) + (i - first);
        const uint32_t mask = 1u << (offset % BITS_PER_REGISTER);
        if (offset == lastStart) acc = lastReg;
        acc &= 0xFFFFu & ~mask;
        if (IsOn(values[i + 1])) acc |= mask;
        if (offset % BITS_PER_REGISTER == CODE_REGBIT_LAST || offset == lastOffset) {
            text += Word16Text(data, acc, DATACODE_WUB);
        }
    }
    return text;
}

CString NumericData(const HOLN_DATA& data, CDevTable& table, const CArray<double, double>& values, int first, int last)
{
    CString text;
    for (int i = first; i <= last; ++i) {
        const uint32_t code = table.Row(i).GetdwValueAt(DEVROW_IDX_DATATYPE);
        const double v = values[i + 1];
        text += code < CODE_32BIT_FIRST ? Word16Text(data, v, code) : WideText(data, v, code);
    }
    return text;
}

// One register of a read reply, in the device's 16-bit order.
uint32_t RegisterAt(const HOLN_DATA& data, const CString& reply, int pos)
{
    const int swap = DevPropValue(data, DEVPROP_ORDER16) == ORDER16_SWAPPED ? 2 : 0;
    const double value = CDevServer::SvrStr2Double(reply.Mid(pos), DATACODE_WUB, swap, 0);
    return static_cast<uint32_t>(CDevServer::Double2Int(value)) & 0xFFFFu;
}

// Reads the registers that hold the bits to be written and decodes the first
// and the last. Only a complete reply counts: a short one would make the
// write clear every bit it did not name.
int ReadBackRegisters(HOLN_DATA& data, CDevTable& table, int first, int last, uint32_t& firstReg, uint32_t& lastReg)
{
    const int n = CDevBas::mfFetchBlockLen(table, first, last);
    if (n < 1) return DEV_PROTO_NOTWRITTEN;
    CString text;
    const unsigned int expected =
        CDevBas::mfFormReadOrder(data, text, table, DevPropValue(data, DEVPROP_STATION), n, first);
    if (expected == 0) return DEV_PROTO_NOTWRITTEN;
    const int r = CDevBas::mfWriteAndRead(data, text, expected, WRITE_RWTYPE_READ, READBACK_ATTEMPTS);
    if (r < 0) return r;
    if (static_cast<unsigned int>(r) < expected) return DEV_PROTO_NOTWRITTEN;
    const int lastPos = REPLY_DATA_POS + REGISTER_CHARS * (n - 1);
    firstReg = RegisterAt(data, text, REPLY_DATA_POS);
    lastReg = RegisterAt(data, text, lastPos);
    return 0;
}

// The string row's text in the device's encoding and order. False when the
// text cannot be encoded: zeros must not stand in for it.
bool EncodeString(const HOLN_DATA& data, const CString& text, CByteArray& bytes)
{
    bytes.Clear();
    if (DevPropValue(data, DEVPROP_STRCODE) == 0) {
        // An empty text encodes to no bytes, which the routine cannot tell from a failure.
        if (!text.IsEmpty() && CDevServer::SvrStr2ASCII(text, bytes) == 0) return false;
    } else if (CDevServer::SvrStr2Unicode(text, bytes) == 0) {
        return false;
    }
    CDevServer::SvrChangeStrIncode(bytes, DevPropValue(data, DEVPROP_STRORDER));
    return true;
}

int FormStringOrder(HOLN_DATA& data, CStringArray& strings, CString& frame, const SWriteRow& row, int first)
{
    const uint32_t m = row.nBit & ~1u;
    if (m == 0 || m > WRITE_MAX_STRLEN || first + 1 >= strings.GetSize()) return DEV_PROTO_NOTWRITTEN;
    CByteArray bytes;
    if (!EncodeString(data, strings[first + 1], bytes)) return DEV_PROTO_NOTWRITTEN;
    if (bytes.GetSize() > static_cast<int>(m)) bytes.SetSize(static_cast<int>(m));
    CString body;
    CDevServer::SvrHByte2HStr(bytes, body);
    while (body.GetLength() < 2 * static_cast<int>(m)) body += "00";

    CString header;
    header.Format("%.2x21%s%.6x%.4x%.2x", DevPropValue(data, DEVPROP_STATION), CHL_STR_READORDER[row.nArea].GetString(),
                  row.nAddr, m / 2, m);
    frame.Format("0000%.4x", (header.GetLength() + body.GetLength()) / 2);
    frame += header;
    frame += body;
    return WRITE_REPLY_LEN;
}

}  // namespace

int CDevBas::mfDevIOWriteChannel(HOLN_DATA& data, int row, DATATYPE type, void* value)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev || !dev->pDevTable) return DEV_PROTO_BADCMD;
    const int rows = dev->pDevTable->GetRowCount();
    if (row < 0 || row >= rows) return DEV_PROTO_BADCMD;
    const CDevRow& target = dev->pDevTable->Row(row);
    if (target.GetdwValueAt(DEVROW_IDX_RWFLAG) == RWFLAG_READONLY) return DEV_PROTO_BADCMD;
    if (target.GetdwValueAt(DEVROW_IDX_TYPE) >= static_cast<uint32_t>(CHL_AREA_NUM)) return DEV_PROTO_BADCMD;

    // The runtime's value must be of the row's kind: a text is never taken
    // for a number, nor a number for a text.
    const bool stringRow = IsString(target.GetdwValueAt(DEVROW_IDX_DATATYPE));
    double number = 0.0;
    CString text;
    switch (type) {
        case DATATYPE_INT:
            if (stringRow || !value) return DEV_PROTO_BADCMD;
            number = static_cast<double>(*static_cast<const int*>(value));
            break;
        case DATATYPE_DOUBLE:
            if (stringRow || !value) return DEV_PROTO_BADCMD;
            number = *static_cast<const double*>(value);
            break;
        case DATATYPE_STRING:
            if (!stringRow) return DEV_PROTO_BADCMD;
            text = static_cast<const char*>(value);  // a null text is the empty string
            break;
        default:
            return DEV_PROTO_BADCMD;
    }

    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
    flags.SetSize(rows + 1);
    values.SetSize(rows + 1);
    strings.SetSize(rows + 1);
    for (int i = 1; i <= rows; ++i) flags[i] = 1;
    values[row + 1] = number;
    strings[row + 1] = text;
    return mfWriteBlockToDev(data, flags, values, strings, row, 0);
}

int CDevBas::mfWriteBlockToDev(HOLN_DATA& data, CArray<int, int>& /*flags*/, CArray<double, double>& values,
                               CStringArray& strings, int index, int mode)
{
    CString text;
    int reserved = 0;
    const int n = mfFormWriteOrder(data, values, strings, text, index, mode, reserved);
    if (n <= 0) return DEV_PROTO_NOTWRITTEN;
    const int r = mfWriteAndRead(data, text, static_cast<unsigned int>(n), WRITE_RWTYPE_BLOCK, WRITE_ATTEMPTS);
    if (r != n || r <= 0) {
        if (data.pMydata) {
            data.pMydata->nWriteState1 = -1;
            data.pMydata->nWriteState2 = -1;
            data.pMydata->dwWriteTick = 0;
        }
        return DEV_PROTO_NOTWRITTEN;
    }
    return r;
}

int CDevBas::mfFormWriteOrder(HOLN_DATA& data, CArray<double, double>& values, CStringArray& strings, CString& frame,
                              int index, int mode, int& /*reserved*/)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev || !dev->pDevTable) return DEV_PROTO_NOTWRITTEN;
    CDevTable& table = *dev->pDevTable;
    int first = 0;
    int last = 0;
    if (!WriteRows(*dev, index, mode, first, last)) return DEV_PROTO_NOTWRITTEN;
    const SWriteRow head = ReadWriteRow(table.Row(first));
    // Nothing that does not fit the request's fields is ever sent.
    if (head.nArea >= static_cast<uint32_t>(CHL_AREA_NUM) || head.nAddr > WRITE_MAX_ADDRESS || !ValidStation(data)) {
        return DEV_PROTO_NOTWRITTEN;
    }
    if (IsString(head.nCode)) return FormStringOrder(data, strings, frame, head, first);

    int64_t count = 0;
    int64_t bytes = 0;
    if (!MeasureRows(table, first, last, count, bytes) || !FitsFrame(count, bytes) || !HasValues(values, last)) {
        return DEV_PROTO_NOTWRITTEN;
    }

    const bool wordArea = IsWordArea(head.nArea);
    CString body;
    if (!wordArea) {
        body = BitAreaData(values, first, last);
    } else if (IsRegisterBit(head.nCode)) {
        uint32_t firstReg = 0;
        uint32_t lastReg = 0;
        const int r = ReadBackRegisters(data, table, first, last, firstReg, lastReg);
        if (r < 0) return r;
        body = RegisterBitData(data, values, first, last, head.nCode, firstReg, lastReg);
    } else {
        body = NumericData(data, table, values, first, last);
    }
    // The codec's texts are of fixed width; anything else would shift the frame.
    if (body.GetLength() != 2 * bytes) return DEV_PROTO_NOTWRITTEN;

    CString text;
    text.Format("%.2x%s%s%.6x%.4x%.2x", DevPropValue(data, DEVPROP_STATION), wordArea ? "21" : "1f",
                CHL_STR_READORDER[head.nArea].GetString(), head.nAddr, static_cast<unsigned int>(count),
                static_cast<unsigned int>(bytes));
    text += body;
    frame.AppendFormat("0000%.4x", text.GetLength() / 2);
    frame += text;
    return WRITE_REPLY_LEN;
}
