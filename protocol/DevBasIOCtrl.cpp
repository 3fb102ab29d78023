// IO-control commands: script text that reads runs of registers into runtime
// variables or writes values taken from them. Every command works in a
// temporary device state whose channel table is built from its parameters,
// so the device's own table and collection plan are never touched.
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "config/cstrtonumeric.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

// Command numbers: positions in IOCTRL_STR_PROPERTYNAME.
const int CMD_READ32 = 2;
const int CMD_WRITE32 = 3;
const int CMD_READBLOCK = 8;
const int CMD_WRITEBLOCK = 9;
const int CMD_READMUTIREG = 10;
const int CMD_WRITEMUTIREG = 11;

// Status codes stored into a command's status variable.
const int CMD_STATUS_DONE = 0;
const int CMD_STATUS_NOROWS = 5;
const int CMD_STATUS_NODELIVERY = 6;

const int CMD_READ_ATTEMPTS = 3;
// mfWriteBlockToDev: the index names a planned block.
const int CMD_WRITE_BY_BLOCK = 1;
// The decoder marks every row it decoded with this flag.
const int CMD_FLAG_DECODED = 3;

const uint32_t CODE_DUB = 86;
const uint32_t CODE_DF = 89;

// One command of a command text: keyword from start to "(", parameters
// between "(" and ")".
struct SCmdSpan {
    int nStart;
    int nOpen;
    int nClose;
};

// A device state that lives for one command. It is deleted on every way out;
// Release hands the write state back where a transfer was attempted, and
// the transaction number with it: the command numbers on from the device.
// Numbered from 1 by every command, a late reply to an earlier command (its
// last attempt timed out, or a retried request was answered twice) would
// carry the number of the next command's first request and pass for its
// reply, delivering another register's value or confirming a refused write.
class CCmdState {
public:
    explicit CCmdState(HOLN_DATA& source)
    {
        CDevBas::mfCreateMydata(source, m_data);
        if (source.pMydata && m_data.pMydata) m_data.pMydata->nFrameSeq = source.pMydata->nFrameSeq;
    }
    ~CCmdState() { CDevBas::mfDeleteMydata(m_data, nullptr); }
    CCmdState(const CCmdState&) = delete;
    CCmdState& operator=(const CCmdState&) = delete;

    HOLN_DATA& Data() { return m_data; }
    DEV_DATA& Dev() { return *m_data.pMydata; }
    CDevTable& Table() { return *m_data.pMydata->pDevTable; }
    void Release(DEV_DATA* save)
    {
        if (save && m_data.pMydata) save->nFrameSeq = m_data.pMydata->nFrameSeq;
        CDevBas::mfDeleteMydata(m_data, save);
    }

private:
    HOLN_DATA m_data;
};

// What one command moves: the value arrays of its rows and the targets.
struct SCmdValues {
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray texts;
    CStringArray names;
    CArray<int, int> recordEnds;
    CString status;
};

bool IsWriteCommand(int command)
{
    return CDevBas::mfGetRWFlag(command) != 0;
}

uint32_t RowCode(CDevTable& table, int row)
{
    return table.Row(row).GetdwValueAt(DEVROW_IDX_DATATYPE);
}

bool IsStringCode(uint32_t code)
{
    return code == static_cast<uint32_t>(DATACODE_STR);
}

// Cuts a command text into its commands, in text order. A piece that is no
// command (no "(", no ")", or ")" first) ends the list: it would answer -5
// and run nothing, and nothing after it is ever reached. Iterative, so that
// a text of any number of commands needs no stack in proportion.
void CutCommands(const CString& text, std::vector<SCmdSpan>& spans)
{
    const int length = text.GetLength();
    int start = 0;
    while (start < length) {
        const int open = text.Find('(', start);
        const int close = text.Find(')', start);
        if (open < 0 || close < 0 || close < open) return;
        spans.push_back(SCmdSpan{start, open, close});
        start = close + 1;
    }
}

int FindKeyword(CString keyword)
{
    keyword.TrimLeft();
    keyword.TrimRight();
    keyword.MakeUpper();
    for (int k = 0; k < IOCTRL_COMMAND_NUM; ++k) {
        if (keyword.CompareNoCase(IOCTRL_STR_PROPERTYNAME[k].GetString()) == 0) return k;
    }
    return -1;
}

int RunCommand(HOLN_DATA& data, const CString& text, const SCmdSpan& span)
{
    const int command = FindKeyword(text.Mid(span.nStart, span.nOpen - span.nStart));
    if (command < 0) return 0;
    CString parameters = text.Mid(span.nOpen + 1, span.nClose - span.nOpen - 1);
    return CDevBas::mfDevIOWriteAndRead(data, parameters, command);
}

void SplitParts(const CString& parameters, CStringArray& parts)
{
    int start = 0;
    for (;;) {
        const int p = parameters.Find(';', start);
        if (p < 0) break;
        parts.Add(parameters.Mid(start, p - start));
        start = p + 1;
    }
    parts.Add(parameters.Mid(start));
}

void SetStatus(HOLN_DATA& data, const CString& name, int status)
{
    if (name.IsEmpty()) return;
    double value = status;
    CDevServer::SvrSetParaValue(data, name, value);
}

// Every row needs its target: one each, except for the block reads, whose
// one target takes all rows (and READBLOCK needs a record-end flag a row).
bool TargetsFit(int rows, const SCmdValues& cmd, int command)
{
    if (command == CMD_READBLOCK) return cmd.names.GetSize() >= 1 && cmd.recordEnds.GetSize() == rows;
    if (command == CMD_READMUTIREG) return cmd.names.GetSize() >= 1;
    return cmd.names.GetSize() == rows;
}

// Only WRITE32 carries text to a string row; the others would write zeros.
bool StringRowsFit(CDevTable& table, int command)
{
    if (!IsWriteCommand(command) || command == CMD_WRITE32) return true;
    for (int i = 0; i < table.GetRowCount(); ++i) {
        if (IsStringCode(RowCode(table, i))) return false;
    }
    return true;
}

// WRITE32 reads its text by the row's width: float, unsigned or signed 32-bit.
double ParseWrite32(const CString& text, uint32_t code)
{
    if (code == CODE_DF) {
        double value = 0;
        cstringToNumeric(text, "%lf", &value);
        return value;
    }
    if (code == CODE_DUB) {
        uint32_t value = 0;
        cstringToNumeric(text, "%u", &value);
        return value;
    }
    int32_t value = 0;
    cstringToNumeric(text, "%ld", &value);
    return value;
}

void FillWriteValues(HOLN_DATA& data, CDevTable& table, SCmdValues& cmd, int command)
{
    for (int i = 0; i < table.GetRowCount(); ++i) {
        double& value = cmd.values[i + 1];
        if (command == CMD_WRITE32) {
            CString text;
            CDevServer::SvrGetParaValue(data, cmd.names[i], text);
            const uint32_t code = RowCode(table, i);
            if (IsStringCode(code)) {
                cmd.texts[i + 1] = text;
            } else {
                value = ParseWrite32(text, code);
            }
        } else if (command == CMD_WRITEBLOCK || command == CMD_WRITEMUTIREG) {
            value = 0;
            cstringToNumeric(cmd.names[i], "%lf", &value);
        } else {
            CDevServer::SvrGetParaValue(data, cmd.names[i], value);
        }
    }
}

// Cut toward zero into 32 bits; NaN gives 0 and the infinities saturate, so
// no value ever reaches an undefined conversion.
int32_t SaturateI32(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    if (value <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

uint32_t SaturateU32(double value)
{
    if (std::isnan(value) || value <= 0) return 0;
    if (value >= static_cast<double>(UINT32_MAX)) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

// A value as text, by the row's data-type code; the block reads write floats
// with "%lf", READ32 with "%f".
CString FormatValue(double value, uint32_t code, bool block)
{
    CString text;
    if (code == CODE_DF) {
        if (block) {
            text.Format("%lf", value);
        } else {
            text.Format("%f", value);
        }
    } else if (code == CODE_DUB) {
        text.Format("%u", static_cast<unsigned int>(SaturateU32(value)));
    } else {
        text.Format("%ld", static_cast<long>(SaturateI32(value)));
    }
    return text;
}

bool Decoded(const SCmdValues& cmd, int row)
{
    return cmd.flags[row + 1] == CMD_FLAG_DECODED;
}

// One variable a row. A row whose bytes were never decoded, or a string row
// for a numeric target, is not delivered: its assignment counts as failed.
int DeliverRows(HOLN_DATA& data, CDevTable& table, SCmdValues& cmd, int command)
{
    int outcome = 0;
    for (int i = 0; i < table.GetRowCount(); ++i) {
        const uint32_t code = RowCode(table, i);
        if (!Decoded(cmd, i)) {
            outcome = 0;
        } else if (command != CMD_READ32) {
            outcome = IsStringCode(code) ? 0 : CDevServer::SvrSetParaValue(data, cmd.names[i], cmd.values[i + 1]);
        } else if (IsStringCode(code)) {
            outcome = CDevServer::SvrSetParaValue(data, cmd.names[i], cmd.texts[i + 1]);
        } else {
            CString text = FormatValue(cmd.values[i + 1], code, false);
            outcome = CDevServer::SvrSetParaValue(data, cmd.names[i], text);
        }
    }
    return outcome;
}

// All rows into one string variable, values joined by ","; READBLOCK ends
// its records with CR LF. A text with a hole (a string row, a row never
// decoded) would be misread as a record: it is not delivered at all.
int DeliverBlock(HOLN_DATA& data, CDevTable& table, SCmdValues& cmd, int command)
{
    const int rows = table.GetRowCount();
    CString text;
    for (int i = 0; i < rows; ++i) {
        const uint32_t code = RowCode(table, i);
        if (!Decoded(cmd, i) || IsStringCode(code)) return 0;
        text += FormatValue(cmd.values[i + 1], code, true);
        if (command == CMD_READBLOCK && cmd.recordEnds[i] == 1) {
            text += "\r\n";
        } else if (i < rows - 1) {
            text += ",";
        }
    }
    return CDevServer::SvrSetParaValue(data, cmd.names[0], text);
}

int Deliver(HOLN_DATA& data, CDevTable& table, SCmdValues& cmd, int command)
{
    if (command == CMD_READBLOCK || command == CMD_READMUTIREG) return DeliverBlock(data, table, cmd, command);
    return DeliverRows(data, table, cmd, command);
}

// Moves every rank of the plan; the first failure ends the command. The
// block cursor is kept at the rank, so each read finds its block at once.
int Transfer(CCmdState& temp, SCmdValues& cmd, int ranks, int command, int& last)
{
    HOLN_DATA& state = temp.Data();
    CArray<DynBlock, DynBlock&>& blocks = temp.Dev().DynBlockArray;
    int cursor = 0;
    last = 0;
    for (int b = 0; b < ranks; ++b) {
        int r = 0;
        if (IsWriteCommand(command)) {
            r = CDevBas::mfWriteBlockToDev(state, cmd.flags, cmd.values, cmd.texts, b, CMD_WRITE_BY_BLOCK);
        } else {
            while (cursor < blocks.GetSize() && blocks[cursor].nRank < b) ++cursor;
            temp.Dev().nCurBlock = cursor;
            r = CDevBas::mfReadBlockFromDev(state, cmd.flags, cmd.values, cmd.texts, b, CMD_READ_ATTEMPTS);
        }
        if (r < 0) return r;
        last = r;
    }
    return 0;
}

}  // namespace

int CDevBas::mfDevIOCtrl(HOLN_DATA& data, CString& command, CArray<double, double>& /*values*/,
                         CStringArray& /*strings*/)
{
    std::vector<SCmdSpan> spans;
    CutCommands(command, spans);
    if (spans.empty()) return DEV_PROTO_BADCMD;
    // Later commands of the text run first; the first command's result counts.
    int result = 0;
    for (size_t i = spans.size(); i-- > 0;) result = RunCommand(data, command, spans[i]);
    return result;
}

int CDevBas::mfDevIOWriteAndRead(HOLN_DATA& data, CString& parameters, int command)
{
    CStringArray parts;
    SplitParts(parameters, parts);
    CCmdState temp(data);
    SCmdValues cmd;
    if (!mfBuildDevTableFromCmd(temp.Data(), parts, cmd.names, cmd.recordEnds, cmd.status, command)) {
        temp.Release(nullptr);
        SetStatus(data, cmd.status, CMD_STATUS_NOROWS);
        return DEV_PROTO_BADCMD;
    }
    CDevTable& table = temp.Table();
    const int rows = table.GetRowCount();
    // Nothing is sent for a command whose rows and targets do not pair up.
    if (!TargetsFit(rows, cmd, command) || !StringRowsFit(table, command)) {
        temp.Release(nullptr);
        SetStatus(data, cmd.status, CMD_STATUS_NOROWS);
        return DEV_PROTO_BADCMD;
    }

    cmd.flags.SetSize(rows + 1);
    cmd.values.SetSize(rows + 1);
    cmd.texts.SetSize(rows + 1);
    for (int i = 0; i <= rows; ++i) cmd.flags[i] = 1;
    const bool write = IsWriteCommand(command);
    const int ranks = mfMakeBlockDynamic(temp.Data(), cmd.flags, write ? DEV_PLAN_CMDWRITE : DEV_PLAN_CMDREAD, command);
    if (write) FillWriteValues(data, table, cmd, command);

    int outcome = 0;
    const int failure = Transfer(temp, cmd, ranks, command, outcome);
    if (failure < 0) {
        temp.Release(data.pMydata);
        SetStatus(data, cmd.status, -failure);
        return failure;
    }
    // Values of a read that moved no rank were never read: nothing to deliver.
    if (!write && ranks > 0) outcome = Deliver(data, table, cmd, command);

    temp.Release(data.pMydata);
    const bool done = outcome >= 1;
    SetStatus(data, cmd.status, done ? CMD_STATUS_DONE : CMD_STATUS_NODELIVERY);
    return done ? 1 : DEV_PROTO_NODELIVERY;
}
