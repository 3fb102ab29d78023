// 32-bit fields under the register-swapping options (1 and 2): the second
// register's characters go in front of the first eight, and a field that is
// short keeps what it has of both, whatever its length.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "protocol/DevBas.h"
#include "service/DevServer.h"

namespace {

class DecodeSwappedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev.dwPropValue.SetSize(9);
        data.pMydata = &dev;
    }
    void TearDown() override { data.pMydata = nullptr; }

    double ChlValue(const std::string& field, int code)
    {
        CString text(field.c_str());
        return CDevBas::mfGetChlValue(data, text, 14, code);
    }

    HOLN_DATA data;
    DEV_DATA dev;
};

bool Same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace

TEST_F(DecodeSwappedTest, EveryFieldLengthMatchesTheRearrangedText)
{
    const std::string full = "89ABCDEF0123";
    for (int option : {1, 2}) {
        dev.dwPropValue[DEVPROP_ORDER32] = option;
        dev.dwPropValue[DEVPROP_ORDERFLOAT] = option;
        for (size_t length = 0; length <= full.size(); ++length) {
            const CString field(full.substr(0, length).c_str());
            const CString rearranged = field.Mid(4, 4) + field.Left(8);
            const int swap = option == 1 ? 2 : 0;
            for (int code : {86, 87, 89}) {
                EXPECT_TRUE(Same(ChlValue(field.str(), code), CDevServer::SvrStr2Double(rearranged, code, swap, 1)))
                    << "option " << option << " length " << length << " code " << code;
            }
        }
    }
}

TEST_F(DecodeSwappedTest, WholeFieldsGiveTheDocumentedByteOrders)
{
    dev.dwPropValue[DEVPROP_ORDER32] = 1;
    EXPECT_EQ(ChlValue("00030004", 86), 50332672.0);  // 03 00 04 00
    dev.dwPropValue[DEVPROP_ORDER32] = 2;
    EXPECT_EQ(ChlValue("00030004", 86), 262147.0);  // 00 04 00 03
    EXPECT_EQ(ChlValue("FFFEFFFF", 87), -2.0);      // FF FF FF FE
    dev.dwPropValue[DEVPROP_ORDERFLOAT] = 2;
    EXPECT_EQ(ChlValue("00003F80", 89), 1.0);  // 3F 80 00 00
}
