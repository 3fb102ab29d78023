// End to end over loopback TCP, side by side in one run:
//
//   driver         full collection cycles of the built driver (loaded with
//                  dlopen by the runtime stand-in's code) against `vemo sim`
//   floor          the same request frames, in the same order, over a plain
//                  blocking socket to the same simulator, waiting for each reply
//   standin_floor  the same frames through the stand-in's own TCP channel
//                  (no driver): what the channel adds to the floor
//   libmodbus      libmodbus reading the same number of elements per request
//                  (0x03 registers, 0x01 bits) from libmodbus's own server
//
//   e2e_compare --driver LIB --sim-port 15020 --modbus-port 15502
//               [--channels 1000] [--cycles 50] [--rounds 8] [--json FILE]
//
// The contenders take turns, round after round (the order rotates), so that
// a change in the machine's load hits them alike. Each cycle is timed on its
// own; the figures are medians over all cycles. The servers are separate
// processes (pin them and this program with taskset).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "perf_device.h"
#include "runtime/channel.h"
#include "runtime/session.h"
#include "wire_client.h"

namespace {

struct SOptions {
    std::string driver;
    std::string host = "127.0.0.1";
    uint16_t simPort = 15020;
    uint16_t modbusPort = 15502;
    int channels = 1000;
    int cycles = 50;
    int rounds = 8;
    std::string json;
    std::string label;
};

[[noreturn]] void Usage(const char* why)
{
    std::fprintf(stderr,
                 "e2e_compare: %s\nusage: e2e_compare --driver LIB [--sim-port P] [--modbus-port P] [--channels N] "
                 "[--cycles N] [--rounds N] [--json FILE] [--label TEXT]\n",
                 why);
    std::exit(2);
}

SOptions ParseOptions(int argc, char** argv)
{
    SOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (i + 1 >= argc) Usage(("missing value for " + key).c_str());
        const char* value = argv[++i];
        if (key == "--driver") {
            o.driver = value;
        } else if (key == "--host") {
            o.host = value;
        } else if (key == "--sim-port") {
            o.simPort = static_cast<uint16_t>(std::atoi(value));
        } else if (key == "--modbus-port") {
            o.modbusPort = static_cast<uint16_t>(std::atoi(value));
        } else if (key == "--channels") {
            o.channels = std::atoi(value);
        } else if (key == "--cycles") {
            o.cycles = std::atoi(value);
        } else if (key == "--rounds") {
            o.rounds = std::atoi(value);
        } else if (key == "--json") {
            o.json = value;
        } else if (key == "--label") {
            o.label = value;
        } else {
            Usage(("unknown option " + key).c_str());
        }
    }
    if (o.driver.empty()) Usage("--driver is required");
    if (o.channels < 1 || o.cycles < 1 || o.rounds < 1) Usage("counts must be positive");
    return o;
}

// The stand-in's TCP channel, noting the request frames while asked to.
class CRecordingChannel : public vemo::runtime::TcpChannel {
public:
    using TcpChannel::TcpChannel;
    int WriteData(const unsigned char* data, int& length, int timeoutMs) override
    {
        if (m_record && data && length > 0) m_frames.emplace_back(data, data + length);
        return TcpChannel::WriteData(data, length, timeoutMs);
    }
    bool m_record = false;
    std::vector<perf::Frame> m_frames;
};

// The frames through the stand-in's channel: write, then read until the
// reply is complete, as the driver's transaction does but with no driver.
bool StandinCycle(vemo::runtime::TcpChannel& channel, const std::vector<perf::Frame>& frames)
{
    unsigned char buffer[512];
    for (const perf::Frame& frame : frames) {
        const size_t expected = perf::ExpectedReplyBytes(frame);
        int length = static_cast<int>(frame.size());
        channel.WriteData(frame.data(), length, 1000);
        size_t got = 0;
        while (got < expected) {
            int room = sizeof buffer;
            int n = channel.ReadData(buffer, room, 1000);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
    }
    return true;
}

struct SContender {
    std::string name;
    std::function<bool()> cycle;
    std::vector<double> ms;  // one entry per timed cycle
    int failed = 0;
};

double Median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

double Mean(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char** argv)
{
    const SOptions o = ParseOptions(argc, argv);
    try {
        const std::vector<perf::SChannel> channels = perf::MixedChannels(o.channels);
        std::vector<uint8_t> blob = perf::BuildBlob(channels);

        auto recording = std::make_unique<CRecordingChannel>(o.host, o.simPort);
        CRecordingChannel* recorder = recording.get();
        vemo::runtime::Session session(o.driver, std::move(blob), std::move(recording), "perf");
        const int calls = session.description().rankCount > 0 ? session.description().rankCount : 1;

        // One full cycle to note the frames (and to warm everything up).
        recorder->m_record = true;
        for (int i = 0; i < calls; ++i) {
            int r = session.collect();
            if (r != 0) throw std::runtime_error("warm-up collection call failed with " + std::to_string(r));
        }
        recorder->m_record = false;
        const std::vector<perf::Frame> frames = recorder->m_frames;
        std::vector<perf::SReadRequest> requests;
        size_t requestBytes = 0;
        size_t replyBytes = 0;
        for (const perf::Frame& f : frames) {
            requests.push_back(perf::DescribeRequest(f));
            requestBytes += f.size();
            replyBytes += perf::ExpectedReplyBytes(f);
        }

        perf::CFloorClient floor(o.host, o.simPort);
        vemo::runtime::TcpChannel standin(o.host, o.simPort);
        perf::CModbusReference modbus(o.host, o.modbusPort);

        std::vector<SContender> contenders;
        contenders.push_back({"driver",
                              [&] {
                                  bool ok = true;
                                  for (int i = 0; i < calls; ++i) ok = session.collect() == 0 && ok;
                                  return ok;
                              },
                              {},
                              0});
        contenders.push_back({"floor", [&] { return floor.RunCycle(frames); }, {}, 0});
        contenders.push_back({"standin_floor", [&] { return StandinCycle(standin, frames); }, {}, 0});
        contenders.push_back({"libmodbus", [&] { return modbus.RunCycle(requests); }, {}, 0});

        // Each contender's first cycle warms its own path up; untimed.
        for (SContender& c : contenders) c.cycle();
        for (int round = 0; round < o.rounds; ++round) {
            for (size_t k = 0; k < contenders.size(); ++k) {
                SContender& c = contenders[(k + static_cast<size_t>(round)) % contenders.size()];
                for (int i = 0; i < o.cycles; ++i) {
                    const auto start = std::chrono::steady_clock::now();
                    const bool ok = c.cycle();
                    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
                    c.ms.push_back(took.count());
                    if (!ok) ++c.failed;
                }
            }
        }

        const double driver = Median(contenders[0].ms);
        const double floorMs = Median(contenders[1].ms);
        const double standinMs = Median(contenders[2].ms);
        const double modbusMs = Median(contenders[3].ms);
        std::printf(
            "%s%s%zu channels, %d requests per cycle (%zu request bytes, %zu reply bytes), %d x %d cycles each\n",
            o.label.c_str(), o.label.empty() ? "" : ": ", channels.size(), calls, requestBytes, replyBytes, o.rounds,
            o.cycles);
        std::printf("  %-14s %10s %10s %10s %10s %7s\n", "contender", "median ms", "mean ms", "p90 ms", "per req us",
                    "failed");
        for (const SContender& c : contenders) {
            std::printf("  %-14s %10.3f %10.3f %10.3f %10.1f %7d\n", c.name.c_str(), Median(c.ms), Mean(c.ms),
                        Percentile(c.ms, 0.9), 1000.0 * Median(c.ms) / calls, c.failed);
        }
        std::printf("  driver/floor %.3f   driver/libmodbus %.3f   standin_floor/floor %.3f   libmodbus/floor %.3f\n",
                    driver / floorMs, driver / modbusMs, standinMs / floorMs, modbusMs / floorMs);

        if (!o.json.empty()) {
            std::ofstream out(o.json);
            out << "{\"label\":\"" << o.label << "\",\"channels\":" << channels.size() << ",\"requests\":" << calls
                << ",\"request_bytes\":" << requestBytes << ",\"reply_bytes\":" << replyBytes
                << ",\"cycles\":" << o.rounds * o.cycles << ",\"median_ms\":{";
            for (size_t k = 0; k < contenders.size(); ++k) {
                out << (k ? "," : "") << "\"" << contenders[k].name << "\":" << Median(contenders[k].ms);
            }
            out << "},\"failed\":{";
            for (size_t k = 0; k < contenders.size(); ++k) {
                out << (k ? "," : "") << "\"" << contenders[k].name << "\":" << contenders[k].failed;
            }
            out << "},\"driver_over_floor\":" << driver / floorMs << ",\"driver_over_libmodbus\":" << driver / modbusMs
                << ",\"standin_over_floor\":" << standinMs / floorMs << "}\n";
        }
        int failed = 0;
        for (const SContender& c : contenders) failed += c.failed;
        return failed == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "e2e_compare: %s\n", e.what());
        return 1;
    }
}
