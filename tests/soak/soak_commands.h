// Random writes and IO-control commands over the channels of a device
// description: each knows the registers it covers, the values it writes
// and the variables it reads into, so that the run can check the outcome.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "runtime/database.h"
#include "runtime/device_table.h"

namespace soak {

using Rng = std::mt19937_64;
using vemo::runtime::ChannelInfo;

// A random value that fits the channel's type and survives the trip through
// the runtime's types exactly: whole numbers below 2^53, floats in quarters,
// texts of letters and digits up to the channel's length.
e2e::Expected randomValue(const ChannelInfo& channel, Rng& rng);

// Registers the channel's value takes: 1 for a bit of a register, the
// length in bytes over two (rounded up) for a text, 0 for a bit-area bit.
uint32_t registersOf(const ChannelInfo& channel);

// A number as command text: whole numbers without a fraction, others with
// ten decimals (every value randomValue makes is exact that way).
std::string numberText(double value);

enum class Delivery {
    None,     // a write
    Numbers,  // one numeric variable per row
    Texts,    // one string variable per row, the value as text
    Joined,   // all rows in one string variable, separated by "," or CR LF
};

struct Command {
    const char* keyword = "";
    std::string text;
    bool writes = false;
    std::vector<const ChannelInfo*> rows;  // in row order
    std::vector<e2e::Expected> values;     // writes: what each row gets
    Delivery delivery = Delivery::None;
    std::vector<std::string> targets;  // Numbers/Texts: one per row; Joined: one
    std::vector<int> recordEnds;       // READBLOCK: 1 where a record ends (CR LF follows)
    // Variables to set before the command (the values a write takes).
    std::vector<std::pair<std::string, vemo::runtime::Value>> inputs;
};

// Names of every variable the commands use, with their types; declare them
// all before the first command.
std::vector<std::pair<std::string, vemo::runtime::Value>> commandVariables();
// The status variable every command names.
extern const char* const STATUS_VARIABLE;

// What the device offers the commands: which channels can be covered
// together by one command.
class CommandMaker {
public:
    CommandMaker(const vemo::runtime::DeviceDescription& device, Rng& rng);

    static constexpr int KINDS = 12;
    static const char* kindName(int kind);
    // A command of kind 0 .. KINDS-1, in the order of the command table
    // (even kinds read, odd kinds write).
    Command make(int kind);

private:
    using Rows = std::vector<const ChannelInfo*>;
    const Rows& pick(const std::vector<Rows>& pool);
    Rows subRun(const Rows& run, size_t most);
    std::string where(const ChannelInfo& first) const;
    void writeValues(Command& c);

    Rng& rng_;
    Rows readable_, writable_;                        // one channel each, strings left out
    Rows readText_, writeText_;                       // numbers of up to 32 bits (READ32, WRITE32)
    std::vector<Rows> readRuns_, writeRuns_;          // consecutive elements of one type
    std::vector<Rows> readWordRuns_, writeWordRuns_;  // the same, registers of up to 32-bit numbers
    std::vector<Rows> readBlocks_, writeBlocks_;      // consecutive registers, any such number type
};

}  // namespace soak
