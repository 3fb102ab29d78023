// Dword values of channel rows: held inside the row for schemas of up to
// eight properties, in a block of their own for larger ones. Whatever the
// property count, and whichever storage a row uses, rows must read, copy,
// store, load and compare exactly alike, and keep the slot count of the
// schema they were made under.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "config/Dev.h"
#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "support/counting_new.h"
#include "support/schema.h"

namespace {

const uint32_t NO_SLOT = 0xFFFFFFFFu;

CString PropName(int i)
{
    char text[16];
    std::snprintf(text, sizeof text, "p%d", i);
    return CString(text);
}

// n dword properties "p0", "p1", ...; the first three (where present) are keys.
void InstallDwordSchema(int n)
{
    ASSERT_EQ(CDevRow::SetPropertyNum(n), n);
    for (int i = 0; i < n; ++i) ASSERT_EQ(CDevRow::SetPropertyNameAndType(i, 1, PropName(i), i < 3 ? 1 : 0), 1);
}

// Distinct per slot and per row; the low half stays small so that a stored
// row never starts with what reads as a newer format marker.
uint32_t Pattern(int slot, uint32_t salt)
{
    return (salt << 16) + static_cast<uint32_t>(slot) + 1;
}

void Fill(CDevRow& row, int slots, uint32_t salt)
{
    for (int i = 0; i < slots; ++i) row.SetdwValue(PropName(i), Pattern(i, salt));
}

// Every one of the first `slots` values follows the pattern and nothing lies beyond.
::testing::AssertionResult Holds(const CDevRow& row, int slots, uint32_t salt)
{
    for (int i = 0; i < slots; ++i) {
        if (row.GetdwValueAt(i) != Pattern(i, salt))
            return ::testing::AssertionFailure() << "slot " << i << " reads " << row.GetdwValueAt(i);
    }
    if (row.GetdwValueAt(slots) != NO_SLOT) return ::testing::AssertionFailure() << "slot " << slots << " exists";
    return ::testing::AssertionSuccess();
}

std::vector<uint8_t> Stored(CDevRow& row)
{
    COwnerArchive ar(ARCHIVE_STORING);
    row.Serialize(ar);
    const CByteArray& b = ar.GetBuffer();
    return std::vector<uint8_t>(b.GetData(), b.GetData() + ar.SvrGetBufferSize());
}

// A loading archive over the given bytes.
void Load(COwnerArchive& ar, const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty()) {
        ASSERT_EQ(ar.SvrWrite(bytes.data(), static_cast<int>(bytes.size())), 1);
    }
    ar.SvrChangeMode(ARCHIVE_LOADING);
    ar.SvrSeekToBegin();
}

class DevRowSchemaTest : public ::testing::Test {
protected:
    void TearDown() override { InstallRowSchema(); }
};

// Counts on both sides of the in-row capacity, and far beyond it.
class DevRowCountTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { InstallDwordSchema(GetParam()); }
    void TearDown() override { InstallRowSchema(); }
};

}  // namespace

TEST_P(DevRowCountTest, NewRowHasZeroSlotsAndNothingBeyond)
{
    const int n = GetParam();
    CDevRow row;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(row.GetdwValueAt(i), 0u) << i;
        EXPECT_EQ(row.GetdwValue(PropName(i)), 0u) << i;
    }
    for (int outside : {n, n + 1, -1, INT_MIN, INT_MAX}) {
        row.SetdwValueAt(outside, 7);
        EXPECT_EQ(row.GetdwValueAt(outside), NO_SLOT) << outside;
    }
    for (int i = 0; i < n; ++i) EXPECT_EQ(row.GetdwValueAt(i), 0u) << i;
    EXPECT_EQ(row.GetdwValue("unknown"), NO_SLOT);
}

TEST_P(DevRowCountTest, EverySlotKeepsItsOwnValue)
{
    const int n = GetParam();
    CDevRow row;
    Fill(row, n, 3);
    EXPECT_TRUE(Holds(row, n, 3));
    for (int i = 0; i < n; ++i) EXPECT_EQ(row.GetdwValue(PropName(i)), Pattern(i, 3)) << i;
    // Texts of the same properties live apart from the values.
    if (n > 0) {
        row.SetstrValue(PropName(n - 1), "text");
        EXPECT_EQ(row.GetstrValue(PropName(n - 1)), "text");
        EXPECT_TRUE(Holds(row, n, 3));
    }
}

TEST_P(DevRowCountTest, CopiesAndAssignmentsAreIndependent)
{
    const int n = GetParam();
    CDevRow a;
    Fill(a, n, 1);

    CDevRow b(a);
    EXPECT_TRUE(Holds(b, n, 1));
    Fill(b, n, 2);
    EXPECT_TRUE(Holds(a, n, 1));

    CDevRow c;
    Fill(c, n, 5);
    c = a;
    EXPECT_TRUE(Holds(c, n, 1));
    Fill(a, n, 6);
    EXPECT_TRUE(Holds(c, n, 1));
    EXPECT_TRUE(Holds(b, n, 2));

    const CDevRow& same = a;
    a = same;
    EXPECT_TRUE(Holds(a, n, 6));

    // The copy outlives its source.
    {
        CDevRow source;
        Fill(source, n, 9);
        c = source;
    }
    EXPECT_TRUE(Holds(c, n, 9));
    CDevRow* heapCopy = new CDevRow(c);
    c = a;
    EXPECT_TRUE(Holds(*heapCopy, n, 9));
    delete heapCopy;
    EXPECT_TRUE(Holds(c, n, 6));
}

TEST_P(DevRowCountTest, RowsSurviveArrayGrowthAndTableEdits)
{
    const int n = GetParam();
    const int rows = 40;
    CArray<CDevRow, CDevRow&> list;
    for (int k = 0; k < rows; ++k) {
        CDevRow row;
        Fill(row, n, static_cast<uint32_t>(k));
        list.Add(row);  // the array moves its rows as it grows
    }
    for (int k = 0; k < rows; ++k) EXPECT_TRUE(Holds(list[k], n, static_cast<uint32_t>(k))) << k;

    CDevTable table;
    ASSERT_EQ(table.AddRows(list, 0), 0);
    table.DelRow(0);
    table.DelRow(10);
    ASSERT_EQ(table.GetRowCount(), rows - 2);
    CDevTable copy(table);
    table.DelTable();
    for (int i = 0; i < copy.GetRowCount(); ++i) {
        const uint32_t salt = static_cast<uint32_t>(i < 10 ? i + 1 : i + 2);
        EXPECT_TRUE(Holds(copy.Row(i), n, salt)) << i;
    }
}

TEST_P(DevRowCountTest, StoredRowLoadsBackIntoAnyRow)
{
    const int n = GetParam();
    CDevRow source;
    Fill(source, n, 4);
    const std::vector<uint8_t> bytes = Stored(source);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(4 * n));

    COwnerArchive ar(ARCHIVE_STORING);
    Load(ar, bytes);
    CDevRow target;
    Fill(target, n, 8);
    EXPECT_EQ(target.Deserialize(ar), 0);
    EXPECT_TRUE(Holds(target, n, 4));
    EXPECT_EQ(ar.SvrGetRemaining(), 0);

    // A cut-off row keeps the values it could not read.
    if (n < 2) return;
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + 4 * (n / 2));
    COwnerArchive part(ARCHIVE_STORING);
    Load(part, cut);
    CDevRow partial;
    Fill(partial, n, 8);
    partial.Deserialize(part);
    for (int i = 0; i < n; ++i) EXPECT_EQ(partial.GetdwValueAt(i), Pattern(i, i < n / 2 ? 4 : 8)) << i;
}

TEST_P(DevRowCountTest, KeysDecideTheOrderOtherPropertiesDoNot)
{
    const int n = GetParam();
    CDevRow low;
    CDevRow high;
    if (n == 0) {
        EXPECT_TRUE(low == high);
        EXPECT_FALSE(low < high);
        EXPECT_FALSE(low > high);
        return;
    }
    // The last key decides when the ones before it are equal.
    const int lastKey = n < 3 ? n - 1 : 2;
    low.SetdwValueAt(lastKey, 0x80000000u);  // unsigned: above every signed value
    high.SetdwValueAt(lastKey, 0xFFFFFFFEu);
    EXPECT_TRUE(low < high);
    EXPECT_TRUE(high > low);
    EXPECT_TRUE(low != high);
    EXPECT_TRUE(low <= high);
    EXPECT_FALSE(low >= high);

    // An earlier key outweighs it.
    low.SetdwValueAt(0, 1);
    if (lastKey > 0) {
        EXPECT_TRUE(low > high);
    }

    CDevRow twin(low);
    for (int i = 3; i < n; ++i) twin.SetdwValueAt(i, 0xABCD0000u + static_cast<uint32_t>(i));
    EXPECT_TRUE(twin == low);
    EXPECT_FALSE(twin < low);
    EXPECT_FALSE(twin > low);
    EXPECT_TRUE(twin >= low);
    EXPECT_TRUE(twin <= low);
}

INSTANTIATE_TEST_SUITE_P(PropertyCounts, DevRowCountTest, ::testing::Values(0, 1, 7, 8, 9, 16, 100));

TEST_F(DevRowSchemaTest, RowsKeepTheirSlotsWhenTheSchemaGrows)
{
    InstallDwordSchema(8);
    CDevRow old;
    Fill(old, 8, 2);
    const CDevRow oldCopy(old);

    InstallDwordSchema(12);
    EXPECT_TRUE(Holds(old, 8, 2));
    EXPECT_EQ(old.GetdwValue(PropName(9)), NO_SLOT);
    old.SetdwValue(PropName(9), 5);
    EXPECT_EQ(old.GetdwValueAt(9), NO_SLOT);
    old.SetstrValue(PropName(9), "lost");
    EXPECT_TRUE(old.GetstrValue(PropName(9)).IsEmpty());

    CDevRow fresh;
    EXPECT_EQ(fresh.GetdwValueAt(11), 0u);
    EXPECT_EQ(fresh.GetdwValueAt(12), NO_SLOT);
    // A row short of slots is neither ordered nor equal, not even to itself.
    EXPECT_FALSE(old == fresh);
    EXPECT_FALSE(old == old);
    EXPECT_FALSE(fresh < old);
    EXPECT_FALSE(fresh > old);

    // It stores and loads only the slots it has.
    EXPECT_EQ(Stored(old).size(), 32u);
    Fill(fresh, 12, 3);
    COwnerArchive ar(ARCHIVE_STORING);
    Load(ar, Stored(fresh));
    old.Deserialize(ar);
    EXPECT_TRUE(Holds(old, 8, 3));
    EXPECT_EQ(ar.SvrGetRemaining(), 16);

    // Assignment hands on the slot count, both ways.
    old = fresh;
    EXPECT_TRUE(Holds(old, 12, 3));
    EXPECT_TRUE(old == fresh);
    fresh = oldCopy;
    EXPECT_TRUE(Holds(fresh, 8, 2));
    old = fresh;
    EXPECT_TRUE(Holds(old, 8, 2));
}

TEST_F(DevRowSchemaTest, RowsKeepTheirSlotsWhenTheSchemaShrinks)
{
    InstallDwordSchema(12);
    CDevRow big;
    Fill(big, 12, 6);

    InstallDwordSchema(3);
    EXPECT_TRUE(Holds(big, 12, 6));
    EXPECT_EQ(big.GetdwValue(PropName(2)), Pattern(2, 6));
    const CDevRow copy(big);
    EXPECT_TRUE(Holds(copy, 12, 6));
    // Surplus slots take no part: only the schema's properties are stored and compared.
    EXPECT_EQ(Stored(big).size(), 12u);
    CDevRow small;
    Fill(small, 3, 6);
    EXPECT_TRUE(small == big);
    small.SetdwValueAt(2, 0);
    EXPECT_TRUE(small < big);

    small = big;
    EXPECT_TRUE(Holds(small, 12, 6));
    big = CDevRow();
    EXPECT_EQ(big.GetdwValueAt(2), 0u);
    EXPECT_EQ(big.GetdwValueAt(3), NO_SLOT);
}

TEST_F(DevRowSchemaTest, RowWithoutSlotsGainsThemOnlyByAssignment)
{
    InstallDwordSchema(0);
    CDevRow none;
    EXPECT_EQ(none.GetdwValueAt(0), NO_SLOT);

    InstallDwordSchema(8);
    EXPECT_EQ(none.GetdwValue(PropName(0)), NO_SLOT);
    EXPECT_TRUE(Stored(none).empty());
    CDevRow full;
    Fill(full, 8, 1);
    EXPECT_FALSE(none == full);
    EXPECT_FALSE(none < full);
    none = full;
    EXPECT_TRUE(Holds(none, 8, 1));
    EXPECT_TRUE(none == full);
}

TEST_F(DevRowSchemaTest, ChannelRowsTakeNoHeapForTheirValues)
{
    InstallRowSchema();
    g_allocations = 0;
    g_counting = true;
    {
        CDevRow a;
        a.SetdwValue(DEVROW_STR_CHLADDRESS, 100);
        a.SetdwValueAt(DEVROW_IDX_DATATYPE, 83);
        CDevRow b(a);
        CDevRow c;
        c = b;
        c.SetdwValue(DEVROW_STR_CHLTYPE, c.GetdwValue(DEVROW_STR_CHLADDRESS));
        EXPECT_FALSE(c == a);
        EXPECT_TRUE(a < c);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations, 0);

    // The test's larger schemas do take the block the channel schema avoids.
    InstallDwordSchema(9);
    g_allocations = 0;
    g_counting = true;
    {
        CDevRow big;
        big.SetdwValueAt(8, 1);
    }
    g_counting = false;
    EXPECT_GT(g_allocations, 0);
}
