// The simulator's capture writer, read back byte by byte and through the
// capture reader: file header, handshake, sequence numbers per direction
// (wrap included), checksums, connections kept apart, large writes, closing,
// write failures, and records from several threads at once.
#include "sim/pcap_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ws_pcap_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vemo::PcapWriter;
using wstest::Capture;
using wstest::TcpSegment;

constexpr uint32_t kClient = 0x0A000001;  // 10.0.0.1
constexpr uint32_t kServer = 0x0A0000FE;  // 10.0.0.254
constexpr uint16_t kServerPort = 15020;
constexpr uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;

class PcapWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = ::testing::TempDir() + "pcap_writer_" + info->name() + "_" + std::to_string(getpid()) + ".pcap";
    }
    void TearDown() override { std::remove(path_.c_str()); }

    Capture read() const
    {
        Capture capture;
        std::string error;
        EXPECT_TRUE(wstest::readCapture(path_, capture, error)) << error;
        return capture;
    }

    Bytes fileBytes() const
    {
        std::ifstream in(path_, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string path_;
};

PcapWriter::Clock::time_point at(int64_t micros)
{
    return PcapWriter::Clock::time_point(
        std::chrono::duration_cast<PcapWriter::Clock::duration>(std::chrono::microseconds(micros)));
}

Bytes pattern(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

uint32_t le32(const Bytes& b, size_t at)
{
    return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24);
}

// The bytes each direction of each connection carried, in sequence order,
// checking that every data segment starts where the previous one ended.
using Direction = std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>;
std::map<Direction, Bytes> streams(const Capture& capture)
{
    std::map<Direction, uint32_t> next;
    std::map<Direction, Bytes> data;
    for (const TcpSegment& s : capture.segments) {
        const Direction d{s.srcIp, s.srcPort, s.dstIp, s.dstPort};
        if (s.flags & kSyn) {
            next[d] = s.seq + 1;
            continue;
        }
        if (s.payload.empty()) continue;
        EXPECT_EQ(s.seq, next[d]) << "frame " << s.frame;
        next[d] = s.seq + static_cast<uint32_t>(s.payload.size());
        data[d].insert(data[d].end(), s.payload.begin(), s.payload.end());
    }
    return data;
}

TEST_F(PcapWriterTest, FileHeaderIsClassicPcapWithEthernetLinks)
{
    {
        PcapWriter w(path_);
    }
    const Bytes b = fileBytes();
    ASSERT_EQ(b.size(), 24u);
    EXPECT_EQ(le32(b, 0), 0xa1b2c3d4u);  // microsecond timestamps
    EXPECT_EQ(b[4] | (b[5] << 8), 2);    // version 2.4
    EXPECT_EQ(b[6] | (b[7] << 8), 4);
    EXPECT_GE(le32(b, 16), 65535u);  // snapshot length holds the largest segment
    EXPECT_EQ(le32(b, 20), PcapWriter::kLinkType);
    EXPECT_EQ(PcapWriter::kLinkType, 1u);
}

TEST_F(PcapWriterTest, FirstRecordOpensTheConnectionWithAHandshake)
{
    const Bytes request = pattern(14, 1), reply = pattern(11, 2);
    {
        PcapWriter w(path_);
        w.record(kClient, 40001, kServer, kServerPort, request, true, at(5000000));
        w.record(kClient, 40001, kServer, kServerPort, reply, false, at(5002500));
        EXPECT_EQ(w.packets(), 5u);
    }
    const Capture c = read();
    ASSERT_EQ(c.segments.size(), 5u);
    const TcpSegment &syn = c.segments[0], &synAck = c.segments[1], &ack = c.segments[2];
    EXPECT_EQ(syn.flags, kSyn);
    EXPECT_EQ(syn.srcPort, 40001);
    EXPECT_EQ(syn.dstPort, kServerPort);
    EXPECT_EQ(synAck.flags, kSyn | kAck);
    EXPECT_EQ(synAck.srcIp, kServer);
    EXPECT_EQ(synAck.ack, syn.seq + 1);
    EXPECT_EQ(ack.flags, kAck);
    EXPECT_EQ(ack.seq, syn.seq + 1);
    EXPECT_EQ(ack.ack, synAck.seq + 1);

    const TcpSegment &sent = c.segments[3], &answered = c.segments[4];
    EXPECT_EQ(sent.flags, kPsh | kAck);
    EXPECT_EQ(sent.payload, request);
    EXPECT_EQ(sent.seq, syn.seq + 1);
    EXPECT_EQ(sent.ack, synAck.seq + 1);
    EXPECT_EQ(answered.payload, reply);
    EXPECT_EQ(answered.srcIp, kServer);
    EXPECT_EQ(answered.dstPort, 40001);
    EXPECT_EQ(answered.seq, synAck.seq + 1);
    EXPECT_EQ(answered.ack, sent.seq + request.size());  // acknowledges the request
    EXPECT_EQ(sent.nanos, 5000000000);
    EXPECT_EQ(answered.nanos, 5002500000);
}

TEST_F(PcapWriterTest, SequenceNumbersAdvancePerDirectionAcrossTheWrap)
{
    // Enough replies to carry the server's sequence numbers past 2^32.
    std::vector<Bytes> sent;
    {
        PcapWriter w(path_);
        for (uint8_t i = 0; i < 40; ++i) {
            sent.push_back(pattern(9 + i % 5, i));
            w.record(kClient, 40001, kServer, kServerPort, sent.back(), i % 2 == 0, at(i));
        }
    }
    const Capture c = read();
    bool wrapped = false;
    for (const TcpSegment& s : c.segments) wrapped = wrapped || (s.srcIp == kServer && s.seq < 0x1000);
    EXPECT_TRUE(wrapped);
    const auto data = streams(c);
    Bytes fromClient, fromServer;
    for (size_t i = 0; i < sent.size(); ++i) {
        Bytes& to = i % 2 == 0 ? fromClient : fromServer;
        to.insert(to.end(), sent[i].begin(), sent[i].end());
    }
    EXPECT_EQ(data.at({kClient, 40001, kServer, kServerPort}), fromClient);
    EXPECT_EQ(data.at({kServer, kServerPort, kClient, 40001}), fromServer);
    // Every segment acknowledges all the other side has sent.
    uint32_t clientNext = 0, serverNext = 0;
    for (const TcpSegment& s : c.segments) {
        if (s.flags & kSyn) {
            (s.srcIp == kClient ? clientNext : serverNext) = s.seq + 1;
            continue;
        }
        EXPECT_EQ(s.ack, s.srcIp == kClient ? serverNext : clientNext) << "frame " << s.frame;
        (s.srcIp == kClient ? clientNext : serverNext) += static_cast<uint32_t>(s.payload.size());
    }
}

TEST_F(PcapWriterTest, ChecksumsAreValidForEvenAndOddPayloads)
{
    {
        PcapWriter w(path_);
        for (size_t size : {1, 2, 13, 14, 255}) w.record(kClient, 40001, kServer, kServerPort, pattern(size, 3), true);
        w.close(kClient, 40001, kServer, kServerPort);
    }
    const Capture c = read();
    ASSERT_EQ(c.segments.size(), 3u + 5u + 3u);
    for (const TcpSegment& s : c.segments) {
        EXPECT_TRUE(s.ipChecksumOk) << "frame " << s.frame;
        EXPECT_TRUE(s.tcpChecksumOk) << "frame " << s.frame;
    }
}

TEST_F(PcapWriterTest, ConnectionsKeepTheirOwnSequenceSpaces)
{
    const Bytes a1 = pattern(14, 10), b1 = pattern(17, 20), a2 = pattern(11, 30), b2 = pattern(9, 40);
    {
        PcapWriter w(path_);
        w.record(kClient, 40001, kServer, kServerPort, a1, true);
        w.record(kClient, 40002, kServer, kServerPort, b1, true);  // interleaved
        w.record(kClient, 40001, kServer, kServerPort, a2, false);
        w.record(kClient, 40002, kServer, kServerPort, b2, false);
    }
    const Capture c = read();
    int handshakes = 0;
    std::map<uint16_t, uint32_t> clientIsn;
    for (const TcpSegment& s : c.segments)
        if (s.flags == kSyn) {
            ++handshakes;
            clientIsn[s.srcPort] = s.seq;
        }
    EXPECT_EQ(handshakes, 2);
    EXPECT_NE(clientIsn[40001], clientIsn[40002]);
    const auto data = streams(c);
    EXPECT_EQ(data.at({kClient, 40001, kServer, kServerPort}), a1);
    EXPECT_EQ(data.at({kClient, 40002, kServer, kServerPort}), b1);
    EXPECT_EQ(data.at({kServer, kServerPort, kClient, 40001}), a2);
    EXPECT_EQ(data.at({kServer, kServerPort, kClient, 40002}), b2);
}

TEST_F(PcapWriterTest, CloseEndsTheConnectionAndTheSamePortsStartAnew)
{
    {
        PcapWriter w(path_);
        w.record(kClient, 40001, kServer, kServerPort, pattern(14, 1), true);
        w.close(kClient, 40001, kServer, kServerPort, false);  // the server hangs up
        w.close(kClient, 40001, kServer, kServerPort);         // already gone: nothing
        w.record(kClient, 40001, kServer, kServerPort, pattern(14, 2), true);
    }
    const Capture c = read();
    ASSERT_EQ(c.segments.size(), 3u + 1u + 3u + 3u + 1u);
    const TcpSegment &data = c.segments[3], &fin1 = c.segments[4], &fin2 = c.segments[5], &last = c.segments[6];
    EXPECT_EQ(fin1.flags, kFin | kAck);
    EXPECT_EQ(fin1.srcIp, kServer);
    EXPECT_EQ(fin1.ack, data.seq + 14);
    EXPECT_EQ(fin2.flags, kFin | kAck);
    EXPECT_EQ(fin2.srcIp, kClient);
    EXPECT_EQ(fin2.seq, data.seq + 14);
    EXPECT_EQ(fin2.ack, fin1.seq + 1);  // a FIN takes one sequence number
    EXPECT_EQ(last.flags, kAck);
    EXPECT_EQ(last.seq, fin1.seq + 1);
    EXPECT_EQ(last.ack, fin2.seq + 1);
    EXPECT_EQ(c.segments[7].flags, kSyn);  // a new connection on the same ports
    EXPECT_NE(c.segments[7].seq, c.segments[0].seq);
    EXPECT_EQ(c.segments[10].seq, c.segments[7].seq + 1);
}

TEST_F(PcapWriterTest, LargeWritesAreCutIntoSegmentsIpCanCarry)
{
    const Bytes big = pattern(2 * PcapWriter::kMaxSegment + 123, 5);
    {
        PcapWriter w(path_);
        w.record(kClient, 40001, kServer, kServerPort, big, false);
    }
    const Capture c = read();
    ASSERT_EQ(c.segments.size(), 3u + 3u);
    for (size_t i = 3; i < 6; ++i) EXPECT_LE(c.segments[i].payload.size(), PcapWriter::kMaxSegment);
    EXPECT_EQ(streams(c).at({kServer, kServerPort, kClient, 40001}), big);
}

TEST_F(PcapWriterTest, EmptyRecordOpensTheConnectionOnly)
{
    {
        PcapWriter w(path_);
        w.record(kClient, 40001, kServer, kServerPort, nullptr, 0, true);
    }
    EXPECT_EQ(read().segments.size(), 3u);
}

TEST(PcapWriter, UnwritablePathThrows)
{
    EXPECT_THROW(PcapWriter("/nonexistent-dir/x.pcap"), std::runtime_error);
}

TEST(PcapWriter, FullDiskIsReportedAndLaterRecordsAreDropped)
{
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    PcapWriter w("/dev/full");
    const Bytes big = pattern(PcapWriter::kMaxSegment, 1);
    for (int i = 0; i < 4; ++i) w.record(kClient, 40001, kServer, kServerPort, big, true);
    w.flush();
    EXPECT_FALSE(w.good());
    const uint64_t written = w.packets();
    w.record(kClient, 40001, kServer, kServerPort, big, true);
    EXPECT_EQ(w.packets(), written);
}

TEST(PcapWriter, Ipv4TextBecomesHostOrderAddress)
{
    EXPECT_EQ(PcapWriter::ipv4("10.1.2.3"), 0x0A010203u);
    EXPECT_EQ(PcapWriter::ipv4("::ffff:192.168.0.1"), 0xC0A80001u);
    EXPECT_EQ(PcapWriter::ipv4("::FFFF:192.168.0.1"), 0xC0A80001u);
    // What the format cannot show is recorded as loopback rather than lost.
    EXPECT_EQ(PcapWriter::ipv4("::1"), 0x7F000001u);
    EXPECT_EQ(PcapWriter::ipv4("host"), 0x7F000001u);
    EXPECT_EQ(PcapWriter::ipv4(""), 0x7F000001u);
    EXPECT_EQ(PcapWriter::ipv4("1.2.3.4.5"), 0x7F000001u);
}

TEST_F(PcapWriterTest, RecordsFromSeveralThreadsStayWholeAndInOrder)
{
    constexpr int kThreads = 4;
    constexpr int kRecords = 300;
    {
        PcapWriter w(path_);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&w, t] {
                const uint16_t port = static_cast<uint16_t>(41000 + t);
                for (int i = 0; i < kRecords; ++i) {
                    const uint8_t seed = static_cast<uint8_t>(i);
                    w.record(kClient, port, kServer, kServerPort, pattern(14, seed), true);
                    w.record(kClient, port, kServer, kServerPort, pattern(11, seed), false);
                }
            });
        for (std::thread& t : threads) t.join();
        EXPECT_TRUE(w.good());
    }
    const Capture c = read();
    EXPECT_EQ(c.segments.size(), size_t{kThreads} * (3 + 2 * kRecords));
    const auto data = streams(c);
    for (int t = 0; t < kThreads; ++t) {
        const uint16_t port = static_cast<uint16_t>(41000 + t);
        Bytes requests, replies;
        for (int i = 0; i < kRecords; ++i) {
            const Bytes q = pattern(14, static_cast<uint8_t>(i)), r = pattern(11, static_cast<uint8_t>(i));
            requests.insert(requests.end(), q.begin(), q.end());
            replies.insert(replies.end(), r.begin(), r.end());
        }
        EXPECT_EQ(data.at({kClient, port, kServer, kServerPort}), requests) << "thread " << t;
        EXPECT_EQ(data.at({kServer, kServerPort, kClient, port}), replies) << "thread " << t;
    }
}

// The reader also takes captures the writer does not make: big-endian
// files with raw IPv4 records, as other tools write them.
TEST_F(PcapWriterTest, ReaderTakesBigEndianRawIpCaptures)
{
    const Bytes payload = {0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x01, 0x20, 0x80, 0x00, 0x00, 0x64, 0x00, 0x01};
    Bytes packet = {0x45, 0, 0, 0, 0, 0, 0x40, 0, 64, 6, 0, 0, 10, 0, 0, 1, 10, 0, 0, 254};
    const uint8_t tcp[20] = {0x9C, 0x41, 0x3A, 0xAC, 0, 0, 0x10, 0, 0, 0, 0, 0, 0x50, 0x18, 0xFF, 0xFF};
    packet.insert(packet.end(), tcp, tcp + 20);
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet[3] = static_cast<uint8_t>(packet.size());
    Bytes file = {0xa1, 0xb2, 0xc3, 0xd4, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 101};
    const Bytes header = {0, 0, 0, 7,
                          0, 0, 0, 9,
                          0, 0, 0, static_cast<uint8_t>(packet.size()),
                          0, 0, 0, static_cast<uint8_t>(packet.size())};
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), packet.begin(), packet.end());
    {
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    const Capture c = read();
    EXPECT_EQ(c.linkType, 101u);
    ASSERT_EQ(c.segments.size(), 1u);
    EXPECT_EQ(c.segments[0].srcPort, 40001);
    EXPECT_EQ(c.segments[0].dstPort, 15020);
    EXPECT_EQ(c.segments[0].seq, 0x1000u);
    EXPECT_EQ(c.segments[0].nanos, 7000009000);
    EXPECT_EQ(c.segments[0].payload, payload);
}

}  // namespace
