// Runtime-variable access for command arguments and command-text splitting.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "service/DevServer.h"

namespace {

// Named runtime variables behind the three callbacks of HOLN_DATA.
struct SVar {
    DATATYPE type = DATATYPE_INT;
    int i = 0;
    double d = 0;
    CString s;
};

struct SStore {
    CString name;
    DATATYPE type;
    int i;
    double d;
    CString s;
};

std::map<std::string, SVar>* g_vars = nullptr;
std::vector<SStore>* g_stores = nullptr;

int VarType(HOLN_DATA&, CString name, DATATYPE& type)
{
    auto it = g_vars->find(name.str());
    if (it == g_vars->end()) return -1;  // unknown: the type is left as it was
    type = it->second.type;
    return 0;
}

int VarGet(HOLN_DATA&, CString name, DATATYPE type, void* out)
{
    auto it = g_vars->find(name.str());
    if (it == g_vars->end()) return -1;
    if (type == DATATYPE_INT) *static_cast<int*>(out) = it->second.i;
    if (type == DATATYPE_DOUBLE) *static_cast<double*>(out) = it->second.d;
    if (type == DATATYPE_STRING) *static_cast<CString*>(out) = it->second.s;
    return 0;
}

int VarSet(HOLN_DATA&, CString name, DATATYPE type, void* value)
{
    SStore s{name, type, 0, 0, CString()};
    if (type == DATATYPE_INT) s.i = *static_cast<int*>(value);
    if (type == DATATYPE_DOUBLE) s.d = *static_cast<double*>(value);
    if (type == DATATYPE_STRING) s.s = *static_cast<CString*>(value);
    g_stores->push_back(s);
    return -99;  // a refusal: the service functions must not pass it up
}

class ParamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_vars = &vars;
        g_stores = &stores;
        data.pfnGetParamType = VarType;
        data.pfnGetParamValue = VarGet;
        data.pfnSetParamValue = VarSet;
        vars["I"].type = DATATYPE_INT;
        vars["I"].i = -7;
        vars["F"].type = DATATYPE_DOUBLE;
        vars["F"].d = 2.25;
        vars["S"].type = DATATYPE_STRING;
        vars["S"].s = " text ";
    }
    void TearDown() override
    {
        g_vars = nullptr;
        g_stores = nullptr;
    }

    int StoreInt(double value)
    {
        stores.clear();
        EXPECT_EQ(CDevServer::SvrSetParaValue(data, "I", value), 1);
        EXPECT_EQ(stores.size(), 1u);
        return stores.empty() ? 0x5A5A5A5A : stores[0].i;
    }

    HOLN_DATA data;
    std::map<std::string, SVar> vars;
    std::vector<SStore> stores;
};

TEST_F(ParamTest, NumberFromVariablesOrLiteral)
{
    double out = -1;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "I", out), 1);
    EXPECT_EQ(out, -7.0);
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "F", out), 1);
    EXPECT_EQ(out, 2.25);
    out = 5;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "S", out), 0);
    EXPECT_EQ(out, 0.0);
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, " 12.5 ", out), 1);
    EXPECT_EQ(out, 12.5);
    out = 5;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "", out), 1);
    EXPECT_EQ(out, 0.0);
    out = 5;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "  \t ", out), 1);
    EXPECT_EQ(out, 0.0);
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "-3e2", out), 1);
    EXPECT_EQ(out, -300.0);
}

TEST_F(ParamTest, NumberWithMissingCallbacks)
{
    double out = -1;
    data.pfnGetParamValue = nullptr;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "F", out), 1);
    EXPECT_EQ(out, 0.0);
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "I", out), 1);
    EXPECT_EQ(out, 0.0);
    data.pfnGetParamType = nullptr;
    // Without a type callback every name is a literal: "I" reads as 0.
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "I", out), 1);
    EXPECT_EQ(out, 0.0);
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "4.5", out), 1);
    EXPECT_EQ(out, 4.5);
}

TEST_F(ParamTest, UnusualTypeAnswerMeansLiteral)
{
    vars["odd"].type = 7;
    double out = 0;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "odd", out), 1);
    EXPECT_EQ(out, 0.0);
    vars["9"].type = 0;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "9", out), 1);
    EXPECT_EQ(out, 9.0);
    CString text;
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "odd", text), 1);
    EXPECT_EQ(text, "odd");
}

TEST_F(ParamTest, TextFromVariablesOrLiteral)
{
    CString out = "old";
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "S", out), 1);
    EXPECT_EQ(out, " text ");
    out = "old";
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "I", out), 0);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "F", out), 0);
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, " not a var ", out), 1);
    EXPECT_EQ(out, " not a var ");  // a literal is kept untrimmed
    data.pfnGetParamValue = nullptr;
    out = "old";
    EXPECT_EQ(CDevServer::SvrGetParaValue(data, "S", out), 1);
    EXPECT_TRUE(out.IsEmpty());
}

TEST_F(ParamTest, IntegerStoreRoundsHalfAwayFromZero)
{
    EXPECT_EQ(StoreInt(-2.5), -3);
    EXPECT_EQ(StoreInt(2.5), 3);
    EXPECT_EQ(StoreInt(2.4999), 2);
    EXPECT_EQ(StoreInt(-2.4999), -2);
    EXPECT_EQ(StoreInt(0.49999999999999994), 0);
    EXPECT_EQ(StoreInt(-0.0), 0);
    EXPECT_EQ(stores[0].type, DATATYPE_INT);
    EXPECT_EQ(stores[0].name, "I");
}

TEST_F(ParamTest, IntegerStoreSaturates)
{
    EXPECT_EQ(StoreInt(2147483646.6), INT_MAX);
    EXPECT_EQ(StoreInt(2147483647.4), INT_MAX);
    EXPECT_EQ(StoreInt(1e12), INT_MAX);
    EXPECT_EQ(StoreInt(-2147483648.4), INT_MIN);
    EXPECT_EQ(StoreInt(-1e300), INT_MIN);
    EXPECT_EQ(StoreInt(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(StoreInt(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(StoreInt(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST_F(ParamTest, NumberStoreByVariableKind)
{
    double v = 1.75;
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "F", v), 1);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].type, DATATYPE_DOUBLE);
    EXPECT_EQ(stores[0].d, 1.75);
    stores.clear();
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "S", v), 0);
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "Unknown", v), 0);
    EXPECT_TRUE(stores.empty());
    data.pfnSetParamValue = nullptr;
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "I", v), 1);
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "F", v), 1);
    data.pfnGetParamType = nullptr;
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "F", v), 0);
}

TEST_F(ParamTest, TextStoreOnlyIntoStringVariables)
{
    CString v = "hello";
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "S", v), 1);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].type, DATATYPE_STRING);
    EXPECT_EQ(stores[0].s, "hello");
    stores.clear();
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "I", v), 0);
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "Unknown", v), 0);
    EXPECT_TRUE(stores.empty());
    data.pfnSetParamValue = nullptr;
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "S", v), 1);
    data.pfnGetParamType = nullptr;
    EXPECT_EQ(CDevServer::SvrSetParaValue(data, "S", v), 0);
}

TEST(CmdStrTest, SplitsAtFirstSeparatorAndTrims)
{
    CString text = " D100 = 5 ", sep = "=", left = "L", right = "R";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 1);
    EXPECT_EQ(left, "D100");
    EXPECT_EQ(right, "5");

    text = "a,b,c";
    sep = ",";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 1);
    EXPECT_EQ(left, "a");
    EXPECT_EQ(right, "b,c");

    text = "tail=";
    sep = "=";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 1);
    EXPECT_EQ(left, "tail");
    EXPECT_TRUE(right.IsEmpty());
}

TEST(CmdStrTest, AbsentOrEmptySeparatorLeavesOutputs)
{
    CString text = "no separator", sep = "=", left = "L", right = "R";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 0);
    EXPECT_EQ(left, "L");
    EXPECT_EQ(right, "R");
    sep = "";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 0);
    EXPECT_EQ(left, "L");
    text = "";
    sep = ",";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 0);
}

TEST(CmdStrTest, LongSeparatorKeepsItsTailAndOutputsMayAlias)
{
    CString text = "a=>b", sep = "=>", left, right;
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, right), 1);
    EXPECT_EQ(left, "a");
    EXPECT_EQ(right, ">b");

    // Cutting tokens off a text in place.
    text = "x , y , z";
    sep = ",";
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, left, text), 1);
    EXPECT_EQ(left, "x");
    EXPECT_EQ(text, "y , z");
    EXPECT_EQ(CDevServer::SvrGetCmdStr(text, sep, text, right), 1);
    EXPECT_EQ(text, "y");
    EXPECT_EQ(right, "z");
}

}  // namespace
