// Channel naming and data-type selection: codes, steps, names and runs.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "support/schema.h"

namespace {

const int M = 0, X = 1, D = 14, FS = 28;

class NamingTest : public ::testing::Test {
protected:
    void SetUp() override { InstallRowSchema(); }

    static CString Name(uint32_t rw, uint32_t area, uint32_t address, uint32_t code, uint32_t bit = 0)
    {
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, rw);
        row.SetdwValueAt(DEVROW_IDX_TYPE, area);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, code);
        row.SetdwValueAt(DEVROW_IDX_BIT, bit);
        EXPECT_EQ(CDevBas::mfFormRowName(row), 1);
        return row.GetstrValue(DEVROW_STR_CHLNAME);
    }

    static SChlInfo Run(int area, int listIndex, const char* start, int count, int rw = 2)
    {
        SChlInfo info;
        info.nChlType = area;
        info.nDataTypeIndex = listIndex;
        info.strStartAddr = start;
        info.nChlNum = count;
        info.nRWFlag = rw;
        return info;
    }

    static std::vector<CString> Names(CArray<CDevRow, CDevRow&>& rows)
    {
        std::vector<CString> out;
        for (int i = 0; i < rows.GetSize(); ++i) out.push_back(rows[i].GetstrValue(DEVROW_STR_CHLNAME));
        return out;
    }
};

TEST_F(NamingTest, DataTypeCodesAndSteps)
{
    unsigned int step = 99;
    EXPECT_EQ(CDevBas::mfGetDataType(27, D, step), 131);
    EXPECT_EQ(step, 128u);
    EXPECT_EQ(CDevBas::mfGetDataType(5, M, step), 20);
    EXPECT_EQ(step, 1u);
    EXPECT_EQ(CDevBas::mfGetDataType(22, D, step), 89);
    EXPECT_EQ(step, 2u);
    EXPECT_EQ(CDevBas::mfGetDataType(23, D, step), 90);
    EXPECT_EQ(step, 4u);

    const unsigned int steps[11] = {1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4};
    for (int i = 16; i <= 26; ++i) {
        EXPECT_EQ(CDevBas::mfGetDataType(i, FS, step), i + 67) << i;
        EXPECT_EQ(step, steps[i - 16]) << i;
    }
    for (int bit = 0; bit < 16; ++bit) {
        EXPECT_EQ(CDevBas::mfGetDataType(bit, D, step), bit);
        EXPECT_EQ(step, 16u);
    }
}

TEST_F(NamingTest, DataTypeOutsideTheTables)
{
    unsigned int step = 99;
    EXPECT_EQ(CDevBas::mfGetDataType(16, -1, step), 0);
    EXPECT_EQ(step, 0u);
    step = 99;
    EXPECT_EQ(CDevBas::mfGetDataType(16, CHL_AREA_NUM, step), 0);
    EXPECT_EQ(step, 0u);
    step = 99;
    EXPECT_EQ(CDevBas::mfGetDataType(28, D, step), 0);
    EXPECT_EQ(step, 0u);
    step = 99;
    EXPECT_EQ(CDevBas::mfGetDataType(-1, D, step), 0);
    EXPECT_EQ(step, 0u);
}

TEST_F(NamingTest, TypeCodeToListPosition)
{
    CString code = "bt15";
    EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, D), 15);
    EXPECT_EQ(code, "BT15");  // upper-cased in place
    code = "wub";
    EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, 3), 0);
    EXPECT_EQ(code, "wub");  // a bit area does not look at the code
    const char* codes[12] = {"WUB", "WB", "WD", "dub", "DB", "DD", "DF", "LUB", "LB", "LD", "LF", "Str"};
    for (int i = 0; i < 12; ++i) {
        code = codes[i];
        EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, FS), 16 + i) << codes[i];
    }
    code = "BT00";
    EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, D), 0);
    for (const char* bad : {"W", "", "BT5", "BT16", "DUBX", " DUB", "D"}) {
        code = bad;
        EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, D), -1) << bad;
    }
    code = "DUB";
    EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, -1), -1);
    EXPECT_EQ(CDevBas::mfGetDataTypeListNum(code, CHL_AREA_NUM), -1);
}

TEST_F(NamingTest, CanonicalNames)
{
    EXPECT_EQ(Name(2, M, 5, 20), "读写M0005");
    EXPECT_EQ(Name(0, D, 100, 89), "只读DDF0100");
    EXPECT_EQ(Name(2, D, 100, 3, 3), "读写D0100.03");
    EXPECT_EQ(Name(2, D, 200, 131, 20), "读写DSTR0200_20");
    EXPECT_EQ(Name(2, M, 12345, 20), "读写M12345");
    EXPECT_EQ(Name(1, FS, 7, 93), "只写FSLF0007");
    EXPECT_EQ(Name(2, X, 0, 20), "读写X0000");
}

TEST_F(NamingTest, RowValuesOutsideTablesAddNoText)
{
    EXPECT_EQ(Name(7, D, 1, 83), "DWUB0001");
    EXPECT_EQ(Name(0xFFFFFFFF, D, 1, 83), "DWUB0001");
    EXPECT_EQ(Name(2, 99, 1, 83), "读写WUB");
    EXPECT_EQ(Name(2, 0xFFFFFFFF, 1, 3), "读写");
    EXPECT_EQ(Name(2, D, 1, 200), "读写D0001");
    EXPECT_EQ(Name(2, D, 1, 0xFFFFFFFF), "读写D0001");
    // A bit code in a bit area has no bit suffix.
    EXPECT_EQ(Name(2, M, 1, 3), "读写M0001");
}

TEST_F(NamingTest, RunOfBitsCrossesIntoNextRegister)
{
    CArray<CDevRow, CDevRow&> rows;
    SChlInfo info = Run(D, 14, "100", 3);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    EXPECT_EQ(Names(rows), (std::vector<CString>{"读写D0100.14", "读写D0100.15", "读写D0101.00"}));
    EXPECT_EQ(info.strStartAddr, "101");
    EXPECT_EQ(rows[2].GetdwValueAt(DEVROW_IDX_BIT), 0u);
    EXPECT_EQ(rows[2].GetdwValueAt(DEVROW_IDX_DATATYPE), 0u);
    EXPECT_EQ(rows[1].GetdwValueAt(DEVROW_IDX_DATATYPE), 15u);
}

TEST_F(NamingTest, RunOfDoubleWords)
{
    CArray<CDevRow, CDevRow&> rows;
    SChlInfo info = Run(D, 19, "10", 2);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    EXPECT_EQ(Names(rows), (std::vector<CString>{"读写DDUB0010", "读写DDUB0012"}));
    EXPECT_EQ(info.strStartAddr, "14");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(rows[i].GetdwValueAt(DEVROW_IDX_TYPE), static_cast<uint32_t>(D));
        EXPECT_EQ(rows[i].GetdwValueAt(DEVROW_IDX_DATATYPE), 86u);
        EXPECT_EQ(rows[i].GetdwValueAt(DEVROW_IDX_RWFLAG), 2u);
        EXPECT_EQ(rows[i].GetdwValueAt(DEVROW_IDX_BIT), 0u);
        EXPECT_EQ(rows[i].GetdwValueAt(DEVROW_IDX_READMAX), 0u);
        EXPECT_EQ(rows[i].GetdwValueAt(DEVROW_IDX_READFAST), 0u);
    }
}

TEST_F(NamingTest, RunOfStrings)
{
    CArray<CDevRow, CDevRow&> rows;
    SChlInfo info = Run(D, 27, "0_5", 2);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    EXPECT_EQ(Names(rows), (std::vector<CString>{"读写DSTR0000_5", "读写DSTR0003_5"}));
    EXPECT_EQ(info.strStartAddr, "6");
    EXPECT_EQ(info.nBitOrLen, 5);

    // Without a length a string is 128 bytes, 64 registers, and the length sticks.
    rows.RemoveAll();
    info = Run(D, 27, "10", 2);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    EXPECT_EQ(info.nBitOrLen, 128);
    EXPECT_EQ(rows[1].GetdwValueAt(DEVROW_IDX_ADDRESS), 74u);
    EXPECT_EQ(rows[1].GetdwValueAt(DEVROW_IDX_BIT), 128u);
    EXPECT_EQ(info.strStartAddr, "138");
}

TEST_F(NamingTest, RunCountsAndAppending)
{
    CArray<CDevRow, CDevRow&> rows;
    SChlInfo info = Run(M, 5, "7", 0);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    ASSERT_EQ(rows.GetSize(), 1);
    EXPECT_EQ(rows[0].GetdwValueAt(DEVROW_IDX_DATATYPE), 20u);
    EXPECT_EQ(info.strStartAddr, "8");

    info = Run(M, 0, "8", 2);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    EXPECT_EQ(Names(rows), (std::vector<CString>{"读写M0007", "读写M0008", "读写M0009"}));

    for (int count : {-1, 5001, INT_MAX}) {
        rows.RemoveAll();
        info = Run(D, 16, "0", count);
        EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
        EXPECT_EQ(rows.GetSize(), 5000) << count;
        EXPECT_EQ(info.strStartAddr, "5000");
    }
}

TEST_F(NamingTest, RunStartAndFlags)
{
    CArray<CDevRow, CDevRow&> rows;
    SChlInfo info = Run(D, 16, "-5", 1, 0);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 1);
    EXPECT_EQ(rows[0].GetdwValueAt(DEVROW_IDX_ADDRESS), 0u);
    EXPECT_EQ(Names(rows)[0], "只读DWUB0000");

    // A run description that names no area or no list position makes nothing.
    rows.RemoveAll();
    info = Run(29, 16, "0", 1);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 0);
    info = Run(-1, 16, "0", 1);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 0);
    info = Run(D, 28, "0", 1);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 0);
    info = Run(D, -1, "0", 1);
    EXPECT_EQ(CDevBas::mfMakeDevRowsFromSChlInfo(info, rows), 0);
    EXPECT_EQ(rows.GetSize(), 0);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
CString FormatWith(const CString& format, int n)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format.GetString(), n);
    return CString(buffer);
}
#pragma GCC diagnostic pop

TEST_F(NamingTest, AutoNameSplitsNumericTail)
{
    CString name = "Temp007", format;
    int number = -1;
    EXPECT_EQ(CDevBas::mfGetVarAutoName(name, format, number), 1);
    EXPECT_EQ(format, "Temp%.3d");
    EXPECT_EQ(number, 7);
    EXPECT_EQ(FormatWith(format, 8), "Temp008");
    EXPECT_EQ(FormatWith(format, 1234), "Temp1234");

    name = "x2147483647";
    EXPECT_EQ(CDevBas::mfGetVarAutoName(name, format, number), 1);
    EXPECT_EQ(number, INT_MAX);
    name = "x0000000001";
    EXPECT_EQ(CDevBas::mfGetVarAutoName(name, format, number), 1);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(format, "x%.10d");
}

TEST_F(NamingTest, AutoNamePercentStaysLiteral)
{
    CString name = "%s%n1", format;
    int number = 0;
    EXPECT_EQ(CDevBas::mfGetVarAutoName(name, format, number), 1);
    EXPECT_EQ(format, "%%s%%n%.1d");
    EXPECT_EQ(FormatWith(format, 2), "%s%n2");
}

TEST_F(NamingTest, AutoNameRefusals)
{
    CString format = "keep";
    int number = 42;
    for (const char* bad : {"", "123", "x12345678901", "x2147483648", "x9999999999"}) {
        CString name = bad;
        EXPECT_EQ(CDevBas::mfGetVarAutoName(name, format, number), 0) << bad;
        EXPECT_EQ(format, "keep") << bad;
        EXPECT_EQ(number, 42) << bad;
    }
    // No numeric tail: not numbered, but the format is still formed.
    CString name = "abc";
    EXPECT_EQ(CDevBas::mfGetVarAutoName(name, format, number), 0);
    EXPECT_EQ(format, "abc%.0d");
    EXPECT_EQ(number, 0);
}

TEST(RWFlagTest, WritingKeywordPositions)
{
    for (int n = -2; n < 14; ++n) {
        bool writing = n == 1 || n == 3 || n == 5 || n == 7 || n == 9 || n == 11;
        EXPECT_EQ(CDevBas::mfGetRWFlag(n), writing ? 1 : 0) << n;
    }
}

}  // namespace
