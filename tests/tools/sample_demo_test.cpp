// The bundled sample: demo.toml compiled and collected by the driver from
// the simulator's memory, filled by demo_init.toml and the live signals,
// gives every readable channel the value the init file (or signal) meant.
#include <gtest/gtest.h>
#include <toml++/toml.h>

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "config/DevConst.h"
#include "config/blob_compiler.h"
#include "config/block_plan.h"
#include "config/device_config.h"
#include "config/loaded_device.h"
#include "plc/plc_values.h"
#include "protocol/DevBas.h"
#include "sim/init_file.h"
#include "sim/simulator.h"
#include "support/fake_comm.h"

#ifndef VEMO_SAMPLE_DIR
#define VEMO_SAMPLE_DIR "samples"
#endif

namespace {

const std::string kSamples = VEMO_SAMPLE_DIR;

struct Expected {
    double number = 0;
    std::string text;
    bool isText = false;
    bool isFloat = false;  // compare as a 32-bit float
};

int AreaOf(const std::string& name)
{
    for (int i = 0; i < CHL_AREA_NUM; ++i)
        if (CHL_STR_NAME[i].str() == name) return i;
    return -1;
}

// (area, address, data-type code) -> what the channel must read.
std::map<std::tuple<int, uint32_t, uint32_t>, Expected> ExpectationsFromInit(const std::string& path)
{
    std::map<std::tuple<int, uint32_t, uint32_t>, Expected> out;
    toml::table root = toml::parse_file(path);
    for (const toml::node& entry : *root["set"].as_array()) {
        const toml::table& set = *entry.as_table();
        const int area = AreaOf(*set["area"].value<std::string>());
        const uint32_t address = static_cast<uint32_t>(*set["address"].value<int64_t>());
        std::vector<const toml::node*> values;
        if (const toml::array* many = set["values"].as_array())
            for (const toml::node& n : *many) values.push_back(&n);
        else
            values.push_back(set.get("value"));
        const std::optional<std::string> typeName = set["type"].value<std::string>();
        for (size_t k = 0; k < values.size(); ++k) {
            Expected e;
            if (!typeName) {
                const double raw = *values[k]->value<double>();
                const uint32_t at = address + static_cast<uint32_t>(k);
                if (area <= CHL_BITAREA_LAST) {
                    e.number = raw;
                    out[{area, at, DATACODE_BITAREA}] = e;
                } else {
                    e.number = raw;
                    out[{area, at, DATACODE_WUB}] = e;
                    for (uint32_t bit = 0; bit < 16; ++bit) {
                        Expected b;
                        b.number = (static_cast<uint32_t>(raw) >> bit) & 1;
                        out[{area, at, bit}] = b;
                    }
                }
                continue;
            }
            const plc::ValueType type = *plc::parseValueType(*typeName);
            uint32_t code = DATACODE_STR;
            for (int i = 0; i < DATATYPE_NUM; ++i)
                if (DATATYPE_STR_NAME[i].str() == type.name)
                    code = static_cast<uint32_t>(i == 11 ? DATACODE_STR : DATACODE_WUB + i);
            if (type.kind == plc::ValueKind::String) {
                e.isText = true;
                e.text = *values[k]->value<std::string>();
            } else {
                e.number = *values[k]->value<double>();
                e.isFloat = type.kind == plc::ValueKind::Float && type.bytes == 4;
            }
            out[{area, address + static_cast<uint32_t>(k * static_cast<size_t>(type.bytes / 2)), code}] = e;
        }
    }
    return out;
}

TEST(SampleDemo, EveryChannelReadsItsIntendedValue)
{
    vemo::CompileResult compiled = vemo::compileBlob(vemo::loadDeviceConfig(kSamples + "/demo.toml"));
    ASSERT_TRUE(compiled.warnings.empty()) << compiled.warnings.front();
    vemo::LoadedDevice device(compiled.blob);

    vemo::Simulator sim;
    sim.withMemory([](plc::Memory& m) { vemo::applyInit(vemo::parseInitFile(kSamples + "/demo_init.toml"), m); });
    sim.applySignals(5);  // D0 = 5, D2-D3 = 100.0, M0 = 1

    FakeComm comm;
    comm.SetOnWrite([&sim](FakeComm& c, const FakeComm::Bytes& request) {
        c.QueueReply(sim.withMemory([&](plc::Memory& m) { return m.handle(request); }));
    });
    device.data().pComm = &comm;

    const vemo::BlockPlan plan = vemo::planCollection(device);
    const int rows = device.table().GetRowCount();
    CArray<int, int> flags;
    CArray<double, double> values;
    CStringArray strings;
    flags.SetSize(rows + 1);
    values.SetSize(rows + 1);
    strings.SetSize(rows + 1);
    for (int rank = 0; rank < plan.ranks; ++rank)
        EXPECT_EQ(CDevBas::mfReadBlockFromDev(device.data(), flags, values, strings, rank, 1), 0) << "rank " << rank;

    auto expected = ExpectationsFromInit(kSamples + "/demo_init.toml");
    Expected counter, sine, toggle;
    counter.number = 5;
    sine.number = 100.0;
    sine.isFloat = true;
    toggle.number = 1;
    expected[{14, 0, DATACODE_WUB}] = counter;
    expected[{14, 2, 89}] = sine;
    expected[{0, 0, DATACODE_BITAREA}] = toggle;

    int checked = 0;
    for (int r = 0; r < rows; ++r) {
        const CDevRow& row = device.table().Row(r);
        const std::string name = row.GetstrValue(DEVROW_STR_CHLNAME).str();
        if (row.GetdwValueAt(DEVROW_IDX_RWFLAG) == 1) continue;
        auto key = std::make_tuple(static_cast<int>(row.GetdwValueAt(DEVROW_IDX_TYPE)),
                                   row.GetdwValueAt(DEVROW_IDX_ADDRESS), row.GetdwValueAt(DEVROW_IDX_DATATYPE));
        auto found = expected.find(key);
        if (found == expected.end()) {
            ADD_FAILURE() << name << " has no value in demo_init.toml or the live signals";
            continue;
        }
        EXPECT_EQ(flags[r + 1], 3) << name;
        const Expected& e = found->second;
        if (e.isText)
            EXPECT_EQ(strings[r + 1].str(), e.text) << name;
        else if (e.isFloat)
            EXPECT_FLOAT_EQ(static_cast<float>(values[r + 1]), static_cast<float>(e.number)) << name;
        else
            EXPECT_EQ(values[r + 1], e.number) << name;
        ++checked;
    }
    EXPECT_GT(checked, 30);
}

}  // namespace
