// Loading the driver the way the runtime does, and what the loader says
// when something is wrong.
#include <gtest/gtest.h>

#include <stdexcept>

#include "e2e_support.h"
#include "runtime/driver_library.h"

namespace {

using vemo::runtime::DriverLibrary;

std::string messageOf(const std::string& path)
{
    try {
        DriverLibrary library(path);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(Loader, OpensTheBuiltDriverAndCreatesADevice)
{
    DriverLibrary library(e2e::driverPath());
    vemo::runtime::Database db;
    vemo::runtime::Device device(library, "dev", db);
    EXPECT_EQ(device.interfaceVersion(), 2);
    // Without a channel the device refuses to collect, as a runtime expects.
    EXPECT_EQ(device.referenceAll(0), 0);
    EXPECT_EQ(device.attach(nullptr), 0);
    int value = 1;
    EXPECT_EQ(device.write(0, DATATYPE_INT, &value), -2);
}

TEST(Loader, SaysWhenTheFileIsMissing)
{
    std::string message = messageOf("/nonexistent/libdriver.so");
    EXPECT_NE(message.find("driver library not found: /nonexistent/libdriver.so"), std::string::npos) << message;
    EXPECT_NE(message.find("--driver"), std::string::npos) << message;
}

TEST(Loader, SaysWhenTheFileIsNoLibrary)
{
    std::string path = e2e::writeTempFile("not_a_library.so", {'t', 'e', 'x', 't'});
    std::string message = messageOf(path);
    EXPECT_NE(message.find("cannot load the driver library " + path), std::string::npos) << message;
    std::remove(path.c_str());
}

TEST(Loader, SaysWhichEntryPointIsMissing)
{
    std::string message = messageOf(E2E_NOT_A_DRIVER_PATH);
    EXPECT_NE(message.find("does not export CreateDeviceCtrl"), std::string::npos) << message;
}

TEST(Loader, NamesResultCodes)
{
    EXPECT_EQ(vemo::runtime::resultText(2), "2 no reply");
    EXPECT_EQ(vemo::runtime::resultText(7), "7 reply refused");
    EXPECT_EQ(vemo::runtime::resultText(4), "4 write not accepted");
    EXPECT_EQ(vemo::runtime::resultText(static_cast<int>(0x80000001u)), "0x80000001 bad argument");
    EXPECT_EQ(vemo::runtime::resultText(99), "99");
}

}  // namespace
