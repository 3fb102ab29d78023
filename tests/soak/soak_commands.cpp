#include "soak_commands.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "plc/plc_model.h"
#include "plc/plc_values.h"

namespace soak {

namespace {

using vemo::runtime::Value;

const int64_t TWO_POW_53 = int64_t(1) << 53;

int64_t between(Rng& rng, int64_t lo, int64_t hi)
{
    return lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1));
}

bool isBit(const ChannelInfo& c)
{
    return c.code < 16 || c.code == 20;
}

bool isText(const ChannelInfo& c)
{
    return c.databaseType == DATATYPE_STRING;
}

bool isWordNumber(const ChannelInfo& c)
{
    return !isBit(c) && !isText(c);
}

// Numbers the text commands carry exactly: they format and parse 32 bits.
bool fitsText(const ChannelInfo& c)
{
    return isWordNumber(c) && registersOf(c) <= 2;
}

// b is the element right after a, of the same type: what one run of a
// READP-style command covers.
bool follows(const ChannelInfo& a, const ChannelInfo& b)
{
    if (a.area != b.area || isText(a) || isText(b)) return false;
    if (a.code == 20) return b.code == 20 && b.address == a.address + 1;
    if (a.code < 16) {
        if (b.code >= 16) return false;
        return (b.address == a.address && b.code == a.code + 1) ||
               (a.code == 15 && b.code == 0 && b.address == a.address + 1);
    }
    return b.typeName == a.typeName && b.address == a.address + registersOf(a);
}

// b's registers start where a's end: what one READBLOCK-style command covers.
bool adjoins(const ChannelInfo& a, const ChannelInfo& b)
{
    return a.area == b.area && fitsText(a) && fitsText(b) && b.address == a.address + registersOf(a);
}

template <class Keep, class Joins>
std::vector<std::vector<const ChannelInfo*>> runsOf(const std::vector<ChannelInfo>& channels, Keep keep, Joins joins)
{
    std::vector<std::vector<const ChannelInfo*>> runs;
    const ChannelInfo* previous = nullptr;
    for (const ChannelInfo& c : channels) {
        if (!keep(c)) {
            previous = nullptr;
            continue;
        }
        if (!previous || !joins(*previous, c)) runs.emplace_back();
        runs.back().push_back(&c);
        previous = &c;
    }
    return runs;
}

std::string indexed(const char* prefix, size_t i, bool twoDigits)
{
    char name[16];
    std::snprintf(name, sizeof name, twoDigits ? "%s%02zu" : "%s%zu", prefix, i);
    return name;
}

const size_t MOST_ROWS = 8;

}  // namespace

const char* const STATUS_VARIABLE = "St";

uint32_t registersOf(const ChannelInfo& c)
{
    if (c.code == 20) return 0;
    if (c.code < 16) return 1;
    if (isText(c)) return (c.bit + 1) / 2;
    auto type = plc::parseValueType(c.typeName);
    if (!type) throw std::runtime_error("no layout for type " + c.typeName);
    return static_cast<uint32_t>(type->bytes / 2);
}

e2e::Expected randomValue(const ChannelInfo& c, Rng& rng)
{
    e2e::Expected e;
    if (isText(c)) {
        static const char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        const size_t length = static_cast<size_t>(between(rng, 1, c.bit > 0 ? c.bit : 1));
        for (size_t i = 0; i < length; ++i) e.text += LETTERS[rng() % (sizeof LETTERS - 1)];
        return e;
    }
    if (isBit(c)) {
        e.number = static_cast<double>(rng() % 2);
        return e;
    }
    const std::string& t = c.typeName;
    int64_t v = 0;
    if (t == "WUB") v = between(rng, 0, 65535);
    if (t == "WB") v = between(rng, -32768, 32767);
    if (t == "WD") v = between(rng, 0, 9999);
    if (t == "DUB") v = between(rng, 0, 4294967295LL);
    if (t == "DB") v = between(rng, -2147483648LL, 2147483647LL);
    if (t == "DD") v = between(rng, 0, 99999999);
    if (t == "LUB") v = between(rng, 0, TWO_POW_53 - 1);
    if (t == "LB") v = between(rng, -(TWO_POW_53 - 1), TWO_POW_53 - 1);
    if (t == "LD") v = between(rng, 0, 999999999999999LL);
    e.number = static_cast<double>(v);
    if (t == "DF") e.number = static_cast<double>(between(rng, -4000000, 4000000)) / 4.0;
    if (t == "LF") e.number = static_cast<double>(between(rng, -(int64_t(1) << 40), int64_t(1) << 40)) / 1024.0;
    return e;
}

std::string numberText(double value)
{
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 9.2e18) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        std::snprintf(text, sizeof text, "%.10f", value);
    }
    return text;
}

std::vector<std::pair<std::string, Value>> commandVariables()
{
    std::vector<std::pair<std::string, Value>> vars = {
        {"Vi", Value::ofInt(0)},      {"Vd", Value::ofDouble(0)},
        {"S", Value::ofString("")},   {STATUS_VARIABLE, Value::ofInt(0)},
        {"Rec", Value::ofString("")}, {"Out", Value::ofString("")},
        {"Wv", Value::ofDouble(0)},   {"Ws", Value::ofString("")},
        {"Blk", Value::ofString("")},
    };
    for (size_t i = 0; i < MOST_ROWS; ++i) {
        vars.emplace_back(indexed("P", i, false), Value::ofDouble(0));
        vars.emplace_back(indexed("Q", i + 1, true), Value::ofDouble(0));
        vars.emplace_back(indexed("W", i + 1, true), Value::ofDouble(0));
    }
    return vars;
}

CommandMaker::CommandMaker(const vemo::runtime::DeviceDescription& device, Rng& rng) : rng_(rng)
{
    auto readable = [](const ChannelInfo& c) { return c.rwFlag != 1 && !isText(c); };
    auto writable = [](const ChannelInfo& c) { return c.rwFlag != 0 && !isText(c); };
    for (const ChannelInfo& c : device.channels) {
        if (readable(c)) readable_.push_back(&c);
        if (writable(c)) writable_.push_back(&c);
        if (readable(c) && fitsText(c)) readText_.push_back(&c);
        if (writable(c) && fitsText(c)) writeText_.push_back(&c);
    }
    readRuns_ = runsOf(device.channels, readable, follows);
    writeRuns_ = runsOf(device.channels, writable, follows);
    auto readWord = [&](const ChannelInfo& c) { return readable(c) && fitsText(c); };
    auto writeWord = [&](const ChannelInfo& c) { return writable(c) && fitsText(c); };
    readWordRuns_ = runsOf(device.channels, readWord, follows);
    writeWordRuns_ = runsOf(device.channels, writeWord, follows);
    readBlocks_ = runsOf(device.channels, readWord, adjoins);
    writeBlocks_ = runsOf(device.channels, writeWord, adjoins);
    for (const auto* pool : {&readRuns_, &writeRuns_, &readWordRuns_, &writeWordRuns_, &readBlocks_, &writeBlocks_}) {
        if (pool->empty()) throw std::runtime_error("the device offers the commands nothing to cover");
    }
}

const char* CommandMaker::kindName(int kind)
{
    static const char* const NAMES[KINDS] = {"READ",      "WRITE",      "READ32",      "WRITE32",
                                             "READP",     "WRITEP",     "READPV",      "WRITEPV",
                                             "READBLOCK", "WRITEBLOCK", "ReadMutiReg", "WriteMutiReg"};
    return kind >= 0 && kind < KINDS ? NAMES[kind] : "?";
}

const CommandMaker::Rows& CommandMaker::pick(const std::vector<Rows>& pool)
{
    return pool[rng_() % pool.size()];
}

CommandMaker::Rows CommandMaker::subRun(const Rows& run, size_t most)
{
    const size_t start = rng_() % run.size();
    const size_t left = run.size() - start;
    const size_t length = 1 + rng_() % (left < most ? left : most);
    return Rows(run.begin() + static_cast<std::ptrdiff_t>(start),
                run.begin() + static_cast<std::ptrdiff_t>(start + length));
}

std::string CommandMaker::where(const ChannelInfo& first) const
{
    // X and Y are addressed in octal in commands.
    static const uint32_t X = static_cast<uint32_t>(plc::areaIndexFromName("X"));
    static const uint32_t Y = static_cast<uint32_t>(plc::areaIndexFromName("Y"));
    char address[24];
    std::snprintf(address, sizeof address, first.area == X || first.area == Y ? "%o" : "%u", first.address);
    return std::string(plc::areaInfo(static_cast<int>(first.area)).name) + "," + address;
}

void CommandMaker::writeValues(Command& c)
{
    for (const ChannelInfo* row : c.rows) c.values.push_back(randomValue(*row, rng_));
}

Command CommandMaker::make(int kind)
{
    Command c;
    c.keyword = kindName(kind);
    c.writes = kind % 2 == 1;
    c.delivery = c.writes ? Delivery::None : Delivery::Numbers;
    const std::string st = STATUS_VARIABLE;
    std::string body;
    switch (kind) {
        case 0: {  // READ(D,20,WUB=V=St)
            c.rows = {readable_[rng_() % readable_.size()]};
            const char* var = c.rows[0]->databaseType == DATATYPE_INT && rng_() % 2 ? "Vi" : "Vd";
            c.targets = {var};
            body = where(*c.rows[0]) + "," + c.rows[0]->typeName + "=" + var + "=" + st;
            break;
        }
        case 1: {  // WRITE(D,20,WUB=5=St), the value literal or from a variable
            c.rows = {writable_[rng_() % writable_.size()]};
            writeValues(c);
            std::string token = numberText(c.values[0].number);
            if (rng_() % 2) {
                c.inputs.emplace_back("Wv", Value::ofDouble(c.values[0].number));
                token = "Wv";
            }
            body = where(*c.rows[0]) + "," + c.rows[0]->typeName + "=" + token + "=" + st;
            break;
        }
        case 2:  // READ32(D,20,WUB=S=St)
            c.rows = {readText_[rng_() % readText_.size()]};
            c.delivery = Delivery::Texts;
            c.targets = {"S"};
            body = where(*c.rows[0]) + "," + c.rows[0]->typeName + "=S=" + st;
            break;
        case 3:  // WRITE32(D,20,WUB=Ws=St)
            c.rows = {writeText_[rng_() % writeText_.size()]};
            writeValues(c);
            c.inputs.emplace_back("Ws", Value::ofString(numberText(c.values[0].number)));
            body = where(*c.rows[0]) + "," + c.rows[0]->typeName + "=Ws=" + st;
            break;
        case 4:    // READP(D,20,WUB,2,P0,P1,St)
        case 6: {  // READPV(D,20,WUB,2,Q01,St)
            c.rows = subRun(pick(readRuns_), MOST_ROWS);
            body = where(*c.rows[0]) + "," + c.rows[0]->typeName + "," + std::to_string(c.rows.size());
            for (size_t i = 0; i < c.rows.size(); ++i) {
                c.targets.push_back(kind == 4 ? indexed("P", i, false) : indexed("Q", i + 1, true));
                if (kind == 4 || i == 0) body += "," + c.targets.back();
            }
            body += "," + st;
            break;
        }
        case 5:    // WRITEP(D,20,WUB,2,5,6,St)
        case 7: {  // WRITEPV(D,20,WUB,2,W01,St)
            c.rows = subRun(pick(writeRuns_), MOST_ROWS);
            writeValues(c);
            body = where(*c.rows[0]) + "," + c.rows[0]->typeName + "," + std::to_string(c.rows.size());
            for (size_t i = 0; i < c.rows.size(); ++i) {
                if (kind == 5) {
                    body += "," + numberText(c.values[i].number);
                } else {
                    c.inputs.emplace_back(indexed("W", i + 1, true), Value::ofDouble(c.values[i].number));
                    if (i == 0) body += "," + c.inputs.back().first;
                }
            }
            body += "," + st;
            break;
        }
        case 8:    // READBLOCK(D,20,[WUB][WB],1,Rec,St) or READBLOCK(D,20,[WUB],2,Rec,St)
        case 9: {  // WRITEBLOCK(D,20,[WUB][WB],1,Blk,St): the records in a variable
            c.rows = subRun(pick(kind == 8 ? readBlocks_ : writeBlocks_), MOST_ROWS);
            bool oneType = c.rows.size() > 1 && rng_() % 2;
            for (const ChannelInfo* row : c.rows) oneType = oneType && row->typeName == c.rows[0]->typeName;
            std::string types;
            for (size_t i = 0; i < (oneType ? 1 : c.rows.size()); ++i) types += "[" + c.rows[i]->typeName + "]";
            const size_t repetitions = oneType ? c.rows.size() : 1;
            // One row per record with a single type repeated; one record otherwise.
            for (size_t i = 0; i < c.rows.size(); ++i) c.recordEnds.push_back(oneType && i + 1 < c.rows.size());
            body = where(*c.rows[0]) + "," + types + "," + std::to_string(repetitions);
            if (kind == 8) {
                c.delivery = Delivery::Joined;
                c.targets = {"Rec"};
                body += ",Rec," + st;
            } else {
                writeValues(c);
                std::string records;
                for (size_t i = 0; i < c.rows.size(); ++i) {
                    if (i > 0) records += c.recordEnds[i - 1] ? "\r\n" : ",";
                    records += numberText(c.values[i].number);
                }
                c.inputs.emplace_back("Blk", Value::ofString(records));
                body += ",Blk," + st;
            }
            break;
        }
        case 10:    // ReadMutiReg(D,20,2,WUB,Out,St)
        case 11: {  // WriteMutiReg(D,20,2,WUB,Blk,St)
            c.rows = subRun(pick(kind == 10 ? readWordRuns_ : writeWordRuns_), MOST_ROWS);
            body = where(*c.rows[0]) + "," + std::to_string(c.rows.size()) + "," + c.rows[0]->typeName;
            if (kind == 10) {
                c.delivery = Delivery::Joined;
                c.targets = {"Out"};
                body += ",Out," + st;
            } else {
                writeValues(c);
                std::string values;
                for (size_t i = 0; i < c.rows.size(); ++i) values += (i ? "," : "") + numberText(c.values[i].number);
                c.inputs.emplace_back("Blk", Value::ofString(values));
                body += ",Blk," + st;
            }
            break;
        }
        default:
            throw std::invalid_argument("no command kind " + std::to_string(kind));
    }
    c.text = std::string(c.keyword) + "(" + body + ")";
    return c;
}

}  // namespace soak
