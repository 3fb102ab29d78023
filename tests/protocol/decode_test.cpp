// Reply decoding: fields cut from hand-made reply texts, byte orders, strings,
// and replies that are short or do not fit the plan.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"
#include "support/schema.h"

namespace {

const uint32_t M = 0, D = 14, HSD = 22;
const uint32_t RO = 0, WO = 1, RW = 2;
const double UNTOUCHED = -12345.5;

bool Same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallRowSchema();
        dev = new DEV_DATA;
        dev->pDevTable = new CDevTable;
        dev->dwPropValue.SetSize(9);
        dev->dwPropValue[DEVPROP_STRORDER] = 1;  // bytes as they come
        dev->nCurBlock = 0;
        data.pMydata = dev;
    }
    void TearDown() override
    {
        delete dev->pDevTable;
        delete dev;
    }

    int AddRow(uint32_t area, uint32_t address, uint32_t code, uint32_t bit = 0, uint32_t rw = RW)
    {
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, rw);
        row.SetdwValueAt(DEVROW_IDX_TYPE, area);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
        row.SetdwValueAt(DEVROW_IDX_BIT, bit);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, code);
        CArray<CDevRow, CDevRow&> rows;
        rows.Add(row);
        dev->pDevTable->AddRows(rows, 0);
        return dev->pDevTable->GetRowCount() - 1;
    }

    void Block(int start, int end, int rank = 0)
    {
        DynBlock block;
        block.nStartRow = start;
        block.nEndRow = end;
        block.nRank = rank;
        dev->DynBlockArray.Add(block);
    }

    void Prop(int index, int value) { dev->dwPropValue[index] = value; }

    // Arrays for every row, values preset so that untouched entries show.
    void Arrays(int entries = -1)
    {
        int n = entries < 0 ? dev->pDevTable->GetRowCount() + 1 : entries;
        flags.SetSize(n);
        values.SetSize(n);
        strings.SetSize(n);
        for (int i = 0; i < n; ++i) {
            flags[i] = 0;
            values[i] = UNTOUCHED;
            strings[i] = "old";
        }
    }

    // A read reply around the data: header, function, byte count (the data's
    // own length unless given), data.
    static std::string Reply(const std::string& hexData, int byteCount = -1, const char* function = "20")
    {
        char count[16];
        std::snprintf(count, sizeof(count), "%.2X", byteCount < 0 ? static_cast<int>(hexData.size() / 2) : byteCount);
        return std::string("0001000000000") + "1" + function + count + hexData;
    }

    int Explain(const std::string& reply, int rank = 0)
    {
        CString text(reply.c_str());
        return CDevBas::mfExplainCommByteData(data, flags, values, strings, text, rank, 0);
    }

    double Value(int row) const { return values[row + 1]; }
    int Flag(int row) const { return flags[row + 1]; }
    std::string Text(int row) const { return strings[row + 1].str(); }

    double ChlValue(const char* field, int area, int code)
    {
        CString text(field);
        return CDevBas::mfGetChlValue(data, text, area, code);
    }

    HOLN_DATA data;
    DEV_DATA* dev = nullptr;
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
};

// --- bit areas

TEST_F(DecodeTest, BitBlockTakesBitsLeastSignificantFirst)
{
    for (uint32_t a = 10; a <= 25; ++a) AddRow(M, a, DATACODE_BITAREA);
    Block(0, 15);
    Arrays();
    EXPECT_EQ(16, Explain(Reply("0580", -1, "1E")));
    EXPECT_EQ(1.0, Value(0));   // M10: bit 0 of 0x05
    EXPECT_EQ(0.0, Value(1));   // M11
    EXPECT_EQ(1.0, Value(2));   // M12
    EXPECT_EQ(0.0, Value(14));  // M24: bit 6 of 0x80
    EXPECT_EQ(1.0, Value(15));  // M25: bit 7 of 0x80
    for (int row = 0; row < 16; ++row) EXPECT_EQ(3, Flag(row)) << row;
}

TEST_F(DecodeTest, BitBlockWithGapUsesAddressNotRowPosition)
{
    AddRow(M, 0, DATACODE_BITAREA);
    AddRow(M, 9, DATACODE_BITAREA);  // second data byte, bit 1
    Block(0, 1);
    Arrays();
    Explain(Reply("0002", -1, "1E"));
    EXPECT_EQ(0.0, Value(0));
    EXPECT_EQ(1.0, Value(1));
}

// --- word areas, 16 and 32 bits

TEST_F(DecodeTest, ThirtyTwoBitOptionsPickTheValueBytes)
{
    AddRow(D, 100, 83);
    AddRow(D, 101, 83);
    int d102 = AddRow(D, 102, 86);
    Block(0, 2);
    const double expected[] = {196612.0, 50332672.0, 262147.0, 67109632.0, 0.0};
    for (int option = 0; option <= 4; ++option) {
        Prop(DEVPROP_ORDER32, option);
        Arrays();
        Explain(Reply("0001000200030004"));
        EXPECT_EQ(expected[option], Value(d102)) << "option " << option;
        EXPECT_EQ(1.0, Value(0));
        EXPECT_EQ(2.0, Value(1));
        EXPECT_EQ(3, Flag(d102));
    }
}

TEST_F(DecodeTest, FloatUsesItsOwnOrderProperty)
{
    int row = AddRow(D, 0, 89);
    Block(0, 0);
    Arrays();
    Prop(DEVPROP_ORDER32, 7);  // would zero an integer, not the float
    Prop(DEVPROP_ORDERFLOAT, 2);
    Explain(Reply("00003F80"));  // 1.0f with the registers swapped
    EXPECT_EQ(1.0, Value(row));
    Prop(DEVPROP_ORDERFLOAT, 3);
    Explain(Reply("0000803F"));  // read as bytes 3F 80 00 00
    EXPECT_EQ(1.0, Value(row));
}

TEST_F(DecodeTest, SixteenBitOrderSwapsValuesAndBitsOfRegisters)
{
    int word = AddRow(D, 100, 83);
    int bit1 = AddRow(D, 100, 1, 1);
    Block(0, 1);
    Arrays();
    Prop(DEVPROP_ORDER16, 1);
    Explain(Reply("3412"));
    EXPECT_EQ(4660.0, Value(word));
    EXPECT_EQ(0.0, Value(bit1));  // bit 1 of 0x1234

    Prop(DEVPROP_ORDER16, 2);  // no such option: numbers read 0, bits stay unswapped
    Explain(Reply("3412"));
    EXPECT_EQ(0.0, Value(word));
    EXPECT_EQ(1.0, Value(bit1));  // bit 1 of 0x3412
    EXPECT_EQ(3, Flag(word));
}

TEST_F(DecodeTest, HighBitOfRegisterFollowsTheOrder)
{
    int bit15 = AddRow(D, 100, 15, 15);
    Block(0, 0);
    Arrays();
    Explain(Reply("8000"));
    EXPECT_EQ(1.0, Value(bit15));
    Prop(DEVPROP_ORDER16, 1);
    Explain(Reply("8000"));
    EXPECT_EQ(0.0, Value(bit15));
}

TEST_F(DecodeTest, SignedAndBcdSixteenBit)
{
    int wb = AddRow(D, 0, 84);
    int wd = AddRow(D, 1, 85);
    Block(0, 1);
    Arrays();
    Explain(Reply("FFFE1234"));
    EXPECT_EQ(-2.0, Value(wb));
    EXPECT_EQ(1234.0, Value(wd));
}

// --- 64 bits

TEST_F(DecodeTest, SixtyFourBitOptionSevenReadsWireOrder)
{
    int row = AddRow(D, 0, 90);
    Block(0, 0);
    Arrays();
    Prop(DEVPROP_ORDER64, 7);
    Explain(Reply("0000000000000001"));
    EXPECT_EQ(1.0, Value(row));
    Prop(DEVPROP_ORDER64, 0);
    Explain(Reply("0000000000000001"));
    EXPECT_EQ(std::ldexp(1.0, 56), Value(row));
    Prop(DEVPROP_ORDER64, 8);
    Explain(Reply("0000000000000001"));
    EXPECT_EQ(0.0, Value(row));
}

TEST_F(DecodeTest, DoubleUsesItsOwnOrderProperty)
{
    int row = AddRow(D, 0, 93);
    Block(0, 0);
    Arrays();
    Prop(DEVPROP_ORDER64, 0);
    Prop(DEVPROP_ORDERDOUBLE, 7);
    Explain(Reply("400921FB54442D18"));
    EXPECT_DOUBLE_EQ(3.141592653589793, Value(row));
}

// Every 64-bit code and option decodes like the codec on the rearranged text:
// the wire groups in the order of the read layout, then a full byte reversal.
TEST_F(DecodeTest, SixtyFourBitFieldsAgreeWithTheCodec)
{
    static const int LAYOUT[8][8] = {
        {1, 2, 3, 4, 5, 6, 7, 8}, {7, 8, 5, 6, 3, 4, 1, 2}, {6, 5, 8, 7, 2, 1, 4, 3}, {4, 3, 2, 1, 8, 7, 6, 5},
        {5, 6, 7, 8, 1, 2, 3, 4}, {3, 4, 1, 2, 7, 8, 5, 6}, {2, 1, 4, 3, 6, 5, 8, 7}, {8, 7, 6, 5, 4, 3, 2, 1},
    };
    const char* fields[] = {"0123456789ABCDEF", "FFFFFFFFFFFFFFFE", "1234567890123456", "400921FB54442D18",
                            "00000000000000FF", "8000000000000000", "0009000800070006", "A0B1C2D3E4F50617"};
    int rows[4];
    for (int i = 0; i < 4; ++i) rows[i] = AddRow(D, static_cast<uint32_t>(4 * i), static_cast<uint32_t>(90 + i));
    Block(0, 3);
    Arrays();
    for (const char* field : fields) {
        for (int option = 0; option < 8; ++option) {
            Prop(DEVPROP_ORDER64, option);
            Prop(DEVPROP_ORDERDOUBLE, option);
            std::string hex;
            for (int i = 0; i < 4; ++i) hex += field;
            Explain(Reply(hex));
            std::string arranged;
            for (int g = 0; g < 8; ++g) arranged += std::string(field + 2 * (LAYOUT[option][g] - 1), 2);
            for (int i = 0; i < 4; ++i) {
                double want = CDevServer::SvrStr2Double(CString(arranged.c_str()), 90 + i, 2, 1);
                EXPECT_TRUE(Same(want, Value(rows[i]))) << field << " option " << option << " code " << 90 + i;
                EXPECT_TRUE(Same(want, ChlValue(field, D, 90 + i))) << field << " option " << option;
            }
        }
    }
}

TEST_F(DecodeTest, ChlValueOfShortSixtyFourBitFieldIsZero)
{
    Prop(DEVPROP_ORDER64, 7);
    EXPECT_EQ(0.0, ChlValue("00000000000001", D, 90));
    EXPECT_EQ(1.0, ChlValue("0000000000000001", D, 90));
}

// --- strings

TEST_F(DecodeTest, StringIsCutToTheByteCount)
{
    int row = AddRow(D, 200, DATACODE_STR, 10);
    Block(0, 0);
    Arrays();
    Explain(Reply("414243444546"));  // 6 bytes
    EXPECT_EQ("ABCDEF", Text(row));
    EXPECT_EQ(3, Flag(row));
    EXPECT_EQ(UNTOUCHED, Value(row));  // strings leave the numbers alone

    Explain(Reply("4142434445464748494A4B4C4D4E4F5051525354"));  // 20 bytes
    EXPECT_EQ("ABCDEFGHIJ", Text(row));
}

TEST_F(DecodeTest, StringOrderAndUnicode)
{
    int row = AddRow(D, 0, DATACODE_STR, 4);
    Block(0, 0);
    Arrays();
    Prop(DEVPROP_STRORDER, 0);
    Explain(Reply("41424344"));
    EXPECT_EQ("BADC", Text(row));
    Prop(DEVPROP_STRORDER, 1);
    Prop(DEVPROP_STRCODE, 1);
    Explain(Reply("41004200"));
    EXPECT_EQ("AB", Text(row));
}

TEST_F(DecodeTest, StringLongerThanDataReceivedTakesWhatCame)
{
    int row = AddRow(D, 0, DATACODE_STR, 10);
    Block(0, 0);
    Arrays();
    Explain(Reply("41424344", 20));  // byte count claims 20, 4 arrived
    EXPECT_EQ("ABCD", Text(row));
}

TEST_F(DecodeTest, StringInsideJoinedBlockIsTakenFromItsOwnOffset)
{
    int word = AddRow(D, 99, 83);
    int text = AddRow(D, 100, DATACODE_STR, 4);
    Block(0, 1);
    Arrays();
    Explain(Reply("0007414243449999"));
    EXPECT_EQ(7.0, Value(word));
    EXPECT_EQ("ABCD", Text(text));
}

TEST_F(DecodeTest, StringWhoseBytesNeverCameKeepsItsText)
{
    AddRow(D, 0, 83);
    int text = AddRow(D, 1, DATACODE_STR, 4);
    Block(0, 1);
    Arrays();
    Explain(Reply("0001"));  // the block was cut after its first register
    EXPECT_EQ("old", Text(text));
    EXPECT_EQ(0, Flag(text));
}

// --- which rows are decoded

TEST_F(DecodeTest, WriteOnlyRowsKeepFlagAndValueUnreferencedRowsAreDecoded)
{
    int a = AddRow(D, 0, 83, 0, RO);
    int b = AddRow(D, 1, 83, 0, WO);
    int c = AddRow(D, 2, 83, 0, RW);
    int d = AddRow(D, 3, 83, 0, 7);  // not a read/write flag the device knows
    Block(0, 3);
    Arrays();
    flags[b + 1] = 1;
    EXPECT_EQ(2, Explain(Reply("0001000200030004")));
    EXPECT_EQ(3, Flag(a));  // was 0: not referenced, decoded all the same
    EXPECT_EQ(1.0, Value(a));
    EXPECT_EQ(1, Flag(b));
    EXPECT_EQ(UNTOUCHED, Value(b));
    EXPECT_EQ(3.0, Value(c));
    EXPECT_EQ(0, Flag(d));
}

TEST_F(DecodeTest, OnlyBlocksOfTheRankFromTheCursorOn)
{
    int r0 = AddRow(D, 0, 83);
    int r1 = AddRow(D, 10, 83);
    int r2 = AddRow(D, 20, 83);
    Block(0, 0, 0);
    Block(1, 1, 1);
    Block(2, 2, 2);
    Arrays();
    dev->nCurBlock = 1;
    EXPECT_EQ(1, Explain(Reply("0042"), 1));
    EXPECT_EQ(0, Flag(r0));
    EXPECT_EQ(66.0, Value(r1));
    EXPECT_EQ(0, Flag(r2));

    dev->nCurBlock = 2;  // the rank's block lies before the cursor
    Arrays();
    EXPECT_EQ(0, Explain(Reply("0042"), 1));
    EXPECT_EQ(0, Flag(r1));
}

// --- replies that do not fit

TEST_F(DecodeTest, ShortReplyDecodesOnlyWhatArrived)
{
    int d100 = AddRow(D, 100, 83);
    int d101 = AddRow(D, 101, 83);
    int d102 = AddRow(D, 102, 86);
    Block(0, 2);
    Arrays();
    Explain(Reply("000100", 8));  // one register and a half
    EXPECT_EQ(1.0, Value(d100));
    EXPECT_EQ(3, Flag(d100));
    EXPECT_EQ(UNTOUCHED, Value(d101));
    EXPECT_EQ(0, Flag(d101));
    EXPECT_EQ(UNTOUCHED, Value(d102));
    EXPECT_EQ(0, Flag(d102));
}

TEST_F(DecodeTest, ReplyWithoutDataDecodesNothing)
{
    AddRow(D, 0, 83);
    AddRow(M, 0, DATACODE_BITAREA);
    Block(0, 0);
    Block(1, 1);
    Arrays();
    EXPECT_EQ(0, Explain("0001000000030120"));
    EXPECT_EQ(0, Explain(""));
    EXPECT_EQ(0, Explain(Reply("")));
    EXPECT_EQ(UNTOUCHED, Value(0));
    EXPECT_EQ(UNTOUCHED, Value(1));
}

TEST_F(DecodeTest, RowsOutsideTheBlocksAreaOrBelowItsStartAreSkipped)
{
    AddRow(D, 100, 83);
    int other = AddRow(HSD, 101, 83);
    int below = AddRow(D, 50, 83);
    int wild = AddRow(1000, 102, 83);
    int good = AddRow(D, 103, 83);
    Block(0, 4);
    Arrays();
    Explain(Reply("0001000200030004"));
    EXPECT_EQ(0, Flag(other));
    EXPECT_EQ(0, Flag(below));
    EXPECT_EQ(0, Flag(wild));
    EXPECT_EQ(4.0, Value(good));
}

TEST_F(DecodeTest, BlockStartingOnAnUnknownAreaIsNotDecoded)
{
    AddRow(29, 0, 83);
    AddRow(29, 1, 83);
    AddRow(0xFFFFFFFFu, 2, 83);
    Block(0, 1);
    Block(2, 2);
    Arrays();
    EXPECT_EQ(0, Explain(Reply("00010002")));
    EXPECT_EQ(UNTOUCHED, Value(0));
}

TEST_F(DecodeTest, PlanBeyondTheTableOrTheArraysStaysInside)
{
    for (uint32_t a = 0; a < 4; ++a) AddRow(D, a, 83);
    Block(0, 1000);  // more rows than the table has
    Block(-5, 2);
    Block(7, 9);
    Arrays(3);  // the runtime passed flags for two channels only
    values.SetSize(6);
    for (int i = 3; i < 6; ++i) values[i] = UNTOUCHED;
    EXPECT_EQ(2, Explain(Reply("0001000200030004")));
    EXPECT_EQ(1.0, Value(0));
    EXPECT_EQ(2.0, Value(1));
    EXPECT_EQ(UNTOUCHED, values[3]);  // row 2 has no flag entry: never decoded
    EXPECT_EQ(3, flags.GetSize());
}

TEST_F(DecodeTest, AddressesAtTheTopOfTheRangeDoNotWrap)
{
    AddRow(D, 0xFFFFFFF0u, 83);
    int far = AddRow(D, 0xFFFFFFFFu, 90);
    Block(0, 1);
    Arrays();
    Explain(Reply("0001"));
    EXPECT_EQ(1.0, Value(0));
    EXPECT_EQ(0, Flag(far));
}

TEST_F(DecodeTest, GarbageDigitsDecodeWithoutHarm)
{
    int word = AddRow(D, 0, 83);
    int wide = AddRow(D, 1, 93);
    int text = AddRow(D, 2, DATACODE_STR, 4);
    Block(0, 2);
    Arrays();
    Prop(DEVPROP_ORDERDOUBLE, 7);
    Explain(Reply("ZZZZ--garbage-!!??xy", 0xFF));
    EXPECT_EQ(3, Flag(word));
    EXPECT_EQ(3, Flag(wide));
    EXPECT_EQ(3, Flag(text));
    EXPECT_FALSE(std::isnan(Value(word)));
}

// --- one field

TEST_F(DecodeTest, ChlValueEightAndSixteenBitCodes)
{
    EXPECT_EQ(0x12, ChlValue("1234", D, 80));  // one byte: the first two digits
    Prop(DEVPROP_ORDER16, 1);
    EXPECT_EQ(0x3412, ChlValue("1234", D, 83));
    EXPECT_EQ(-2.0, ChlValue("FEFF", D, 84));
    Prop(DEVPROP_ORDER16, 5);
    EXPECT_EQ(0.0, ChlValue("1234", D, 83));
    EXPECT_EQ(1.0, ChlValue("80", M, 7));  // bit areas ignore the 16-bit order
}

TEST_F(DecodeTest, ChlValueMissingPropertiesReadAsZero)
{
    dev->dwPropValue.SetSize(2);  // the blob carried two properties only
    EXPECT_EQ(0x1234, ChlValue("1234", D, 83));
    EXPECT_EQ(196612.0, ChlValue("00030004", D, 86));
    EXPECT_EQ(std::ldexp(1.0, 56), ChlValue("0000000000000001", D, 90));
}

}  // namespace
