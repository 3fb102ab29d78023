// `vemo plan`: the driver's planner on a compiled configuration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/DevConst.h"
#include "config/blob_compiler.h"
#include "config/block_plan.h"
#include "config/device_config.h"
#include "config/loaded_device.h"

namespace {

std::vector<uint8_t> Compile(const std::string& text)
{
    return vemo::compileBlob(vemo::parseDeviceConfig(text, "plan.toml")).blob;
}

std::string Words(int address, int count = 1, const char* type = "WUB", const char* access = "rw")
{
    return "[[channel]]\narea = \"D\"\naddress = " + std::to_string(address) + "\ntype = \"" + type +
           "\"\ncount = " + std::to_string(count) + "\naccess = \"" + access + "\"\n";
}

TEST(ConfigPlan, NearbyRunsShareOneRequest)
{
    vemo::LoadedDevice d(Compile(Words(100, 2) + Words(105)));
    vemo::BlockPlan plan = vemo::planCollection(d);
    EXPECT_EQ(plan.ranks, 1);
    ASSERT_EQ(plan.blocks.size(), 1u);
    EXPECT_EQ(plan.blocks[0].start, 100u);
    EXPECT_EQ(plan.blocks[0].length, 6);
    EXPECT_EQ(plan.blocks[0].firstRow, 0);
    EXPECT_EQ(plan.blocks[0].lastRow, 2);
    const std::string text = vemo::formatPlan(plan, d);
    EXPECT_NE(text.find("3 readable channel(s) of 3, 1 request(s) per full cycle"), std::string::npos) << text;
    EXPECT_NE(text.find("rank 0: read D100 x6 registers, reply 21 bytes, rows 0-2"), std::string::npos) << text;
    EXPECT_NE(text.find("row 2  读写DWUB0105"), std::string::npos) << text;
}

TEST(ConfigPlan, GapsAndLimitsMakeMoreRequests)
{
    vemo::LoadedDevice far(Compile(Words(100) + Words(140)));
    EXPECT_EQ(vemo::planCollection(far).ranks, 2);

    vemo::LoadedDevice many(Compile(Words(0, 130)));
    vemo::BlockPlan plan = vemo::planCollection(many);
    ASSERT_EQ(plan.ranks, 2);
    EXPECT_EQ(plan.blocks[0].length, 115);
    EXPECT_EQ(plan.blocks[1].start, 115u);
    EXPECT_EQ(plan.blocks[1].length, 15);
}

TEST(ConfigPlan, BitsAndStrings)
{
    vemo::LoadedDevice d(
        Compile("[[channel]]\narea = \"M\"\naddress = 0\ncount = 10\n"
                "[[channel]]\narea = \"M\"\naddress = 20\ncount = 10\n" +
                Words(199) + "[[channel]]\narea = \"D\"\naddress = 200\ntype = \"STR\"\nlength = 10\n"));
    vemo::BlockPlan plan = vemo::planCollection(d);
    ASSERT_EQ(plan.ranks, 3);
    EXPECT_EQ(plan.blocks[0].length, 30);  // M0-M29 joined
    EXPECT_NE(vemo::formatPlan(plan, d).find("read M0 x30 bits, reply 13 bytes"), std::string::npos);
    EXPECT_EQ(plan.blocks[2].start, 200u);  // the string opens its own block
    EXPECT_EQ(plan.blocks[2].length, 5);
}

TEST(ConfigPlan, WriteOnlyChannelsAreNeverRead)
{
    vemo::LoadedDevice d(Compile(Words(0, 2, "WUB", "wo") + Words(300, 1, "WUB", "ro")));
    vemo::BlockPlan plan = vemo::planCollection(d);
    EXPECT_EQ(plan.ranks, 1);
    EXPECT_EQ(plan.writeOnlyRows, 2);
    EXPECT_EQ(plan.blocks[0].start, 300u);
    EXPECT_NE(vemo::formatPlan(plan, d).find("2 write-only channel(s) are never read"), std::string::npos);
}

TEST(ConfigPlan, NoChannelsNoRequests)
{
    vemo::LoadedDevice d(Compile(""));
    vemo::BlockPlan plan = vemo::planCollection(d);
    EXPECT_EQ(plan.ranks, 0);
    EXPECT_NE(vemo::formatPlan(plan, d).find("nothing to read"), std::string::npos);
}

}  // namespace
