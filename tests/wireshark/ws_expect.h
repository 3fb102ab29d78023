// Reference decoder of the dissector test: reads the controller protocol out
// of a capture on its own (stream reassembly, framing, request matching,
// area table from the controller model) and prints, for every frame in which
// the dissector must show the protocol, the line that
//   tshark -2 -X lua_script:vemo_pna.lua -Y vemo_pna -T fields <fields>
// prints for it. The test compares the two, so any capture of clean traffic
// (the test's own, or one made by `vemo sim --pcap`) checks the dissector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ws_pcap_reader.h"

namespace wstest {

// How frames reach the dissector.
enum class Framing {
    // On the controller port: the dissector cuts the stream itself.
    Own,
    // Through Modbus/TCP on its own port (its port preference set to the
    // controller's): it drops a segment that starts a frame with fewer than
    // 8 bytes, and exception replies come last in their frame.
    Modbus,
};

struct ExpectOptions {
    uint16_t port = 15020;  // the controller's side of the conversation
    Framing framing = Framing::Own;
};

// The tshark field names of the comparison, in column order.
const std::vector<std::string>& expectFields();

// One tab-separated line per frame, in frame order; several values of a
// field in one frame are joined by commas, as tshark's -E occurrence=a does.
std::vector<std::string> expectedLines(const Capture& capture, const ExpectOptions& options);

}  // namespace wstest
