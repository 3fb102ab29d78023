// The read-block planner: groups the planned channel rows into blocks of one
// register area, splits blocks that exceed the area's limits, joins close
// neighbours of read plans and gives every block its rank (request number).
#include <cstdint>
#include <limits>

#include "config/DevConst.h"
#include "protocol/DevBas.h"

namespace {

const int PLAN_READ_CAP = 115;  // no read block grows past this, whatever its area allows
const int64_t PLAN_JOIN_GAP = 30;
const uint32_t RWFLAG_WRITEONLY = 1;

// The row properties the planner needs, read once by index.
struct SPlanRow {
    uint32_t nArea;
    uint32_t nAddr;
    uint32_t nBit;
    uint32_t nCode;
    uint32_t nRW;
};

SPlanRow ReadPlanRow(const CDevRow& row)
{
    SPlanRow r;
    r.nArea = row.GetdwValueAt(DEVROW_IDX_TYPE);
    r.nAddr = row.GetdwValueAt(DEVROW_IDX_ADDRESS);
    r.nBit = row.GetdwValueAt(DEVROW_IDX_BIT);
    r.nCode = row.GetdwValueAt(DEVROW_IDX_DATATYPE);
    r.nRW = row.GetdwValueAt(DEVROW_IDX_RWFLAG);
    return r;
}

bool IsBitArea(uint32_t area)
{
    return area <= static_cast<uint32_t>(CHL_BITAREA_LAST);
}
bool IsRegisterBit(uint32_t code)
{
    return code < 16;
}
bool IsNumeric(uint32_t code)
{
    return code >= static_cast<uint32_t>(DATACODE_WUB) && code <= DATACODE_LF;
}
bool IsString(uint32_t code)
{
    return code == static_cast<uint32_t>(DATACODE_STR);
}

// A row whose area or data-type code the vocabulary does not know would make
// later steps index the area tables with garbage: it is never planned.
bool IsPlannableContent(const SPlanRow& r)
{
    if (r.nRW == RWFLAG_WRITEONLY) return false;
    if (r.nArea >= static_cast<uint32_t>(CHL_AREA_NUM)) return false;
    if (IsBitArea(r.nArea)) return r.nCode == static_cast<uint32_t>(DATACODE_BITAREA);
    return IsRegisterBit(r.nCode) || IsNumeric(r.nCode) || IsString(r.nCode);
}

// Elements one channel occupies, by its data-type code.
int64_t OwnLength(uint32_t code, uint32_t bit)
{
    if (IsString(code)) return (static_cast<int64_t>(bit) + 1) / 2;
    if (code <= 85) return 1;
    if (code >= 90 && code <= 93) return 4;
    return 2;
}

int64_t SpanLength(const SPlanRow& first, const SPlanRow& last)
{
    return static_cast<int64_t>(last.nAddr) - static_cast<int64_t>(first.nAddr) + OwnLength(last.nCode, last.nBit);
}

int ClampToInt(int64_t v)
{
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

bool IsRowIndex(const CDevTable& table, int row)
{
    return row >= 0 && row < table.GetRowCount();
}

bool IsReferenced(const CArray<int, int>& refs, int row)
{
    const int slot = row + 1;
    return slot < refs.GetSize() && refs[slot] == 1;
}

// Splitting limit of a block of the area: the write limit for write plans,
// the capped read limit otherwise. False for an area the tables do not hold.
bool ModeMaximum(int area, int mode, int64_t& max)
{
    if (area < 0 || area >= CHL_AREA_NUM) return false;
    if (mode == DEV_PLAN_CMDWRITE) {
        max = DEV_WRITEBLK_MAXNUM[area];
    } else {
        max =
            DEV_READBLK_MAXNUM[area] < static_cast<uint32_t>(PLAN_READ_CAP) ? DEV_READBLK_MAXNUM[area] : PLAN_READ_CAP;
    }
    return true;
}

// The write-frame builder walks a block row by row and lays each value right
// after the previous one, so a write block may only grow by the row that
// starts exactly where the previous one ends and is of the same kind.
bool ContinuesWrite(const SPlanRow& prev, int prevRow, const SPlanRow& cur, int curRow)
{
    if (curRow != prevRow + 1) return false;
    if (IsString(prev.nCode) || IsString(cur.nCode)) return false;
    const int64_t next = static_cast<int64_t>(prev.nAddr) + OwnLength(prev.nCode, prev.nBit);
    if (IsBitArea(cur.nArea)) return static_cast<int64_t>(cur.nAddr) == next;
    if (IsRegisterBit(prev.nCode) || IsRegisterBit(cur.nCode)) {
        if (!IsRegisterBit(prev.nCode) || !IsRegisterBit(cur.nCode)) return false;
        if (prev.nCode < 15) return cur.nAddr == prev.nAddr && cur.nCode == prev.nCode + 1;
        return static_cast<int64_t>(cur.nAddr) == next && cur.nCode == 0;
    }
    return static_cast<int64_t>(cur.nAddr) == next;
}

// The block being built by mfBuildDynBlock.
struct SOpenBlock {
    bool bOpen = false;
    int nStart = 0;
    int nEnd = 0;
    SPlanRow prev{};
};

void CloseBlock(DEV_DATA& dev, SOpenBlock& open, int32_t flag, int& counter)
{
    CDevTable& table = *dev.pDevTable;
    DynBlock b;
    b.nStartRow = open.nStart;
    b.nEndRow = open.nEnd;
    b.nChlType = static_cast<int32_t>(ReadPlanRow(table.Row(open.nStart)).nArea);
    b.nBlockLen = CDevBas::mfFetchBlockLen(table, open.nStart, open.nEnd);
    b.nRank = counter;
    b.nLinkFlag = flag;
    dev.DynBlockArray.Add(b);
    ++counter;
    dev.nDynBlockNum = ClampToInt(static_cast<int64_t>(dev.nDynBlockNum) + b.nBlockLen);
    open.bOpen = false;
}

// Decides how a planned row meets the open block: 0 extends it, otherwise the
// flag with which the block must be closed before the row opens a new one.
int32_t MeetOpenBlock(const SOpenBlock& open, const SPlanRow& cur, int row, int mode, int single)
{
    const SPlanRow& prev = open.prev;
    if (cur.nAddr < prev.nAddr || cur.nArea != prev.nArea) return DYNBLOCK_DONE;
    if (IsString(cur.nCode) || single == 1 || single == 3) return DYNBLOCK_DONE;
    const int64_t p = OwnLength(prev.nCode, prev.nBit);
    const int64_t q = OwnLength(cur.nCode, cur.nBit);
    const int64_t x = cur.nAddr;
    const int64_t px = prev.nAddr;
    if (x - px > p) return DYNBLOCK_GAP;
    if (x + q < px + p) return DYNBLOCK_DONE;
    if (mode == DEV_PLAN_CMDWRITE && !ContinuesWrite(prev, open.nEnd, cur, row)) return DYNBLOCK_DONE;
    return 0;
}

// Rows of a block that may start or end a piece of it when it is split: only
// rows that could have been planned into it, so a piece never starts at a row
// of another area or of unknown content.
bool IsSplitRow(const CDevTable& table, int row, int area)
{
    const SPlanRow r = ReadPlanRow(table.Row(row));
    return IsPlannableContent(r) && r.nArea == static_cast<uint32_t>(area);
}

// Splits block i, which exceeds max, into a head within max and an inserted
// rest. False when the block cannot be split (it then stays as it is).
bool SplitBlock(DEV_DATA& dev, int i, int64_t max)
{
    CDevTable& table = *dev.pDevTable;
    DynBlock b = dev.DynBlockArray[i];
    if (b.nStartRow == b.nEndRow) return false;
    if (!IsRowIndex(table, b.nStartRow) || !IsRowIndex(table, b.nEndRow) || b.nStartRow > b.nEndRow) return false;
    int headEnd = -1;
    int restStart = -1;
    for (int r = b.nStartRow; r <= b.nEndRow; ++r) {
        if (r != b.nStartRow && !IsSplitRow(table, r, b.nChlType)) continue;
        if (CDevBas::mfFetchBlockLen(table, b.nStartRow, r) > max) {
            restStart = r;
            break;
        }
        headEnd = r;
    }
    if (restStart < 0) return false;
    if (restStart == b.nStartRow) {
        headEnd = b.nStartRow;
        restStart = -1;
        for (int r = b.nStartRow + 1; r <= b.nEndRow; ++r) {
            if (IsSplitRow(table, r, b.nChlType)) {
                restStart = r;
                break;
            }
        }
        if (restStart < 0) return false;
    }
    DynBlock rest = b;
    rest.nStartRow = restStart;
    rest.nBlockLen = CDevBas::mfFetchBlockLen(table, restStart, b.nEndRow);
    rest.nRank = 1;
    DynBlock& head = dev.DynBlockArray[i];
    head.nEndRow = headEnd;
    head.nBlockLen = CDevBas::mfFetchBlockLen(table, head.nStartRow, headEnd);
    head.nLinkFlag = DYNBLOCK_DONE;
    dev.DynBlockArray.InsertAt(i + 1, rest);
    return true;
}

// A gap-closed block is marked for joining when the next block is of the same
// area, follows it, lies within the join gap and the joined span stays in max.
int32_t JoinFlag(CDevTable& table, const DynBlock& b, const DynBlock& next, int64_t max)
{
    if (next.nChlType != b.nChlType || b.nEndRow > next.nStartRow) return DYNBLOCK_DONE;
    const int64_t gap = CDevBas::mfFetchBlockLen(table, b.nEndRow, next.nStartRow);
    if (static_cast<int64_t>(b.nBlockLen) + gap > max || gap > PLAN_JOIN_GAP) return DYNBLOCK_DONE;
    if (CDevBas::mfFetchBlockLen(table, b.nStartRow, next.nEndRow) > max) return DYNBLOCK_DONE;
    return DYNBLOCK_LINK;
}

// Joins a block marked for joining with the one after it while the joined
// span stays within the area's read limit and the mode's ceiling; a marked
// block that cannot take its neighbour is closed for good.
bool AbsorbNext(CDevTable& table, DynBlock& b, const DynBlock& next, int mode, int maxLink)
{
    int64_t max = 0;
    if (b.nLinkFlag < 1 || b.nLinkFlag > maxLink || !ModeMaximum(b.nChlType, mode, max)) return false;
    const int span = CDevBas::mfFetchBlockLen(table, b.nStartRow, next.nEndRow);
    if (span > static_cast<int64_t>(DEV_READBLK_MAXNUM[b.nChlType]) || span > max + PLAN_JOIN_GAP) {
        b.nLinkFlag = DYNBLOCK_DONE;
        return false;
    }
    b.nEndRow = next.nEndRow;
    b.nBlockLen = span;
    b.nLinkFlag = next.nLinkFlag;
    return true;
}

bool HasPlanState(const HOLN_DATA& data)
{
    return data.pMydata && data.pMydata->pDevTable;
}

}  // namespace

int CDevBas::mfFetchBlockLen(CDevTable& table, int first, int last)
{
    if (!IsRowIndex(table, first) || !IsRowIndex(table, last)) return 0;
    return ClampToInt(SpanLength(ReadPlanRow(table.Row(first)), ReadPlanRow(table.Row(last))));
}

int CDevBas::mfMakeBlock(HOLN_DATA& data, CArray<int, int>& refs, int unused)
{
    (void)unused;
    const int ranks = mfMakeBlockDynamic(data, refs, DEV_PLAN_COLLECT, -1);
    if (!data.pMydata) return ranks;
    data.pMydata->nRankNum = ranks;
    data.pMydata->nCurRank = 0;
    data.pMydata->nCurBlock = 0;
    return ranks;
}

int CDevBas::mfMakeBlockDynamic(HOLN_DATA& data, CArray<int, int>& refs, int mode, int single)
{
    if (mfBuildDynBlock(data, refs, mode, single) == 0) return 0;
    mfAnalyzeDynBlock(data, 0, mode, 3);
    int ranks;
    if (mode == DEV_PLAN_COLLECT) {
        ranks = mfLinkRankBlock(data, 0, DEV_PLAN_COLLECT, 3);
        data.pMydata->nMixBlockNum = 0;
    } else if (mode == DEV_PLAN_CMDWRITE) {
        ranks = mfLinkRankBlock(data, 0, DEV_PLAN_CMDWRITE, 0);
    } else {
        // Modes nobody requests plan like a command read.
        ranks = mfLinkRankBlock(data, 0, mode, 3);
    }
    data.pMydata->DynBlockArray.FreeExtra();
    data.pMydata->nRankNum = ranks;
    return ranks;
}

int CDevBas::mfBuildDynBlock(HOLN_DATA& data, CArray<int, int>& refs, int mode, int single)
{
    if (!HasPlanState(data)) return 0;
    DEV_DATA& dev = *data.pMydata;
    CDevTable& table = *dev.pDevTable;
    dev.DynBlockArray.RemoveAll();
    dev.nDynBlockNum = 0;
    int counter = 0;
    SOpenBlock open;
    const int rows = table.GetRowCount();
    for (int row = 0; row < rows; ++row) {
        if (!IsReferenced(refs, row)) continue;
        const SPlanRow cur = ReadPlanRow(table.Row(row));
        if (!IsPlannableContent(cur)) continue;
        if (open.bOpen) {
            const int32_t flag = MeetOpenBlock(open, cur, row, mode, single);
            if (flag == 0) {
                open.nEnd = row;
                open.prev = cur;
                continue;
            }
            CloseBlock(dev, open, flag, counter);
        }
        open.bOpen = true;
        open.nStart = open.nEnd = row;
        open.prev = cur;
    }
    if (open.bOpen) CloseBlock(dev, open, DYNBLOCK_DONE, counter);
    dev.DynBlockArray.FreeExtra();
    return counter;
}

int CDevBas::mfAnalyzeDynBlock(HOLN_DATA& data, int firstRank, int mode, int count)
{
    if (!HasPlanState(data)) return 0;
    DEV_DATA& dev = *data.pMydata;
    CArray<DynBlock, DynBlock&>& blocks = dev.DynBlockArray;
    const int n0 = blocks.GetSize();
    int inserted = 0;
    int joined = 0;
    for (int i = 0; i < blocks.GetSize(); ++i) {
        if (blocks[i].nRank < firstRank) continue;
        int64_t max = 0;
        if (!ModeMaximum(blocks[i].nChlType, mode, max)) continue;
        if (blocks[i].nBlockLen > max) {
            if (SplitBlock(dev, i, max)) ++inserted;
            continue;
        }
        DynBlock& b = blocks[i];
        if (i == blocks.GetSize() - 1) {
            b.nLinkFlag = DYNBLOCK_DONE;
            break;
        }
        if (mode == DEV_PLAN_CMDWRITE || b.nLinkFlag == DYNBLOCK_DONE) continue;
        b.nLinkFlag = JoinFlag(*dev.pDevTable, b, blocks[i + 1], max);
        if (b.nLinkFlag == DYNBLOCK_LINK && count > 0) ++joined;
    }
    return n0 + inserted - joined;
}

int CDevBas::mfLinkRankBlock(HOLN_DATA& data, int firstRank, int mode, int maxLink)
{
    if (!HasPlanState(data)) return firstRank;
    DEV_DATA& dev = *data.pMydata;
    CArray<DynBlock, DynBlock&>& blocks = dev.DynBlockArray;
    int next = firstRank;
    // Ranks are numbered on from firstRank; one that leaves no room for them plans nothing.
    if (blocks.GetSize() == 0 || firstRank > std::numeric_limits<int>::max() - blocks.GetSize()) return next;
    // The walked list is blocks[0..w] followed by blocks[r..]: absorbing the next
    // block only advances r, so a long chain costs no element moves.
    const int n = blocks.GetSize();
    int w = 0;
    int r = 1;
    while (r < n) {
        DynBlock& b = blocks[w];
        if (b.nRank >= firstRank) {
            if (AbsorbNext(*dev.pDevTable, b, blocks[r], mode, maxLink)) {
                b.nRank = next;
                ++r;
                continue;
            }
            b.nRank = next++;
        }
        ++w;
        blocks[w] = blocks[r];
        ++r;
    }
    blocks.RemoveAt(w + 1, n - w - 1);
    DynBlock& last = blocks[blocks.GetSize() - 1];
    if (last.nRank >= firstRank) last.nRank = next++;
    return next;
}

int CDevBas::mfCheckAddressOffset(HOLN_DATA& data, int base, int channel, int offset)
{
    (void)data;
    (void)base;
    (void)channel;
    (void)offset;
    return 1;
}
