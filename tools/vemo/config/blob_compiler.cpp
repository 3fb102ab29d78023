#include "config/blob_compiler.h"

#include <algorithm>
#include <stdexcept>

#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "protocol/DevBas.h"

namespace vemo {
namespace {

// The row generator makes at most this many channels per call.
constexpr int64_t kRowsPerCall = 5000;

}  // namespace

CArray<CDevRow, CDevRow&> generateRun(const ChannelRun& run)
{
    CArray<CDevRow, CDevRow&> rows;
    SChlInfo info;
    info.nChlType = run.area;
    info.nDataTypeIndex = run.dataTypeIndex;
    info.nRWFlag = run.access;
    // A string's length travels in the start address text, as "address_length".
    if (run.type == "STR")
        info.strStartAddr.Format("%u_%d", run.address, run.length);
    else
        info.strStartAddr.Format("%u", run.address);
    for (int64_t left = run.count; left > 0; left -= kRowsPerCall) {
        // The generator carries on from the address it leaves in the text.
        info.nChlNum = static_cast<int32_t>(std::min(left, kRowsPerCall));
        if (CDevBas::mfMakeDevRowsFromSChlInfo(info, rows) != 1)
            throw std::logic_error("the row generator refused a checked run");
    }
    if (run.name) rows[0].SetstrValue(DEVROW_STR_CHLNAME, CString(*run.name));
    rows[0].SetdwValueAt(DEVROW_IDX_READFAST, run.fastRead);
    rows[0].SetdwValueAt(DEVROW_IDX_READMAX, run.readMax);
    // The replacing insertion expects a run in key order.
    std::stable_sort(rows.GetData(), rows.GetData() + rows.GetSize(),
                     [](const CDevRow& a, const CDevRow& b) { return a < b; });
    return rows;
}

std::vector<std::string> buildTable(const DeviceConfig& config, CDevTable& table)
{
    CDevBas::mfInitBlockAndRow();
    table.DelTable();
    std::vector<std::string> warnings;
    for (const ChannelRun& run : config.runs) {
        CArray<CDevRow, CDevRow&> rows = generateRun(run);
        const int before = table.GetRowCount();
        table.AddRows(rows, 1);
        const int replaced = before + rows.GetSize() - table.GetRowCount();
        if (replaced > 0)
            warnings.push_back(config.source + ":" + std::to_string(run.line) + ": this run replaces " +
                               std::to_string(replaced) + " channel(s) of earlier runs in its address range");
    }
    return warnings;
}

std::vector<uint8_t> storeBlob(const std::array<int32_t, kDevicePropertyCount>& props, CDevTable& table)
{
    COwnerArchive archive(ARCHIVE_STORING);
    // Switching to storing at the start writes the format marker.
    archive.SvrChangeMode(ARCHIVE_STORING);
    archive << static_cast<int>(props.size());
    for (int32_t value : props) archive << static_cast<int>(value);
    archive << table;
    const CByteArray& buffer = archive.GetBuffer();
    const int size = archive.SvrGetBufferSize();
    return std::vector<uint8_t>(buffer.GetData(), buffer.GetData() + size);
}

CompileResult compileBlob(const DeviceConfig& config)
{
    CompileResult result;
    CDevTable table;
    result.warnings = buildTable(config, table);
    result.rows = table.GetRowCount();
    result.blob = storeBlob(config.props, table);
    return result;
}

}  // namespace vemo
