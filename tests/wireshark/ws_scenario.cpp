// The traffic of the dissector test: requests of every kind served by the
// controller model, so every reply is the one the simulator would send.
#include "ws_scenario.h"

#include <string>

#include "plc/plc_model.h"

namespace wstest {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = vemo::PcapWriter::Clock;

constexpr uint32_t kClientIp = 0x7F000001;  // 127.0.0.1
constexpr uint32_t kServerIp = 0x7F000001;
// 2024-01-01 00:00:00 UTC: a fixed start keeps the capture byte-identical.
constexpr int64_t kStartSeconds = 1704067200;
constexpr int64_t kReplyDelayMicros = 2500;

Bytes header(uint16_t txn, uint8_t station, uint8_t function, size_t lengthAfter)
{
    return {static_cast<uint8_t>(txn >> 8),         static_cast<uint8_t>(txn),         0,       0,
            static_cast<uint8_t>(lengthAfter >> 8), static_cast<uint8_t>(lengthAfter), station, function};
}

void appendAreaAddressCount(Bytes& frame, uint8_t areaCode, uint32_t address, uint16_t count)
{
    const uint8_t tail[] = {areaCode,
                            static_cast<uint8_t>(address >> 16),
                            static_cast<uint8_t>(address >> 8),
                            static_cast<uint8_t>(address),
                            static_cast<uint8_t>(count >> 8),
                            static_cast<uint8_t>(count)};
    frame.insert(frame.end(), tail, tail + sizeof tail);
}

const plc::AreaInfo& area(const char* name)
{
    return plc::areaInfo(plc::areaIndexFromName(name));
}

Bytes readRequest(uint16_t txn, uint8_t station, const char* areaName, uint32_t address, uint16_t count)
{
    const plc::AreaInfo& a = area(areaName);
    Bytes frame = header(txn, station, a.isWord ? plc::kFuncReadWords : plc::kFuncReadBits, 8);
    appendAreaAddressCount(frame, a.code, address, count);
    return frame;
}

Bytes writeRequest(uint16_t txn, uint8_t station, const char* areaName, uint32_t address, uint16_t count,
                   const Bytes& data)
{
    const plc::AreaInfo& a = area(areaName);
    Bytes frame = header(txn, station, a.isWord ? plc::kFuncWriteWords : plc::kFuncWriteBits, 9 + data.size());
    appendAreaAddressCount(frame, a.code, address, count);
    frame.push_back(static_cast<uint8_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

Bytes registers(std::initializer_list<uint16_t> values)
{
    Bytes out;
    for (uint16_t v : values) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

// One client connection of the capture. The connections share one clock,
// so that the records of the file stay in time order.
class Client {
public:
    Client(vemo::PcapWriter& pcap, plc::Memory& memory, uint16_t port, int64_t& clock)
        : pcap_(pcap), memory_(memory), port_(port), micros_(clock)
    {
    }

    // A request and the model's reply, 2.5 ms later.
    Bytes exchange(const Bytes& request)
    {
        send(request);
        Bytes reply = memory_.handle(request);
        answer(reply);
        return reply;
    }

    void send(const Bytes& request)
    {
        micros_ += 100000;
        replied_ = false;
        pcap_.record(kClientIp, port_, kServerIp, kServerPort, request, true, at(micros_));
    }

    // The reply to the last request comes 2.5 ms after it; later pieces
    // and replies follow 1 ms apart.
    void answer(const Bytes& reply)
    {
        micros_ += replied_ ? 1000 : kReplyDelayMicros;
        replied_ = true;
        pcap_.record(kClientIp, port_, kServerIp, kServerPort, reply, false, at(micros_));
    }

    void close(bool byClient)
    {
        micros_ += 50000;
        pcap_.close(kClientIp, port_, kServerIp, kServerPort, byClient, at(micros_));
    }

private:
    static Clock::time_point at(int64_t micros)
    {
        return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(micros)));
    }

    vemo::PcapWriter& pcap_;
    plc::Memory& memory_;
    uint16_t port_;
    int64_t& micros_;
    bool replied_ = false;
};

}  // namespace

void writeScenario(vemo::PcapWriter& pcap)
{
    plc::Memory memory;
    int64_t clock = kStartSeconds * 1000000;
    Client one(pcap, memory, 40001, clock);
    Client two(pcap, memory, 40002, clock);

    // Registers: a multi-register write, read back; one register of an area
    // whose code is out of sequence.
    one.exchange(writeRequest(1, 1, "D", 100, 4, registers({0x1234, 0xABCD, 0x0000, 0xFFFF})));
    one.exchange(readRequest(2, 1, "D", 100, 4));
    one.exchange(writeRequest(3, 1, "HSD", 7, 1, registers({0x8001})));
    one.exchange(readRequest(4, 1, "HSD", 6, 3));

    // Bits: a single bit, ten packed bits (first element = bit 0), read back.
    one.exchange(writeRequest(5, 1, "M", 5, 1, {0x01}));
    one.exchange(writeRequest(6, 1, "Y", 0, 10, {0x0D, 0x02}));
    one.exchange(readRequest(7, 1, "Y", 0, 10));
    one.exchange(readRequest(8, 1, "M", 0, 8));
    one.exchange(readRequest(9, 1, "HSC", 100, 3));

    // Exceptions: a read beyond the area, a write whose byte count does not
    // fit its count, a bit read of a word area.
    one.exchange(readRequest(10, 1, "D", 65534, 4));
    one.exchange(writeRequest(11, 1, "D", 0, 2, {0x00, 0x01, 0x02}));
    Bytes wrongKind = readRequest(12, 1, "D", 0, 1);
    wrongKind[7] = plc::kFuncReadBits;
    one.exchange(wrongKind);

    // Replies in pieces: cut inside the header (only the dissector's own
    // framing reassembles that) and after it.
    for (size_t cut : {5, 10}) {
        const Bytes request = readRequest(static_cast<uint16_t>(8 + cut), 1, "D", 101, 2);
        one.send(request);
        const Bytes reply = memory.handle(request);
        one.answer(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(cut)));
        one.answer(Bytes(reply.begin() + static_cast<std::ptrdiff_t>(cut), reply.end()));
    }

    // Two connections with the same transaction number outstanding at once:
    // each reply belongs to the request of its own connection.
    const Bytes fromOne = readRequest(20, 1, "D", 100, 1);
    const Bytes fromTwo = readRequest(20, 2, "D", 102, 2);
    one.send(fromOne);
    two.send(fromTwo);
    two.answer(memory.handle(fromTwo));
    one.answer(memory.handle(fromOne));

    // A stale copy of the previous reply in the same segment as the current
    // reply, as a slow controller delivers them.
    const Bytes stale = memory.handle(fromOne);
    const Bytes current = readRequest(21, 1, "SM", 0, 16);
    one.send(current);
    Bytes both = stale;
    const Bytes currentReply = memory.handle(current);
    both.insert(both.end(), currentReply.begin(), currentReply.end());
    one.answer(both);

    // A retry with the same transaction number: the reply answers the retry.
    two.exchange(writeRequest(21, 2, "SM", 3, 1, {0x01}));
    const Bytes retried = readRequest(22, 2, "SM", 0, 16);
    two.send(retried);
    two.exchange(retried);
    one.close(true);
    two.close(false);
}

void writeHostileScenario(vemo::PcapWriter& pcap)
{
    plc::Memory memory;
    int64_t clock = kStartSeconds * 1000000;
    Client peer(pcap, memory, 40003, clock);

    // Frames cut short after the function code, or before their data.
    peer.send(header(1, 1, plc::kFuncReadWords, 2));
    peer.answer(header(1, 1, plc::kFuncReadWords, 2));
    peer.send(writeRequest(2, 1, "D", 0, 0, {}));
    peer.answer(header(2, 1, plc::kFuncWriteWords, 2));
    peer.send(readRequest(3, 1, "D", 10, 4));
    Bytes shortData = header(3, 1, plc::kFuncReadWords, 5);
    shortData.insert(shortData.end(), {8, 0x12, 0x34});  // byte count 8, 2 bytes there
    peer.answer(shortData);
    peer.send(readRequest(4, 1, "D", 10, 1));
    peer.answer(header(4, 1, plc::kFuncReadWords | plc::kExceptionFlag, 2));  // no exception code

    // A bit read whose reply of 5 data bytes has the length of a request.
    peer.exchange(readRequest(5, 1, "T", 0, 40));
    // Replies without a request, or to a request of another function.
    Bytes orphan = header(99, 1, plc::kFuncReadWords, 7);
    orphan.insert(orphan.end(), {4, 0xBE, 0xEF, 0x00, 0x2A});
    peer.answer(orphan);
    Bytes orphanBits = header(98, 1, plc::kFuncReadBits, 4);
    orphanBits.insert(orphanBits.end(), {1, 0x81});
    peer.answer(orphanBits);
    peer.send(readRequest(6, 1, "D", 0, 1));
    Bytes otherFunction = header(6, 1, plc::kFuncReadBits, 4);
    otherFunction.insert(otherFunction.end(), {1, 0x01});
    peer.answer(otherFunction);
    // A write acknowledgement that echoes another address.
    peer.send(writeRequest(7, 1, "D", 50, 1, registers({7})));
    Bytes echo = writeRequest(7, 1, "D", 51, 1, {});
    echo.resize(14);
    echo[5] = 8;
    peer.answer(echo);
    // An area code no area has, and a reply of more data than asked for.
    Bytes unknownArea = readRequest(8, 1, "D", 0, 2);
    unknownArea[8] = 0x99;
    peer.send(unknownArea);
    Bytes longer = header(8, 1, plc::kFuncReadWords, 9);
    longer.insert(longer.end(), {6, 0, 1, 0, 2, 0, 3});
    peer.answer(longer);

    // Bytes that start no frame (protocol id not 0), then frames again.
    peer.send({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x00});
    peer.exchange(readRequest(9, 1, "M", 0, 3));
    // A length field too short for station and function.
    peer.send({0x00, 0x0A, 0x00, 0x00, 0x00, 0x01, 0x01});
    peer.exchange(readRequest(11, 1, "X", 7, 1));
    peer.close(true);
}

}  // namespace wstest
