#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/Dev.h"
#include "config/DevConst.h"
#include "support/schema.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DevRowTest : public ::testing::Test {
protected:
    void SetUp() override { InstallRowSchema(); }
    void TearDown() override { InstallRowSchema(); }
};

class DevTableTest : public DevRowTest {};

CDevRow MakeRow(uint32_t area, uint32_t address, uint32_t bit, const char* name = "", uint32_t dataType = 83)
{
    CDevRow row;
    row.SetdwValue(DEVROW_STR_CHLRWFLAG, 2);
    row.SetdwValue(DEVROW_STR_CHLTYPE, area);
    row.SetdwValue(DEVROW_STR_CHLADDRESS, address);
    row.SetdwValue(DEVROW_STR_CHLBIT, bit);
    row.SetdwValue(DEVROW_STR_CHLDATATYPE, dataType);
    row.SetstrValue(DEVROW_STR_CHLNAME, name);
    return row;
}

// Rows keyed by address only (area 14, bit 0), named after their tag.
CArray<CDevRow, CDevRow&> KeyRun(const std::vector<std::pair<uint32_t, const char*>>& keys)
{
    CArray<CDevRow, CDevRow&> rows;
    for (const auto& k : keys) rows.Add(MakeRow(14, k.first, 0, k.second));
    return rows;
}

std::vector<uint32_t> Addresses(const CDevTable& t)
{
    std::vector<uint32_t> out;
    for (int i = 0; i < t.GetRowCount(); ++i) out.push_back(t.Row(i).GetdwValueAt(DEVROW_IDX_ADDRESS));
    return out;
}

std::vector<CString> Names(CDevTable& t)
{
    std::vector<CString> out;
    for (int i = 0; i < t.GetRowCount(); ++i) out.push_back(t[i].GetstrValue(DEVROW_STR_CHLNAME));
    return out;
}

void LoadBlob(COwnerArchive& ar, const Bytes& blob)
{
    ASSERT_EQ(ar.SvrWrite(blob.data(), static_cast<int>(blob.size())), 1);
    ar.SvrSeekToBegin();
    ar.SvrChangeMode(ARCHIVE_LOADING);
}

void PutU32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

TEST_F(DevRowTest, SchemaLookupByExactName)
{
    for (int i = 0; i < DEVROW_PROPERTY_NUM; ++i) EXPECT_EQ(CDevRow::GetIndexFromName(DEVROW_STR_PROPERTYNAME[i]), i);
    EXPECT_EQ(CDevRow::GetIndexFromName("通道类"), -1);
    EXPECT_EQ(CDevRow::GetIndexFromName("dev通道地址"), -1);  // case-sensitive
    EXPECT_EQ(CDevRow::SetPropertyNameAndType(8, 1, "x", 0), 0);
    EXPECT_EQ(CDevRow::SetPropertyNameAndType(-1, 1, "x", 0), 0);
    EXPECT_EQ(CDevRow::GetPropertyNum(), 8u);
}

TEST_F(DevRowTest, UnknownNamesReadAsMinusOneOrEmptyAndAreNotWritten)
{
    CDevRow row = MakeRow(14, 100, 3, "D0100");
    EXPECT_EQ(row.GetdwValue("nope"), 0xFFFFFFFFu);
    EXPECT_TRUE(row.GetstrValue("nope").IsEmpty());
    const CDevRow before = row;
    row.SetdwValue("nope", 5);
    row.SetstrValue("nope", "x");
    for (int i = 0; i < DEVROW_PROPERTY_NUM; ++i) EXPECT_EQ(row.GetdwValueAt(i), before.GetdwValueAt(i));
    EXPECT_EQ(row.GetstrValue(DEVROW_STR_CHLNAME), "D0100");

    // Accessors do not check the kind: a dword property's string slot works too.
    row.SetstrValue(DEVROW_STR_CHLTYPE, "side");
    EXPECT_EQ(row.GetstrValue(DEVROW_STR_CHLTYPE), "side");
    EXPECT_EQ(row.GetdwValue(DEVROW_STR_CHLTYPE), 14u);
}

TEST_F(DevRowTest, IndexAccessorsMatchNamesAndBoundIndexes)
{
    CDevRow row = MakeRow(20, 7, 1);
    EXPECT_EQ(row.GetdwValueAt(DEVROW_IDX_TYPE), row.GetdwValue(DEVROW_STR_CHLTYPE));
    row.SetdwValueAt(DEVROW_IDX_DATATYPE, 131);
    EXPECT_EQ(row.GetdwValue(DEVROW_STR_CHLDATATYPE), 131u);
    EXPECT_EQ(row.GetdwValueAt(-1), 0xFFFFFFFFu);
    EXPECT_EQ(row.GetdwValueAt(8), 0xFFFFFFFFu);
    row.SetdwValueAt(8, 1);
    row.SetdwValueAt(-1, 1);
    EXPECT_EQ(row.GetdwValueAt(8), 0xFFFFFFFFu);
}

TEST_F(DevRowTest, NewRowIsZeroAndEmpty)
{
    CDevRow row;
    for (int i = 0; i < DEVROW_PROPERTY_NUM; ++i) {
        EXPECT_EQ(row.GetdwValueAt(i), 0u);
        EXPECT_TRUE(row.GetstrValue(DEVROW_STR_PROPERTYNAME[i]).IsEmpty());
    }
}

TEST_F(DevRowTest, LiveRowCounterFollowsEveryRow)
{
    const uint32_t base = CDevRow::GetRowNum();
    {
        CDevRow a;
        CDevRow b(a);
        EXPECT_EQ(CDevRow::GetRowNum(), base + 2);
        b = MakeRow(1, 2, 3);
        EXPECT_EQ(CDevRow::GetRowNum(), base + 2);
        CDevTable t;
        auto rows = KeyRun({{1, "a"}, {2, "b"}});
        t.AddRows(rows, 0);
        EXPECT_EQ(CDevRow::GetRowNum(), base + 6);
        t.DelTable();
        EXPECT_EQ(CDevRow::GetRowNum(), base + 4);
    }
    EXPECT_EQ(CDevRow::GetRowNum(), base);
}

TEST_F(DevRowTest, OrderIsAreaThenAddressThenBit)
{
    const CDevRow a = MakeRow(14, 100, 3);
    const CDevRow b = MakeRow(14, 100, 12);
    const CDevRow c = MakeRow(14, 99, 15);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b > a);
    EXPECT_FALSE(a > b);
    EXPECT_TRUE(c < a);
    EXPECT_TRUE(c < b);
    EXPECT_TRUE(MakeRow(13, 5000, 0) < c);
    EXPECT_TRUE(a <= b);
    EXPECT_TRUE(b >= a);
    EXPECT_TRUE(a != b);
    // Keys compare unsigned.
    EXPECT_TRUE(MakeRow(14, 0x80000000u, 0) > MakeRow(14, 1, 0));
}

TEST_F(DevRowTest, NameAndDataTypeAreNotKeys)
{
    const CDevRow a = MakeRow(14, 100, 3, "first", 83);
    const CDevRow b = MakeRow(14, 100, 3, "second", 89);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(a > b);
    EXPECT_TRUE(a <= b);
    EXPECT_TRUE(a >= b);
}

TEST_F(DevRowTest, AnyNonZeroFlagOrdersButOnlyOneMakesEquality)
{
    // Data type becomes an ordering key with flag 2: it orders rows but equality ignores it.
    CDevRow::SetPropertyNameAndType(DEVROW_IDX_DATATYPE, 1, DEVROW_STR_CHLDATATYPE, 2);
    const CDevRow a = MakeRow(14, 100, 3, "", 83);
    const CDevRow b = MakeRow(14, 100, 3, "", 89);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(a == b);
}

TEST_F(DevRowTest, StringKeysCompareBytewise)
{
    CDevRow::SetPropertyNameAndType(DEVROW_IDX_NAME, 2, DEVROW_STR_CHLNAME, 1);
    EXPECT_TRUE(MakeRow(14, 1, 0, "B") < MakeRow(14, 1, 0, "a"));
    EXPECT_TRUE(MakeRow(14, 1, 0, "ab") > MakeRow(14, 1, 0, "a"));
    EXPECT_TRUE(MakeRow(14, 1, 0, "只读") > MakeRow(14, 1, 0, "z"));  // bytes above 0x7F are large
    EXPECT_FALSE(MakeRow(14, 1, 0, "a") == MakeRow(14, 1, 0, "b"));
    EXPECT_TRUE(MakeRow(14, 1, 0, "a") == MakeRow(14, 1, 0, "a"));
}

TEST_F(DevRowTest, RowsFromAnotherSchemaSizeNeverCompare)
{
    const CDevRow a = MakeRow(14, 1, 0);
    const CDevRow b = MakeRow(14, 2, 0);
    CDevRow::SetPropertyNum(9);  // existing rows keep 8 slots
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(a > b);
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(a == a);
    EXPECT_TRUE(a != b);

    // Without properties every row is equal and none is smaller.
    CDevRow::SetPropertyNum(0);
    const CDevRow x, y;
    EXPECT_TRUE(x == y);
    EXPECT_FALSE(x < y);
    EXPECT_EQ(CDevRow::GetIndexFromName(DEVROW_STR_CHLTYPE), -1);
    EXPECT_EQ(x.GetdwValue(DEVROW_STR_CHLTYPE), 0xFFFFFFFFu);
}

TEST_F(DevRowTest, NegativePropertyCountIsRefused)
{
    EXPECT_EQ(CDevRow::SetPropertyNum(-1), -1);
    EXPECT_EQ(CDevRow::GetPropertyNum(), 8u);
    EXPECT_EQ(CDevRow::GetIndexFromName(DEVROW_STR_CHLNAME), 7);
}

TEST_F(DevRowTest, StoredRowIsSevenDwordsAndName)
{
    CDevRow row = MakeRow(14, 0x0102, 3, "D0258", 83);
    row.SetdwValue(DEVROW_STR_CHLREADMAX, 0xA0B0C0D0u);
    COwnerArchive ar(ARCHIVE_STORING);
    row.Serialize(ar);
    ASSERT_EQ(ar.SvrGetBufferSize(), 32 + 5);
    const CByteArray& b = ar.GetBuffer();
    const Bytes got(b.GetData(), b.GetData() + 37);
    Bytes want;
    for (uint32_t v : {2u, 14u, 0x0102u, 3u, 83u, 0u, 0xA0B0C0D0u}) PutU32(want, v);
    PutU32(want, 5);
    for (char ch : std::string("D0258")) want.push_back(static_cast<uint8_t>(ch));
    EXPECT_EQ(got, want);

    COwnerArchive utf(ARCHIVE_STORING);
    MakeRow(0, 0, 0, "读写M0005").Serialize(utf);
    EXPECT_EQ(utf.SvrGetBufferSize(), 32 + CString("读写M0005").GetLength());
}

TEST_F(DevRowTest, UnmarkedAndMarkedRowsReadAlikeNewerRefused)
{
    COwnerArchive st(ARCHIVE_STORING);
    MakeRow(14, 42, 0, "D0042").Serialize(st);
    const CByteArray& buf = st.GetBuffer();
    const Bytes body(buf.GetData(), buf.GetData() + st.SvrGetBufferSize());

    COwnerArchive old(ARCHIVE_STORING);
    LoadBlob(old, body);  // first word 2: no marker
    CDevRow a;
    EXPECT_EQ(a.Deserialize(old), 0);
    EXPECT_EQ(a.GetdwValue(DEVROW_STR_CHLADDRESS), 42u);
    EXPECT_EQ(a.GetstrValue(DEVROW_STR_CHLNAME), "D0042");

    Bytes marked{0x20, 0x4E};
    marked.insert(marked.end(), body.begin(), body.end());
    COwnerArchive cur(ARCHIVE_STORING);
    LoadBlob(cur, marked);
    CDevRow b;
    cur >> b;
    EXPECT_TRUE(a == b);
    EXPECT_EQ(b.GetstrValue(DEVROW_STR_CHLNAME), "D0042");

    Bytes newer{0x22, 0x4E};
    newer.insert(newer.end(), body.begin(), body.end());
    COwnerArchive nw(ARCHIVE_STORING);
    LoadBlob(nw, newer);
    CDevRow c = MakeRow(1, 2, 3, "kept");
    EXPECT_EQ(c.Deserialize(nw), 2);
    EXPECT_EQ(c.GetdwValue(DEVROW_STR_CHLADDRESS), 2u);
    EXPECT_EQ(c.GetstrValue(DEVROW_STR_CHLNAME), "kept");
}

TEST_F(DevTableTest, RoundTripThroughArchive)
{
    CDevTable t;
    CArray<CDevRow, CDevRow&> rows;
    rows.Add(MakeRow(14, 100, 0, "读写DWUB0100", 83));
    rows.Add(MakeRow(0, 5, 0, "读写M0005", 20));
    rows.Add(MakeRow(14, 200, 20, "", 131));
    ASSERT_EQ(t.AddRows(rows, 0), 0);

    COwnerArchive ar(ARCHIVE_STORING);
    ar << t;
    int expected = 2 + 4;
    for (int i = 0; i < 3; ++i) expected += 32 + t[i].GetstrValue(DEVROW_STR_CHLNAME).GetLength();
    EXPECT_EQ(ar.SvrGetBufferSize(), expected);
    EXPECT_EQ(ar.GetBuffer()[0], 0x20);
    EXPECT_EQ(ar.GetBuffer()[1], 0x4E);

    CDevTable back;
    auto stale = KeyRun({{9, "old"}});
    back.AddRows(stale, 0);
    ar >> back;
    ASSERT_EQ(back.GetRowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        for (int p = 0; p < DEVROW_PROPERTY_NUM; ++p) EXPECT_EQ(back[i].GetdwValueAt(p), t[i].GetdwValueAt(p));
        EXPECT_EQ(back[i].GetstrValue(DEVROW_STR_CHLNAME), t[i].GetstrValue(DEVROW_STR_CHLNAME));
    }
    EXPECT_TRUE(ar.IsBufferEnd());
}

TEST_F(DevTableTest, HostileRowCountsAreCappedByRemainingBytes)
{
    struct Case {
        uint32_t count;
        int rowsInBlob;
        int expectRows;
    };
    const Case cases[] = {
        {0x7FFFFFFFu, 1, 1}, {0xFFFFFFFBu, 1, 0}, {0x80000000u, 2, 0}, {3, 2, 2}, {2, 2, 2}, {1, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        Bytes blob{0x20, 0x4E};
        PutU32(blob, c.count);
        for (int r = 0; r < c.rowsInBlob; ++r) {
            for (uint32_t v : {2u, 14u, static_cast<uint32_t>(r + 1), 0u, 83u, 0u, 0u, 0u}) PutU32(blob, v);
        }
        COwnerArchive ar(ARCHIVE_STORING);
        ASSERT_EQ(ar.SvrWrite(blob.data(), static_cast<int>(blob.size())), 1);
        ar.SvrChangeMode(ARCHIVE_LOADING);  // cut to the blob: no reserve
        ar.SvrSeekToBegin();
        ar.SvrChangeMode(ARCHIVE_LOADING);
        CDevTable t;
        t.Deserialize(ar);
        EXPECT_EQ(t.GetRowCount(), c.expectRows);
        for (int i = 0; i < t.GetRowCount(); ++i) EXPECT_EQ(t[i].GetdwValueAt(DEVROW_IDX_ADDRESS), uint32_t(i + 1));
    }
}

TEST_F(DevTableTest, HugeCountInInitArchiveStaysWithinReserve)
{
    // The initialization archive keeps a zero reserve behind the blob.
    Bytes blob{0x20, 0x4E};
    PutU32(blob, 0x7FFFFFFFu);
    COwnerArchive ar(ARCHIVE_STORING);
    LoadBlob(ar, blob);
    ASSERT_EQ(ar.SvrGetRealBufferSize(), 16534);
    const uint32_t before = CDevRow::GetRowNum();
    CDevTable t;
    ar >> t;
    EXPECT_EQ(t.GetRowCount(), (16534 - 6) / 32);
    EXPECT_EQ(CDevRow::GetRowNum() - before, static_cast<uint32_t>(t.GetRowCount()));
    EXPECT_EQ(t[0].GetdwValueAt(DEVROW_IDX_TYPE), 0u);
}

TEST_F(DevTableTest, NewerFormatOrMissingCountLeavesRows)
{
    CDevTable t;
    auto rows = KeyRun({{1, "a"}, {2, "b"}});
    t.AddRows(rows, 0);

    COwnerArchive newer(ARCHIVE_STORING);
    LoadBlob(newer, {0x21, 0x4E, 0, 0, 0, 0});
    EXPECT_EQ(t.Deserialize(newer), 1);
    EXPECT_EQ(t.GetRowCount(), 2);

    COwnerArchive shortBlob(ARCHIVE_STORING);
    const unsigned char two[2] = {0x20, 0x4E};
    shortBlob.SvrWrite(two, 2);
    shortBlob.SvrChangeMode(ARCHIVE_LOADING);  // cut to 2 bytes, cursor behind the marker
    shortBlob >> t;
    EXPECT_EQ(Names(t), (std::vector<CString>{"a", "b"}));
}

TEST_F(DevTableTest, AddRowsAppendsWithoutReplace)
{
    CDevTable t;
    CArray<CDevRow, CDevRow&> empty;
    EXPECT_EQ(t.AddRows(empty, 1), -1);
    EXPECT_EQ(t.GetRowCount(), 0);

    // Into an empty table the input keeps its order, even unsorted.
    auto first = KeyRun({{3, "c"}, {1, "a"}, {5, "e"}});
    EXPECT_EQ(t.AddRows(first, 1), 0);
    EXPECT_EQ(Addresses(t), (std::vector<uint32_t>{3, 1, 5}));

    auto inside = KeyRun({{2, "b"}, {4, "d"}});
    EXPECT_EQ(t.AddRows(inside, 0), 3);
    EXPECT_EQ(Addresses(t), (std::vector<uint32_t>{3, 1, 5, 2, 4}));
    EXPECT_EQ(t.AddRows(empty, 0), -1);
    EXPECT_EQ(t.GetRowCount(), 5);
}

TEST_F(DevTableTest, AddRowsReplacesTheInputsKeyRange)
{
    auto make = [] {
        CDevTable t;
        auto base = KeyRun({{1, "t1"}, {2, "t2"}, {3, "t3"}, {4, "t4"}, {5, "t5"}});
        t.AddRows(base, 0);
        return t;
    };

    CDevTable a = make();
    auto mid = KeyRun({{2, "n2"}, {3, "n3"}});
    EXPECT_EQ(a.AddRows(mid, 1), 1);
    EXPECT_EQ(Names(a), (std::vector<CString>{"t1", "n2", "n3", "t4", "t5"}));

    CDevTable b = make();
    auto tail = KeyRun({{6, "n6"}, {7, "n7"}});
    EXPECT_EQ(b.AddRows(tail, 1), 5);
    EXPECT_EQ(Addresses(b), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7}));

    CDevTable c = make();
    auto head = KeyRun({{0, "n0"}});
    EXPECT_EQ(c.AddRows(head, 1), 0);
    EXPECT_EQ(Names(c), (std::vector<CString>{"n0", "t1", "t2", "t3", "t4", "t5"}));

    // A run whose keys skip table rows removes everything within its range.
    CDevTable d;
    auto sparse = KeyRun({{1, "t1"}, {3, "t3"}, {5, "t5"}});
    d.AddRows(sparse, 0);
    auto over = KeyRun({{2, "n2"}, {4, "n4"}});
    EXPECT_EQ(d.AddRows(over, 1), 1);
    EXPECT_EQ(Names(d), (std::vector<CString>{"t1", "n2", "n4", "t5"}));

    // A run that covers the whole table replaces all of it.
    CDevTable e = make();
    auto all = KeyRun({{0, "n0"}, {9, "n9"}});
    EXPECT_EQ(e.AddRows(all, 1), 0);
    EXPECT_EQ(Names(e), (std::vector<CString>{"n0", "n9"}));
}

TEST_F(DevTableTest, DelRowDelTableAndCopies)
{
    CDevTable t;
    auto rows = KeyRun({{1, "a"}, {2, "b"}, {3, "c"}});
    t.AddRows(rows, 0);
    const uint32_t live = CDevRow::GetRowNum();

    t.DelRow(1);
    EXPECT_EQ(Names(t), (std::vector<CString>{"a", "c"}));
    t.DelRow(2);
    t.DelRow(-1);
    EXPECT_EQ(t.GetRowCount(), 2);
    EXPECT_EQ(CDevRow::GetRowNum(), live - 1);

    CDevTable copy;
    auto other = KeyRun({{7, "x"}, {8, "y"}, {9, "z"}});
    copy.AddRows(other, 0);
    copy = t;
    EXPECT_EQ(Names(copy), Names(t));
    copy = copy;
    EXPECT_EQ(copy.GetRowCount(), 2);
    CDevTable built(t);
    EXPECT_EQ(Names(built), Names(t));

    t.DelTable();
    EXPECT_EQ(t.GetRowCount(), 0);
    EXPECT_EQ(copy.GetRowCount(), 2);
}

TEST(SChlInfo, DefaultsAndAssignmentCopyEveryField)
{
    SChlInfo a;
    EXPECT_EQ(a.nChlType, -1);
    EXPECT_EQ(a.strStartAddr, "0");
    SChlInfo b;
    b.nChlType = 14;
    b.nDataTypeIndex = 16;
    b.nBitOrLen = 20;
    b.strStartAddr = "100_5";
    b.nChlNum = 3;
    b.nRWFlag = 2;
    b.strReserved2 = "r";
    b.strArReserved1.Add("one");
    a.strArReserved1.Add("stale");
    a.strArReserved1.Add("stale2");
    a = b;
    EXPECT_EQ(a.nChlType, 14);
    EXPECT_EQ(a.nDataTypeIndex, 16);
    EXPECT_EQ(a.nBitOrLen, 20);
    EXPECT_EQ(a.strStartAddr, "100_5");
    EXPECT_EQ(a.nChlNum, 3);
    EXPECT_EQ(a.nRWFlag, 2);
    EXPECT_EQ(a.strReserved2, "r");
    ASSERT_EQ(a.strArReserved1.GetSize(), 1);
    EXPECT_EQ(a.strArReserved1[0], "one");
}

TEST(CDataTypeArray, OwnsCopiesOfItsLists)
{
    CDataTypeArray arr;
    CStringArray list;
    list.Add("WUB");
    list.Add("WB");
    EXPECT_EQ(arr.mfStrArSetSize(-1), 0);
    EXPECT_EQ(arr.mfStrArSetSize(2), 1);
    EXPECT_EQ(arr.mfStrArGetSize(), 2);

    CStringArray* out = &list;
    EXPECT_EQ(arr.mfStrArGetAt(0, out), 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(arr.mfStrArGetAt(2, out), 0);

    EXPECT_EQ(arr.mfStrArSetAt(0, list), 1);
    EXPECT_EQ(arr.mfStrArSetAt(2, list), 0);
    list.Add("changed later");
    ASSERT_EQ(arr.mfStrArGetAt(0, out), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, &list);
    EXPECT_EQ(out->GetSize(), 2);

    // A second set refills the same list.
    CStringArray* same = out;
    EXPECT_EQ(arr.mfStrArSetAt(0, list), 1);
    arr.mfStrArGetAt(0, out);
    EXPECT_EQ(out, same);
    EXPECT_EQ(out->GetSize(), 3);

    EXPECT_EQ(arr.mfStrArAdd(list), 1);
    EXPECT_EQ(arr.mfStrArGetSize(), 3);
    EXPECT_EQ(arr.mfStrArSetSize(-5), 0);
    EXPECT_EQ(arr.mfStrArGetSize(), 3);
    EXPECT_EQ(arr.mfStrArSetSize(0), 1);
    EXPECT_EQ(arr.mfStrArGetSize(), 0);
}
