#include "ws_pcap_reader.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace wstest {
namespace {

constexpr uint32_t kMagicMicros = 0xa1b2c3d4;
constexpr uint32_t kMagicNanos = 0xa1b23c4d;
constexpr uint32_t kLinkNull = 0;  // BSD loopback: 4-byte address family
constexpr uint32_t kLinkEthernet = 1;
constexpr uint32_t kLinkRaw = 101;
constexpr uint32_t kLinkLinuxSll = 113;
constexpr uint32_t kLinkLinuxSll2 = 276;

class Bytes {
public:
    explicit Bytes(const std::vector<uint8_t>& data) : data_(data) {}
    bool has(size_t at, size_t size) const { return at <= data_.size() && size <= data_.size() - at; }
    uint32_t be16(size_t at) const { return (uint32_t{data_[at]} << 8) | data_[at + 1]; }
    uint32_t be32(size_t at) const { return (be16(at) << 16) | be16(at + 2); }
    uint32_t u32(size_t at, bool swapped) const
    {
        uint32_t le = uint32_t{data_[at]} | (uint32_t{data_[at + 1]} << 8) | (uint32_t{data_[at + 2]} << 16) |
                      (uint32_t{data_[at + 3]} << 24);
        return swapped ? be32(at) : le;
    }
    const uint8_t* at(size_t offset) const { return data_.data() + offset; }

private:
    const std::vector<uint8_t>& data_;
};

uint32_t onesComplementSum(const uint8_t* data, size_t size, uint32_t sum)
{
    for (size_t i = 0; i + 1 < size; i += 2) sum += (uint32_t{data[i]} << 8) | data[i + 1];
    if (size % 2) sum += uint32_t{data[size - 1]} << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

constexpr size_t kNotIp = SIZE_MAX;

// Offset of the IPv4 header in a record of the link type, or kNotIp when
// the record carries something else.
size_t ipOffset(const Bytes& b, size_t size, uint32_t linkType)
{
    constexpr uint32_t kIpv4 = 0x0800;
    switch (linkType) {
        case kLinkEthernet: {
            if (!b.has(0, 14)) return kNotIp;
            size_t type = 12;
            while (b.has(type, 6) && (b.be16(type) == 0x8100 || b.be16(type) == 0x88A8)) type += 4;  // VLAN tags
            return b.has(type, 2) && b.be16(type) == kIpv4 ? type + 2 : kNotIp;
        }
        case kLinkRaw:
            return size > 0 && (*b.at(0) >> 4) == 4 ? 0 : kNotIp;
        case kLinkLinuxSll:
            return b.has(0, 16) && b.be16(14) == kIpv4 ? 16 : kNotIp;
        case kLinkLinuxSll2:
            return b.has(0, 20) && b.be16(0) == kIpv4 ? 20 : kNotIp;
        case kLinkNull:
            // The address family is in the writer's byte order; 2 is AF_INET everywhere.
            return b.has(0, 4) && (b.u32(0, false) == 2 || b.u32(0, true) == 2) ? 4 : kNotIp;
        default:
            return kNotIp;
    }
}

// Fills `s` from an IPv4 packet at `ip`; false for anything but unfragmented TCP.
bool parseTcp(const Bytes& b, size_t size, size_t ip, TcpSegment& s)
{
    if (!b.has(ip, 20) || (*b.at(ip) >> 4) != 4) return false;
    const size_t ipHeader = size_t{*b.at(ip)} % 16 * 4;
    const size_t total = b.be16(ip + 2);
    if (ipHeader < 20 || total < ipHeader || !b.has(ip, total) || ip + total > size) return false;
    if (*b.at(ip + 9) != 6 || (b.be16(ip + 6) & 0x3FFF) != 0) return false;  // TCP, not a fragment
    s.ipChecksumOk = onesComplementSum(b.at(ip), ipHeader, 0) == 0xFFFF;
    s.srcIp = b.be32(ip + 12);
    s.dstIp = b.be32(ip + 16);

    const size_t tcp = ip + ipHeader;
    const size_t tcpLength = total - ipHeader;
    if (tcpLength < 20) return false;
    const size_t tcpHeader = size_t{*b.at(tcp + 12)} / 16 * 4;
    if (tcpHeader < 20 || tcpHeader > tcpLength) return false;
    s.srcPort = static_cast<uint16_t>(b.be16(tcp));
    s.dstPort = static_cast<uint16_t>(b.be16(tcp + 2));
    s.seq = b.be32(tcp + 4);
    s.ack = b.be32(tcp + 8);
    s.flags = *b.at(tcp + 13);
    const uint32_t pseudo = (s.srcIp >> 16) + (s.srcIp & 0xFFFF) + (s.dstIp >> 16) + (s.dstIp & 0xFFFF) + 6 +
                            static_cast<uint32_t>(tcpLength);
    s.tcpChecksumOk = onesComplementSum(b.at(tcp), tcpLength, pseudo) == 0xFFFF;
    s.payload.assign(b.at(tcp + tcpHeader), b.at(tcp + tcpLength));
    return true;
}

}  // namespace

bool readCapture(const std::string& path, Capture& capture, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Bytes b(file);
    if (!b.has(0, 24)) {
        error = path + ": too short for a capture header";
        return false;
    }
    const uint32_t magic = b.u32(0, false);
    const uint32_t magicSwapped = b.u32(0, true);
    const bool swapped = magicSwapped == kMagicMicros || magicSwapped == kMagicNanos;
    if (magic != kMagicMicros && magic != kMagicNanos && !swapped) {
        error = path + ": not a classic libpcap capture (convert pcapng with: editcap -F pcap IN OUT)";
        return false;
    }
    const bool nanos = (swapped ? magicSwapped : magic) == kMagicNanos;
    capture = Capture();
    capture.linkType = b.u32(20, swapped) & 0x0FFFFFFF;  // upper bits carry FCS flags

    for (size_t at = 24; at < file.size();) {
        if (!b.has(at, 16)) {
            error = path + ": ends inside a record header";
            return false;
        }
        const int64_t seconds = b.u32(at, swapped);
        const int64_t fraction = b.u32(at + 4, swapped);
        const size_t captured = b.u32(at + 8, swapped);
        const size_t onWire = b.u32(at + 12, swapped);
        at += 16;
        if (!b.has(at, captured)) {
            error = path + ": ends inside a record";
            return false;
        }
        ++capture.records;
        std::vector<uint8_t> record(file.begin() + static_cast<std::ptrdiff_t>(at),
                                    file.begin() + static_cast<std::ptrdiff_t>(at + captured));
        at += captured;
        if (captured < onWire) continue;
        const Bytes r(record);
        const size_t ip = ipOffset(r, record.size(), capture.linkType);
        if (ip == kNotIp) continue;
        TcpSegment s;
        if (!parseTcp(r, record.size(), ip, s)) continue;
        s.frame = capture.records;
        s.nanos = seconds * 1000000000 + fraction * (nanos ? 1 : 1000);
        capture.segments.push_back(std::move(s));
    }
    return true;
}

}  // namespace wstest
