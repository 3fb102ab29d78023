// Helper of run_tshark_test.sh:
//   ws_capture_tool make FILE.pcap          the test's capture, replies from the controller model
//   ws_capture_tool make-hostile FILE.pcap  hand-made frames of a faulty peer
//   ws_capture_tool fields                  the tshark field names the comparison uses
//   ws_capture_tool expect FILE.pcap [--port N] [--modbus-framing]
//                                           what the dissector must show for FILE
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "ws_expect.h"
#include "ws_pcap_reader.h"
#include "ws_scenario.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: ws_capture_tool make|make-hostile FILE.pcap\n"
                 "       ws_capture_tool fields\n"
                 "       ws_capture_tool expect FILE.pcap [--port N] [--modbus-framing]\n");
    return 2;
}

int make(const std::string& path, bool hostile)
{
    vemo::PcapWriter pcap(path);
    if (hostile)
        wstest::writeHostileScenario(pcap);
    else
        wstest::writeScenario(pcap);
    pcap.flush();
    if (!pcap.good()) {
        std::fprintf(stderr, "ws_capture_tool: writing %s failed\n", path.c_str());
        return 1;
    }
    return 0;
}

int expect(const std::vector<std::string>& args)
{
    wstest::ExpectOptions options;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--modbus-framing") {
            options.framing = wstest::Framing::Modbus;
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            const long port = std::strtol(args[++i].c_str(), nullptr, 10);
            if (port <= 0 || port > 65535) return usage();
            options.port = static_cast<uint16_t>(port);
        } else {
            return usage();
        }
    }
    wstest::Capture capture;
    std::string error;
    if (!wstest::readCapture(args[0], capture, error)) {
        std::fprintf(stderr, "ws_capture_tool: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& line : wstest::expectedLines(capture, options)) std::printf("%s\n", line.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage();
    try {
        if ((args[0] == "make" || args[0] == "make-hostile") && args.size() == 2)
            return make(args[1], args[0] == "make-hostile");
        if (args[0] == "fields" && args.size() == 1) {
            for (const std::string& field : wstest::expectFields()) std::printf("%s\n", field.c_str());
            return 0;
        }
        if (args[0] == "expect" && args.size() >= 2)
            return expect(std::vector<std::string>(args.begin() + 1, args.end()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ws_capture_tool: %s\n", e.what());
        return 1;
    }
    return usage();
}
