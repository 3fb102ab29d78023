// The built `vemo` program as a user runs it, against an in-process simulator.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "e2e_support.h"
#include "runtime/device_table.h"

namespace {

using vemo::runtime::ChannelInfo;

std::vector<std::string> withTarget(std::vector<std::string> args, const std::string& blobPath, uint16_t port)
{
    for (const std::string& a : {std::string("--blob"), blobPath, std::string("--port"), std::to_string(port)}) {
        args.push_back(a);
    }
    return args;
}

class Cli : public ::testing::Test {
protected:
    Cli()
        : blob(e2e::compileFile(e2e::samplePath("demo.toml"))),
          blobPath(e2e::writeTempFile("sample.blob", blob)),
          device(vemo::runtime::describeBlob(blob)),
          sim(e2e::quietSimulator())
    {
        sim.start();
    }
    ~Cli() override
    {
        sim.stop();
        std::remove(blobPath.c_str());
    }

    std::vector<uint8_t> blob;
    std::string blobPath;
    vemo::runtime::DeviceDescription device;
    vemo::Simulator sim;
};

TEST_F(Cli, PollOnceJsonReturnsTheSimulatorsValues)
{
    std::map<int, e2e::Expected> placed;
    for (const ChannelInfo& c : device.channels) {
        // One channel per register: the probe values of overlapping
        // channels (a word and its bits) would overwrite each other.
        if (c.rwFlag == 1 || c.code < 16) continue;
        placed[c.index] = e2e::probeValue(c, device.properties);
        e2e::placeExpected(sim, c, device.properties, placed[c.index]);
    }
    e2e::ProcessResult run = e2e::runVemo(withTarget({"poll", "--once", "--json"}, blobPath, sim.port()));
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    e2e::Json doc = e2e::parseJson(run.out);

    const e2e::Json& channels = doc["channels"];
    ASSERT_EQ(channels.items.size(), device.channels.size());
    for (const auto& [index, want] : placed) {
        const e2e::Json& c = channels[static_cast<size_t>(index)];
        SCOPED_TRACE(c["name"].text);
        EXPECT_EQ(c["channel"].number, index);
        EXPECT_EQ(c["name"].text, device.channels[static_cast<size_t>(index)].name);
        EXPECT_EQ(c["status"].text, "ok");
        if (c["value"].kind == e2e::Json::String) {
            EXPECT_EQ(c["value"].text, want.text);
        } else {
            ASSERT_EQ(c["value"].kind, e2e::Json::Number);
            EXPECT_DOUBLE_EQ(c["value"].number, want.number);
        }
    }
    const e2e::Json& stats = doc["stats"];
    EXPECT_EQ(stats["cycles"].number, 1);
    EXPECT_EQ(stats["calls"].number, device.rankCount);
    EXPECT_EQ(stats["failed"].number, 0);
    EXPECT_EQ(stats["last_error"].kind, e2e::Json::Null);
}

TEST_F(Cli, PollOnceExitsNonZeroWhenARequestFails)
{
    sim.stop();
    vemo::SimulatorOptions options = e2e::quietSimulator();
    options.faults.exception = 1.0;
    vemo::Simulator refusing(options);
    refusing.start();
    const std::string shortWait =
        e2e::writeTempFile("short.blob", e2e::compileFile(e2e::samplePath("demo.toml"), e2e::SHORT_WAIT_MS));
    e2e::ProcessResult run = e2e::runVemo(withTarget({"poll", "--once", "--json"}, shortWait, refusing.port()));
    std::remove(shortWait.c_str());
    EXPECT_EQ(run.exitCode, 1);
    e2e::Json doc = e2e::parseJson(run.out);
    EXPECT_EQ(doc["stats"]["failures"]["7"].number, doc["stats"]["calls"].number);
    EXPECT_EQ(doc["stats"]["last_error"]["code"].number, 7);
    for (const e2e::Json& c : doc["channels"].items) EXPECT_EQ(c["value"].kind, e2e::Json::Null);
    refusing.stop();
}

TEST_F(Cli, PollPrintsATableWithOneRowPerChannel)
{
    e2e::ProcessResult run = e2e::runVemo(withTarget({"poll", "--once"}, blobPath, sim.port()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const ChannelInfo& c : device.channels) EXPECT_NE(run.out.find(c.name), std::string::npos) << c.name;
    EXPECT_EQ(run.out.find("\x1b["), std::string::npos);  // no terminal control codes into a pipe
}

TEST_F(Cli, WriteByLocationChangesTheRegister)
{
    e2e::ProcessResult run = e2e::runVemo(withTarget({"write", "D20", "4321"}, blobPath, sim.port()));
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_EQ(sim.withMemory([](plc::Memory& m) { return m.word(plc::areaIndexFromName("D"), 20); }), 4321);
    EXPECT_NE(run.out.find("after   4321"), std::string::npos) << run.out;
}

TEST_F(Cli, WriteRefusesAValueTheChannelCannotTake)
{
    e2e::ProcessResult run = e2e::runVemo(withTarget({"write", "D20", "12.5"}, blobPath, sim.port()));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("takes an integer"), std::string::npos) << run.err;
    EXPECT_EQ(sim.stats().requests, 0u);
}

TEST_F(Cli, IoctlPrintsTheVariablesItSet)
{
    sim.withMemory([](plc::Memory& m) { m.setWord(plc::areaIndexFromName("D"), 500, 77); });
    e2e::ProcessResult run = e2e::runVemo(
        withTarget({"ioctl", "READ(D,500,WUB=Count=St)", "--var", "Count=0", "--var", "St=9"}, blobPath, sim.port()));
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("Count            int    77"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("St               int    0"), std::string::npos) << run.out;
}

TEST_F(Cli, AMissingDriverIsNamedWithAHint)
{
    e2e::ProcessResult run =
        e2e::runVemo(withTarget({"poll", "--once", "--driver", "/nonexistent/libnone.so"}, blobPath, sim.port()));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("driver library not found: /nonexistent/libnone.so"), std::string::npos) << run.err;
}

TEST_F(Cli, NoControllerIsReportedWithTheAddress)
{
    const uint16_t port = sim.port();
    sim.stop();
    e2e::ProcessResult run = e2e::runVemo(withTarget({"poll", "--once"}, blobPath, port));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("cannot connect to 127.0.0.1:" + std::to_string(port)), std::string::npos) << run.err;
}

TEST(CliDemo, RunsWithoutArgumentsAndShowsTheSampleChangingValues)
{
    e2e::ProcessResult run = e2e::runVemo({"demo", "--seconds", "3", "--interval", "50"});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("summary:"), std::string::npos);
    // Into a pipe the frames follow each other; the seconds counter D0
    // must show more than one value across them.
    std::set<std::string> counterValues;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string index, name, location, type, value;
        if (fields >> index >> name >> location >> type >> value && location == "D0") counterValues.insert(value);
    }
    EXPECT_GE(counterValues.size(), 2u) << run.out;
}

}  // namespace
