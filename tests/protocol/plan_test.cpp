// Block planner: building, splitting, joining and ranking of channel blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "support/schema.h"

namespace {

const uint32_t D = 14;  // word area "D"
const uint32_t M = 0;   // bit area "M"
const uint32_t RO = 0, WO = 1, RW = 2;

struct SExp {
    int start, end, area, len, rank, flag;
};

class PlanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallRowSchema();
        dev = new DEV_DATA;
        dev->pDevTable = new CDevTable;
        data.pMydata = dev;
    }
    void TearDown() override
    {
        delete dev->pDevTable;
        delete dev;
        data.pMydata = nullptr;
    }

    CDevTable& Table() { return *dev->pDevTable; }

    int AddRow(uint32_t area, uint32_t addr, uint32_t bit, uint32_t code, uint32_t rw = RW)
    {
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, rw);
        row.SetdwValueAt(DEVROW_IDX_TYPE, area);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, addr);
        row.SetdwValueAt(DEVROW_IDX_BIT, bit);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, code);
        CArray<CDevRow, CDevRow&> rows;
        rows.Add(row);
        Table().AddRows(rows, 0);
        return Table().GetRowCount() - 1;
    }
    int Wub(uint32_t addr, uint32_t rw = RW) { return AddRow(D, addr, 0, 83, rw); }
    int Dub(uint32_t addr) { return AddRow(D, addr, 0, 86); }
    int Lub(uint32_t addr) { return AddRow(D, addr, 0, 90); }
    int RegBit(uint32_t addr, uint32_t bit) { return AddRow(D, addr, bit, bit); }
    int Str(uint32_t addr, uint32_t len) { return AddRow(D, addr, len, 131); }
    int Bit(uint32_t addr, uint32_t area = M) { return AddRow(area, addr, 0, 20); }
    void WubRun(uint32_t from, uint32_t to)
    {
        for (uint32_t a = from; a <= to; ++a) Wub(a);
    }
    void BitRun(uint32_t from, uint32_t to)
    {
        for (uint32_t a = from; a <= to; ++a) Bit(a);
    }

    // Every row referenced.
    CArray<int, int> AllRefs()
    {
        CArray<int, int> refs;
        refs.SetSize(Table().GetRowCount() + 1);
        for (int i = 1; i < refs.GetSize(); ++i) refs[i] = 1;
        return refs;
    }

    int Plan(int mode, int single = -1)
    {
        CArray<int, int> refs = AllRefs();
        return CDevBas::mfMakeBlockDynamic(data, refs, mode, single);
    }

    void ExpectBlocks(const std::vector<SExp>& want)
    {
        const CArray<DynBlock, DynBlock&>& got = dev->DynBlockArray;
        ASSERT_EQ(got.GetSize(), static_cast<int>(want.size()));
        for (size_t i = 0; i < want.size(); ++i) {
            const DynBlock& b = got[static_cast<int>(i)];
            SCOPED_TRACE(testing::Message() << "block " << i);
            EXPECT_EQ(b.nStartRow, want[i].start);
            EXPECT_EQ(b.nEndRow, want[i].end);
            EXPECT_EQ(b.nChlType, want[i].area);
            EXPECT_EQ(b.nBlockLen, want[i].len);
            EXPECT_EQ(b.nRank, want[i].rank);
            EXPECT_EQ(b.nLinkFlag, want[i].flag);
        }
    }

    HOLN_DATA data;
    DEV_DATA* dev = nullptr;
};

// --- lengths

TEST_F(PlanTest, FetchBlockLenByTypeOfLastRow)
{
    const int w = Wub(100), d = Dub(101), l = Lub(103), s = Str(107, 9), b = RegBit(200, 3), m = Bit(5);
    const int e = Str(300, 10);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), w, w), 1);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), d, d), 2);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), l, l), 4);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), s, s), 5);  // 9 bytes take 5 registers
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), e, e), 5);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), b, b), 1);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), m, m), 1);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), w, l), 7);   // D100 .. end of D103 (64-bit)
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), w, s), 12);  // only the last row's type counts
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), l, w), -2);
}

TEST_F(PlanTest, FetchBlockLenOutsideTableOrHugeValues)
{
    const int lo = Wub(0);
    const int hi = AddRow(D, 0xFFFFFFFFu, 0, 93);
    const int longStr = AddRow(D, 0, 0xFFFFFFFFu, 131);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), -1, lo), 0);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), lo, Table().GetRowCount()), 0);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), lo, hi), INT32_MAX);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), hi, lo), INT32_MIN);
    EXPECT_EQ(CDevBas::mfFetchBlockLen(Table(), longStr, longStr), INT32_MAX);
}

// --- read plans

TEST_F(PlanTest, CloseNeighboursJoinIntoOneBlock)
{
    Wub(100);
    Wub(101);
    Wub(105);
    CArray<int, int> refs = AllRefs();
    ASSERT_EQ(CDevBas::mfBuildDynBlock(data, refs, 0, -1), 2);
    ExpectBlocks({{0, 1, 14, 2, 0, 4}, {2, 2, 14, 1, 1, 6}});
    EXPECT_EQ(dev->nDynBlockNum, 3);
    EXPECT_EQ(CDevBas::mfAnalyzeDynBlock(data, 0, 0, 3), 1);
    EXPECT_EQ(dev->DynBlockArray[0].nLinkFlag, 1);
    EXPECT_EQ(CDevBas::mfLinkRankBlock(data, 0, 0, 3), 1);
    ExpectBlocks({{0, 2, 14, 6, 0, 6}});
}

TEST_F(PlanTest, DistantNeighboursKeepTheirOwnRanks)
{
    Wub(100);
    Wub(140);
    dev->nCurRank = 5;
    dev->nCurBlock = 4;
    CArray<int, int> refs = AllRefs();
    EXPECT_EQ(CDevBas::mfMakeBlock(data, refs, 0), 2);
    ExpectBlocks({{0, 0, 14, 1, 0, 6}, {1, 1, 14, 1, 1, 6}});
    EXPECT_EQ(dev->nRankNum, 2);
    EXPECT_EQ(dev->nCurRank, 0);
    EXPECT_EQ(dev->nCurBlock, 0);
}

TEST_F(PlanTest, LongRunSplitsAtReadMaximum)
{
    WubRun(0, 129);
    EXPECT_EQ(Plan(0), 2);
    ExpectBlocks({{0, 114, 14, 115, 0, 6}, {115, 129, 14, 15, 1, 6}});
    EXPECT_EQ(dev->nRankNum, 2);
}

TEST_F(PlanTest, BitInsideWiderValueOpensNewBlock)
{
    Dub(100);
    RegBit(100, 3);
    RegBit(100, 5);
    EXPECT_EQ(Plan(0), 2);
    ExpectBlocks({{0, 0, 14, 2, 0, 6}, {1, 2, 14, 1, 1, 6}});
}

TEST_F(PlanTest, StringOpensItsOwnBlockAndFollowerJoinsIt)
{
    Wub(199);
    Str(200, 10);
    Wub(205);
    EXPECT_EQ(Plan(0), 2);
    ExpectBlocks({{0, 0, 14, 1, 0, 6}, {1, 2, 14, 6, 1, 6}});
}

TEST_F(PlanTest, SingleForcesOneChannelPerBlock)
{
    for (int single : {1, 3}) {
        for (int mode : {3, 4}) {
            SCOPED_TRACE(testing::Message() << "single " << single << " mode " << mode);
            Table().DelTable();
            WubRun(0, 2);
            EXPECT_EQ(Plan(mode, single), 3);
            ExpectBlocks({{0, 0, 14, 1, 0, 6}, {1, 1, 14, 1, 1, 6}, {2, 2, 14, 1, 2, 6}});
        }
    }
}

TEST_F(PlanTest, BitRunsJoinAcrossSmallGap)
{
    BitRun(0, 9);
    BitRun(20, 29);
    EXPECT_EQ(Plan(0), 1);
    ExpectBlocks({{0, 19, 0, 30, 0, 6}});
}

TEST_F(PlanTest, BitChainAbsorbedUpToCeiling)
{
    BitRun(0, 39);
    BitRun(50, 89);
    BitRun(100, 139);
    EXPECT_EQ(Plan(0), 1);
    ExpectBlocks({{0, 119, 0, 140, 0, 6}});
}

TEST_F(PlanTest, RegisterChainStopsAtAreaReadLimit)
{
    WubRun(0, 39);
    WubRun(50, 89);
    WubRun(100, 139);
    EXPECT_EQ(Plan(0), 2);
    ExpectBlocks({{0, 79, 14, 90, 0, 6}, {80, 119, 14, 40, 1, 6}});
}

TEST_F(PlanTest, CommandReadPlansLikeCollection)
{
    Wub(100);
    Wub(101);
    Wub(105);
    dev->nMixBlockNum = 5;
    EXPECT_EQ(Plan(3, 0), 1);
    ExpectBlocks({{0, 2, 14, 6, 0, 6}});
    EXPECT_EQ(dev->nMixBlockNum, 5);
    EXPECT_EQ(Plan(0), 1);
    EXPECT_EQ(dev->nMixBlockNum, 0);
}

TEST_F(PlanTest, AreaChangeAndLowerAddressCloseBlocks)
{
    Wub(10);
    Wub(11);
    Wub(5);  // unsorted: lower address
    Bit(12);
    Bit(13);
    Wub(12, RO);
    EXPECT_EQ(Plan(0), 4);
    ExpectBlocks({{0, 1, 14, 2, 0, 6}, {2, 2, 14, 1, 1, 6}, {3, 4, 0, 2, 2, 6}, {5, 5, 14, 1, 3, 6}});
}

TEST_F(PlanTest, WriteOnlyRowsNeverPlanned)
{
    Wub(0);
    Wub(1, WO);
    Wub(2);
    Wub(3, WO);
    for (int mode : {0, 3, 4}) {
        Plan(mode);
        for (int i = 0; i < dev->DynBlockArray.GetSize(); ++i) {
            EXPECT_NE(dev->DynBlockArray[i].nStartRow, 1);
            EXPECT_NE(dev->DynBlockArray[i].nStartRow, 3);
            EXPECT_NE(dev->DynBlockArray[i].nEndRow, 3);
        }
    }
    Table().DelTable();
    Wub(7, WO);
    dev->nRankNum = 9;
    EXPECT_EQ(Plan(0), 0);
    EXPECT_EQ(dev->DynBlockArray.GetSize(), 0);
}

// --- rows the planner must leave out

TEST_F(PlanTest, UnknownAreaOrTypeNeverPlanned)
{
    AddRow(29, 0, 0, 83);
    AddRow(0xFFFFFFFFu, 1, 0, 83);
    AddRow(D, 2, 0, 50);  // no such code
    AddRow(D, 3, 0, 20);  // bit-area code in a word area
    AddRow(M, 4, 0, 83);  // word code in a bit area
    AddRow(D, 5, 0, 0xFFFFFFFFu);
    dev->nRankNum = 4;
    EXPECT_EQ(Plan(0), 0);
    EXPECT_EQ(dev->DynBlockArray.GetSize(), 0);
    EXPECT_EQ(dev->nRankNum, 4);
}

TEST_F(PlanTest, GarbageRowInsideRunNeverStartsOrEndsBlock)
{
    WubRun(0, 59);
    const int bad = AddRow(99, 5000, 0, 83);
    WubRun(60, 129);
    EXPECT_EQ(Plan(0), 2);
    ExpectBlocks({{0, 115, 14, 115, 0, 6}, {116, 130, 14, 15, 1, 6}});
    EXPECT_EQ(bad, 60);
}

TEST_F(PlanTest, ShortRefsPlanOnlyRowsWithEntry)
{
    WubRun(0, 4);
    CArray<int, int> refs;
    refs.SetSize(3);  // rows 0 and 1 only
    refs[1] = refs[2] = 1;
    EXPECT_EQ(CDevBas::mfMakeBlock(data, refs, 1), 1);
    ExpectBlocks({{0, 1, 14, 2, 0, 6}});

    refs.SetSize(1);
    refs[0] = 1;  // entry 0 belongs to no row
    EXPECT_EQ(CDevBas::mfMakeBlock(data, refs, 1), 0);
    refs.RemoveAll();
    EXPECT_EQ(CDevBas::mfMakeBlock(data, refs, 1), 0);
    EXPECT_EQ(dev->DynBlockArray.GetSize(), 0);
}

TEST_F(PlanTest, OnlyReferenceValueOneCounts)
{
    WubRun(0, 3);
    CArray<int, int> refs = AllRefs();
    refs[2] = 2;
    refs[3] = -1;
    EXPECT_EQ(CDevBas::mfBuildDynBlock(data, refs, 0, -1), 2);
    ExpectBlocks({{0, 0, 14, 1, 0, 4}, {3, 3, 14, 1, 1, 6}});
}

TEST_F(PlanTest, NothingPlannedLeavesEmptyPlan)
{
    WubRun(0, 2);
    ASSERT_EQ(Plan(0), 1);
    CArray<int, int> none;
    none.SetSize(4);
    dev->nRankNum = 7;
    EXPECT_EQ(CDevBas::mfMakeBlockDynamic(data, none, 0, -1), 0);
    EXPECT_EQ(dev->DynBlockArray.GetSize(), 0);
    EXPECT_EQ(dev->nRankNum, 7);
    EXPECT_EQ(dev->nDynBlockNum, 0);

    dev->nCurRank = 3;
    dev->nCurBlock = 2;
    EXPECT_EQ(CDevBas::mfMakeBlock(data, none, 1), 0);
    EXPECT_EQ(dev->nRankNum, 0);
    EXPECT_EQ(dev->nCurRank, 0);
    EXPECT_EQ(dev->nCurBlock, 0);
}

TEST_F(PlanTest, MissingDeviceStateIsHarmless)
{
    HOLN_DATA empty;
    CArray<int, int> refs;
    refs.SetSize(4, 1);
    EXPECT_EQ(CDevBas::mfMakeBlock(empty, refs, 0), 0);
    EXPECT_EQ(CDevBas::mfBuildDynBlock(empty, refs, 0, -1), 0);
    EXPECT_EQ(CDevBas::mfAnalyzeDynBlock(empty, 0, 0, 3), 0);
    EXPECT_EQ(CDevBas::mfLinkRankBlock(empty, 2, 0, 3), 2);
    DEV_DATA noTable;
    empty.pMydata = &noTable;
    EXPECT_EQ(CDevBas::mfMakeBlockDynamic(empty, refs, 4, 0), 0);
    EXPECT_EQ(CDevBas::mfCheckAddressOffset(empty, 0, 0, 5), 1);
}

// --- write plans

TEST_F(PlanTest, WritePlanSplitsAtWriteMaximum)
{
    WubRun(0, 129);
    EXPECT_EQ(Plan(4, 9), 3);
    ExpectBlocks({{0, 47, 14, 48, 0, 6}, {48, 95, 14, 48, 1, 6}, {96, 129, 14, 34, 2, 6}});
}

TEST_F(PlanTest, WritePlanNeverJoins)
{
    Wub(100);
    Wub(101);
    Wub(105);
    BitRun(0, 129);
    EXPECT_EQ(Plan(4, 9), 4);
    ExpectBlocks({{0, 1, 14, 2, 0, 4}, {2, 2, 14, 1, 1, 6}, {3, 122, 0, 120, 2, 6}, {123, 132, 0, 10, 3, 6}});
}

TEST_F(PlanTest, WritePlanSeparatesDuplicatesAndOverlaps)
{
    struct SCase {
        const char* name;
        std::vector<std::vector<uint32_t>> rows;  // area, address, bit, code
        int readBlocks;
    };
    const std::vector<SCase> cases = {
        {"same register twice", {{D, 0, 0, 83}, {D, 0, 0, 83}}, 1},
        {"same bit element twice", {{M, 5, 0, 20}, {M, 5, 0, 20}}, 1},
        {"bits not adjacent", {{D, 0, 3, 3}, {D, 0, 9, 9}}, 1},
        {"bit after bit 15 skips one", {{D, 0, 15, 15}, {D, 1, 1, 1}}, 1},
        {"bit 0 of same register after 15", {{D, 0, 15, 15}, {D, 0, 0, 0}}, 1},
        {"register inside 32-bit value", {{D, 0, 0, 86}, {D, 1, 0, 83}}, 1},
        {"bit right after a value", {{D, 0, 0, 83}, {D, 1, 0, 0}}, 1},
        {"value right after a bit", {{D, 0, 0, 0}, {D, 1, 0, 83}}, 1},
        {"row after a string", {{D, 0, 10, 131}, {D, 5, 0, 83}}, 1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        Table().DelTable();
        for (const auto& r : c.rows) AddRow(r[0], r[1], r[2], r[3]);
        EXPECT_EQ(Plan(0), c.readBlocks);
        EXPECT_EQ(Plan(4, 9), 2);
        ExpectBlocks({{0, 0, static_cast<int>(c.rows[0][0]), CDevBas::mfFetchBlockLen(Table(), 0, 0), 0, 6},
                      {1, 1, static_cast<int>(c.rows[1][0]), CDevBas::mfFetchBlockLen(Table(), 1, 1), 1, 6}});
    }
}

TEST_F(PlanTest, WritePlanKeepsConsecutiveRowsTogether)
{
    RegBit(0, 14);
    RegBit(0, 15);
    RegBit(1, 0);
    RegBit(1, 1);
    Wub(10);
    Dub(11);
    Lub(13);
    Wub(17);
    BitRun(3, 12);
    EXPECT_EQ(Plan(4, 9), 3);
    ExpectBlocks({{0, 3, 14, 2, 0, 4}, {4, 7, 14, 8, 1, 6}, {8, 17, 0, 10, 2, 6}});
}

TEST_F(PlanTest, WritePlanSkipsOverUnplannedRowOnlyByClosing)
{
    Wub(0);
    Wub(0);  // duplicate left unreferenced
    Wub(1);
    CArray<int, int> refs = AllRefs();
    refs[2] = 0;
    EXPECT_EQ(CDevBas::mfMakeBlockDynamic(data, refs, 0, -1), 1);
    ExpectBlocks({{0, 2, 14, 2, 0, 6}});
    EXPECT_EQ(CDevBas::mfMakeBlockDynamic(data, refs, 4, 9), 2);
    ExpectBlocks({{0, 0, 14, 1, 0, 6}, {2, 2, 14, 1, 1, 6}});
}

// --- arithmetic on untrusted values

TEST_F(PlanTest, ExtremeAddressesPlanWithoutOverflow)
{
    Wub(0);
    AddRow(D, 0x80000000u, 0, 93);
    AddRow(D, 0xFFFFFFFEu, 0, 93);  // ends beyond the 32-bit address range
    AddRow(D, 0xFFFFFFFFu, 0xFFFFFFFFu, 131);
    for (int mode : {0, 4}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(Plan(mode, 9), 4);
        EXPECT_EQ(dev->DynBlockArray[0].nBlockLen, 1);
        EXPECT_EQ(dev->DynBlockArray[2].nBlockLen, 4);
        EXPECT_EQ(dev->DynBlockArray[3].nBlockLen, INT32_MAX);
        EXPECT_EQ(dev->nDynBlockNum, INT32_MAX);
    }
}

// --- the lower-level steps on their own

TEST_F(PlanTest, LinkRankNumbersFromFirstRank)
{
    EXPECT_EQ(CDevBas::mfLinkRankBlock(data, 3, 0, 3), 3);
    DynBlock b;
    b.nStartRow = b.nEndRow = 0;
    b.nChlType = 14;
    b.nBlockLen = 1;
    b.nRank = 5;
    b.nLinkFlag = 6;
    Wub(0);
    dev->DynBlockArray.Add(b);
    EXPECT_EQ(CDevBas::mfLinkRankBlock(data, 2, 0, 3), 3);
    EXPECT_EQ(dev->DynBlockArray[0].nRank, 2);
    dev->DynBlockArray[0].nRank = 0;
    EXPECT_EQ(CDevBas::mfLinkRankBlock(data, 2, 0, 3), 2);
    EXPECT_EQ(dev->DynBlockArray[0].nRank, 0);
    EXPECT_EQ(CDevBas::mfLinkRankBlock(data, INT32_MAX, 0, 3), INT32_MAX);
}

TEST_F(PlanTest, HandMadeBlocksWithBadAreaOrRowsStayPut)
{
    Wub(0);
    Wub(1);
    DynBlock b;
    b.nStartRow = 0;
    b.nEndRow = 5;  // beyond the table
    b.nChlType = 14;
    b.nBlockLen = 500;
    b.nLinkFlag = 4;
    dev->DynBlockArray.Add(b);
    b.nChlType = 77;
    b.nEndRow = 1;
    b.nLinkFlag = 1;
    dev->DynBlockArray.Add(b);
    EXPECT_EQ(CDevBas::mfAnalyzeDynBlock(data, 0, 0, 3), 2);
    EXPECT_EQ(CDevBas::mfLinkRankBlock(data, 0, 0, 3), 2);
    EXPECT_EQ(dev->DynBlockArray.GetSize(), 2);
    EXPECT_EQ(dev->DynBlockArray[1].nLinkFlag, 1);
}

// Large tables: the plan covers every row once, in order, within the limits.
TEST_F(PlanTest, TenThousandChannelsPlanWithinLimits)
{
    for (uint32_t a = 0; a < 10000; ++a) Wub(a * 2);
    const int ranks = Plan(0);
    const CArray<DynBlock, DynBlock&>& blocks = dev->DynBlockArray;
    ASSERT_EQ(blocks.GetSize(), ranks);
    int nextRow = 0;
    for (int i = 0; i < blocks.GetSize(); ++i) {
        EXPECT_EQ(blocks[i].nRank, i);
        EXPECT_EQ(blocks[i].nStartRow, nextRow);
        EXPECT_LE(blocks[i].nBlockLen, 120);
        EXPECT_EQ(blocks[i].nBlockLen, CDevBas::mfFetchBlockLen(Table(), blocks[i].nStartRow, blocks[i].nEndRow));
        nextRow = blocks[i].nEndRow + 1;
    }
    EXPECT_EQ(nextRow, 10000);
    EXPECT_LT(ranks, 10000 / 40);

    EXPECT_EQ(Plan(4, 9), 10000);  // every write row stands alone across its gap
}

}  // namespace
