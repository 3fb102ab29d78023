// Decoding runs on every collection call: numeric channels must be decoded
// without touching the heap, however many a block holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "support/counting_new.h"
#include "support/schema.h"

namespace {

// Rows of every numeric width and bits of registers, packed from D0 on;
// returns the registers they span.
int FillTable(CDevTable& table, int rows)
{
    static const uint32_t CODES[] = {83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 5};
    uint32_t address = 0;
    CArray<CDevRow, CDevRow&> list;
    for (int i = 0; i < rows; ++i) {
        uint32_t code = CODES[i % 12];
        CDevRow row;
        row.SetdwValueAt(DEVROW_IDX_RWFLAG, 2);
        row.SetdwValueAt(DEVROW_IDX_TYPE, 14);
        row.SetdwValueAt(DEVROW_IDX_ADDRESS, address);
        row.SetdwValueAt(DEVROW_IDX_BIT, code <= 15 ? code : 0);
        row.SetdwValueAt(DEVROW_IDX_DATATYPE, code);
        list.Add(row);
        address += code <= 85 ? 1 : (code >= 90 ? 4 : 2);
    }
    table.AddRows(list, 0);
    return static_cast<int>(address);
}

long AllocationsToDecode(int rows)
{
    InstallRowSchema();
    HOLN_DATA data;
    DEV_DATA dev;
    dev.pDevTable = new CDevTable;
    dev.dwPropValue.SetSize(9);
    for (int i = 2; i < 9; ++i) dev.dwPropValue[i] = 1;
    dev.nCurBlock = 0;
    data.pMydata = &dev;
    int registers = FillTable(*dev.pDevTable, rows);
    DynBlock block;
    block.nStartRow = 0;
    block.nEndRow = rows - 1;
    dev.DynBlockArray.Add(block);

    std::string hex = "000100000000012000";
    for (int i = 0; i < registers; ++i) hex += i % 3 ? "12AB" : "FFFE";
    CString reply(hex.c_str());
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
    flags.SetSize(rows + 1);
    values.SetSize(rows + 1);
    strings.SetSize(rows + 1);

    g_allocations = 0;
    g_counting = true;
    int decoded = CDevBas::mfExplainCommByteData(data, flags, values, strings, reply, 0, 0);
    g_counting = false;
    EXPECT_EQ(rows, decoded);
    delete dev.pDevTable;
    return g_allocations;
}

TEST(DecodeAllocTest, NumericChannelsDecodeWithoutHeapAllocation)
{
    EXPECT_EQ(0, AllocationsToDecode(12));
    EXPECT_EQ(0, AllocationsToDecode(120));
}

}  // namespace
