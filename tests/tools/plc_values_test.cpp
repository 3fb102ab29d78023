// Typed values laid out in registers must read back through the driver's own
// decoder under the byte-order option they were laid out for: every width,
// every option, integers, BCD, floats, register bits and strings.
#include "plc/plc_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/DevConst.h"
#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

const int kAreaD = 14;

class DriverDecode : public ::testing::Test {
protected:
    void SetUp() override { CDevBas::mfCheckDevDataInit(data); }
    void TearDown() override { CDevBas::mfDeleteMydata(data, nullptr); }

    // What the driver reads from registers holding these wire bytes.
    double Decode(const std::vector<uint8_t>& wire, int code, int property, int option)
    {
        data.pMydata->dwPropValue[property] = option;
        CString text;
        for (uint8_t b : wire) text.AppendFormat("%02X", b);
        return CDevBas::mfGetChlValue(data, text, kAreaD, code);
    }

    double RoundTrip(const char* type, double value, int option)
    {
        plc::ValueType t = *plc::parseValueType(type);
        std::vector<uint8_t> wire = plc::wireOrder(plc::canonicalFloat(t, value), option);
        int code = DATACODE_WUB;
        while (DATATYPE_STR_NAME[code - DATACODE_WUB] != type) ++code;
        int property = t.bytes == 2   ? DEVPROP_ORDER16
                       : t.bytes == 4 ? (t.kind == plc::ValueKind::Float ? DEVPROP_ORDERFLOAT : DEVPROP_ORDER32)
                                      : (t.kind == plc::ValueKind::Float ? DEVPROP_ORDERDOUBLE : DEVPROP_ORDER64);
        return Decode(wire, code, property, option);
    }

    HOLN_DATA data;
};

TEST_F(DriverDecode, SixteenBitTypesUnderBothOrders)
{
    for (int option = 0; option < 2; ++option) {
        EXPECT_EQ(RoundTrip("WUB", 4660, option), 4660) << option;
        EXPECT_EQ(RoundTrip("WUB", 65535, option), 65535) << option;
        EXPECT_EQ(RoundTrip("WB", -2, option), -2) << option;
        EXPECT_EQ(RoundTrip("WB", -32768, option), -32768) << option;
        EXPECT_EQ(RoundTrip("WD", 1234, option), 1234) << option;
        EXPECT_EQ(RoundTrip("WD", 9999, option), 9999) << option;
    }
}

TEST_F(DriverDecode, ThirtyTwoBitTypesUnderEveryOrder)
{
    for (int option = 0; option < 4; ++option) {
        EXPECT_EQ(RoundTrip("DUB", 196612, option), 196612) << option;
        EXPECT_EQ(RoundTrip("DUB", 4294967295.0, option), 4294967295.0) << option;
        EXPECT_EQ(RoundTrip("DB", -123456, option), -123456) << option;
        EXPECT_EQ(RoundTrip("DD", 12345678, option), 12345678) << option;
        EXPECT_EQ(RoundTrip("DF", 1.5, option), 1.5) << option;
        EXPECT_FLOAT_EQ(RoundTrip("DF", -3.14159, option), -3.14159f) << option;
    }
}

TEST_F(DriverDecode, SixtyFourBitTypesUnderEveryReadOrder)
{
    // Options 0, 3, 4 and 7 read differently from how the driver writes:
    // the layout must follow the read direction.
    for (int option = 0; option < 8; ++option) {
        EXPECT_EQ(RoundTrip("LUB", 1, option), 1) << option;
        EXPECT_EQ(RoundTrip("LUB", 72057594037927936.0, option), 72057594037927936.0) << option;
        EXPECT_EQ(RoundTrip("LB", -1, option), -1) << option;
        EXPECT_EQ(RoundTrip("LB", -9876543210.0, option), -9876543210.0) << option;
        EXPECT_EQ(RoundTrip("LD", 1234567890123456.0, option), 1234567890123456.0) << option;
        EXPECT_EQ(RoundTrip("LF", 3.141592653589793, option), 3.141592653589793) << option;
    }
}

TEST_F(DriverDecode, RegisterBits)
{
    for (int option = 0; option < 2; ++option) {
        for (int bit : {0, 5, 8, 15}) {
            char name[8];
            std::snprintf(name, sizeof name, "BT%02d", bit);
            plc::ValueType t = *plc::parseValueType(name);
            std::vector<uint8_t> wire = plc::wireOrder(plc::canonicalInteger(t, 1), option);
            EXPECT_EQ(Decode(wire, bit, DEVPROP_ORDER16, option), 1.0) << name << " option " << option;
            EXPECT_EQ(Decode(wire, (bit + 1) % 16, DEVPROP_ORDER16, option), 0.0) << name << " option " << option;
        }
    }
}

TEST(PlcValues, StringsReadBackThroughTheDriversTextPath)
{
    const std::string texts[] = {"hello", "odd", "温度A", ""};
    for (const std::string& text : texts) {
        for (int encoding = 0; encoding < 2; ++encoding) {
            for (int order = 0; order < 2; ++order) {
                std::vector<uint8_t> wire = plc::stringBytes(text, encoding, order);
                CByteArray bytes;
                for (uint8_t b : wire) bytes.Add(b);
                CDevServer::SvrChangeStrIncode(bytes, order);
                CString decoded;
                if (encoding == 0)
                    CDevServer::SvrASCII2Str(bytes, decoded);
                else
                    CDevServer::SvrUnicode2Str(bytes, decoded);
                EXPECT_EQ(decoded.str(), text) << "encoding " << encoding << " order " << order;
            }
        }
    }
}

TEST(PlcValues, RegistersAreFilledHighByteFirst)
{
    EXPECT_EQ(plc::toRegisters({0x12, 0x34, 0x56}), (std::vector<uint16_t>{0x1234, 0x5600}));
    EXPECT_EQ(plc::swapRegisterBytes({'a', 'b', 'c'}), (std::vector<uint8_t>{'b', 'a', 0, 'c'}));
    EXPECT_EQ(plc::wireOrder({1, 2, 3, 4}, 2), (std::vector<uint8_t>{3, 4, 1, 2}));
}

TEST(PlcValues, TypeNames)
{
    EXPECT_EQ(plc::parseValueType("dub")->bytes, 4);
    EXPECT_EQ(plc::parseValueType("BT15")->bit, 15);
    EXPECT_EQ(plc::parseValueType("STR")->kind, plc::ValueKind::String);
    EXPECT_FALSE(plc::parseValueType("BT16"));
    EXPECT_FALSE(plc::parseValueType("BT5"));
    EXPECT_FALSE(plc::parseValueType("W"));
}

TEST(PlcValues, ValuesThatDoNotFitAreRefused)
{
    auto type = [](const char* name) { return *plc::parseValueType(name); };
    EXPECT_THROW(plc::canonicalInteger(type("WUB"), 65536), std::out_of_range);
    EXPECT_THROW(plc::canonicalInteger(type("WUB"), -1), std::out_of_range);
    EXPECT_THROW(plc::canonicalInteger(type("WB"), 32768), std::out_of_range);
    EXPECT_THROW(plc::canonicalInteger(type("WD"), 10000), std::out_of_range);
    EXPECT_THROW(plc::canonicalInteger(type("DD"), -5), std::out_of_range);
    EXPECT_THROW(plc::canonicalInteger(type("BT03"), 2), std::out_of_range);
    EXPECT_THROW(plc::canonicalFloat(type("DUB"), 1.5), std::out_of_range);
    EXPECT_THROW(plc::canonicalFloat(type("LB"), NAN), std::out_of_range);
    EXPECT_THROW(plc::wireOrder({1, 2}, 2), std::out_of_range);
    EXPECT_THROW(plc::wireOrder({1, 2, 3, 4}, 4), std::out_of_range);
    EXPECT_THROW(plc::wireOrder({1, 2, 3}, 0), std::out_of_range);
    EXPECT_NO_THROW(plc::canonicalInteger(type("LUB"), INT64_MAX));
}

}  // namespace
