// Fault-injection soak: the bundled sample configuration polled through the
// built driver, loaded as the runtime loads it, against the in-process
// simulator, which drops, delays, doubles, splits, garbles and refuses
// replies at a fixed seed. Between collections the run writes channels,
// changes read-only registers itself and runs IO-control commands of every
// keyword. After every call it checks the result code, what reached the
// database and the runtime variables, and what the simulator's registers
// hold; at the end, that no descriptor or heap was lost on the way.
//
// VEMO_SOAK_CALLS sets the collection calls (default 10000; the writes and
// commands are a tenth of it), VEMO_SOAK_SEED another sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver/holn_data.h"
#include "e2e_support.h"
#include "runtime/stats.h"
#include "soak_commands.h"
#include "soak_guard.h"

namespace {

using Clock = std::chrono::steady_clock;
using soak::Command;
using soak::Delivery;
using vemo::runtime::ChannelInfo;
using vemo::runtime::ChannelSlot;
using vemo::runtime::Value;

// Short enough that a missing reply costs little, long enough for a reply on
// a loaded machine; the simulator's delays straddle it.
const int32_t WAIT_MS = 150;

// Beyond any legitimate call (at most a few transactions of three attempts
// each), and the whole run at about ten times its usual length.
const std::chrono::seconds CALL_LIMIT(60);
const std::chrono::seconds RUN_DEADLINE(10 * 60);

// Heap that may stay in use at the end beyond the level after the warm-up,
// with nothing lost: the capacities of strings that grow to the longest text
// met later (runtime variables such as a READBLOCK record, the database's
// text slot, the driver's texts), about 400 bytes in a run. A leak of the
// smallest block (32 bytes) in every collection call would exceed it
// seventy times over, one on every injected fault (some 900) seven times.
const size_t HEAP_SLACK_BYTES = 4 * 1024;
// Every descriptor the run needs is open after the warm-up.
const int FD_SLACK = 0;

uint64_t environmentNumber(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::strtoull(text, nullptr, 10);
}

vemo::SimulatorOptions faultySimulator(uint32_t seed)
{
    vemo::SimulatorOptions options = e2e::quietSimulator();
    vemo::FaultOptions& f = options.faults;
    f.seed = seed;
    f.drop = 0.01;
    f.delay = 0.01;
    f.delayMs = 50;  // ... to 400 ms: a third of them arrive within the wait time
    f.delayMaxMs = 400;
    f.stale = 0.02;
    f.split = 0.02;
    f.garbage = 0.01;
    f.exception = 0.01;
    return options;
}

// Result codes the interface specifies for each operation.
bool specifiedForCollect(int r)
{
    return r == 0 || r == 1 || r == 2 || r == 7 || r == -2 || r == -3 || r == -10;
}

bool specifiedForWrite(int r)
{
    return r == 0 || r == 4 || r == 5 || r == static_cast<int>(0x80000001u) || r == -2 || r == -10;
}

bool specifiedForCommand(int r)
{
    return (r >= 0 && r <= 7 && r != 3) || r == static_cast<int>(0x80000001u) || r == -2 || r == -10;
}

// Results by code, counted without allocating while the run goes on.
class CodeCounts {
public:
    void add(int code)
    {
        ++total_;
        if (code >= 0 && code < static_cast<int>(small_.size())) {
            ++small_[static_cast<size_t>(code)];
        } else {
            ++other_;
        }
    }
    uint64_t total() const { return total_; }
    uint64_t of(int code) const { return small_.at(static_cast<size_t>(code)); }
    std::string describe() const
    {
        std::string text;
        for (size_t i = 0; i < small_.size(); ++i) {
            if (small_[i]) text += (text.empty() ? "" : ", ") + std::to_string(i) + ": " + std::to_string(small_[i]);
        }
        if (other_) text += (text.empty() ? "" : ", ") + std::string("other: ") + std::to_string(other_);
        return text.empty() ? "none" : text;
    }

private:
    std::array<uint64_t, 16> small_{};
    uint64_t other_ = 0;
    uint64_t total_ = 0;
};

bool sameValue(const Value& a, const Value& b)
{
    return a.type == b.type && a.i == b.i && a.s == b.s && (a.d == b.d || (std::isnan(a.d) && std::isnan(b.d)));
}

std::string valueText(const Value& v)
{
    if (v.type == DATATYPE_INT) return std::to_string(v.i);
    if (v.type == DATATYPE_DOUBLE) return soak::numberText(v.d);
    return "\"" + v.s + "\"";
}

std::string expectedText(const ChannelInfo& c, const e2e::Expected& e)
{
    return c.databaseType == DATATYPE_STRING ? "\"" + e.text + "\"" : soak::numberText(e.number);
}

// What the registers (or the bit) of a channel hold, for messages.
std::string memoryText(const plc::Memory& m, const ChannelInfo& c)
{
    const int area = static_cast<int>(c.area);
    if (c.code == 20) return m.bit(area, c.address) ? "bit 1" : "bit 0";
    std::string text = "registers";
    char word[8];
    for (uint32_t i = 0; i < soak::registersOf(c); ++i) {
        std::snprintf(word, sizeof word, " %04X", m.word(area, c.address + i));
        text += word;
    }
    return text;
}

// A number a command delivered as text; false unless the whole text is one.
bool parseNumber(const std::string& text, double& out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// Splits a joined delivery at "," and CR LF; `breaks` tells which separator
// came after each value (true: CR LF).
std::vector<std::string> splitJoined(const std::string& text, std::vector<bool>& breaks)
{
    std::vector<std::string> values(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',' || (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            breaks.push_back(text[i] == '\r');
            if (text[i] == '\r') ++i;
            values.emplace_back();
        } else {
            values.back() += text[i];
        }
    }
    return values;
}

// The registers and bits a set of rows covers, as they were before a write:
// each row's own bits, and for every register the bits no row covers.
class Footprint {
public:
    Footprint(const std::vector<const ChannelInfo*>& rows)
    {
        for (const ChannelInfo* row : rows) {
            rowCells_.emplace_back();
            if (row->code == 20) {
                rowCells_.back().push_back({cellOf(row->area, row->address, true), 1});
                continue;
            }
            const uint16_t mask = row->code < 16 ? static_cast<uint16_t>(1u << row->code) : 0xFFFF;
            for (uint32_t i = 0; i < soak::registersOf(*row); ++i) {
                const size_t cell = cellOf(row->area, row->address + i, false);
                cells_[cell].covered |= mask;
                rowCells_.back().push_back({cell, mask});
            }
        }
    }

    void take(const plc::Memory& m)
    {
        for (Cell& c : cells_) c.before = read(m, c);
    }
    bool rowUnchanged(const plc::Memory& m, size_t row) const
    {
        for (const auto& rc : rowCells_[row]) {
            const Cell& c = cells_[rc.first];
            if ((read(m, c) & rc.second) != (c.before & rc.second)) return false;
        }
        return true;
    }
    // Bits of the covered registers that belong to no row (the rest of a
    // register whose bits were written).
    bool othersUnchanged(const plc::Memory& m) const
    {
        for (const Cell& c : cells_) {
            const uint16_t others = static_cast<uint16_t>(~c.covered);
            if (!c.isBit && (read(m, c) & others) != (c.before & others)) return false;
        }
        return true;
    }

private:
    struct Cell {
        int area;
        uint32_t address;
        bool isBit;
        uint16_t covered;
        uint16_t before;
    };

    static uint16_t read(const plc::Memory& m, const Cell& c)
    {
        return c.isBit ? (m.bit(c.area, c.address) ? 1 : 0) : m.word(c.area, c.address);
    }
    size_t cellOf(uint32_t area, uint32_t address, bool isBit)
    {
        for (size_t i = 0; i < cells_.size(); ++i) {
            if (cells_[i].area == static_cast<int>(area) && cells_[i].address == address && cells_[i].isBit == isBit)
                return i;
        }
        cells_.push_back({static_cast<int>(area), address, isBit, static_cast<uint16_t>(isBit ? 1 : 0), 0});
        return cells_.size() - 1;
    }

    std::vector<Cell> cells_;
    std::vector<std::vector<std::pair<size_t, uint16_t>>> rowCells_;
};

uint32_t seedFromEnvironment()
{
    return static_cast<uint32_t>(environmentNumber("VEMO_SOAK_SEED", 1));
}

// Only delays, a quarter of the replies, all longer than the wait time: the
// late replies that a retry or the next call meets.
vemo::SimulatorOptions delayingSimulator(uint32_t seed)
{
    vemo::SimulatorOptions options = e2e::quietSimulator();
    vemo::FaultOptions& f = options.faults;
    f.seed = seed;
    f.delay = 0.25;
    f.delayMs = WAIT_MS + 50;
    f.delayMaxMs = 2 * WAIT_MS + 100;
    return options;
}

class Soak : public ::testing::Test {
protected:
    explicit Soak(const vemo::SimulatorOptions& options = faultySimulator(seedFromEnvironment()))
        : calls_(environmentNumber("VEMO_SOAK_CALLS", 10000)),
          seed_(seedFromEnvironment()),
          rng_(seed_),
          rig_(e2e::compileFile(e2e::samplePath("demo.toml"), WAIT_MS), options),
          device_(rig_.device()),
          props_(device_.properties),
          maker_(device_, rng_),
          dog_(CALL_LIMIT, RUN_DEADLINE)
    {
        for (const auto& v : soak::commandVariables()) rig_.db().setVariable(v.first, v.second);
        ranks_.resize(static_cast<size_t>(device_.rankCount));
        for (const ChannelInfo& c : device_.channels) {
            if (c.rank >= 0) ranks_.at(static_cast<size_t>(c.rank)).push_back(c.index);
            if (c.rwFlag != 0) (c.databaseType == DATATYPE_STRING ? writableTexts_ : writableNumbers_).push_back(&c);
            if (c.rwFlag == 0 && c.databaseType != DATATYPE_STRING) readOnly_.push_back(&c);
        }
        before_.resize(static_cast<size_t>(device_.channelCount()));
    }

    // Operations besides collection, by weight.
    enum Op { WriteNumber, WriteText, WriteReadOnly, Poke, RunCommand };
    Op pickOp()
    {
        const uint64_t n = rng_() % 100;
        if (n < 25) return WriteNumber;
        if (n < 31) return WriteText;
        if (n < 34) return WriteReadOnly;
        if (n < 38) return Poke;
        return RunCommand;
    }

    void collect();
    void operate(Op op, int kind);
    void writeChannel(const ChannelInfo& c, e2e::Expected value, bool refused);
    void poke();
    void command(const Command& cmd);
    void checkWrite(const std::vector<const ChannelInfo*>& rows, const std::vector<e2e::Expected>& values,
                    Footprint& footprint, uint64_t carriedOutBefore, int result, const std::string& what);
    void checkDelivery(const Command& cmd);
    // Waits until the simulator has handled every byte the driver sent (and,
    // when `idle`, sent every reply it holds).
    void settle(bool idle);
    void report(double seconds);

    vemo::runtime::Device& device() { return rig_.session().device(); }
    const ChannelInfo& any(const std::vector<const ChannelInfo*>& pool) { return *pool[rng_() % pool.size()]; }

    const uint64_t calls_;
    const uint32_t seed_;
    soak::Rng rng_;
    e2e::Rig rig_;
    const vemo::runtime::DeviceDescription& device_;
    const std::vector<int32_t>& props_;
    soak::CommandMaker maker_;
    soak::Watchdog dog_;

    std::vector<std::vector<int>> ranks_;  // channels each collection rank stores
    std::vector<const ChannelInfo*> writableNumbers_, writableTexts_, readOnly_;
    std::vector<ChannelSlot> before_;
    std::vector<int> stored_;
    int nextRank_ = -1;  // -1 until the first successful read shows where the cursor is

    CodeCounts collects_, writes_, commands_;
    uint64_t textWrites_ = 0, refusedWrites_ = 0, pokes_ = 0;
    std::array<uint64_t, soak::CommandMaker::KINDS> byKind_{};
    uint64_t failedUnchanged_ = 0, failedCarriedOut_ = 0;
};

void Soak::settle(bool idle)
{
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        const vemo::SimulatorStats s = rig_.sim().stats();
        if (s.requestBytes == rig_.session().channel().bytesSent() && (!idle || s.unsentBytes == 0)) return;
        if (Clock::now() > limit) {
            ADD_FAILURE() << "the simulator did not handle every request: " << s.requestBytes << " of "
                          << rig_.session().channel().bytesSent() << " bytes, " << s.unsentBytes << " bytes unsent";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Soak::collect()
{
    const vemo::runtime::Database& db = rig_.db();
    for (size_t i = 0; i < before_.size(); ++i) before_[i] = db.channel(static_cast<int>(i));
    int r;
    {
        soak::Watchdog::Scope watch(dog_, "CollectDevData");
        r = device().collect();
    }
    rig_.stats().recordCall(r, vemo::runtime::wallClockMs());
    collects_.add(r);
    const std::string call = "collection call " + std::to_string(collects_.total());
    ASSERT_TRUE(specifiedForCollect(r)) << call << " returned " << r;
    // A channel, a database, no address change, a cursor always on a block:
    // only the transaction can fail.
    ASSERT_TRUE(r == 0 || r == 2 || r == 7) << call << " returned " << r;

    if (r != 0) {
        // Nothing of a failed read reaches the database.
        for (size_t i = 0; i < before_.size(); ++i) {
            const ChannelSlot& now = db.channel(static_cast<int>(i));
            EXPECT_EQ(now.stores, before_[i].stores) << call << " (" << r << ") stored " << device_.channels[i].name;
            EXPECT_TRUE(sameValue(now.value, before_[i].value)) << call << " changed " << device_.channels[i].name;
        }
        return;
    }
    stored_.clear();
    for (size_t i = 0; i < before_.size(); ++i) {
        const uint64_t stores = db.channel(static_cast<int>(i)).stores;
        if (stores != before_[i].stores) stored_.push_back(static_cast<int>(i));
        EXPECT_LE(stores, before_[i].stores + 1) << call << " stored " << device_.channels[i].name << " twice";
    }
    // One rank a call, walked round robin: all channels are due all the time.
    if (nextRank_ < 0) {
        for (size_t k = 0; k < ranks_.size(); ++k) {
            if (ranks_[k] == stored_) nextRank_ = static_cast<int>(k);
        }
        ASSERT_GE(nextRank_, 0) << call << " stored channels of no single rank";
    }
    EXPECT_EQ(stored_, ranks_[static_cast<size_t>(nextRank_)]) << call << " did not store rank " << nextRank_;
    nextRank_ = (nextRank_ + 1) % static_cast<int>(ranks_.size());

    // Every value stored is what the registers hold right now.
    rig_.sim().withMemory([&](plc::Memory& m) {
        for (int i : stored_) {
            const ChannelInfo& c = device_.channels[static_cast<size_t>(i)];
            const Value& v = db.channel(i).value;
            EXPECT_EQ(v.type, c.databaseType) << c.name;
            EXPECT_TRUE(e2e::memoryHolds(m, c, props_, e2e::expectedOf(v)))
                << call << " stored " << valueText(v) << " for " << c.name << " (" << c.typeName << "), "
                << memoryText(m, c);
        }
        return 0;
    });
}

void Soak::checkWrite(const std::vector<const ChannelInfo*>& rows, const std::vector<e2e::Expected>& values,
                      Footprint& footprint, uint64_t carriedOutBefore, int result, const std::string& what)
{
    settle(false);
    const bool carriedOut = rig_.sim().stats().writesCarriedOut > carriedOutBefore;
    rig_.sim().withMemory([&](plc::Memory& m) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const ChannelInfo& c = *rows[i];
            const bool holdsNew = e2e::memoryHolds(m, c, props_, values[i]);
            const bool holdsOld = footprint.rowUnchanged(m, i);
            const std::string detail = what + " (" + std::to_string(result) + "): " + c.name + " written " +
                                       expectedText(c, values[i]) + ", " + memoryText(m, c);
            if (result == 0) {
                EXPECT_TRUE(holdsNew) << detail;
            } else {
                // A request the controller refused or never got changes nothing;
                // one whose reply was lost may have been carried out.
                EXPECT_TRUE(holdsNew || holdsOld) << detail;
                if (!carriedOut) {
                    EXPECT_TRUE(holdsOld) << detail << ", though no write was carried out";
                }
            }
        }
        EXPECT_TRUE(footprint.othersUnchanged(m)) << what << " changed bits beyond its channels";
        return 0;
    });
    if (result != 0) ++(carriedOut ? failedCarriedOut_ : failedUnchanged_);
}

void Soak::writeChannel(const ChannelInfo& c, e2e::Expected value, bool refused)
{
    Footprint footprint({&c});
    rig_.sim().withMemory([&](plc::Memory& m) {
        footprint.take(m);
        return 0;
    });
    const uint64_t carriedOutBefore = rig_.sim().stats().writesCarriedOut;
    const uint64_t sentBefore = rig_.session().channel().bytesSent();
    std::string text = value.text;
    if (c.databaseType == DATATYPE_STRING && rng_() % 4 == 0) {
        // Longer than the channel: the registers take the first (even) length bytes.
        text += "tail";
        value.text = text.substr(0, std::min<size_t>(text.size(), c.bit - c.bit % 2));
    }
    const std::string what = "WriteChannel " + c.name + " = " + expectedText(c, value);
    int r;
    {
        soak::Watchdog::Scope watch(dog_, what.c_str());
        if (c.databaseType == DATATYPE_STRING) {
            r = device().write(c.index, DATATYPE_STRING, &text[0]);
        } else if (c.databaseType == DATATYPE_INT) {
            int v = static_cast<int>(value.number);
            r = device().write(c.index, DATATYPE_INT, &v);
        } else {
            double v = value.number;
            r = device().write(c.index, DATATYPE_DOUBLE, &v);
        }
    }
    writes_.add(r);
    ASSERT_TRUE(specifiedForWrite(r)) << what << " returned " << r;
    if (refused) {
        // A read-only channel is refused before anything is sent.
        EXPECT_EQ(r, 5) << what;
        EXPECT_EQ(rig_.session().channel().bytesSent(), sentBefore) << what << " sent a request";
        rig_.sim().withMemory([&](plc::Memory& m) {
            EXPECT_TRUE(footprint.rowUnchanged(m, 0)) << what;
            return 0;
        });
        return;
    }
    ASSERT_TRUE(r == 0 || r == 4) << what << " returned " << r;
    checkWrite({&c}, {value}, footprint, carriedOutBefore, r, what);
}

void Soak::poke()
{
    // The test's own change of a read-only channel, as the plant would make it.
    const ChannelInfo& c = any(readOnly_);
    e2e::placeExpected(rig_.sim(), c, props_, soak::randomValue(c, rng_));
    ++pokes_;
}

void Soak::command(const Command& cmd)
{
    vemo::runtime::Database& db = rig_.db();
    for (const auto& input : cmd.inputs) db.setVariable(input.first, input.second);
    // Targets start from values no read can deliver, so that a failed
    // command shows if it touched them.
    std::vector<Value> sentinels;
    for (const std::string& t : cmd.targets) {
        const DATATYPE type = db.variable(t)->type;
        sentinels.push_back(type == DATATYPE_INT      ? Value::ofInt(-4242)
                            : type == DATATYPE_DOUBLE ? Value::ofDouble(-4242.5)
                                                      : Value::ofString("-"));
        db.setVariable(t, sentinels.back());
    }
    db.setVariable(soak::STATUS_VARIABLE, Value::ofInt(-1));

    Footprint footprint(cmd.rows);
    rig_.sim().withMemory([&](plc::Memory& m) {
        footprint.take(m);
        return 0;
    });
    const uint64_t carriedOutBefore = rig_.sim().stats().writesCarriedOut;
    int r;
    {
        soak::Watchdog::Scope watch(dog_, cmd.text.c_str());
        r = device().ioctl(cmd.text);
    }
    commands_.add(r);
    ASSERT_TRUE(specifiedForCommand(r)) << cmd.text << " returned " << r;
    // The commands are well-formed and their variables exist: only the
    // transfer can fail, a read with the transaction's codes, a write with 4.
    if (cmd.writes) {
        ASSERT_TRUE(r == 0 || r == 4) << cmd.text << " returned " << r;
    } else {
        ASSERT_TRUE(r == 0 || r == 2 || r == 7) << cmd.text << " returned " << r;
    }
    EXPECT_EQ(db.variable(soak::STATUS_VARIABLE)->i, r) << cmd.text << ": the status variable";

    if (cmd.writes) {
        checkWrite(cmd.rows, cmd.values, footprint, carriedOutBefore, r, cmd.text);
        return;
    }
    settle(false);
    rig_.sim().withMemory([&](plc::Memory& m) {
        EXPECT_TRUE(footprint.othersUnchanged(m)) << cmd.text << " changed registers";
        for (size_t i = 0; i < cmd.rows.size(); ++i) {
            EXPECT_TRUE(footprint.rowUnchanged(m, i)) << cmd.text << " changed " << cmd.rows[i]->name;
        }
        return 0;
    });
    if (r != 0) {
        for (size_t i = 0; i < cmd.targets.size(); ++i) {
            const Value v = *db.variable(cmd.targets[i]);
            EXPECT_TRUE(sameValue(v, sentinels[i]))
                << cmd.text << " (" << r << ") set " << cmd.targets[i] << " to " << valueText(v);
        }
        return;
    }
    checkDelivery(cmd);
}

void Soak::checkDelivery(const Command& cmd)
{
    vemo::runtime::Database& db = rig_.db();
    std::vector<e2e::Expected> got(cmd.rows.size());
    std::vector<std::string> shown(cmd.rows.size());
    if (cmd.delivery == Delivery::Joined) {
        const std::string text = db.variable(cmd.targets[0])->s;
        std::vector<bool> breaks;
        std::vector<std::string> values = splitJoined(text, breaks);
        ASSERT_EQ(values.size(), cmd.rows.size()) << cmd.text << " delivered \"" << text << "\"";
        if (!cmd.recordEnds.empty()) {
            for (size_t i = 0; i < breaks.size(); ++i)
                EXPECT_EQ(breaks[i], cmd.recordEnds[i] == 1)
                    << cmd.text << " separator " << i << " of \"" << text << "\"";
        }
        for (size_t i = 0; i < values.size(); ++i) {
            ASSERT_TRUE(parseNumber(values[i], got[i].number)) << cmd.text << " delivered \"" << text << "\"";
            shown[i] = values[i];
        }
    } else {
        for (size_t i = 0; i < cmd.rows.size(); ++i) {
            const Value v = *db.variable(cmd.targets[i]);
            shown[i] = valueText(v);
            if (cmd.delivery == Delivery::Texts) {
                ASSERT_TRUE(parseNumber(v.s, got[i].number)) << cmd.text << " delivered " << shown[i];
            } else {
                got[i] = e2e::expectedOf(v);
            }
        }
    }
    rig_.sim().withMemory([&](plc::Memory& m) {
        for (size_t i = 0; i < cmd.rows.size(); ++i) {
            EXPECT_TRUE(e2e::memoryHolds(m, *cmd.rows[i], props_, got[i]))
                << cmd.text << " delivered " << shown[i] << " for " << cmd.rows[i]->name << ", "
                << memoryText(m, *cmd.rows[i]);
        }
        return 0;
    });
}

void Soak::operate(Op op, int kind)
{
    switch (op) {
        case WriteNumber: {
            const ChannelInfo& c = any(writableNumbers_);
            writeChannel(c, soak::randomValue(c, rng_), false);
            break;
        }
        case WriteText: {
            const ChannelInfo& c = any(writableTexts_);
            writeChannel(c, soak::randomValue(c, rng_), false);
            ++textWrites_;
            break;
        }
        case WriteReadOnly: {
            const ChannelInfo& c = any(readOnly_);
            writeChannel(c, soak::randomValue(c, rng_), true);
            ++refusedWrites_;
            break;
        }
        case Poke:
            poke();
            break;
        case RunCommand: {
            if (kind < 0) kind = static_cast<int>(rng_() % soak::CommandMaker::KINDS);
            ++byKind_[static_cast<size_t>(kind)];
            command(maker_.make(kind));
            break;
        }
    }
}

void Soak::report(double seconds)
{
    const vemo::SimulatorStats s = rig_.sim().stats();
    const vemo::FaultCounts& f = s.faultsByKind;
    std::string kinds;
    for (int k = 0; k < soak::CommandMaker::KINDS; ++k) {
        kinds += (k ? ", " : "") + std::string(soak::CommandMaker::kindName(k)) + " " +
                 std::to_string(byKind_[static_cast<size_t>(k)]);
    }
    std::printf("soak: seed %u, %.1f s, wait time %d ms\n", seed_, seconds, WAIT_MS);
    std::printf("soak: CollectDevData %llu calls, results %s\n", static_cast<unsigned long long>(collects_.total()),
                collects_.describe().c_str());
    std::printf("soak: WriteChannel %llu calls (%llu texts, %llu to read-only channels), results %s\n",
                static_cast<unsigned long long>(writes_.total()), static_cast<unsigned long long>(textWrites_),
                static_cast<unsigned long long>(refusedWrites_), writes_.describe().c_str());
    std::printf("soak: DevIOCtrl %llu commands (%s), results %s\n", static_cast<unsigned long long>(commands_.total()),
                kinds.c_str(), commands_.describe().c_str());
    std::printf("soak: failed writes: %llu left the registers unchanged, %llu were carried out all the same\n",
                static_cast<unsigned long long>(failedUnchanged_), static_cast<unsigned long long>(failedCarriedOut_));
    std::printf("soak: read-only registers changed by the test: %llu\n", static_cast<unsigned long long>(pokes_));
    std::printf(
        "soak: simulator %llu requests, %llu with faults: drop %llu, delay %llu, stale %llu, split %llu, "
        "garbage %llu, exception %llu; %llu connection(s)\n",
        static_cast<unsigned long long>(s.requests), static_cast<unsigned long long>(s.faults),
        static_cast<unsigned long long>(f.drops), static_cast<unsigned long long>(f.delays),
        static_cast<unsigned long long>(f.stales), static_cast<unsigned long long>(f.splits),
        static_cast<unsigned long long>(f.garbage), static_cast<unsigned long long>(f.exceptions),
        static_cast<unsigned long long>(s.connections));
    std::fflush(stdout);
}

TEST_F(Soak, EveryFaultKindIsSurvivedWithoutWrongValuesOrGrowth)
{
    const Clock::time_point start = Clock::now();
    ASSERT_GT(device_.rankCount, 1);
    ASSERT_FALSE(writableNumbers_.empty() || writableTexts_.empty() || readOnly_.empty());

    // Warm-up: full cycles as `vemo poll` runs them, then every kind of
    // operation once and a stretch of the mix, so that everything the run
    // keeps (buffers, conversion modules, statistics) exists before counting.
    for (int i = 0; i < 3; ++i) rig_.poller().runCycle();
    for (Op op : {WriteNumber, WriteText, WriteReadOnly, Poke}) operate(op, -1);
    for (int k = 0; k < soak::CommandMaker::KINDS; ++k) operate(RunCommand, k);
    const uint64_t opsPerCall = 10;  // about one operation for every ten collection calls
    for (int i = 0; i < 300 && !HasFailure(); ++i) {
        collect();
        if (rng_() % opsPerCall == 0) operate(pickOp(), -1);
    }
    ASSERT_FALSE(HasFailure());
    settle(true);
    const int fdsBefore = soak::openFileDescriptors();
    const size_t heapBefore = soak::heapInUse();

    const uint64_t operations = calls_ / 10;
    while (!HasFailure() && (collects_.total() < calls_ || writes_.total() + commands_.total() < operations)) {
        collect();
        if (rng_() % opsPerCall == 0) operate(pickOp(), -1);
    }
    settle(true);
    const int fdsAfter = soak::openFileDescriptors();
    const size_t heapAfter = soak::heapInUse();
    report(std::chrono::duration<double>(Clock::now() - start).count());
    std::printf(
        "soak: open descriptors %d after the warm-up, %d at the end; heap in use %zu bytes after the "
        "warm-up, %zu at the end\n",
        fdsBefore, fdsAfter, heapBefore, heapAfter);
    ASSERT_FALSE(HasFailure());

    EXPECT_GE(collects_.total(), calls_);
    EXPECT_GE(writes_.total() + commands_.total(), operations);
    EXPECT_LE(fdsAfter, fdsBefore + FD_SLACK);
    EXPECT_LE(heapAfter, heapBefore + HEAP_SLACK_BYTES);

    // The run met every fault, and calls both failed and succeeded.
    const vemo::FaultCounts& f = rig_.sim().stats().faultsByKind;
    for (uint64_t n : {f.drops, f.delays, f.stales, f.splits, f.garbage, f.exceptions}) EXPECT_GT(n, 0u);
    EXPECT_GT(collects_.of(0), collects_.total() / 2);
    EXPECT_GT(collects_.of(2), 0u);
    EXPECT_GT(collects_.of(7), 0u);
    EXPECT_GT(writes_.of(4) + commands_.of(4), 0u);
    EXPECT_GT(failedUnchanged_, 0u);
}

}  // namespace

namespace {

class LateReplySoak : public Soak {
protected:
    LateReplySoak() : Soak(delayingSimulator(seedFromEnvironment())) {}
};

// Commands retry; a reply that comes after its attempt gave up is still on
// the line when the next attempt, command or collection call waits for its
// own. It must be dropped as stale, whatever comes next.
TEST_F(LateReplySoak, LateRepliesNeverPassForTheReplyOfALaterRequest)
{
    const Clock::time_point start = Clock::now();
    const uint64_t commands = calls_ / 50;
    while (!HasFailure() && commands_.total() < commands) {
        operate(RunCommand, -1);
        if (rng_() % 4 == 0) collect();
        if (rng_() % 8 == 0) operate(WriteNumber, -1);
    }
    settle(true);
    report(std::chrono::duration<double>(Clock::now() - start).count());
    ASSERT_FALSE(HasFailure());
    EXPECT_GT(commands_.of(0), commands_.total() / 2);
    EXPECT_GT(rig_.sim().stats().faultsByKind.delays, commands / 4);
}

}  // namespace
