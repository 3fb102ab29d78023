#include "config/blob_dump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/DevConst.h"
#include "config/blob_compiler.h"
#include "config/device_config.h"
#include "config/loaded_device.h"
#include "config/toml_input.h"
#include "protocol/DevBas.h"

namespace vemo {
namespace {

// Bytes of the UTF-8 sequence at i, 0 when it is not a valid one.
size_t utf8Length(const std::string& text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return 0;
    return n;
}

struct RowValues {
    uint32_t rw, area, address, bit, code, fast, max;
    std::string name;
};

RowValues rowValues(const CDevRow& row)
{
    return {row.GetdwValueAt(DEVROW_IDX_RWFLAG),   row.GetdwValueAt(DEVROW_IDX_TYPE),
            row.GetdwValueAt(DEVROW_IDX_ADDRESS),  row.GetdwValueAt(DEVROW_IDX_BIT),
            row.GetdwValueAt(DEVROW_IDX_DATATYPE), row.GetdwValueAt(DEVROW_IDX_READFAST),
            row.GetdwValueAt(DEVROW_IDX_READMAX),  row.GetstrValue(DEVROW_STR_CHLNAME).str()};
}

bool sameRow(const CDevRow& a, const CDevRow& b)
{
    for (int i = 0; i < DEVROW_IDX_NAME; ++i)
        if (a.GetdwValueAt(i) != b.GetdwValueAt(i)) return false;
    return a.GetstrValue(DEVROW_STR_CHLNAME) == b.GetstrValue(DEVROW_STR_CHLNAME);
}

// Little-endian signed 32-bit value at offset, if the blob has those bytes.
bool peekI32(const std::vector<uint8_t>& blob, size_t at, int32_t& value)
{
    if (at > blob.size() || blob.size() - at < 4) return false;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(blob[at + static_cast<size_t>(i)]) << (8 * i);
    value = static_cast<int32_t>(v);
    return true;
}

std::string typeText(uint32_t area, uint32_t code)
{
    if (code < static_cast<uint32_t>(DATATYPE_BIT_NUM)) {
        if (area < static_cast<uint32_t>(CHL_AREA_NUM) && SELECT2_DWORD_PROPERTYNUM[area] == 0)
            return "(a register bit code in a bit area)";
        return DATATYPE_STR_BITNAME[code].str();
    }
    if (code == static_cast<uint32_t>(DATACODE_BITAREA)) return "BIT";
    if (code == static_cast<uint32_t>(DATACODE_STR)) return "STR";
    if (code >= static_cast<uint32_t>(DATACODE_WUB) && code <= static_cast<uint32_t>(DATACODE_LF))
        return DATATYPE_STR_NAME[code - DATACODE_WUB].str();
    return "(no such type)";
}

std::string rowLine(int index, const CDevRow& row)
{
    const RowValues v = rowValues(row);
    char head[160];
    std::snprintf(head, sizeof head, "  row %d: rw %u", index, v.rw);
    std::string line = head;
    line += v.rw < static_cast<uint32_t>(RWFLAG_NUM) ? " (" + CHLNAME_STR_RWFLAG[v.rw].str() + ")" : " (no such flag)";
    line +=
        ", area " + std::to_string(v.area) +
        (v.area < static_cast<uint32_t>(CHL_AREA_NUM) ? " (" + CHL_STR_NAME[v.area].str() + ")" : " (no such area)");
    line += ", address " + std::to_string(v.address) + ", bit " + std::to_string(v.bit) + ", type " +
            std::to_string(v.code) + " " + typeText(v.area, v.code);
    if (v.fast || v.max) line += ", fast read " + std::to_string(v.fast) + ", read max " + std::to_string(v.max);
    line += ", name \"" + printable(v.name) + "\"";
    CDevRow canonical(row);
    CDevBas::mfFormRowName(canonical);
    const std::string expected = canonical.GetstrValue(DEVROW_STR_CHLNAME).str();
    if (expected != v.name) line += " (the driver would name it \"" + printable(expected) + "\")";
    return line;
}

std::string propertyLine(int index, bool present, int32_t value)
{
    const DeviceProperty& p = deviceProperty(index);
    std::string line =
        "  " + std::to_string(index) + " " + DEV_STR_PROPERTYNAME[index].str() + " (" + p.description + "): ";
    if (!present) return line + "not in the blob, reads as 0";
    line += std::to_string(value);
    if (p.firstOption >= 0) {
        const char* option = optionText(index, value);
        line += option ? "  \"" + std::string(option) + "\"" : "  (no such option: values of this width decode to 0)";
    } else if (index == 0 && (value < 0 || value > kMaxStation)) {
        line += "  (does not fit the frame's one-byte station field)";
    }
    return line;
}

}  // namespace

bool isValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string printable(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = utf8Length(text, i);
        if (n == 0 || c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string dumpBlobText(const std::vector<uint8_t>& blob)
{
    LoadedDevice device(blob);
    std::string out = "blob: " + std::to_string(blob.size()) + " bytes, ";
    if (blob.size() < 2)
        out += "too short for a format marker\n";
    else if (device.refused())
        out += "format marker " + std::to_string(device.firstWord()) +
               ": a newer format than 20000, which the driver refuses to read (no properties, no channels)\n";
    else if (device.marked())
        out += "format marker 20000\n";
    else
        out += "no format marker (first value " + std::to_string(device.firstWord()) +
               "): an older blob, read from offset 0\n";

    const size_t start = device.marked() ? 2 : 0;
    const int read = device.dev().dwPropValue.GetSize();
    int32_t declared = 0;
    out += "device properties: ";
    if (device.refused()) {
        out += "not read\n";
    } else if (!peekI32(blob, start, declared)) {
        out += "no count in the blob, all read as 0\n";
    } else {
        out += std::to_string(declared) + " in the blob";
        if (declared != read) out += ", " + std::to_string(read) + " read (as many as the bytes can fill)";
        if (read != kDevicePropertyCount) out += "; this device has " + std::to_string(kDevicePropertyCount);
        out += "\n";
    }
    if (!device.refused())
        for (int i = 0; i < kDevicePropertyCount; ++i)
            out += propertyLine(i, i < read, i < read ? device.dev().dwPropValue[i] : 0) + "\n";

    CDevTable& table = device.table();
    const int rows = table.GetRowCount();
    int32_t declaredRows = 0;
    const bool hasRowCount = peekI32(blob, start + 4 + 4 * static_cast<size_t>(read), declaredRows);
    out += "channels: " + std::to_string(rows) + " rows";
    if (!device.refused() && hasRowCount && declaredRows != rows)
        out += " (the blob claims " + std::to_string(declaredRows) + "; no more are read than the bytes can fill)";
    out += "\n";
    for (int i = 0; i < rows; ++i) out += rowLine(i, table.Row(i)) + "\n";

    if (!device.refused()) {
        const int64_t end = device.bytesRead();
        const int64_t size = static_cast<int64_t>(blob.size());
        if (end > size)
            out += "note: the driver read " + std::to_string(end - size) +
                   " bytes beyond the end of the blob (zeros of its archive reserve)\n";
        else if (end < size)
            out += "note: " + std::to_string(size - end) + " bytes after the last row are ignored\n";
    }
    return out;
}

TomlDump dumpBlobToml(const std::vector<uint8_t>& blob, const std::string& sourceName)
{
    LoadedDevice device(blob);
    TomlDump dump;
    std::string& out = dump.text;
    out = "# Device description recovered from " + sourceName + " by vemo config dump --toml.\n";
    if (device.refused())
        dump.warnings.push_back("format marker " + std::to_string(device.firstWord()) +
                                " is newer than 20000: the driver reads nothing from this blob");

    out += "\n[device]\n";
    const int read = device.dev().dwPropValue.GetSize();
    if (!device.refused() && read != kDevicePropertyCount)
        dump.warnings.push_back("the blob holds " + std::to_string(read) + " device properties instead of " +
                                std::to_string(kDevicePropertyCount) + "; missing ones are written as 0");
    for (int i = 0; i < kDevicePropertyCount; ++i) {
        const DeviceProperty& p = deviceProperty(i);
        const int32_t value = i < read ? device.dev().dwPropValue[i] : 0;
        const char* option = optionText(i, value);
        const bool valid =
            p.firstOption >= 0 ? option != nullptr : value >= 0 && value <= (i == 0 ? kMaxStation : kMaxWaitMs);
        std::string line =
            std::string(valid ? "" : "# ") + p.key + " = " + (option ? quoted(option) : std::to_string(value));
        line.resize(std::max<size_t>(line.size(), 32), ' ');
        out += line + "# " + DEV_STR_PROPERTYNAME[i].str() + (valid ? "" : ": not a valid value, left out") + "\n";
        if (!valid)
            dump.warnings.push_back(std::string(p.key) + " = " + std::to_string(value) +
                                    " is not a valid value of this property: left out of the description");
    }

    CDevTable& table = device.table();
    const int rows = table.GetRowCount();
    bool unordered = false;
    for (int i = 1; i < rows; ++i) {
        if (table.Row(i) < table.Row(i - 1)) unordered = true;
        if (table.Row(i) == table.Row(i - 1))
            dump.warnings.push_back("rows " + std::to_string(i - 1) + " and " + std::to_string(i) +
                                    " share area, address and bit: compiling keeps only the later one");
    }
    if (unordered) dump.warnings.push_back("the rows are not in key order (area, address, bit); compiling sorts them");
    for (int i = 0; i < rows;) {
        const RowValues v = rowValues(table.Row(i));
        ChannelRun run;
        bool representable = v.area < static_cast<uint32_t>(CHL_AREA_NUM) && v.rw < static_cast<uint32_t>(RWFLAG_NUM) &&
                             v.address < (1u << 24) && isValidUtf8(v.name);
        if (representable) {
            run.area = static_cast<int>(v.area);
            run.access = static_cast<int>(v.rw);
            run.address = v.address;
            const bool bitArea = SELECT2_DWORD_PROPERTYNUM[v.area] == 0;
            std::string type = typeText(v.area, v.code);
            if (bitArea) {
                representable = v.code == static_cast<uint32_t>(DATACODE_BITAREA);
            } else {
                CString code(type);
                run.dataTypeIndex = CDevBas::mfGetDataTypeListNum(code, run.area);
                run.type = code.str();
                representable = run.dataTypeIndex >= 0;
                if (run.type == "STR") {
                    run.length = static_cast<int32_t>(v.bit);
                    representable = representable && v.bit >= 1 && v.bit <= 254;
                }
            }
        }
        int matched = 0;
        if (representable) {
            // Regenerate ever longer runs from this row while they match the table.
            const int left = rows - i;
            for (int64_t want = 1;; want = std::min<int64_t>(want * 2, left)) {
                run.count = want;
                CArray<CDevRow, CDevRow&> generated = generateRun(run);
                int k = 0;
                while (k < generated.GetSize() && sameRow(generated[k], table.Row(i + k))) ++k;
                matched = k;
                if (k < want || want == left) break;
            }
            if (matched == 0) {
                // One channel with its own name or carried-over values.
                run.count = 1;
                run.name = v.name;
                run.fastRead = v.fast;
                run.readMax = v.max;
                CArray<CDevRow, CDevRow&> generated = generateRun(run);
                if (sameRow(generated[0], table.Row(i))) {
                    matched = 1;
                    CDevRow canonical(table.Row(i));
                    CDevBas::mfFormRowName(canonical);
                    if (canonical.GetstrValue(DEVROW_STR_CHLNAME).str() == v.name) run.name.reset();
                }
            }
        }
        if (matched == 0) {
            const std::string line = rowLine(i, table.Row(i)).substr(2);  // "row N: ..."
            dump.warnings.push_back(line + ": cannot be written as a channel, left out");
            out += "\n# left out, no channel description can express it:\n# " + line + "\n";
            ++i;
            continue;
        }
        run.count = matched;
        out += "\n[[channel]]";
        const std::string last = table.Row(i + matched - 1).GetstrValue(DEVROW_STR_CHLNAME).str();
        out += matched == 1 ? "  # row " + std::to_string(i) + ": " + printable(v.name) + "\n"
                            : "  # rows " + std::to_string(i) + "-" + std::to_string(i + matched - 1) + ": " +
                                  printable(v.name) + " ... " + printable(last) + "\n";
        out += "area = " + quoted(CHL_STR_NAME[run.area].str()) + "\n";
        out += "address = " + std::to_string(run.address) + "\n";
        if (!run.type.empty()) out += "type = " + quoted(run.type) + "\n";
        if (run.type == "STR") out += "length = " + std::to_string(run.length) + "\n";
        if (matched > 1) out += "count = " + std::to_string(matched) + "\n";
        static const char* const kAccess[] = {"ro", "wo", "rw"};
        out += "access = " + quoted(kAccess[run.access]) + "\n";
        if (run.name) out += "name = " + quoted(*run.name) + "\n";
        if (run.fastRead) out += "fast_read = " + std::to_string(run.fastRead) + "\n";
        if (run.readMax) out += "read_max = " + std::to_string(run.readMax) + "\n";
        i += matched;
    }
    return dump;
}

}  // namespace vemo
