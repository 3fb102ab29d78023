// Reply decoding: cuts every readable channel of a rank out of the reply text
// and turns it into a value with the device's byte-order options.
#include <cstdint>
#include <cstring>

#include "config/DevConst.h"
#include "config/cstrtonumeric.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

// Character positions in the reply text (two characters per byte).
const int REPLY_COUNT_CHAR = 16;
const int REPLY_DATA_CHAR = 18;

// Read layouts of the 64-bit options: the wire groups (0 = first byte on the
// wire) in the order handed to the codec, which then reverses the bytes.
const uint8_t DEV_READ64_ORDER[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {6, 7, 4, 5, 2, 3, 0, 1}, {5, 4, 7, 6, 1, 0, 3, 2}, {3, 2, 1, 0, 7, 6, 5, 4},
    {4, 5, 6, 7, 0, 1, 2, 3}, {2, 3, 0, 1, 6, 7, 4, 5}, {1, 0, 3, 2, 5, 4, 7, 6}, {7, 6, 5, 4, 3, 2, 1, 0},
};

const int DEV_FIELD64_CHARS = 16;
// A 32-bit field with its registers swapped: characters 4-7, then 0-7.
const int DEV_FIELD32_SWAPPED_CHARS = 12;

// The device's byte-order options, read once per reply rather than per channel.
struct SDecodeOptions {
    int nOrder16;
    int nOrder32;
    int nOrderFloat;
    int nOrder64;
    int nOrderDouble;
};

SDecodeOptions ReadOptions(const HOLN_DATA& data)
{
    return SDecodeOptions{DevPropValue(data, DEVPROP_ORDER16), DevPropValue(data, DEVPROP_ORDER32),
                          DevPropValue(data, DEVPROP_ORDERFLOAT), DevPropValue(data, DEVPROP_ORDER64),
                          DevPropValue(data, DEVPROP_ORDERDOUBLE)};
}

// What a reply offers to the decoder; counts never exceed what was received.
struct SReplyView {
    const char* pData = nullptr;  // first data character
    int64_t nDataBytes = 0;       // data bytes actually received
    int64_t nCountByte = -1;      // the reply's byte count, parsed on first use
    const CString* pReply = nullptr;
};

SReplyView ViewReply(const CString& reply)
{
    SReplyView view;
    view.pReply = &reply;
    int length = reply.GetLength();
    if (length > REPLY_DATA_CHAR) {
        view.pData = reply.GetString() + REPLY_DATA_CHAR;
        view.nDataBytes = (length - REPLY_DATA_CHAR) / 2;
    }
    return view;
}

int64_t ReplyByteCount(SReplyView& view)
{
    if (view.nCountByte < 0) {
        unsigned int count = 0;
        if (view.pReply->GetLength() >= REPLY_DATA_CHAR)
            cstringToNumeric(view.pReply->Mid(REPLY_COUNT_CHAR, 2), "%x", &count);
        view.nCountByte = count;
    }
    return view.nCountByte;
}

bool IsBitArea(int area)
{
    return area >= 0 && area <= CHL_BITAREA_LAST;
}

// Registers a numeric channel spans (the planner's length of a single row).
int64_t ChannelRegisters(uint32_t code)
{
    if (code <= 85) return 1;
    if (code >= 90 && code <= 93) return 4;
    return 2;
}

int HexNibble(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

// The value bytes of a 16-digit field, most significant first, in the order
// the read option gives them; false when a character is not a hex digit.
bool Field64Bytes(const char* field, int option, uint8_t bytes[8])
{
    uint8_t wire[8];
    for (int i = 0; i < 8; ++i) {
        int high = HexNibble(field[2 * i]);
        int low = HexNibble(field[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        wire[i] = static_cast<uint8_t>(high * 16 + low);
    }
    for (int j = 0; j < 8; ++j) bytes[j] = wire[DEV_READ64_ORDER[option][7 - j]];
    return true;
}

// Decodes 64-bit value bytes the way the codec does for codes 90-93, without
// building the 16-character text (which would not fit the small-string buffer).
double Decode64Bytes(const uint8_t bytes[8], int code)
{
    uint64_t value = 0;
    for (int j = 0; j < 8; ++j) value = (value << 8) | bytes[j];
    switch (code) {
        case 90:
            return static_cast<double>(value);
        case 91:
            return static_cast<double>(static_cast<int64_t>(value));
        case 92: {
            // BCD digits are parsed as decimal text: the digits stop at the first A-F nibble.
            uint64_t decimal = 0;
            for (int shift = 60; shift >= 0; shift -= 4) {
                unsigned nibble = static_cast<unsigned>(value >> shift) & 0xFu;
                if (nibble > 9) break;
                decimal = decimal * 10 + nibble;
            }
            return static_cast<double>(decimal);
        }
        case 93: {
            double result;
            std::memcpy(&result, &value, sizeof(result));
            return result;
        }
        default:
            return 0.0;
    }
}

// 64-bit field: rearranged by the read option, then decoded with a full byte reversal.
double Decode64(const SDecodeOptions& options, const char* field, int length, int code)
{
    int option = code == 93 ? options.nOrderDouble : options.nOrder64;
    if (option < 0 || option > 7 || length < DEV_FIELD64_CHARS) return 0.0;
    uint8_t bytes[8];
    if (Field64Bytes(field, option, bytes)) return Decode64Bytes(bytes, code);
    // Not plain hex digits: let the codec apply its own parsing rules to the text.
    char text[DEV_FIELD64_CHARS];
    for (int j = 0; j < 8; ++j) std::memcpy(text + 2 * j, field + 2 * DEV_READ64_ORDER[option][j], 2);
    return CDevServer::SvrText2Double(text, DEV_FIELD64_CHARS, code, 2, 1);
}

// One field to a value, read where it lies (mfGetChlValue's rules).
inline double FieldValue(const SDecodeOptions& options, const char* text, int length, int area, int code)
{
    if (code < 80) {
        if (IsBitArea(area)) return CDevServer::SvrText2Double(text, length, code, 0, 1);
        return CDevServer::SvrText2Double(text, length, code, options.nOrder16 == 1 ? 2 : 0, 2);
    }
    if (code <= 85) {
        if (options.nOrder16 == 0) return CDevServer::SvrText2Double(text, length, code, 0, 1);
        if (options.nOrder16 == 1) return CDevServer::SvrText2Double(text, length, code, 2, 1);
        return 0.0;
    }
    if (code <= 89) {
        int option = code == 89 ? options.nOrderFloat : options.nOrder32;
        if (option == 0 || option == 3) return CDevServer::SvrText2Double(text, length, code, option == 3 ? 2 : 0, 1);
        if (option != 1 && option != 2) return 0.0;
        // Registers swapped: the second register's characters go in front of
        // the first eight (a short field keeps what it has of both).
        char swapped[DEV_FIELD32_SWAPPED_CHARS];
        int head = length < 8 ? length : 8;
        int second = head > 4 ? head - 4 : 0;
        if (second > 0) std::memcpy(swapped, text + 4, static_cast<size_t>(second));
        std::memcpy(swapped + second, text, static_cast<size_t>(head));
        return CDevServer::SvrText2Double(swapped, second + head, code, option == 1 ? 2 : 0, 1);
    }
    return Decode64(options, text, length < DEV_FIELD64_CHARS ? length : DEV_FIELD64_CHARS, code);
}

struct SBlockContext {
    CDevTable* pTable;
    int nArea;
    uint32_t dwStartAddress;
    SDecodeOptions options;
};

// Bytes of a string channel that may be taken: its length, capped by the byte
// count and by what arrived, both counted from the string's own offset.
// Returns -1 when none of its bytes arrived.
int64_t StringTake(SReplyView& view, uint32_t length, int64_t offsetBytes)
{
    if (offsetBytes > view.nDataBytes) return -1;
    int64_t have = view.nDataBytes - offsetBytes;
    if (length > 0 && have == 0) return -1;
    int64_t counted = ReplyByteCount(view) - offsetBytes;
    if (counted < 0) counted = 0;
    int64_t want = length < counted ? length : counted;
    return want < have ? want : have;
}

bool ExplainString(HOLN_DATA& data, SReplyView& view, const CDevRow& row, int64_t offsetRegs, CString& out)
{
    int64_t take = StringTake(view, row.GetdwValueAt(DEVROW_IDX_BIT), 2 * offsetRegs);
    if (take < 0) return false;
    CString hex(view.pData ? view.pData + 4 * offsetRegs : "", static_cast<int>(2 * take));
    CByteArray bytes;
    CDevServer::SvrHStr2HByte(hex, bytes);
    CDevServer::SvrChangeStrIncode(bytes, DevPropValue(data, DEVPROP_STRORDER));
    out.Empty();
    CTextDecoders& decoders = data.pMydata->TextDecoders;
    if (DevPropValue(data, DEVPROP_STRCODE) == 0)
        CDevServer::SvrASCII2Str(bytes, out, decoders);
    else
        CDevServer::SvrUnicode2Str(bytes, out, decoders);
    return true;
}

// Numeric field of a word-area channel; false when its bytes did not all arrive.
bool ExplainWord(const SBlockContext& block, const SReplyView& view, uint32_t code, int64_t offsetRegs, double& value)
{
    int64_t regs = ChannelRegisters(code);
    if (2 * (offsetRegs + regs) > view.nDataBytes) return false;
    const char* field = view.pData + 4 * offsetRegs;
    value = FieldValue(block.options, field, static_cast<int>(4 * regs), block.nArea, static_cast<int>(code));
    return true;
}

bool ExplainBit(const SBlockContext& block, const SReplyView& view, int64_t element, double& value)
{
    int64_t byteIndex = element / 8;
    if (byteIndex >= view.nDataBytes) return false;
    value = FieldValue(block.options, view.pData + 2 * byteIndex, 2, block.nArea, static_cast<int>(element % 8));
    return true;
}

// Decodes one row of a block; false when the row is left as it was.
bool ExplainRow(HOLN_DATA& data, const SBlockContext& block, SReplyView& view, int row, CArray<double, double>& values,
                CStringArray& strings)
{
    const CDevRow& line = block.pTable->Row(row);
    // The highest property first: once it is known to be there, the
    // compiler drops the range checks of the lower ones.
    uint32_t code = line.GetdwValueAt(DEVROW_IDX_DATATYPE);
    uint32_t rw = line.GetdwValueAt(DEVROW_IDX_RWFLAG);
    if (rw != 0 && rw != 2) return false;
    // Only rows of the block's own area at or after its start address lie in the reply.
    if (line.GetdwValueAt(DEVROW_IDX_TYPE) != static_cast<uint32_t>(block.nArea)) return false;
    uint32_t address = line.GetdwValueAt(DEVROW_IDX_ADDRESS);
    if (address < block.dwStartAddress) return false;
    int64_t offset = static_cast<int64_t>(address) - block.dwStartAddress;
    int entry = row + 1;
    if (IsBitArea(block.nArea)) {
        if (entry >= values.GetSize()) return false;
        return ExplainBit(block, view, offset, values[entry]);
    }
    if (code == static_cast<uint32_t>(DATACODE_STR)) {
        if (entry >= strings.GetSize()) return false;
        return ExplainString(data, view, line, offset, strings[entry]);
    }
    if (entry >= values.GetSize()) return false;
    return ExplainWord(block, view, code, offset, values[entry]);
}

int ExplainBlock(HOLN_DATA& data, const SDecodeOptions& options, const DynBlock& block, SReplyView& view,
                 CArray<int, int>& flags, CArray<double, double>& values, CStringArray& strings)
{
    CDevTable* table = data.pMydata->pDevTable;
    int rows = table->GetRowCount();
    if (block.nStartRow < 0 || block.nStartRow >= rows) return 0;
    const CDevRow& first = table->Row(block.nStartRow);
    uint32_t area = first.GetdwValueAt(DEVROW_IDX_TYPE);
    if (area >= static_cast<uint32_t>(CHL_AREA_NUM)) return 0;
    SBlockContext context{table, static_cast<int>(area), first.GetdwValueAt(DEVROW_IDX_ADDRESS), options};
    // Rows without a flag entry are never decoded.
    int last = block.nEndRow;
    if (last > rows - 1) last = rows - 1;
    if (last > flags.GetSize() - 2) last = flags.GetSize() - 2;
    int decoded = 0;
    for (int row = block.nStartRow; row <= last; ++row) {
        if (!ExplainRow(data, context, view, row, values, strings)) continue;
        flags[row + 1] = 3;
        ++decoded;
    }
    return decoded;
}

}  // namespace

// Decodes every block of the rank from the reply; returns the number of
// channels decoded. Rows whose bytes did not arrive keep value, text and flag.
int CDevBas::mfExplainCommByteData(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                   CStringArray& strings, CString& reply, int rank, int)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev || !dev->pDevTable || dev->nCurBlock < 0) return 0;
    SReplyView view = ViewReply(reply);
    const SDecodeOptions options = ReadOptions(data);
    int decoded = 0;
    int count = dev->DynBlockArray.GetSize();
    for (int i = dev->nCurBlock; i < count && dev->DynBlockArray[i].nRank <= rank; ++i) {
        if (dev->DynBlockArray[i].nRank == rank)
            decoded += ExplainBlock(data, options, dev->DynBlockArray[i], view, flags, values, strings);
    }
    return decoded;
}

// One field to a value. Bit areas take the bit offset as code; word areas the
// channel's data-type code. The text is only read.
double CDevBas::mfGetChlValue(HOLN_DATA& data, CString& text, int area, int code)
{
    return FieldValue(ReadOptions(data), text.GetString(), text.GetLength(), area, code);
}
