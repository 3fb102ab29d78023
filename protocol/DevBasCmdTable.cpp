// Command-built channel tables: the register parameters of an IO-control
// command become temporary channel rows plus the names (or value texts) they
// are read into or written from. Command text comes from scripts, so every
// number is checked before it becomes an address, a count or a size, and the
// text is read with a cursor so that long texts cost linear time.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

// Command numbers: positions in IOCTRL_STR_PROPERTYNAME.
const int CMD_LAST_SIMPLE = 3;  // READ ... WRITE32
const int CMD_WRITE32 = 3;
const int CMD_READP = 4;
const int CMD_WRITEP = 5;
const int CMD_READPV = 6;
const int CMD_WRITEPV = 7;
const int CMD_READBLOCK = 8;
const int CMD_WRITEBLOCK = 9;
const int CMD_READMUTIREG = 10;
const int CMD_WRITEMUTIREG = 11;

const int AREA_X = 1;
const int AREA_Y = 2;

// Highest address a frame can carry (three bytes).
const uint32_t CMD_ADDRESS_MAX = 0xFFFFFF;
// The largest octal text of an X/Y address that stays within CMD_ADDRESS_MAX.
const double CMD_OCTAL_TEXT_MAX = 77777777;
// Channels of one run, and rows of one part.
const int CMD_PART_ROWS_MAX = 5000;
// Rows of a whole command.
const int CMD_TOTAL_ROWS_MAX = 65535;

const int RWFLAG_READWRITE = 2;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

CString Trimmed(const CString& text)
{
    CString out = text;
    out.TrimLeft();
    out.TrimRight();
    return out;
}

// Reads a command part token by token. Tokens come out trimmed; what has not
// been read is never copied until it is asked for.
class CCmdCursor {
public:
    explicit CCmdCursor(const CString& text) : m_text(text) {}

    void Reset(const CString& text)
    {
        m_text = text;
        m_pos = 0;
    }

    // The token up to sep; 0 (nothing consumed) when sep does not follow.
    int Cut(char sep, CString& token)
    {
        int p = m_text.Find(sep, m_pos);
        if (p < 0) return 0;
        token = Trimmed(m_text.Mid(m_pos, p - m_pos));
        m_pos = p + 1;
        return 1;
    }

    void TakeRest(CString& token)
    {
        token = Rest();
        m_pos = m_text.GetLength();
    }

    // The token up to "," or, without a further ",", the rest.
    void CutOrRest(CString& token)
    {
        if (!Cut(',', token)) TakeRest(token);
    }

    CString Rest() const { return Trimmed(m_text.Mid(m_pos)); }

    // Also drops line ends, which are blanks.
    void SkipBlanks()
    {
        while (m_pos < m_text.GetLength() && IsBlank(m_text[m_pos])) ++m_pos;
    }

    bool AtEnd()
    {
        SkipBlanks();
        return m_pos >= m_text.GetLength();
    }

    int Find(char c) const { return m_text.Find(c, m_pos); }
    int Find(const char* s) const { return m_text.Find(s, m_pos); }
    int Pos() const { return m_pos; }
    const CString& Text() const { return m_text; }
    void MoveTo(int pos) { m_pos = pos; }

private:
    CString m_text;
    int m_pos = 0;
};

bool IsNumericVariable(HOLN_DATA& data, const CString& name)
{
    if (!data.pfnGetParamType) return false;
    DATATYPE type = -2;
    data.pfnGetParamType(data, name, type);
    return type == DATATYPE_INT || type == DATATYPE_DOUBLE;
}

// True when the whole (trimmed) text is one finite number.
bool IsNumberText(const CString& token)
{
    CString text = Trimmed(token);
    if (text.IsEmpty()) return false;
    const char* begin = text.GetString();
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    return end != begin && *end == '\0' && std::isfinite(value);
}

// A numeric parameter: a numeric variable's value or a number written out.
// Names of nothing (a misspelt variable) and non-finite values are refused,
// so that they never become register 0 or reach an integer conversion.
int ResolveNumber(HOLN_DATA& data, const CString& token, double& out)
{
    if (!CDevServer::SvrGetParaValue(data, token, out)) return 0;
    if (!IsNumericVariable(data, token) && !IsNumberText(token)) return 0;
    return std::isfinite(out) ? 1 : 0;
}

// A text parameter: a string variable's content or the token itself.
int ResolveText(HOLN_DATA& data, const CString& token, CString& out)
{
    return CDevServer::SvrGetParaValue(data, token, out);
}

int ResolveArea(HOLN_DATA& data, const CString& token, int& area)
{
    CString name;
    if (!ResolveText(data, token, name)) return 0;
    name.MakeUpper();
    for (int a = 0; a < CHL_AREA_NUM; ++a) {
        if (CHL_STR_NAME[a] == name) {
            area = a;
            return 1;
        }
    }
    return 0;
}

// X and Y elements are numbered in octal: written 17 means element 15.
int OctalFromDecimalDigits(int64_t written, int64_t& out)
{
    int64_t value = 0;
    int64_t scale = 1;
    for (int64_t rest = written; rest > 0; rest /= 10) {
        int64_t digit = rest % 10;
        if (digit > 7) return 0;
        value += digit * scale;
        scale *= 8;
    }
    out = value;
    return 1;
}

int ResolveAddress(HOLN_DATA& data, const CString& token, int area, uint32_t& address)
{
    double value = 0;
    if (!ResolveNumber(data, token, value)) return 0;
    double rounded = std::round(value);  // halves away from zero
    if (rounded < 0) return 0;
    bool octal = area == AREA_X || area == AREA_Y;
    if (rounded > (octal ? CMD_OCTAL_TEXT_MAX : static_cast<double>(CMD_ADDRESS_MAX))) return 0;
    int64_t result = static_cast<int64_t>(rounded);
    if (octal && !OctalFromDecimalDigits(result, result)) return 0;
    if (result > static_cast<int64_t>(CMD_ADDRESS_MAX)) return 0;
    address = static_cast<uint32_t>(result);
    return 1;
}

// Channel counts: 0 gives 1; above the run limit, or negative, the limit.
int ResolveCount(HOLN_DATA& data, const CString& token, int& count)
{
    double value = 0;
    if (!ResolveNumber(data, token, value)) return 0;
    double whole = std::trunc(value);
    if (whole < 0 || whole > CMD_PART_ROWS_MAX)
        count = CMD_PART_ROWS_MAX;
    else
        count = whole == 0 ? 1 : static_cast<int>(whole);
    return 1;
}

// Record repetitions of the block commands: none below 1; refused when the
// rows would exceed the part limit.
int ResolveRepetitions(HOLN_DATA& data, const CString& token, int typeCount, int& repetitions)
{
    double value = 0;
    if (!ResolveNumber(data, token, value)) return 0;
    double whole = std::trunc(value);
    if (whole < 1) {
        repetitions = 0;
        return 1;
    }
    if (whole * typeCount > CMD_PART_ROWS_MAX) return 0;
    repetitions = static_cast<int>(whole);
    return 1;
}

// The shape of one part: data types, channels per type, record repetitions.
struct SCmdRun {
    CArray<int, int> typeIndex;
    int count = 1;
    int repetitions = 1;
};

int AddType(HOLN_DATA& data, const CString& token, int area, SCmdRun& run)
{
    CString code;
    if (!ResolveText(data, token, code)) return 0;
    int listIndex = CDevBas::mfGetDataTypeListNum(code, area);
    if (listIndex < 0) return 0;
    run.typeIndex.Add(listIndex);
    return 1;
}

// Bracketed block types: "[DUB][WUB]", then an optional ",".
int CutBlockTypes(HOLN_DATA& data, CCmdCursor& cursor, int area, SCmdRun& run)
{
    for (;;) {
        int open = cursor.Find('[');
        int close = cursor.Find(']');
        if (open < 0 || close < 0) break;
        if (close < open) return 0;
        // More types than a part may have rows can never be generated.
        if (run.typeIndex.GetSize() >= CMD_PART_ROWS_MAX) return 0;
        CString type = Trimmed(cursor.Text().Mid(open + 1, close - open - 1));
        type.MakeUpper();
        if (!AddType(data, type, area, run)) return 0;
        cursor.MoveTo(close + 1);
    }
    if (run.typeIndex.GetSize() == 0) return 0;
    cursor.SkipBlanks();
    if (cursor.Pos() < cursor.Text().GetLength() && cursor.Text()[cursor.Pos()] == ',') cursor.MoveTo(cursor.Pos() + 1);
    return 1;
}

// Cuts the types, count and repetitions that follow the address.
int CutRunShape(HOLN_DATA& data, CCmdCursor& cursor, int area, int command, SCmdRun& run)
{
    CString token;
    if (command >= 0 && command <= CMD_LAST_SIMPLE) {
        return cursor.Cut('=', token) && AddType(data, token, area, run);
    }
    if (command >= CMD_READP && command <= CMD_WRITEPV) {
        if (!cursor.Cut(',', token) || !AddType(data, token, area, run)) return 0;
        return cursor.Cut(',', token) && ResolveCount(data, token, run.count);
    }
    if (command == CMD_READBLOCK || command == CMD_WRITEBLOCK) {
        if (!CutBlockTypes(data, cursor, area, run)) return 0;
        return cursor.Cut(',', token) && ResolveRepetitions(data, token, run.typeIndex.GetSize(), run.repetitions);
    }
    if (command == CMD_READMUTIREG || command == CMD_WRITEMUTIREG) {
        if (!cursor.Cut(',', token) || !ResolveCount(data, token, run.count)) return 0;
        return cursor.Cut(',', token) && AddType(data, token, area, run);
    }
    return 1;  // no such command: no types, no rows
}

int MakeRunRows(const SCmdRun& run, int area, uint32_t address, CArray<CDevRow, CDevRow&>& rows)
{
    int first = rows.GetSize();
    SChlInfo info;
    info.nChlType = area;
    info.nRWFlag = RWFLAG_READWRITE;
    info.strStartAddr.Format("%u", address);
    rows.Reserve(first + run.repetitions * run.typeIndex.GetSize() * run.count);
    for (int r = 0; r < run.repetitions; ++r) {
        for (int t = 0; t < run.typeIndex.GetSize(); ++t) {
            info.nChlNum = run.count;
            info.nDataTypeIndex = run.typeIndex[t];
            if (!CDevBas::mfMakeDevRowsFromSChlInfo(info, rows)) return 0;
        }
    }
    // A run must not walk past what a frame can address.
    for (int i = first; i < rows.GetSize(); ++i) {
        if (rows[i].GetdwValueAt(DEVROW_IDX_ADDRESS) > CMD_ADDRESS_MAX) return 0;
    }
    return 1;
}

// count names separated by ","; the last may be the rest. Fewer fail.
int CutNames(CCmdCursor& cursor, int count, CStringArray& names)
{
    for (int i = 0; i < count; ++i) {
        CString token;
        if (!cursor.Cut(',', token)) {
            if (cursor.AtEnd()) return 0;
            cursor.TakeRest(token);
        }
        names.Add(token);
    }
    return 1;
}

// Number of decimal digits that end the text.
int TrailingDigits(const CString& text)
{
    int n = 0;
    for (int i = text.GetLength() - 1; i >= 0 && text[i] >= '0' && text[i] <= '9'; --i) ++n;
    return n;
}

// Numbered names: Temp007 then Temp008, Temp009, ... (same zero padding).
// Built by concatenation: the prefix is script text and never a format.
int MakeNumberedNames(CString& first, int count, CStringArray& names)
{
    CString format;
    int number = 0;
    if (CDevBas::mfGetVarAutoName(first, format, number) != 1) return 0;
    if (static_cast<int64_t>(number) + count - 1 > INT_MAX) return 0;
    int digits = TrailingDigits(first);
    CString prefix = first.Left(first.GetLength() - digits);
    names.Add(first);
    for (int i = 1; i < count; ++i) {
        CString name = prefix;
        name.AppendFormat("%.*d", digits, number + i);
        names.Add(name);
    }
    return 1;
}

// WRITEBLOCK / WriteMutiReg: the values come as written or from a string
// variable; the text to read on becomes the values, "," and what remained.
int ExpandValueText(HOLN_DATA& data, CCmdCursor& cursor)
{
    CString token;
    CString remained;
    bool comma = cursor.Cut(',', token) != 0;
    if (comma) {
        remained = cursor.Rest();
        if (token.IsEmpty() || remained.Find(',') >= 0) return 0;
    } else {
        cursor.TakeRest(token);
    }
    CString values;
    if (!ResolveText(data, token, values)) return 0;
    cursor.Reset(comma ? values + "," + remained : values);
    return 1;
}

// WRITEBLOCK values: one record per line, values of a record separated by ",".
int CutBlockValues(CCmdCursor& cursor, const SCmdRun& run, CStringArray& names)
{
    int perRecord = run.typeIndex.GetSize();
    int lineEnd = -1;
    bool lineEndKnown = false;  // lineEnd holds the next line end at or after the cursor
    cursor.SkipBlanks();
    for (int r = 0; r < run.repetitions; ++r) {
        CString token;
        for (int t = 0; t + 1 < perRecord; ++t) {
            if (!cursor.Cut(',', token)) return 0;
            names.Add(token);
        }
        cursor.SkipBlanks();
        if (!lineEndKnown || (lineEnd >= 0 && lineEnd < cursor.Pos())) {
            lineEnd = cursor.Find("\r\n");
            lineEndKnown = true;
        }
        if (lineEnd > cursor.Pos()) {
            token = Trimmed(cursor.Text().Mid(cursor.Pos(), lineEnd - cursor.Pos()));
            cursor.MoveTo(lineEnd);
        } else {
            if (cursor.AtEnd()) return 0;  // a record short of its last value
            cursor.CutOrRest(token);
        }
        names.Add(token);
        cursor.SkipBlanks();
    }
    // Values that end in a line end leave the "," before the status name.
    if (cursor.Find(',') == cursor.Pos()) cursor.MoveTo(cursor.Pos() + 1);
    return 1;
}

// READBLOCK record ends: 1 on the last row of every record but the last.
void AddRecordEnds(const SCmdRun& run, CArray<int, int>& flags)
{
    int perRecord = run.typeIndex.GetSize();
    for (int r = 0; r < run.repetitions; ++r) {
        for (int t = 0; t + 1 < perRecord; ++t) flags.Add(0);
        flags.Add(r < run.repetitions - 1 ? 1 : 0);
    }
}

// Write values must be numbers: a misspelt variable must not become a 0.
// A string row takes any text; every other row needs a number.
int CheckWriteTargets(HOLN_DATA& data, int command, const CStringArray& names, int first, bool stringRow)
{
    for (int i = first; i < names.GetSize(); ++i) {
        if (command == CMD_WRITE32) {
            CString text;
            if (!ResolveText(data, names[i], text) || (!stringRow && !IsNumberText(text))) return 0;
        } else if (command == CMD_WRITEBLOCK || command == CMD_WRITEMUTIREG) {
            if (!IsNumberText(names[i])) return 0;
        } else {
            double value = 0;
            if (!ResolveNumber(data, names[i], value)) return 0;
        }
    }
    return 1;
}

// Cuts the targets of the rows; what is left is the status variable's name.
int CutTargets(HOLN_DATA& data, CCmdCursor& cursor, int command, const SCmdRun& run, CStringArray& names,
               CArray<int, int>& flags, bool stringRow)
{
    int first = names.GetSize();
    CString token;
    if (command >= 0 && command <= CMD_LAST_SIMPLE) {
        if (!cursor.Cut('=', token)) cursor.TakeRest(token);
        names.Add(token);
    } else if (command == CMD_READP || command == CMD_WRITEP) {
        if (!CutNames(cursor, run.count, names)) return 0;
    } else if (command == CMD_READPV || command == CMD_WRITEPV) {
        cursor.CutOrRest(token);
        if (!MakeNumberedNames(token, run.count, names)) return 0;
    } else if (command == CMD_READBLOCK || command == CMD_READMUTIREG) {
        cursor.CutOrRest(token);
        names.Add(token);
        if (command == CMD_READBLOCK) AddRecordEnds(run, flags);
    } else if (command == CMD_WRITEBLOCK || command == CMD_WRITEMUTIREG) {
        if (!ExpandValueText(data, cursor)) return 0;
        int ok = command == CMD_WRITEBLOCK ? CutBlockValues(cursor, run, names) : CutNames(cursor, run.count, names);
        if (!ok) return 0;
    }
    if (!CDevBas::mfGetRWFlag(command)) return 1;
    return CheckWriteTargets(data, command, names, first, stringRow);
}

int MakeRowsAndTargets(HOLN_DATA& data, CCmdCursor& cursor, CArray<CDevRow, CDevRow&>& rows, CStringArray& names,
                       CArray<int, int>& flags, int command)
{
    CString token;
    int area = 0;
    if (!cursor.Cut(',', token) || !ResolveArea(data, token, area)) return 0;
    if (CDevBas::mfGetRWFlag(command) && CHLTYPE_DWORD_RWFLAG[area] == 0) return 0;
    uint32_t address = 0;
    if (!cursor.Cut(',', token) || !ResolveAddress(data, token, area, address)) return 0;
    SCmdRun run;
    if (!CutRunShape(data, cursor, area, command, run)) return 0;
    if (!MakeRunRows(run, area, address, rows)) return 0;
    bool stringRow = rows.GetSize() > 0 && rows[rows.GetSize() - 1].GetdwValueAt(DEVROW_IDX_DATATYPE) == DATACODE_STR;
    return CutTargets(data, cursor, command, run, names, flags, stringRow);
}

}  // namespace

int CDevBas::mfMakeDevRowsFromCmd(HOLN_DATA& data, CArray<CDevRow, CDevRow&>& rows, CString& text, CStringArray& names,
                                  CArray<int, int>& flags, int command)
{
    CCmdCursor cursor(text);
    int ok = MakeRowsAndTargets(data, cursor, rows, names, flags, command);
    text = cursor.Rest();
    return ok;
}

int CDevBas::mfBuildDevTableFromCmd(HOLN_DATA& data, CStringArray& parts, CStringArray& names, CArray<int, int>& flags,
                                    CString& rest, int command)
{
    if (!data.pMydata || !data.pMydata->pDevTable) return 0;
    CDevTable& table = *data.pMydata->pDevTable;
    CString text;
    for (int i = 0; i < parts.GetSize(); ++i) {
        CArray<CDevRow, CDevRow&> rows;
        text = parts[i];
        if (mfMakeDevRowsFromCmd(data, rows, text, names, flags, command) != 1) return 0;
        if (table.GetRowCount() + rows.GetSize() > CMD_TOTAL_ROWS_MAX) return 0;
        table.AddRows(rows, 0);
    }
    rest = text;
    return table.GetRowCount() > 0 ? 1 : 0;
}
