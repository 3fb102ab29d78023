#include "ws_expect.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "plc/plc_model.h"

namespace wstest {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kHeaderSize = 8;
constexpr size_t kMaxFrame = 4096;
constexpr uint8_t kSyn = 0x02;

enum Field {
    kFrame,
    kFunction,
    kArea,
    kAreaCode,
    kAddress,
    kCount,
    kByteCount,
    kRegister,
    kRegisterValue,
    kBit,
    kBitValue,
    kExceptionCode,
    kRequestFrame,
    kResponseTime,
    kResponseFrame,
    kFieldCount
};

std::string hex8(uint32_t v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(v & 0xFF));
    return text;
}

std::string hex16(uint32_t v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(v & 0xFFFF));
    return text;
}

std::string dec(uint64_t v)
{
    return std::to_string(v);
}

std::string areaName(uint8_t code)
{
    const int index = plc::areaIndexFromCode(code);
    if (index >= 0) return plc::areaInfo(index).name;
    char text[8];
    std::snprintf(text, sizeof text, "?%02X", static_cast<unsigned>(code));
    return text;
}

std::string elementName(uint8_t code, uint64_t address)
{
    return areaName(code) + (plc::areaIndexFromCode(code) >= 0 ? "" : ":") + dec(address);
}

uint32_t be16(const Bytes& b, size_t at)
{
    return (uint32_t{b[at]} << 8) | b[at + 1];
}
uint32_t be24(const Bytes& b, size_t at)
{
    return (uint32_t{b[at]} << 16) | be16(b, at + 1);
}

bool isVendor(uint8_t fc)
{
    const uint8_t base = fc & 0x7F;
    return base >= plc::kFuncReadBits && base <= plc::kFuncWriteWords;
}
bool isWords(uint8_t fc)
{
    return (fc & 0x7F) == plc::kFuncReadWords || (fc & 0x7F) == plc::kFuncWriteWords;
}
bool isRead(uint8_t fc)
{
    return (fc & 0x7F) == plc::kFuncReadBits || (fc & 0x7F) == plc::kFuncReadWords;
}

struct Request {
    uint32_t frame;
    int64_t nanos;
    uint8_t fc;
    uint8_t area;
    uint32_t address;
    uint32_t count;
    std::optional<uint32_t> firstReply;
};

// The values one frame shows, field by field, PDUs in order.
struct FrameView {
    std::vector<std::string> values[kFieldCount];
    std::vector<size_t> requests;  // requests shown, for their response frame
};

using Endpoints = std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>;
using Transaction = std::tuple<uint32_t, uint16_t, uint32_t, uint16_t, uint16_t>;

struct Direction {
    std::optional<uint32_t> next;  // next sequence number
    Bytes pending;                 // bytes of a frame still incomplete
};

class Decoder {
public:
    explicit Decoder(const ExpectOptions& options) : options_(options) {}

    void segment(const TcpSegment& s)
    {
        Direction& d = directions_[{s.srcIp, s.srcPort, s.dstIp, s.dstPort}];
        if (s.flags & kSyn) {
            d = Direction();
            d.next = s.seq + 1;
            return;
        }
        if (s.payload.empty()) return;
        const Bytes fresh = newBytes(d, s);
        if (fresh.empty()) return;
        current_ = &s;
        if (options_.framing == Framing::Own)
            frameOwn(d, fresh);
        else
            frameModbus(d, fresh);
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const auto& [frame, view] : frames_) {
            std::string line = dec(frame);
            for (int f = kFunction; f < kFieldCount; ++f) {
                std::vector<std::string> values = view.values[f];
                if (f == kResponseFrame)
                    for (size_t r : view.requests)
                        if (requests_[r].firstReply) values.push_back(dec(*requests_[r].firstReply));
                line += '\t';
                for (size_t i = 0; i < values.size(); ++i) line += (i ? "," : "") + values[i];
            }
            out.push_back(line);
        }
        return out;
    }

private:
    // The part of the payload not seen before; a gap loses what was pending.
    static Bytes newBytes(Direction& d, const TcpSegment& s)
    {
        const uint32_t size = static_cast<uint32_t>(s.payload.size());
        if (!d.next) d.next = s.seq;
        const int32_t ahead = static_cast<int32_t>(s.seq - *d.next);
        if (ahead > 0) {
            d.pending.clear();
            d.next = s.seq + size;
            return s.payload;
        }
        const uint32_t seen = static_cast<uint32_t>(-ahead);
        if (seen >= size) return {};
        d.next = s.seq + size;
        return Bytes(s.payload.begin() + seen, s.payload.end());
    }

    // The dissector's framing: wait for 6 bytes, then for the whole frame;
    // a header that cannot start a frame loses the rest of what is there.
    void frameOwn(Direction& d, const Bytes& fresh)
    {
        Bytes& b = d.pending;
        b.insert(b.end(), fresh.begin(), fresh.end());
        while (b.size() >= 6) {
            const size_t total = be16(b, 4) + size_t{6};
            if (be16(b, 2) != 0 || total < kHeaderSize || total > kMaxFrame) {
                view();  // the dissector shows the bytes, without fields
                b.clear();
                return;
            }
            if (b.size() < total) return;
            pdu(Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(total)));
            b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(total));
        }
    }

    // Modbus/TCP's framing: a frame it waits for is completed from the
    // segment; every other run of bytes must start with a plausible 8-byte
    // header or is dropped.
    void frameModbus(Direction& d, Bytes data)
    {
        Bytes& b = d.pending;
        if (b.size() >= 6) {
            const size_t total = be16(b, 4) + size_t{6};
            const size_t missing = total - b.size();
            const size_t take = std::min(missing, data.size());
            b.insert(b.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
            data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
            if (b.size() < total) return;
            modbusRun(b, false);
            b.clear();
        } else if (!b.empty()) {
            data.insert(data.begin(), b.begin(), b.end());
            b.clear();
        }
        if (!data.empty()) b = modbusRun(data, true);
        finishModbusFrame();
    }

    // Frames in one run of bytes; returns an incomplete tail to wait for.
    Bytes modbusRun(const Bytes& run, bool checkHeader)
    {
        if (checkHeader && (run.size() < kHeaderSize || be16(run, 2) != 0 || be16(run, 4) < 2)) return {};
        size_t at = 0;
        while (at < run.size()) {
            const size_t left = run.size() - at;
            if (left < 6) break;
            const size_t total = be16(run, at + 4) + size_t{6};
            if (left < total) break;
            pdu(Bytes(run.begin() + static_cast<std::ptrdiff_t>(at),
                      run.begin() + static_cast<std::ptrdiff_t>(at + total)));
            at += total;
        }
        return Bytes(run.begin() + static_cast<std::ptrdiff_t>(at), run.end());
    }

    // The post-dissector shows a frame's exception replies after its other PDUs.
    void finishModbusFrame()
    {
        std::vector<Bytes> exceptions;
        exceptions.swap(deferred_);
        for (const Bytes& p : exceptions) decode(p);
    }

    FrameView& view() { return frames_[current_->frame]; }

    void add(Field f, std::string value) { view().values[f].push_back(std::move(value)); }

    void pdu(const Bytes& p)
    {
        if (p.size() < kHeaderSize || !isVendor(p[7])) return;
        if (options_.framing == Framing::Modbus && (p[7] & plc::kExceptionFlag)) {
            // Modbus/TCP reads the exception code; without one nothing follows.
            if (p.size() > kHeaderSize) deferred_.push_back(p);
            return;
        }
        decode(p);
    }

    // Requests are matched within their conversation: client, then controller.
    Transaction transaction(uint16_t tid) const
    {
        const TcpSegment& s = *current_;
        if (fromClient()) return {s.srcIp, s.srcPort, s.dstIp, s.dstPort, tid};
        return {s.dstIp, s.dstPort, s.srcIp, s.srcPort, tid};
    }

    bool fromClient() const
    {
        const TcpSegment& s = *current_;
        if (s.dstPort == options_.port && s.srcPort != options_.port) return true;
        if (s.srcPort == options_.port && s.dstPort != options_.port) return false;
        return s.dstPort < s.srcPort;
    }

    void decode(const Bytes& p)
    {
        const uint8_t fc = p[7];
        const uint16_t tid = static_cast<uint16_t>(be16(p, 0));
        const Bytes body(p.begin() + kHeaderSize, p.end());
        add(kFunction, hex8(fc));
        if (fc & plc::kExceptionFlag) {
            const Request* r = match(tid, fc);
            if (r) context(*r);
            if (!body.empty()) add(kExceptionCode, dec(body[0]));
        } else if (fromClient()) {
            request(tid, fc, body);
        } else if (isRead(fc)) {
            readReply(tid, fc, body);
        } else {
            match(tid, fc);  // shows the request frame; the reply echoes its own target
            if (body.size() >= 6) target(body);
        }
    }

    void target(const Bytes& body)
    {
        add(kArea, areaName(body[0]));
        add(kAreaCode, hex8(body[0]));
        add(kAddress, dec(be24(body, 1)));
        add(kCount, dec(be16(body, 4)));
    }

    void context(const Request& r)
    {
        add(kArea, areaName(r.area));
        add(kAddress, dec(r.address));
        add(kCount, dec(r.count));
    }

    void request(uint16_t tid, uint8_t fc, const Bytes& body)
    {
        if (body.size() < 6) return;
        target(body);
        requests_.push_back({current_->frame, current_->nanos, fc, body[0], be24(body, 1), be16(body, 4), {}});
        latest_[transaction(tid)] = requests_.size() - 1;
        view().requests.push_back(requests_.size() - 1);
        if (isRead(fc) || body.size() < 7) return;
        const size_t byteCount = body[6];
        add(kByteCount, dec(byteCount));
        const Bytes data(body.begin() + 7,
                         body.begin() + 7 + static_cast<std::ptrdiff_t>(std::min(byteCount, body.size() - 7)));
        elements(fc, data, body[0], be24(body, 1), be16(body, 4));
    }

    void readReply(uint16_t tid, uint8_t fc, const Bytes& body)
    {
        const Request* r = match(tid, fc);
        if (r) context(*r);
        if (body.empty()) return;
        const size_t byteCount = body[0];
        add(kByteCount, dec(byteCount));
        const Bytes data(body.begin() + 1,
                         body.begin() + 1 + static_cast<std::ptrdiff_t>(std::min(byteCount, body.size() - 1)));
        if (r) {
            elements(fc, data, r->area, r->address, r->count);
        } else if (isWords(fc)) {
            for (size_t i = 0; i + 1 < data.size(); i += 2) add(kRegisterValue, hex16(be16(data, i)));
        } else {
            for (size_t i = 0; i < 8 * data.size(); ++i) add(kBitValue, dec((data[i / 8] >> (i % 8)) & 1));
        }
    }

    void elements(uint8_t fc, const Bytes& data, uint8_t area, uint32_t address, uint32_t count)
    {
        if (isWords(fc)) {
            for (size_t i = 0; i < count && 2 * i + 1 < data.size(); ++i) {
                add(kRegister, elementName(area, address + i));
                add(kRegisterValue, hex16(be16(data, 2 * i)));
            }
        } else {
            for (size_t i = 0; i < count && i < 8 * data.size(); ++i) {
                add(kBit, elementName(area, address + i));
                add(kBitValue, dec((data[i / 8] >> (i % 8)) & 1));
            }
        }
    }

    // The latest earlier request of the conversation with the transaction number;
    // nullptr also when it asked for another function (its frame still shows).
    const Request* match(uint16_t tid, uint8_t fc)
    {
        auto found = latest_.find(transaction(tid));
        if (found == latest_.end()) return nullptr;
        Request& r = requests_[found->second];
        if (!r.firstReply) r.firstReply = current_->frame;
        add(kRequestFrame, dec(r.frame));
        const int64_t nanos = current_->nanos - r.nanos;
        char text[40];
        std::snprintf(text, sizeof text, "%" PRId64 ".%09" PRId64, nanos / 1000000000, nanos % 1000000000);
        add(kResponseTime, text);
        return r.fc == (fc & 0x7F) ? &r : nullptr;
    }

    const ExpectOptions& options_;
    std::map<Endpoints, Direction> directions_;
    const TcpSegment* current_ = nullptr;
    std::vector<Request> requests_;
    std::map<Transaction, size_t> latest_;
    std::map<uint32_t, FrameView> frames_;
    std::vector<Bytes> deferred_;
};

}  // namespace

const std::vector<std::string>& expectFields()
{
    static const std::vector<std::string> fields = {
        "frame.number",           "vemo_pna.function",      "vemo_pna.area",
        "vemo_pna.area_code",     "vemo_pna.address",       "vemo_pna.count",
        "vemo_pna.byte_count",    "vemo_pna.register",      "vemo_pna.register.value",
        "vemo_pna.bit",           "vemo_pna.bit.value",     "vemo_pna.exception_code",
        "vemo_pna.request_frame", "vemo_pna.response_time", "vemo_pna.response_frame"};
    return fields;
}

std::vector<std::string> expectedLines(const Capture& capture, const ExpectOptions& options)
{
    Decoder decoder(options);
    for (const TcpSegment& s : capture.segments) decoder.segment(s);
    return decoder.lines();
}

}  // namespace wstest
