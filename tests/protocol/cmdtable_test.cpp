// Command-built channel tables: the register grammar of IO-control commands.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "support/schema.h"

namespace {

enum {
    READ = 0,
    WRITE,
    READ32,
    WRITE32,
    READP,
    WRITEP,
    READPV,
    WRITEPV,
    READBLOCK,
    WRITEBLOCK,
    READMUTIREG,
    WRITEMUTIREG
};
const uint32_t D = 14, X = 1, Y = 2;

// Named runtime variables behind the callbacks of HOLN_DATA.
struct SVar {
    DATATYPE type = DATATYPE_INT;
    int i = 0;
    double d = 0;
    CString s;
};
std::map<std::string, SVar>* g_vars = nullptr;

int VarType(HOLN_DATA&, CString name, DATATYPE& type)
{
    auto it = g_vars->find(name.str());
    if (it == g_vars->end()) return -1;
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

struct SRow {
    uint32_t area, address, code, bit;
    bool operator==(const SRow& o) const
    {
        return area == o.area && address == o.address && code == o.code && bit == o.bit;
    }
};

std::ostream& operator<<(std::ostream& os, const SRow& r)
{
    return os << "{" << r.area << "," << r.address << "," << r.code << "," << r.bit << "}";
}

class CmdTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallRowSchema();
        g_vars = &vars;
        dev.pDevTable = new CDevTable;
        data.pMydata = &dev;
        data.pfnGetParamType = VarType;
        data.pfnGetParamValue = VarGet;
    }
    void TearDown() override
    {
        delete dev.pDevTable;
        data.pMydata = nullptr;
        g_vars = nullptr;
    }

    void Int(const char* name, int v) { vars[name] = SVar{DATATYPE_INT, v, 0, CString()}; }
    void Dbl(const char* name, double v) { vars[name] = SVar{DATATYPE_DOUBLE, 0, v, CString()}; }
    void Str(const char* name, const char* v) { vars[name] = SVar{DATATYPE_STRING, 0, 0, v}; }

    // Runs a whole parameter text (parts split at ";") for a command.
    int Build(int command, const std::string& parameters)
    {
        dev.pDevTable->DelTable();
        names.RemoveAll();
        flags.RemoveAll();
        rest = "untouched";
        CStringArray parts;
        size_t from = 0;
        for (;;) {
            size_t p = parameters.find(';', from);
            parts.Add(CString(parameters.substr(from, p - from)));
            if (p == std::string::npos) break;
            from = p + 1;
        }
        return CDevBas::mfBuildDevTableFromCmd(data, parts, names, flags, rest, command);
    }

    std::vector<SRow> Rows() const
    {
        std::vector<SRow> out;
        CDevTable& t = *dev.pDevTable;
        for (int i = 0; i < t.GetRowCount(); ++i) {
            const CDevRow& r = t.Row(i);
            out.push_back({r.GetdwValueAt(DEVROW_IDX_TYPE), r.GetdwValueAt(DEVROW_IDX_ADDRESS),
                           r.GetdwValueAt(DEVROW_IDX_DATATYPE), r.GetdwValueAt(DEVROW_IDX_BIT)});
        }
        return out;
    }

    std::vector<CString> Names() const
    {
        std::vector<CString> out;
        for (int i = 0; i < names.GetSize(); ++i) out.push_back(names[i]);
        return out;
    }

    std::vector<int> Flags() const
    {
        std::vector<int> out;
        for (int i = 0; i < flags.GetSize(); ++i) out.push_back(flags[i]);
        return out;
    }

    CString RowName(int i) { return dev.pDevTable->Row(i).GetstrValue(DEVROW_STR_CHLNAME); }
    int RowCount() { return dev.pDevTable->GetRowCount(); }

    static std::string Targets(const char* prefix, int n)
    {
        std::string out;
        for (int i = 0; i < n; ++i) out += (i ? "," : "") + std::string(prefix) + std::to_string(i);
        return out;
    }

    HOLN_DATA data;
    DEV_DATA dev;
    std::map<std::string, SVar> vars;
    CStringArray names;
    CArray<int, int> flags;
    CString rest;
};

TEST_F(CmdTableTest, SimpleReadOfDoubleWord)
{
    ASSERT_EQ(Build(READ, "D,100,DUB=Var1"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 100, 86, 0}}));
    EXPECT_EQ(RowName(0), "读写DDUB0100");
    EXPECT_EQ(dev.pDevTable->Row(0).GetdwValueAt(DEVROW_IDX_RWFLAG), 2u);
    EXPECT_EQ(Names(), (std::vector<CString>{"Var1"}));
    EXPECT_TRUE(Flags().empty());
    EXPECT_TRUE(rest.IsEmpty());

    ASSERT_EQ(Build(READ, " d , 100 , dub = Var1 = St "), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 100, 86, 0}}));
    EXPECT_EQ(Names(), (std::vector<CString>{"Var1"}));
    EXPECT_EQ(rest, "St");
}

TEST_F(CmdTableTest, SimpleCommandsNeedTheirSeparators)
{
    EXPECT_EQ(Build(READ, "D,100,DUB"), 0);
    EXPECT_EQ(Build(READ, "D,100"), 0);
    EXPECT_EQ(Build(READ, "D"), 0);
    EXPECT_EQ(Build(READ, ""), 0);
    EXPECT_EQ(Build(READ, "D,100,XYZ=V"), 0);
    EXPECT_TRUE(rest == "untouched");  // no status name after a failed parse
}

TEST_F(CmdTableTest, AreaNamesFromTextOrStringVariable)
{
    EXPECT_EQ(Build(READ, "d,1,WUB=A"), 1);
    EXPECT_EQ(Rows()[0].area, D);
    EXPECT_EQ(Build(READ, "Q,1,WUB=A"), 0);
    Str("AreaVar", "hsd");
    ASSERT_EQ(Build(READ, "AreaVar,1,WUB=A"), 1);
    EXPECT_EQ(Rows()[0].area, 22u);
    Int("NumVar", 14);
    EXPECT_EQ(Build(READ, "NumVar,1,WUB=A"), 0);  // a numeric variable names no area
}

TEST_F(CmdTableTest, BitAreaAddressesAreOctal)
{
    ASSERT_EQ(Build(READ, "X,17,WUB=V"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{X, 15, 20, 0}}));
    EXPECT_EQ(RowName(0), "读写X0015");
    ASSERT_EQ(Build(READ, "Y,0,xx=V"), 1);  // the type text is ignored in a bit area
    EXPECT_EQ(Rows(), (std::vector<SRow>{{Y, 0, 20, 0}}));
    ASSERT_EQ(Build(READ, "X,77777777,WUB=V"), 1);
    EXPECT_EQ(Rows()[0].address, 0xFFFFFFu);
    EXPECT_EQ(Build(READ, "Y,18,WUB=V"), 0);
    EXPECT_EQ(Build(READ, "X,9,WUB=V"), 0);
    EXPECT_EQ(Build(READ, "X,100000000,WUB=V"), 0);
    ASSERT_EQ(Build(READ, "M,18,WUB=V"), 1);  // other bit areas count in decimal
    EXPECT_EQ(Rows()[0].address, 18u);
}

TEST_F(CmdTableTest, AddressesFromVariablesAndLimits)
{
    Int("IA", 200);
    Dbl("HalfUp", 99.5);
    Dbl("HalfDown", -0.4);
    Dbl("NaN", std::numeric_limits<double>::quiet_NaN());
    Dbl("Inf", std::numeric_limits<double>::infinity());
    Str("SA", "5");
    ASSERT_EQ(Build(READ, "D,IA,WUB=V"), 1);
    EXPECT_EQ(Rows()[0].address, 200u);
    ASSERT_EQ(Build(READ, "D,HalfUp,WUB=V"), 1);
    EXPECT_EQ(Rows()[0].address, 100u);
    ASSERT_EQ(Build(READ, "D,HalfDown,WUB=V"), 1);
    EXPECT_EQ(Rows()[0].address, 0u);
    ASSERT_EQ(Build(READ, "D,16777215,WUB=V"), 1);
    EXPECT_EQ(Rows()[0].address, 0xFFFFFFu);
    for (const char* bad : {"D,16777216,WUB=V", "D,-1,WUB=V", "D,NaN,WUB=V", "D,Inf,WUB=V", "D,1e300,WUB=V",
                            "D,nan,WUB=V", "D,-inf,WUB=V", "D,SA,WUB=V", "D,Typo,WUB=V", "D,,WUB=V", "D,12abc,WUB=V"}) {
        EXPECT_EQ(Build(READ, bad), 0) << bad;
    }
}

TEST_F(CmdTableTest, RunsMayNotPassTheLastAddress)
{
    EXPECT_EQ(Build(READP, "D,16777215,WUB,2,A,B"), 0);
    EXPECT_EQ(Build(READP, "D,16777214,WUB,2,A,B"), 1);
    EXPECT_EQ(Build(READP, "D,16777215,DUB,1,A"), 1);  // the value itself may reach beyond
}

TEST_F(CmdTableTest, RunWithOneNamePerChannel)
{
    ASSERT_EQ(Build(READP, "D,0,WUB,3,A,B,C"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 0, 83, 0}, {D, 1, 83, 0}, {D, 2, 83, 0}}));
    EXPECT_EQ(Names(), (std::vector<CString>{"A", "B", "C"}));
    EXPECT_TRUE(rest.IsEmpty());
    EXPECT_EQ(Build(READP, "D,0,WUB,3,A,B"), 0);
    EXPECT_EQ(Build(READP, "D,0,WUB,3,A,B,"), 0);
    ASSERT_EQ(Build(READP, "D,0,WUB,3,A,B,C,St"), 1);
    EXPECT_EQ(rest, "St");
    EXPECT_EQ(Build(READP, "D,0,WUB,3"), 0);
}

TEST_F(CmdTableTest, RunOfBitsOfRegisters)
{
    ASSERT_EQ(Build(READP, "D,0,BT15,2,A,B"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 0, 15, 15}, {D, 1, 0, 0}}));
    EXPECT_EQ(RowName(0), "读写D0000.15");
    EXPECT_EQ(RowName(1), "读写D0001.00");
}

TEST_F(CmdTableTest, CountsNormaliseForRowsAndTargets)
{
    ASSERT_EQ(Build(READP, "D,0,WUB,0,A"), 1);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"A"}));

    Int("Cnt", 2);
    ASSERT_EQ(Build(WRITEP, "D,0,WUB,Cnt,1,2"), 1);
    EXPECT_EQ(RowCount(), 2);

    // Negative and oversized counts become 5000, and so many targets are needed.
    EXPECT_EQ(Build(READP, "D,0,WUB,-1,A,B"), 0);
    EXPECT_EQ(Build(READP, "D,0,WUB,1e9,A,B"), 0);
    ASSERT_EQ(Build(READP, "D,0,WUB,-1," + Targets("T", 5000)), 1);
    EXPECT_EQ(RowCount(), 5000);
    EXPECT_EQ(names.GetSize(), 5000);
    ASSERT_EQ(Build(READP, "D,0,WUB,9999999," + Targets("T", 5000) + ",St"), 1);
    EXPECT_EQ(RowCount(), 5000);
    EXPECT_EQ(rest, "St");

    Dbl("NaN", std::numeric_limits<double>::quiet_NaN());
    Str("SCnt", "3");
    EXPECT_EQ(Build(READP, "D,0,WUB,NaN,A"), 0);
    EXPECT_EQ(Build(READP, "D,0,WUB,inf,A"), 0);
    EXPECT_EQ(Build(READP, "D,0,WUB,SCnt,A,B,C"), 0);
    EXPECT_EQ(Build(READP, "D,0,WUB,Typo,A"), 0);
}

TEST_F(CmdTableTest, NumberedTargets)
{
    ASSERT_EQ(Build(READPV, "D,0,WUB,3,T01"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"T01", "T02", "T03"}));
    EXPECT_EQ(RowCount(), 3);
    ASSERT_EQ(Build(READPV, "D,0,WUB,3,T99,St"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"T99", "T100", "T101"}));
    EXPECT_EQ(rest, "St");
    ASSERT_EQ(Build(READPV, "D,0,WUB,3,%s%n1"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"%s%n1", "%s%n2", "%s%n3"}));
    ASSERT_EQ(Build(READPV, "D,0,WUB,3,V2147483645"), 1);
    EXPECT_EQ(names[2], "V2147483647");
    for (const char* bad :
         {"D,0,WUB,3,V2147483646", "D,0,WUB,3,T", "D,0,WUB,3,123", "D,0,WUB,3,", "D,0,WUB,2,V12345678901"}) {
        EXPECT_EQ(Build(READPV, bad), 0) << bad;
    }
}

TEST_F(CmdTableTest, BlockReadRecords)
{
    ASSERT_EQ(Build(READBLOCK, "D,10,[DUB][WUB],2,Rec"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 10, 86, 0}, {D, 12, 83, 0}, {D, 13, 86, 0}, {D, 15, 83, 0}}));
    EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 0, 0}));
    EXPECT_EQ(Names(), (std::vector<CString>{"Rec"}));

    ASSERT_EQ(Build(READBLOCK, "D,0,[wub],3,Rec,St"), 1);
    EXPECT_EQ(Flags(), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(rest, "St");
    ASSERT_EQ(Build(READBLOCK, "D,0,[ DUB ] [BT01] , 1 , Rec"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 0, 86, 0}, {D, 2, 1, 1}}));
}

TEST_F(CmdTableTest, BlockTypesMustBeWellFormed)
{
    for (const char* bad : {"D,10,][DUB],2,Rec", "D,10,DUB,2,Rec", "D,10,[DUB][XX],2,Rec", "D,10,[DUB]",
                            "D,10,[DUB],Rec", "D,10,[],1,Rec"}) {
        EXPECT_EQ(Build(READBLOCK, bad), 0) << bad;
    }
    // No repetition: no rows, so the command has nothing to do.
    EXPECT_EQ(Build(READBLOCK, "D,10,[DUB],0,Rec"), 0);
    EXPECT_EQ(Build(READBLOCK, "D,10,[DUB],-3,Rec"), 0);
}

TEST_F(CmdTableTest, BlockRepetitionsAreBounded)
{
    ASSERT_EQ(Build(READBLOCK, "D,0,[WUB][WUB],2500,Rec"), 1);
    EXPECT_EQ(RowCount(), 5000);
    EXPECT_EQ(flags.GetSize(), 5000);
    EXPECT_EQ(Build(READBLOCK, "D,0,[WUB][WUB],2501,Rec"), 0);
    EXPECT_EQ(Build(READBLOCK, "D,0,[WUB],5001,Rec"), 0);
    EXPECT_EQ(Build(READBLOCK, "D,0,[WUB],1e12,Rec"), 0);
    EXPECT_EQ(Build(READBLOCK, "D,0,[WUB],inf,Rec"), 0);
    std::string many = "D,0,";
    for (int i = 0; i < 5001; ++i) many += "[WUB]";
    EXPECT_EQ(Build(READBLOCK, many + ",0,Rec"), 0);
}

TEST_F(CmdTableTest, StringRowsAreAlways128Bytes)
{
    ASSERT_EQ(Build(READP, "D,0,STR,2,A,B"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 0, 131, 128}, {D, 64, 131, 128}}));
    EXPECT_EQ(RowName(1), "读写DSTR0064_128");
    ASSERT_EQ(Build(READBLOCK, "D,0,[STR][WUB],2,R"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 0, 131, 128}, {D, 64, 83, 0}, {D, 65, 131, 128}, {D, 129, 83, 0}}));
}

TEST_F(CmdTableTest, MultiRegisterRead)
{
    ASSERT_EQ(Build(READMUTIREG, "D,5,3,DB,Target,St"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 5, 87, 0}, {D, 7, 87, 0}, {D, 9, 87, 0}}));
    EXPECT_EQ(Names(), (std::vector<CString>{"Target"}));
    EXPECT_EQ(rest, "St");
    EXPECT_EQ(Build(READMUTIREG, "D,5,3"), 0);
}

TEST_F(CmdTableTest, WriteTargetsMustYieldNumbers)
{
    Int("Val", 5);
    Dbl("NaN", std::numeric_limits<double>::quiet_NaN());
    Str("S1", "1.5");
    Str("Bad", "abc");
    EXPECT_EQ(Build(WRITE, "D,5,WUB=Val"), 1);
    EXPECT_EQ(Build(WRITE, "M,5,X=1"), 1);
    EXPECT_EQ(Build(WRITE, "D,5,WUB=-2.5=St"), 1);
    EXPECT_EQ(rest, "St");
    EXPECT_EQ(Build(WRITE, "D,5,WUB=Typo"), 0);
    EXPECT_EQ(Build(WRITE, "D,5,WUB=S1"), 0);
    EXPECT_EQ(Build(WRITE, "D,5,WUB=NaN"), 0);
    EXPECT_EQ(Build(WRITE, "D,5,WUB="), 0);
    EXPECT_EQ(Build(WRITE32, "D,0,DF=S1"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"S1"}));
    EXPECT_EQ(Build(WRITE32, "D,0,DF=2.5"), 1);
    EXPECT_EQ(Build(WRITE32, "D,0,DF=Val"), 0);
    EXPECT_EQ(Build(WRITE32, "D,0,DF=Bad"), 0);
    EXPECT_EQ(Build(WRITEP, "D,0,WUB,2,Val,7"), 1);
    EXPECT_EQ(Build(WRITEP, "D,0,WUB,2,Val,Typo"), 0);
    Int("P01", 1);
    Int("P02", 2);
    EXPECT_EQ(Build(WRITEPV, "D,0,WUB,2,P01"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"P01", "P02"}));
    EXPECT_EQ(Build(WRITEPV, "D,0,WUB,3,P01"), 0);
    // Reads name variables to be set: their existence is not the parser's business.
    EXPECT_EQ(Build(READ, "D,5,WUB=Typo"), 1);
}

TEST_F(CmdTableTest, MultiRegisterWriteValues)
{
    Str("Vals", "10, 20 ,30");
    Str("Short", "10,20");
    Str("Junk", "10,x,30");
    Int("Num", 3);
    ASSERT_EQ(Build(WRITEMUTIREG, "D,0,3,WUB,Vals"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"10", "20", "30"}));
    EXPECT_EQ(RowCount(), 3);
    EXPECT_TRUE(rest.IsEmpty());
    ASSERT_EQ(Build(WRITEMUTIREG, "D,0,3,WUB,Vals,St"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"10", "20", "30"}));
    EXPECT_EQ(rest, "St");
    ASSERT_EQ(Build(WRITEMUTIREG, "D,0,2,WUB,10,20"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"10", "20"}));
    ASSERT_EQ(Build(WRITEMUTIREG, "D,0,1,WUB,7"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"7"}));
    for (const char* bad : {"D,0,3,WUB,10,20,30", "D,0,3,WUB,Short", "D,0,3,WUB,Junk", "D,0,3,WUB,,St", "D,0,1,WUB,Num",
                            "D,0,1,WUB,nan"}) {
        EXPECT_EQ(Build(WRITEMUTIREG, bad), 0) << bad;
    }
}

TEST_F(CmdTableTest, BlockWriteRecords)
{
    Str("Vals", "\r\n1,2\r\n3,4\r\n");
    Str("Short", "1,2\r\n3");
    ASSERT_EQ(Build(WRITEBLOCK, "D,10,[DUB][WUB],2,Vals"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"1", "2", "3", "4"}));
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 10, 86, 0}, {D, 12, 83, 0}, {D, 13, 86, 0}, {D, 15, 83, 0}}));
    EXPECT_TRUE(Flags().empty());
    ASSERT_EQ(Build(WRITEBLOCK, "D,10,[DUB][WUB],2,Vals,St"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"1", "2", "3", "4"}));
    EXPECT_EQ(rest, "St");
    ASSERT_EQ(Build(WRITEBLOCK, "D,10,[WUB],1,5"), 1);
    EXPECT_EQ(Names(), (std::vector<CString>{"5"}));
    EXPECT_EQ(Build(WRITEBLOCK, "D,10,[DUB][WUB],2,Short"), 0);
    EXPECT_EQ(Build(WRITEBLOCK, "D,10,[DUB][WUB],3,Vals"), 0);
}

TEST_F(CmdTableTest, PartsAccumulateAndFailuresStop)
{
    ASSERT_EQ(Build(READP, "D,0,WUB,2,A,B; M,3,X,1,C ;D,20,DUB,1,E,St"), 1);
    EXPECT_EQ(Rows(), (std::vector<SRow>{{D, 0, 83, 0}, {D, 1, 83, 0}, {0, 3, 20, 0}, {D, 20, 86, 0}}));
    EXPECT_EQ(Names(), (std::vector<CString>{"A", "B", "C", "E"}));
    EXPECT_EQ(rest, "St");

    // Rows of parts before the failing one stay; the build still fails.
    EXPECT_EQ(Build(READP, "D,0,WUB,2,A,B;Q,0,WUB,1,C"), 0);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(Build(READP, "D,0,WUB,1,A;"), 0);

    EXPECT_EQ(Build(12, "D,0,WUB=A"), 0);
    EXPECT_EQ(Build(-1, "D,0,WUB=A"), 0);
    HOLN_DATA bare;
    CStringArray parts;
    parts.Add("D,0,WUB=A");
    EXPECT_EQ(CDevBas::mfBuildDevTableFromCmd(bare, parts, names, flags, rest, READ), 0);
}

TEST_F(CmdTableTest, WholeCommandRowLimit)
{
    std::string part = "D,0,[WUB][WUB],2500,Rec";
    std::string text = part;
    for (int i = 1; i < 13; ++i) text += ";" + part;
    ASSERT_EQ(Build(READBLOCK, text), 1);
    ASSERT_EQ(RowCount(), 65000);
    // The limit counts the table the command fills.
    CStringArray more;
    more.Add("D,0,[WUB],536,Rec");
    EXPECT_EQ(CDevBas::mfBuildDevTableFromCmd(data, more, names, flags, rest, READBLOCK), 0);
    EXPECT_EQ(RowCount(), 65000);
    more[0] = "D,0,[WUB],535,Rec";
    EXPECT_EQ(CDevBas::mfBuildDevTableFromCmd(data, more, names, flags, rest, READBLOCK), 1);
    EXPECT_EQ(RowCount(), 65535);
}

TEST_F(CmdTableTest, PartParserReportsWhatRemains)
{
    CArray<CDevRow, CDevRow&> rows;
    CString text = "D,1,WUB=A=Status ";
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromCmd(data, rows, text, names, flags, READ), 1);
    EXPECT_EQ(rows.GetSize(), 1);
    EXPECT_EQ(text, "Status");
}

// Arbitrary script text must never crash, address past the frame's reach or
// give a run whose targets do not match its rows.
TEST_F(CmdTableTest, ArbitraryTextIsHandledSoundly)
{
    Str("S", "D");
    Str("V", "1,2\r\n3");
    Dbl("N", -1e308);
    const char* pieces[] = {"D",    "X",   "Y",   "m",   "S",    "V",   "N",    ",",  ",",  ",",
                            "=",    "[",   "]",   "WUB", "DUB",  "STR", "BT15", "0",  "17", "-1",
                            "5000", "1e9", "nan", "%n",  "\r\n", " ",   "T01",  "LF", ";"};
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> pick(0, sizeof pieces / sizeof pieces[0] - 1);
    std::uniform_int_distribution<int> length(0, 14);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int n = length(rng);
        for (int i = 0; i < n; ++i) text += pieces[pick(rng)];
        int command = round % 12;
        if (Build(command, text) != 1) continue;
        ASSERT_GT(RowCount(), 0) << text;
        ASSERT_LE(RowCount(), 65535) << text;
        for (const SRow& r : Rows()) {
            ASSERT_LE(r.address, 0xFFFFFFu) << text;
        }
        if (command == READP || command == WRITEP || command == READPV || command == WRITEPV ||
            command == WRITEMUTIREG || command == WRITEBLOCK) {
            ASSERT_EQ(names.GetSize(), RowCount()) << text;
        }
        if (command == READBLOCK) {
            ASSERT_EQ(flags.GetSize(), RowCount()) << text;
        }
    }
}

}  // namespace
