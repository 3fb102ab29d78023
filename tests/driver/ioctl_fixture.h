// A ready device for IO-control tests: one configured channel (D0, so that a
// collection can fail and leave a status), the fake controller as its line
// and the fake database with the variables the tests name.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/qdevctrl.h"
#include "protocol/DevBas.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

class IoctlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Station 1, no extra wait, every order canonical, strings as ASCII in wire order.
        CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 0)}, {1, 0, 0, 0, 0, 0, 1, 0, 0});
        ASSERT_EQ(0, device.InitDevice(blob.Data(), blob.Size()));
        ASSERT_EQ(0, device.UpdataCommunication(&plc));
    }
    void TearDown() override { device.CleanupDevice(); }

    // Through the device object: 0 after success, else the positive error.
    int Run(const std::string& text) { return device.DevIOCtrl(text.c_str()); }

    // The command result itself (1, 0 or the negative error).
    int Result(const std::string& text)
    {
        CString command(text.c_str());
        CArray<double, double> values;
        CStringArray strings;
        values.SetSize(1);
        strings.SetSize(1);
        return CDevBas::mfDevIOCtrl(device.HolnData(), command, values, strings);
    }

    const SPlcRequest& Request(size_t i) const { return plc.Requests().at(i); }
    // The 32-bit float's bit pattern as two registers, high word first.
    static std::vector<uint16_t> FloatWords(float value)
    {
        uint32_t bits = 0;
        static_assert(sizeof(bits) == sizeof(value), "32-bit float");
        std::memcpy(&bits, &value, sizeof(bits));
        return {static_cast<uint16_t>(bits >> 16), static_cast<uint16_t>(bits & 0xFFFF)};
    }

    CFakeRtdb db;
    CFakePlc plc;
    CDevCtrl device{"PLC1", &db};
};
