// The fixed traffic of the dissector test, written through the simulator's
// capture writer with replies from the controller model.
#pragma once

#include <cstdint>

#include "sim/pcap_writer.h"

namespace wstest {

// The server side of the scenario's connections (the dissector's default port).
constexpr uint16_t kServerPort = 15020;

// Two client connections (ports 40001 and 40002) to 127.0.0.1:15020 with
// register and bit reads and writes of several areas, exception replies, a
// reply split over two segments, two replies in one segment and the same
// transaction number outstanding on both connections.
void writeScenario(vemo::PcapWriter& pcap);

// One connection (client port 40003) of hand-made frames a faulty peer might
// send: frames cut short, byte counts that do not fit, replies without or to
// another request, unknown area codes, bytes that start no frame.
void writeHostileScenario(vemo::PcapWriter& pcap);

}  // namespace wstest
