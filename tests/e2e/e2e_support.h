// Helpers of the end-to-end tests: the bundled sample compiled with a
// generous wait time, the simulator and the built driver wired together
// over loopback TCP, typed values placed in the simulator's registers the
// way the device's byte orders expect them, a small JSON reader and a
// subprocess runner for the built `vemo` program.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/session.h"
#include "sim/simulator.h"

namespace e2e {

// Paths of the built artefacts (set by the build).
std::string driverPath();
std::string vemoPath();
std::string samplePath(const std::string& file);

// The wait time the tests give the driver: a loaded machine must not turn
// a slow reply into a missing one.
const int32_t GENEROUS_WAIT_MS = 5000;

// Where no reply, or only a refusal, is expected: the driver waits the
// whole wait time for a reply of the length it expects, and nothing else
// is to come.
const int32_t SHORT_WAIT_MS = 200;

// A blob compiled from TOML text (or a file), with the given wait time.
std::vector<uint8_t> compileText(const std::string& toml, int32_t waitMs = GENEROUS_WAIT_MS);
std::vector<uint8_t> compileFile(const std::string& path, int32_t waitMs = GENEROUS_WAIT_MS);

// Simulator on a free loopback port, without live signals, logging nowhere.
vemo::SimulatorOptions quietSimulator();

// A simulator and a set-up device talking to it.
class Rig {
public:
    explicit Rig(const std::vector<uint8_t>& blob, const vemo::SimulatorOptions& options = quietSimulator());
    ~Rig();

    vemo::Simulator& sim() { return *sim_; }
    vemo::runtime::Session& session() { return *session_; }
    const vemo::runtime::DeviceDescription& device() { return session_->description(); }
    vemo::runtime::Database& db() { return session_->database(); }
    vemo::runtime::Poller& poller() { return *poller_; }
    vemo::runtime::CollectStats& stats() { return stats_; }

    // Runs full cycles until one succeeds in every call (at most `tries`).
    bool cycle(int tries = 3);

private:
    std::unique_ptr<vemo::Simulator> sim_;
    std::unique_ptr<vemo::runtime::Session> session_;
    vemo::runtime::CollectStats stats_;
    std::unique_ptr<vemo::runtime::Poller> poller_;
};

// What the runtime should hold for a channel once `value` sits in its
// registers: the number for numeric channels, the text for strings.
struct Expected {
    double number = 0;
    std::string text;
};

// What a database value or runtime variable stands for.
Expected expectedOf(const vemo::runtime::Value& value);

// The registers that hold a number or text of a word-area channel (not a
// bit), laid out by the device's byte-order properties, from the channel's
// address on. A text fills the channel's length, the rest zero.
std::vector<uint16_t> channelRegisters(const vemo::runtime::ChannelInfo& channel,
                                       const std::vector<int32_t>& properties, const Expected& value);
// Whether the memory holds the value for the channel: the bit of a bit area
// or of a register (0/1), or every register of a number or text.
bool memoryHolds(const plc::Memory& memory, const vemo::runtime::ChannelInfo& channel,
                 const std::vector<int32_t>& properties, const Expected& value);

// Puts a value into the simulator's registers for a channel, laid out by
// the device's byte-order properties. Bits and register bits take 0/1.
void placeNumber(vemo::Simulator& sim, const vemo::runtime::ChannelInfo& channel,
                 const std::vector<int32_t>& properties, double value);
void placeText(vemo::Simulator& sim, const vemo::runtime::ChannelInfo& channel, const std::vector<int32_t>& properties,
               const std::string& text);
// A value that exercises the channel's whole type (sign, width, digits).
Expected probeValue(const vemo::runtime::ChannelInfo& channel, const std::vector<int32_t>& properties);
void placeExpected(vemo::Simulator& sim, const vemo::runtime::ChannelInfo& channel,
                   const std::vector<int32_t>& properties, const Expected& value);

// Minimal JSON value, enough to read `vemo poll --once --json`.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const;
    const Json& operator[](size_t index) const;
};
// Throws std::runtime_error at the first thing it cannot read.
Json parseJson(const std::string& text);

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs the built vemo with the arguments (each quoted for the shell).
ProcessResult runVemo(const std::vector<std::string>& args);

// A file under the test's temporary directory holding the bytes.
std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace e2e
