// CFakePlc: a fake controller on top of FakeComm, for collection, write,
// IO-control and fuzz tests.
//
// Hand it to the device like any channel (dev.UpdataCommunication(&plc)).
// Every request the driver writes is recorded and answered from the fake's
// own register memory, so the next reads of the transaction find the reply:
//
//   CFakePlc plc;
//   plc.SetWord(PLC_AREA_D, 100, 0x1234);      // D100 = 0x1234
//   plc.SetBit(PLC_AREA_M, 5, true);           // M5 = 1
//   plc.SetWordBytes(PLC_AREA_D, 200, {'A', 'B', 'C'});  // D200 = 0x4142, D201 = 0x4300
//   ... collect ...
//   plc.Requests().back().address              // what was asked
//   plc.Word(PLC_AREA_D, 100)                  // what a write left
//
// Protocol it speaks (multi-byte fields big-endian, 8-byte header of
// transaction number, protocol id 0, length of the rest, station, function):
// - 0x1E read bits / 0x20 read registers: request header + area code (1) +
//   start address (3) + count (2); reply header + byte count (1) + data
//   (bits packed LSB first, (count + 7) / 8 bytes; registers 2 bytes each,
//   high byte first).
// - 0x1F write bits / 0x21 write registers: request as a read + byte count
//   (1) + data; the data is stored, the reply is 14 bytes: header + area
//   code + start address + count echoed.
// - Anything it does not understand (unknown function or area code, a frame
//   too short for its fields) gets an exception reply: function + 0x80 and
//   an exception code (9 bytes).
// The area index is the driver's (0-13 bit areas, 14-28 word areas); area
// codes are the fake's own copy of the device's table, so a driver that
// sends a wrong code gets an exception reply.
//
// Misbehaviour, scheduled per request. AnswerXxx(..., times) applies to the
// next `times` requests (in the order scheduled); times < 0 makes it the
// answer to every later request once the schedule is used up:
//   StaySilent(times)            no reply at all (a write is not stored)
//   AnswerStale(times)           an old reply (transaction number - 1) and the
//                                right one, delivered together in one read
//   AnswerStaleOnly(times)       only the old reply
//   AnswerException(code, times) function + 0x80 (nothing is stored)
//   AnswerShort(bytes, times)    the right reply cut to `bytes` bytes
//   AnswerGarbage(bytes, times)  these bytes instead of a reply (nothing stored)
//   AnswerSplit(sizes, times)    the right reply in chunks of these sizes
//                                (the rest as a last chunk), one per read
// Normal() clears the schedule and the standing answer. Station and
// transaction number are echoed as received.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "fake_comm.h"

// Area indexes the tests name most.
enum : int { PLC_AREA_M = 0, PLC_AREA_X = 1, PLC_AREA_Y = 2, PLC_AREA_D = 14, PLC_AREA_HSD = 22, PLC_AREA_FS = 28 };
const int PLC_AREA_COUNT = 29;
const int PLC_LAST_BIT_AREA = 13;

// One request as the fake understood it.
struct SPlcRequest {
    FakeComm::Bytes bytes;    // exactly what was written
    bool wellFormed = false;  // long enough for its fields, known function and area
    uint16_t transaction = 0;
    uint16_t protocol = 0;
    uint16_t length = 0;  // header length field
    uint8_t station = 0;
    uint8_t function = 0;
    uint8_t areaCode = 0;
    int area = -1;  // area index, -1 when the code is unknown
    uint32_t address = 0;
    uint16_t count = 0;
    uint8_t byteCount = 0;  // writes only
    FakeComm::Bytes data;   // writes only
};

enum class EPlcAnswer { Normal, Silent, Stale, StaleOnly, Exception, Short, Garbage, Split };

class CFakePlc : public FakeComm {
public:
    CFakePlc() = default;

    // --- memory
    void SetBit(int area, uint32_t address, bool value);
    bool Bit(int area, uint32_t address) const;
    void SetWord(int area, uint32_t address, uint16_t value);
    uint16_t Word(int area, uint32_t address) const;
    void SetWords(int area, uint32_t address, const std::vector<uint16_t>& values);
    // Bytes into consecutive registers, first byte high; an odd tail is padded with 0.
    void SetWordBytes(int area, uint32_t address, const Bytes& bytes);
    void ClearMemory();

    // --- area codes (the fake's own table)
    static uint8_t AreaCode(int area);
    static int AreaFromCode(uint8_t code);

    // --- misbehaviour
    void StaySilent(int times = 1) { Schedule(EPlcAnswer::Silent, times); }
    void AnswerStale(int times = 1) { Schedule(EPlcAnswer::Stale, times); }
    void AnswerStaleOnly(int times = 1) { Schedule(EPlcAnswer::StaleOnly, times); }
    void AnswerException(uint8_t code = 0x02, int times = 1);
    void AnswerShort(size_t bytes, int times = 1);
    void AnswerGarbage(const Bytes& bytes, int times = 1);
    void AnswerSplit(const std::vector<size_t>& sizes, int times = 1);
    void Normal();

    // --- what was asked
    const std::vector<SPlcRequest>& Requests() const { return m_requests; }
    size_t RequestCount() const { return m_requests.size(); }
    const SPlcRequest& LastRequest() const { return m_requests.back(); }
    void ClearRequests() { m_requests.clear(); }

    // The normal reply to a request, as the fake would build it (tests use it
    // to make stale or broken replies of their own).
    Bytes BuildReply(const SPlcRequest& request) const;
    static SPlcRequest Parse(const Bytes& bytes);

protected:
    void OnWrite(const Bytes& written) override;

private:
    struct SAnswer {
        EPlcAnswer kind = EPlcAnswer::Normal;
        int param = 0;
        Bytes bytes;
        std::vector<size_t> sizes;
    };
    void Schedule(EPlcAnswer kind, int times, int param = 0, const Bytes& bytes = Bytes(),
                  const std::vector<size_t>& sizes = std::vector<size_t>());
    SAnswer NextAnswer();
    Bytes ExceptionReply(const SPlcRequest& request, uint8_t code) const;
    Bytes ReadReply(const SPlcRequest& request) const;
    Bytes WriteReply(const SPlcRequest& request) const;
    void StoreWrite(const SPlcRequest& request);

    std::map<uint32_t, bool> m_bits[PLC_AREA_COUNT];
    std::map<uint32_t, uint16_t> m_words[PLC_AREA_COUNT];
    std::deque<SAnswer> m_schedule;
    SAnswer m_standing;
    std::vector<SPlcRequest> m_requests;
};
