#include "pcap_writer.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vemo {
namespace {

constexpr uint32_t kPcapMagic = 0xa1b2c3d4;  // microsecond timestamps
constexpr uint32_t kSnapLength = 65535;
constexpr size_t kEthernetSize = 14;
constexpr size_t kIpSize = 20;
constexpr size_t kTcpSize = 20;
constexpr uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;
constexpr uint16_t kWindow = 65535;
// Initial sequence numbers differ per connection, as on a real host. The
// server's lie just below 2^32, so its sequence numbers wrap after a few
// replies and a reader that mishandles the wrap shows it at once.
constexpr uint32_t kClientIsnStep = 0x3B9ACA07;
constexpr uint32_t kServerIsnBelowWrap = 0x80;
constexpr uint32_t kServerIsnStep = 0x10000;

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    put16(b, at, v >> 16);
    put16(b, at + 2, v & 0xFFFF);
}

// Little-endian fields of the file and record headers: the magic number
// tells readers the writer's byte order, and little-endian is the common one.
void putLe32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putLe16(std::vector<uint8_t>& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

// One's-complement sum of 16-bit big-endian words, carried into 16 bits.
uint32_t sumWords(const uint8_t* data, size_t size, uint32_t sum)
{
    for (size_t i = 0; i + 1 < size; i += 2) sum += (uint32_t{data[i]} << 8) | data[i + 1];
    if (size % 2) sum += uint32_t{data[size - 1]} << 8;
    return sum;
}

uint16_t finishSum(uint32_t sum)
{
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

// A locally administered MAC address that carries the IPv4 address.
void putMac(std::vector<uint8_t>& b, size_t at, uint32_t ip)
{
    b[at] = 0x02;
    b[at + 1] = 0x00;
    put32(b, at + 2, ip);
}

}  // namespace

PcapWriter::PcapWriter(const std::string& path)
{
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot create capture file " + path);
    std::vector<uint8_t> header;
    putLe32(header, kPcapMagic);
    putLe16(header, 2);  // format version 2.4
    putLe16(header, 4);
    putLe32(header, 0);  // time zone offset
    putLe32(header, 0);  // timestamp accuracy
    putLe32(header, kSnapLength);
    putLe32(header, kLinkType);
    good_ = std::fwrite(header.data(), 1, header.size(), file_) == header.size();
}

PcapWriter::~PcapWriter()
{
    if (file_) std::fclose(file_);
}

void PcapWriter::flush()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::fflush(file_) != 0) good_ = false;
}

bool PcapWriter::good() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return good_;
}

uint64_t PcapWriter::packets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

uint32_t PcapWriter::ipv4(const std::string& text)
{
    constexpr uint32_t kLoopback = 0x7F000001;
    const std::string mapped = "::ffff:";
    std::string prefix = text.substr(0, mapped.size());
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string plain = prefix == mapped ? text.substr(mapped.size()) : text;
    in_addr address{};
    if (inet_pton(AF_INET, plain.c_str(), &address) != 1) return kLoopback;
    return ntohl(address.s_addr);
}

PcapWriter::Stream& PcapWriter::open(const Key& key, Clock::time_point when)
{
    auto found = streams_.find(key);
    if (found != streams_.end()) return found->second;
    ++connections_;
    const uint32_t clientIsn = static_cast<uint32_t>(connections_ * kClientIsnStep);
    const uint32_t serverIsn = static_cast<uint32_t>(0u - kServerIsnBelowWrap - (connections_ - 1) * kServerIsnStep);
    writePacket(key, true, kSyn, clientIsn, 0, nullptr, 0, when);
    writePacket(key, false, kSyn | kAck, serverIsn, clientIsn + 1, nullptr, 0, when);
    writePacket(key, true, kAck, clientIsn + 1, serverIsn + 1, nullptr, 0, when);
    return streams_.emplace(key, Stream{clientIsn + 1, serverIsn + 1}).first->second;
}

void PcapWriter::record(uint32_t clientIp, uint16_t clientPort, uint32_t serverIp, uint16_t serverPort,
                        const uint8_t* data, size_t size, bool fromClient, Clock::time_point when)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Key key{clientIp, clientPort, serverIp, serverPort};
    Stream& s = open(key, when);
    uint32_t& next = fromClient ? s.clientNext : s.serverNext;
    const uint32_t ack = fromClient ? s.serverNext : s.clientNext;
    for (size_t done = 0; done < size;) {
        const size_t piece = std::min(size - done, kMaxSegment);
        writePacket(key, fromClient, kPsh | kAck, next, ack, data + done, piece, when);
        next += static_cast<uint32_t>(piece);
        done += piece;
    }
}

void PcapWriter::close(uint32_t clientIp, uint16_t clientPort, uint32_t serverIp, uint16_t serverPort, bool byClient,
                       Clock::time_point when)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Key key{clientIp, clientPort, serverIp, serverPort};
    auto found = streams_.find(key);
    if (found == streams_.end()) return;
    Stream& s = found->second;
    uint32_t& closer = byClient ? s.clientNext : s.serverNext;
    uint32_t& other = byClient ? s.serverNext : s.clientNext;
    writePacket(key, byClient, kFin | kAck, closer, other, nullptr, 0, when);
    ++closer;  // a FIN takes one sequence number
    writePacket(key, !byClient, kFin | kAck, other, closer, nullptr, 0, when);
    ++other;
    writePacket(key, byClient, kAck, closer, other, nullptr, 0, when);
    streams_.erase(found);
}

void PcapWriter::writePacket(const Key& key, bool fromClient, uint8_t flags, uint32_t seq, uint32_t ack,
                             const uint8_t* data, size_t size, Clock::time_point when)
{
    if (!good_) return;
    const uint32_t srcIp = fromClient ? std::get<0>(key) : std::get<2>(key);
    const uint16_t srcPort = fromClient ? std::get<1>(key) : std::get<3>(key);
    const uint32_t dstIp = fromClient ? std::get<2>(key) : std::get<0>(key);
    const uint16_t dstPort = fromClient ? std::get<3>(key) : std::get<1>(key);

    std::vector<uint8_t> p(kEthernetSize + kIpSize + kTcpSize + size, 0);
    putMac(p, 0, dstIp);
    putMac(p, 6, srcIp);
    put16(p, 12, 0x0800);  // IPv4

    const size_t ip = kEthernetSize;
    p[ip] = 0x45;  // version 4, 20-byte header
    put16(p, ip + 2, static_cast<uint32_t>(kIpSize + kTcpSize + size));
    put16(p, ip + 4, ipId_++);
    put16(p, ip + 6, 0x4000);  // don't fragment
    p[ip + 8] = 64;            // TTL
    p[ip + 9] = 6;             // TCP
    put32(p, ip + 12, srcIp);
    put32(p, ip + 16, dstIp);
    put16(p, ip + 10, finishSum(sumWords(&p[ip], kIpSize, 0)));

    const size_t tcp = ip + kIpSize;
    put16(p, tcp, srcPort);
    put16(p, tcp + 2, dstPort);
    put32(p, tcp + 4, seq);
    put32(p, tcp + 8, (flags & kAck) ? ack : 0);
    p[tcp + 12] = (kTcpSize / 4) << 4;
    p[tcp + 13] = flags;
    put16(p, tcp + 14, kWindow);
    if (size) std::copy(data, data + size, p.begin() + static_cast<std::ptrdiff_t>(tcp + kTcpSize));
    const size_t tcpLength = kTcpSize + size;
    uint32_t pseudo =
        (srcIp >> 16) + (srcIp & 0xFFFF) + (dstIp >> 16) + (dstIp & 0xFFFF) + 6 + static_cast<uint32_t>(tcpLength);
    put16(p, tcp + 16, finishSum(sumWords(&p[tcp], tcpLength, pseudo)));

    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    const uint64_t stamp = micros > 0 ? static_cast<uint64_t>(micros) : 0;
    std::vector<uint8_t> record;
    record.reserve(16 + p.size());
    putLe32(record, static_cast<uint32_t>(stamp / 1000000));
    putLe32(record, static_cast<uint32_t>(stamp % 1000000));
    putLe32(record, static_cast<uint32_t>(p.size()));  // captured
    putLe32(record, static_cast<uint32_t>(p.size()));  // on the wire
    record.insert(record.end(), p.begin(), p.end());
    if (std::fwrite(record.data(), 1, record.size(), file_) != record.size()) {
        good_ = false;
        return;
    }
    ++packets_;
}

}  // namespace vemo
