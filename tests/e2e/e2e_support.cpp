#include "e2e_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "config/blob_compiler.h"
#include "config/device_config.h"
#include "driver/holn_data.h"
#include "plc/plc_values.h"
#include "runtime/device_table.h"

#ifndef E2E_DRIVER_PATH
#error "E2E_DRIVER_PATH must name the built driver library"
#endif

namespace e2e {

using vemo::runtime::ChannelInfo;

std::string driverPath()
{
    return E2E_DRIVER_PATH;
}

std::string vemoPath()
{
    return E2E_VEMO_PATH;
}

std::string samplePath(const std::string& file)
{
    return std::string(E2E_SAMPLE_DIR) + "/" + file;
}

namespace {

std::vector<uint8_t> withWait(std::vector<uint8_t> blob, int32_t waitMs)
{
    vemo::runtime::setBlobProperty(blob, DEVPROP_WAITTIME, waitMs);
    return blob;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isFloat(const plc::ValueType& type)
{
    return type.kind == plc::ValueKind::Float;
}

// The device property that holds the byte order of a value of this type.
int orderOf(const plc::ValueType& type, const std::vector<int32_t>& properties)
{
    int index = type.bytes == 2   ? DEVPROP_ORDER16
                : type.bytes == 4 ? (isFloat(type) ? DEVPROP_ORDERFLOAT : DEVPROP_ORDER32)
                                  : (isFloat(type) ? DEVPROP_ORDERDOUBLE : DEVPROP_ORDER64);
    return properties.at(static_cast<size_t>(index));
}

bool isBitChannel(const ChannelInfo& channel)
{
    return channel.code < 16 || channel.code == 20;
}

plc::ValueType typeOf(const ChannelInfo& channel)
{
    std::optional<plc::ValueType> type = plc::parseValueType(channel.typeName);
    if (!type) throw std::runtime_error("no register layout for type " + channel.typeName);
    return *type;
}

}  // namespace

std::vector<uint8_t> compileText(const std::string& toml, int32_t waitMs)
{
    return withWait(vemo::compileBlob(vemo::parseDeviceConfig(toml, "test.toml")).blob, waitMs);
}

std::vector<uint8_t> compileFile(const std::string& path, int32_t waitMs)
{
    return withWait(vemo::compileBlob(vemo::loadDeviceConfig(path)).blob, waitMs);
}

vemo::SimulatorOptions quietSimulator()
{
    vemo::SimulatorOptions options;
    options.port = 0;
    options.signals = false;
    options.log = [](const std::string&) {};
    return options;
}

Rig::Rig(const std::vector<uint8_t>& blob, const vemo::SimulatorOptions& options)
    : sim_(std::make_unique<vemo::Simulator>(options))
{
    sim_->start();
    auto channel = std::make_unique<vemo::runtime::TcpChannel>("127.0.0.1", sim_->port());
    session_ = std::make_unique<vemo::runtime::Session>(driverPath(), blob, std::move(channel));
    poller_ = std::make_unique<vemo::runtime::Poller>(*session_, stats_);
}

Rig::~Rig()
{
    poller_.reset();
    session_.reset();
    sim_->stop();
}

bool Rig::cycle(int tries)
{
    for (int i = 0; i < tries; ++i) {
        if (poller_->runCycle()) return true;
    }
    return false;
}

Expected expectedOf(const vemo::runtime::Value& value)
{
    Expected e;
    if (value.type == DATATYPE_INT) e.number = value.i;
    if (value.type == DATATYPE_DOUBLE) e.number = value.d;
    if (value.type == DATATYPE_STRING) e.text = value.s;
    return e;
}

std::vector<uint16_t> channelRegisters(const ChannelInfo& channel, const std::vector<int32_t>& properties,
                                       const Expected& value)
{
    if (channel.databaseType == DATATYPE_STRING) {
        std::vector<uint8_t> bytes =
            plc::stringBytes(value.text, properties.at(DEVPROP_STRCODE), properties.at(DEVPROP_STRORDER));
        // The channel's registers hold its length in bytes; the rest is zero.
        bytes.resize(channel.bit + (channel.bit % 2), 0);
        return plc::toRegisters(bytes);
    }
    const plc::ValueType type = typeOf(channel);
    std::vector<uint8_t> canonical = isFloat(type) ? plc::canonicalFloat(type, value.number)
                                                   : plc::canonicalInteger(type, static_cast<int64_t>(value.number));
    return plc::toRegisters(plc::wireOrder(canonical, orderOf(type, properties)));
}

bool memoryHolds(const plc::Memory& memory, const ChannelInfo& channel, const std::vector<int32_t>& properties,
                 const Expected& value)
{
    const int area = static_cast<int>(channel.area);
    if (channel.code == 20) return memory.bit(area, channel.address) == (value.number != 0);
    if (channel.code < 16) return ((memory.word(area, channel.address) >> channel.code) & 1u) == (value.number != 0);
    const std::vector<uint16_t> registers = channelRegisters(channel, properties, value);
    for (size_t i = 0; i < registers.size(); ++i) {
        if (memory.word(area, channel.address + static_cast<uint32_t>(i)) != registers[i]) return false;
    }
    return true;
}

void placeNumber(vemo::Simulator& sim, const ChannelInfo& channel, const std::vector<int32_t>& properties, double value)
{
    const int area = static_cast<int>(channel.area);
    if (channel.code == 20) {
        sim.withMemory([&](plc::Memory& m) { m.setBit(area, channel.address, value != 0); });
        return;
    }
    if (channel.code < 16) {
        sim.withMemory([&](plc::Memory& m) {
            uint16_t word = m.word(area, channel.address);
            uint16_t mask = static_cast<uint16_t>(1u << channel.code);
            m.setWord(area, channel.address, static_cast<uint16_t>(value != 0 ? word | mask : word & ~mask));
        });
        return;
    }
    Expected e;
    e.number = value;
    std::vector<uint16_t> registers = channelRegisters(channel, properties, e);
    sim.withMemory([&](plc::Memory& m) {
        for (size_t i = 0; i < registers.size(); ++i)
            m.setWord(area, channel.address + static_cast<uint32_t>(i), registers[i]);
    });
}

void placeText(vemo::Simulator& sim, const ChannelInfo& channel, const std::vector<int32_t>& properties,
               const std::string& text)
{
    Expected e;
    e.text = text;
    std::vector<uint16_t> registers = channelRegisters(channel, properties, e);
    sim.withMemory([&](plc::Memory& m) {
        for (size_t i = 0; i < registers.size(); ++i) {
            m.setWord(static_cast<int>(channel.area), channel.address + static_cast<uint32_t>(i), registers[i]);
        }
    });
}

Expected probeValue(const ChannelInfo& channel, const std::vector<int32_t>& properties)
{
    Expected e;
    if (isBitChannel(channel)) {
        e.number = 1;
        return e;
    }
    if (channel.databaseType == DATATYPE_STRING) {
        // One byte per character in the single-byte encoding, two in UTF-16.
        const size_t chars = properties.at(DEVPROP_STRCODE) == 0 ? channel.bit : channel.bit / 2;
        e.text = std::string("Vemo-0123456789-abcdefghijklmnopqrstuvwxyz").substr(0, chars);
        return e;
    }
    static const std::map<std::string, double> VALUES = {
        {"WUB", 48879},
        {"WB", -12345},
        {"WD", 4321},
        {"DUB", 3000000000.0},
        {"DB", -123456789},
        {"DD", 87654321},
        {"DF", -1234.5},
        {"LUB", 1099511627781.0},
        {"LB", -1099511627776.0},
        {"LD", 1234567890123456.0},
        {"LF", 3.141592653589793},
    };
    e.number = VALUES.at(channel.typeName);
    return e;
}

void placeExpected(vemo::Simulator& sim, const ChannelInfo& channel, const std::vector<int32_t>& properties,
                   const Expected& value)
{
    if (channel.databaseType == DATATYPE_STRING) {
        placeText(sim, channel, properties, value.text);
    } else {
        placeNumber(sim, channel, properties, value.number);
    }
}

// --- JSON

const Json& Json::operator[](const std::string& key) const
{
    auto it = fields.find(key);
    if (kind != Object || it == fields.end()) throw std::runtime_error("JSON has no field " + key);
    return it->second;
}

const Json& Json::operator[](size_t index) const
{
    if (kind != Array || index >= items.size()) throw std::runtime_error("JSON has no item " + std::to_string(index));
    return items[index];
}

namespace {

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    Json document()
    {
        Json value = next();
        skipSpace();
        if (pos_ != text_.size()) fail("text after the document");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("JSON at " + std::to_string(pos_) + ": " + what);
    }
    void skipSpace()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool take(char ch)
    {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ch) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expect(char ch)
    {
        if (!take(ch)) fail(std::string("expected ") + ch);
    }
    bool word(const char* w)
    {
        size_t n = std::char_traits<char>::length(w);
        if (text_.compare(pos_, n, w) != 0) return false;
        pos_ += n;
        return true;
    }

    Json next()
    {
        skipSpace();
        if (pos_ >= text_.size()) fail("unexpected end");
        Json v;
        char ch = text_[pos_];
        if (ch == '{') {
            ++pos_;
            v.kind = Json::Object;
            if (take('}')) return v;
            do {
                skipSpace();
                std::string key = string();
                expect(':');
                v.fields[key] = next();
            } while (take(','));
            expect('}');
        } else if (ch == '[') {
            ++pos_;
            v.kind = Json::Array;
            if (take(']')) return v;
            do {
                v.items.push_back(next());
            } while (take(','));
            expect(']');
        } else if (ch == '"') {
            v.kind = Json::String;
            v.text = string();
        } else if (word("true") || word("false")) {
            v.kind = Json::Bool;
            v.boolean = text_[pos_ - 1] == 'e' && text_[pos_ - 2] == 'u';
        } else if (word("null")) {
            v.kind = Json::Null;
        } else {
            const char* start = text_.c_str() + pos_;
            char* end = nullptr;
            v.kind = Json::Number;
            v.number = std::strtod(start, &end);
            if (end == start) fail("not a value");
            pos_ += static_cast<size_t>(end - start);
        }
        return v;
    }

    std::string string()
    {
        if (pos_ >= text_.size() || text_[pos_] != '"') fail("expected a string");
        ++pos_;
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char ch = text_[pos_++];
            if (ch != '\\') {
                out += ch;
                continue;
            }
            if (pos_ >= text_.size()) fail("unfinished escape");
            char e = text_[pos_++];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (pos_ + 4 > text_.size()) fail("short \\u escape");
                    unsigned cp = static_cast<unsigned>(std::stoul(text_.substr(pos_, 4), nullptr, 16));
                    pos_ += 4;
                    if (cp >= 0x80) fail("\\u escape beyond ASCII");
                    out += static_cast<char>(cp);
                    break;
                }
                default:
                    out += e;
            }
        }
        if (pos_ >= text_.size()) fail("unfinished string");
        ++pos_;
        return out;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

std::string shellQuoted(const std::string& arg)
{
    std::string out = "'";
    for (char ch : arg) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

}  // namespace

Json parseJson(const std::string& text)
{
    return JsonReader(text).document();
}

std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string path = ::testing::TempDir() + "e2e_" + std::to_string(::getpid()) + "_" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

ProcessResult runVemo(const std::vector<std::string>& args)
{
    const std::string errPath = writeTempFile("stderr.txt", {});
    std::string command = shellQuoted(vemoPath());
    for (const std::string& a : args) command += " " + shellQuoted(a);
    command += " 2>" + shellQuoted(errPath) + " </dev/null";
    ProcessResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readAll(errPath);
    std::remove(errPath.c_str());
    return result;
}

}  // namespace e2e
