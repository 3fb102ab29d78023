#include "config/block_plan.h"

#include <algorithm>
#include <vector>

#include "config/DevConst.h"
#include "config/blob_dump.h"
#include "protocol/DevBas.h"

namespace vemo {
namespace {

// Registers one reply can carry: its byte count is a single byte.
constexpr int kMaxReplyWords = 127;

std::string areaName(int area)
{
    return area >= 0 && area < CHL_AREA_NUM ? CHL_STR_NAME[area].str() : "?" + std::to_string(area);
}

bool isBitArea(int area)
{
    return area >= 0 && area <= CHL_BITAREA_LAST;
}

}  // namespace

int replyBytes(int area, int length)
{
    return isBitArea(area) ? 9 + (length + 7) / 8 : 9 + 2 * length;
}

BlockPlan planCollection(LoadedDevice& device)
{
    BlockPlan plan;
    CDevTable& table = device.table();
    plan.rows = table.GetRowCount();
    // Entry r + 1 belongs to row r.
    CArray<int, int> refs;
    refs.SetSize(plan.rows + 1);
    for (int i = 0; i <= plan.rows; ++i) refs[i] = 1;
    plan.ranks = CDevBas::mfMakeBlock(device.data(), refs, 0);

    std::vector<bool> covered(static_cast<size_t>(plan.rows), false);
    const CArray<DynBlock, DynBlock&>& blocks = device.dev().DynBlockArray;
    for (int b = 0; b < blocks.GetSize(); ++b) {
        const DynBlock& d = blocks[b];
        PlannedBlock p;
        p.rank = d.nRank;
        p.area = d.nChlType;
        p.firstRow = d.nStartRow;
        p.lastRow = d.nEndRow;
        p.length = d.nBlockLen;
        p.linkFlag = d.nLinkFlag;
        if (d.nStartRow >= 0 && d.nStartRow < plan.rows)
            p.start = table.Row(d.nStartRow).GetdwValueAt(DEVROW_IDX_ADDRESS);
        plan.blocks.push_back(p);
        for (int r = std::max(d.nStartRow, 0); r <= d.nEndRow && r < plan.rows; ++r)
            covered[static_cast<size_t>(r)] = true;
    }
    for (int i = 0; i < plan.rows; ++i) {
        const uint32_t rw = table.Row(i).GetdwValueAt(DEVROW_IDX_RWFLAG);
        if (rw == 1) ++plan.writeOnlyRows;
        if (rw != 0 && rw != 2) continue;
        ++plan.readableRows;
        if (!covered[static_cast<size_t>(i)]) ++plan.unplannedRows;
    }
    return plan;
}

std::string formatPlan(const BlockPlan& plan, LoadedDevice& device)
{
    CDevTable& table = device.table();
    std::string out = "collection plan: " + std::to_string(plan.readableRows) + " readable channel(s) of " +
                      std::to_string(plan.rows) + ", " + std::to_string(plan.ranks) +
                      " request(s) per full cycle (one rank per collection call)\n";
    for (const PlannedBlock& b : plan.blocks) {
        const bool bits = isBitArea(b.area);
        out += "\nrank " + std::to_string(b.rank) + ": read " + areaName(b.area) + std::to_string(b.start) + " x" +
               std::to_string(b.length) + (bits ? " bits" : " registers") + ", reply " +
               std::to_string(replyBytes(b.area, b.length)) + " bytes, rows " + std::to_string(b.firstRow) + "-" +
               std::to_string(b.lastRow) + "\n";
        if (!bits && b.length > kMaxReplyWords)
            out += "  note: more registers than one reply can carry (" + std::to_string(kMaxReplyWords) +
                   "); a controller answers this with an exception\n";
        for (int r = b.firstRow; r <= b.lastRow && r >= 0 && r < plan.rows; ++r) {
            const CDevRow& row = table.Row(r);
            out += "  row " + std::to_string(r) + "  " + printable(row.GetstrValue(DEVROW_STR_CHLNAME).str());
            if (row.GetdwValueAt(DEVROW_IDX_RWFLAG) == 1) out += "  (write-only: not read)";
            out += "\n";
        }
    }
    if (plan.writeOnlyRows > 0)
        out += "\n" + std::to_string(plan.writeOnlyRows) + " write-only channel(s) are never read\n";
    if (plan.unplannedRows > 0)
        out += "\nnote: " + std::to_string(plan.unplannedRows) +
               " readable channel(s) are in no request (the planner could not place them)\n";
    if (plan.rows == 0) out += "\nno channels: nothing to read\n";
    return out;
}

}  // namespace vemo
