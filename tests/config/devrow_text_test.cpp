// Text values of channel rows: a row holds only the texts that were set,
// and must still behave as if every property had its own text slot.
#include <gtest/gtest.h>

#include <cstdint>

#include "config/Dev.h"
#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "support/schema.h"

namespace {

class DevRowTextTest : public ::testing::Test {
protected:
    void SetUp() override { InstallRowSchema(); }
    void TearDown() override { InstallRowSchema(); }
};

// A schema of three text properties, the second and third keys.
void InstallTextSchema()
{
    CDevRow::SetPropertyNum(3);
    CDevRow::SetPropertyNameAndType(0, 2, "a", 0);
    CDevRow::SetPropertyNameAndType(1, 2, "b", 1);
    CDevRow::SetPropertyNameAndType(2, 2, "c", 2);
}

}  // namespace

TEST_F(DevRowTextTest, TextsOfAnyPropertiesInAnyOrderAreKeptApart)
{
    CDevRow row;
    row.SetstrValue(DEVROW_STR_CHLNAME, "name");
    row.SetstrValue(DEVROW_STR_CHLADDRESS, "addr");
    row.SetstrValue(DEVROW_STR_CHLRWFLAG, "rw");
    row.SetstrValue(DEVROW_STR_CHLNAME, "renamed");
    EXPECT_EQ(row.GetstrValue(DEVROW_STR_CHLNAME), "renamed");
    EXPECT_EQ(row.GetstrValue(DEVROW_STR_CHLADDRESS), "addr");
    EXPECT_EQ(row.GetstrValue(DEVROW_STR_CHLRWFLAG), "rw");
    EXPECT_TRUE(row.GetstrValue(DEVROW_STR_CHLBIT).IsEmpty());
    // Texts and dword values of one property do not touch each other.
    row.SetdwValue(DEVROW_STR_CHLADDRESS, 7);
    EXPECT_EQ(row.GetstrValue(DEVROW_STR_CHLADDRESS), "addr");
    EXPECT_EQ(row.GetdwValue(DEVROW_STR_CHLADDRESS), 7u);
}

TEST_F(DevRowTextTest, CopiesAndAssignmentsCarryTheTexts)
{
    CDevRow a;
    a.SetstrValue(DEVROW_STR_CHLNAME, "first");
    CDevRow b(a);
    b.SetstrValue(DEVROW_STR_CHLNAME, "second");
    EXPECT_EQ(a.GetstrValue(DEVROW_STR_CHLNAME), "first");
    EXPECT_EQ(b.GetstrValue(DEVROW_STR_CHLNAME), "second");
    CDevRow c;
    c.SetstrValue(DEVROW_STR_CHLTYPE, "stale");
    c = b;
    EXPECT_EQ(c.GetstrValue(DEVROW_STR_CHLNAME), "second");
    EXPECT_TRUE(c.GetstrValue(DEVROW_STR_CHLTYPE).IsEmpty());
}

TEST_F(DevRowTextTest, UnsetAndEmptyTextsCompareAlike)
{
    InstallTextSchema();
    CDevRow unset;
    CDevRow empty;
    empty.SetstrValue("b", "");
    empty.SetstrValue("c", "");
    EXPECT_TRUE(unset == empty);
    CDevRow low;
    CDevRow high;
    low.SetstrValue("b", "x");
    low.SetstrValue("c", "a");
    high.SetstrValue("c", "b");
    high.SetstrValue("b", "x");
    EXPECT_TRUE(low < high);   // equal first key, the second decides the order
    EXPECT_TRUE(low == high);  // but only key flag 1 ("b") takes part in equality
    EXPECT_TRUE(high > unset);
}

TEST_F(DevRowTextTest, TextsSurviveTheArchiveWhateverWasSetBefore)
{
    InstallTextSchema();
    CDevRow source;
    source.SetstrValue("c", "three");
    source.SetstrValue("a", "one");
    COwnerArchive ar(ARCHIVE_STORING);
    ar << source;

    CDevRow target;
    target.SetstrValue("b", "old");
    ar >> target;
    EXPECT_EQ(target.GetstrValue("a"), "one");
    EXPECT_TRUE(target.GetstrValue("b").IsEmpty());  // the stored row's empty text replaces it
    EXPECT_EQ(target.GetstrValue("c"), "three");
}
