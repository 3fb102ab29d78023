// The stand-in's real-time database: typed channels as the driver stores
// into them, and runtime variables as IO-control commands use them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "runtime/database.h"

namespace {

using vemo::runtime::Database;
using vemo::runtime::RTDB_MISMATCH;
using vemo::runtime::RTDB_UNKNOWN;
using vemo::runtime::Value;

TEST(DatabaseChannels, ReportTheTypeTheyWereMadeWith)
{
    Database db({DATATYPE_INT, DATATYPE_DOUBLE, DATATYPE_STRING});
    DATATYPE type = 0;
    EXPECT_EQ(db.GetValueTypeByChannel(1, type), 0);
    EXPECT_EQ(type, DATATYPE_DOUBLE);
    EXPECT_EQ(db.GetValueTypeByChannel(2, type), 0);
    EXPECT_EQ(type, DATATYPE_STRING);
}

TEST(DatabaseChannels, RefuseChannelsOutsideTheTable)
{
    Database db({DATATYPE_INT});
    DATATYPE type = 7;
    EXPECT_EQ(db.GetValueTypeByChannel(-1, type), RTDB_UNKNOWN);
    EXPECT_EQ(db.GetValueTypeByChannel(1, type), RTDB_UNKNOWN);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(db.SetValueByChannel(1, 5), RTDB_UNKNOWN);
    int id = -1;
    EXPECT_EQ(db.GetValueIDByChannel(0, id), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(db.GetValueIDByChannel(1, id), RTDB_UNKNOWN);
}

TEST(DatabaseChannels, KeepNumbersInTheirOwnType)
{
    Database db({DATATYPE_INT, DATATYPE_DOUBLE});
    EXPECT_EQ(db.SetValueByChannel(0, -2.7), 0);  // cut toward zero
    EXPECT_EQ(db.channel(0).value.i, -2);
    EXPECT_EQ(db.SetValueByChannel(0, 1e12), 0);  // saturates
    EXPECT_EQ(db.channel(0).value.i, INT_MAX);
    EXPECT_EQ(db.SetValueByChannel(0, std::nan("")), 0);
    EXPECT_EQ(db.channel(0).value.i, 0);
    EXPECT_EQ(db.SetValueByChannel(1, 42), 0);
    EXPECT_DOUBLE_EQ(db.channel(1).value.d, 42.0);
    double d = 0;
    EXPECT_EQ(db.GetValueByChannel(1, d), 0);
    EXPECT_DOUBLE_EQ(d, 42.0);
}

TEST(DatabaseChannels, RefuseTextForNumbersAndNumbersForText)
{
    Database db({DATATYPE_INT, DATATYPE_STRING});
    std::string text = "12";
    EXPECT_EQ(db.SetValueByChannel(0, text), RTDB_MISMATCH);
    EXPECT_EQ(db.SetValueByChannel(1, 12), RTDB_MISMATCH);
    EXPECT_FALSE(db.channel(0).stored);
    EXPECT_FALSE(db.channel(1).stored);
    EXPECT_EQ(db.GetValueByChannel(1, text), 0);
    int n = 0;
    EXPECT_EQ(db.GetValueByChannel(1, n), RTDB_MISMATCH);
}

TEST(DatabaseChannels, CountStoresAndStampThem)
{
    Database db({DATATYPE_STRING});
    std::string text = "a";
    EXPECT_EQ(db.SetValueByChannel(0, text), 0);
    text = "b";
    EXPECT_EQ(db.SetValueByChannel(0, text), 0);
    EXPECT_TRUE(db.channel(0).stored);
    EXPECT_EQ(db.channel(0).stores, 2u);
    EXPECT_EQ(db.channel(0).value.s, "b");
    EXPECT_LE(db.channel(0).storedAt, Holn_GetTickCount());
}

TEST(DatabaseChannels, CountChangesOnlyWhenTheValueDiffers)
{
    Database db({DATATYPE_INT, DATATYPE_DOUBLE});
    EXPECT_EQ(db.SetValueByChannel(0, 0), 0);    // the first store counts as a change
    EXPECT_EQ(db.SetValueByChannel(0, 0.4), 0);  // still 0 once cut to an int
    EXPECT_EQ(db.channel(0).changes, 1u);
    EXPECT_EQ(db.SetValueByChannel(0, 7), 0);
    EXPECT_EQ(db.channel(0).changes, 2u);
    EXPECT_EQ(db.SetValueByChannel(1, std::nan("")), 0);
    EXPECT_EQ(db.SetValueByChannel(1, std::nan("")), 0);
    EXPECT_EQ(db.channel(1).changes, 1u);
    EXPECT_EQ(db.channel(1).stores, 2u);
}

TEST(DatabaseChannels, StoresOfACallCarryItsTime)
{
    Database db({DATATYPE_INT, DATATYPE_STRING});
    db.beginStores(1234);
    std::string text = "t";
    EXPECT_EQ(db.SetValueByChannel(0, 5), 0);
    EXPECT_EQ(db.SetValueByChannel(1, text), 0);
    db.endStores();
    EXPECT_EQ(db.channel(0).storedAt, 1234);
    EXPECT_EQ(db.channel(1).storedAt, 1234);
    EXPECT_EQ(db.SetValueByChannel(0, 6), 0);  // outside a call: the clock
    EXPECT_GE(db.channel(0).storedAt, Holn_GetTickCount() - 60000);
}

TEST(DatabaseVariables, FollowTheTypeTheyWereDeclaredWith)
{
    Database db;
    db.setVariable("I", Value::ofInt(3));
    db.setVariable("D", Value::ofDouble(0.5));
    db.setVariable("S", Value::ofString("x"));
    DATATYPE type = 0;
    EXPECT_EQ(db.GetValueTypeByName("D", type), 0);
    EXPECT_EQ(type, DATATYPE_DOUBLE);

    EXPECT_EQ(db.SetValueByName("I", 7.9), 0);  // a double into an int variable
    EXPECT_EQ(db.variable("I")->i, 7);
    EXPECT_EQ(db.SetValueByName("D", 4), 0);
    EXPECT_DOUBLE_EQ(db.variable("D")->d, 4.0);
    std::string text = "y";
    EXPECT_EQ(db.SetValueByName("S", text), 0);
    EXPECT_EQ(db.variable("S")->s, "y");

    EXPECT_EQ(db.SetValueByName("S", 1), RTDB_MISMATCH);
    EXPECT_EQ(db.SetValueByName("I", text), RTDB_MISMATCH);
    EXPECT_EQ(db.variable("S")->s, "y");
}

TEST(DatabaseVariables, ReadAcrossNumericTypes)
{
    Database db;
    db.setVariable("D", Value::ofDouble(-3.5));
    int n = 0;
    EXPECT_EQ(db.GetValueByName("D", n), 0);
    EXPECT_EQ(n, -3);
    std::string text;
    EXPECT_EQ(db.GetValueByName("D", text), RTDB_MISMATCH);
}

TEST(DatabaseVariables, UnknownNamesAreRefusedAndNotCreated)
{
    Database db;
    DATATYPE type = 0;
    EXPECT_EQ(db.GetValueTypeByName("nobody", type), RTDB_UNKNOWN);
    EXPECT_EQ(db.SetValueByName("nobody", 1), RTDB_UNKNOWN);
    EXPECT_EQ(db.GetValueTypeByName(nullptr, type), RTDB_UNKNOWN);
    EXPECT_FALSE(db.variable("nobody"));
    EXPECT_TRUE(db.variables().empty());
}

TEST(DatabaseVariables, RemembersTheCollectFlag)
{
    Database db;
    EXPECT_EQ(db.SetCollectFlagSuc(1), 0);
    EXPECT_EQ(db.lastCollectFlag(), 1);
}

}  // namespace
