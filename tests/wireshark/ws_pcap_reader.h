// Reads classic libpcap captures (either byte order, micro- or nanosecond
// timestamps) down to the TCP segments over IPv4 they hold. Used by the
// capture writer's tests and by the dissector test's reference decoder, so
// that it also reads captures made by tcpdump or by the simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wstest {

struct TcpSegment {
    uint32_t frame = 0;  // record number, from 1, as Wireshark counts frames
    int64_t nanos = 0;   // timestamp since the epoch
    uint32_t srcIp = 0, dstIp = 0;
    uint16_t srcPort = 0, dstPort = 0;
    uint32_t seq = 0, ack = 0;
    uint8_t flags = 0;  // TCP flags: FIN 0x01, SYN 0x02, PSH 0x08, ACK 0x10
    bool ipChecksumOk = false;
    bool tcpChecksumOk = false;
    std::vector<uint8_t> payload;
};

struct Capture {
    uint32_t linkType = 0;
    uint32_t records = 0;  // every record, TCP over IPv4 or not
    std::vector<TcpSegment> segments;
};

// False with a reason in `error` for a file that is no classic capture or
// ends inside a record header. Records of other protocols are counted and
// skipped; a record cut short by the snapshot length is skipped too.
bool readCapture(const std::string& path, Capture& capture, std::string& error);

}  // namespace wstest
