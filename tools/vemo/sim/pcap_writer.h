// vemo::PcapWriter: records the simulator's TCP conversations as a classic
// libpcap capture that Wireshark and tshark open like a real one.
//
//   vemo::PcapWriter pcap("sim.pcap");          // throws std::runtime_error
//   pcap.record(clientIp, clientPort, serverIp, serverPort, bytes, true);   // a request
//   pcap.record(clientIp, clientPort, serverIp, serverPort, reply, false);  // its reply
//   pcap.close(clientIp, clientPort, serverIp, serverPort);                 // on disconnect
//
// Only the application bytes are known to a server, so Ethernet, IPv4 and
// TCP headers are made up around them: the first record of a connection is
// preceded by a SYN, SYN-ACK, ACK handshake, and each direction's sequence
// number advances by the bytes it sent, so that Wireshark follows and
// reassembles the stream. Addresses are IPv4 in host byte order
// (0x7F000001 is 127.0.0.1; ipv4() converts text). Every call may come from
// any thread; records are written in call order.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace vemo {

class PcapWriter {
public:
    using Clock = std::chrono::system_clock;

    // Creates (truncates) the file and writes the capture header.
    explicit PcapWriter(const std::string& path);
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    // Records bytes sent over the connection, by the client when fromClient,
    // else by the server. Empty data records nothing (but still opens the
    // connection with its handshake).
    void record(uint32_t clientIp, uint16_t clientPort, uint32_t serverIp, uint16_t serverPort, const uint8_t* data,
                size_t size, bool fromClient, Clock::time_point when = Clock::now());
    void record(uint32_t clientIp, uint16_t clientPort, uint32_t serverIp, uint16_t serverPort,
                const std::vector<uint8_t>& data, bool fromClient, Clock::time_point when = Clock::now())
    {
        record(clientIp, clientPort, serverIp, serverPort, data.data(), data.size(), fromClient, when);
    }

    // Records the connection's orderly end (FIN from the closing side, FIN
    // back, last ACK) and forgets it: the same addresses and ports later
    // start a new connection with a new handshake. Nothing for an unknown one.
    void close(uint32_t clientIp, uint16_t clientPort, uint32_t serverIp, uint16_t serverPort, bool byClient = true,
               Clock::time_point when = Clock::now());

    // Pushes buffered records to the file (the destructor does too).
    void flush();
    // False once a write failed (disk full, ...); later records are dropped.
    bool good() const;
    uint64_t packets() const;

    // "a.b.c.d" (also as an IPv4-mapped IPv6 "::ffff:a.b.c.d") in host byte
    // order; other text, IPv6 included, gives 127.0.0.1 so that a capture is
    // still written for clients the format cannot show.
    static uint32_t ipv4(const std::string& text);

    // Link type in the file header: Ethernet.
    static constexpr uint32_t kLinkType = 1;
    // Most payload per fabricated segment, so IPv4's 16-bit length holds it.
    static constexpr size_t kMaxSegment = 65000;

private:
    using Key = std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>;
    struct Stream {
        uint32_t clientNext;  // the client's next sequence number
        uint32_t serverNext;
    };

    Stream& open(const Key& key, Clock::time_point when);
    void writePacket(const Key& key, bool fromClient, uint8_t flags, uint32_t seq, uint32_t ack, const uint8_t* data,
                     size_t size, Clock::time_point when);

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    bool good_ = true;
    uint64_t packets_ = 0;
    uint64_t connections_ = 0;
    uint16_t ipId_ = 0;
    std::map<Key, Stream> streams_;
};

}  // namespace vemo
