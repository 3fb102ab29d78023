// The controller model: every function code, the exception replies, bit
// packing and the frame descriptions of the simulator's verbose log.
#include "plc/plc_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const int M = plc::areaIndexFromName("M");
const int D = plc::areaIndexFromName("D");

Bytes Request(uint8_t function, uint8_t area, uint32_t address, uint16_t count, const Bytes& data = {},
              bool withByteCount = false)
{
    Bytes f = {0x12,
               0x34,
               0,
               0,
               0,
               0,
               0x01,
               function,
               area,
               static_cast<uint8_t>(address >> 16),
               static_cast<uint8_t>(address >> 8),
               static_cast<uint8_t>(address),
               static_cast<uint8_t>(count >> 8),
               static_cast<uint8_t>(count)};
    if (withByteCount) f.push_back(static_cast<uint8_t>(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    size_t length = f.size() - 6;
    f[4] = static_cast<uint8_t>(length >> 8);
    f[5] = static_cast<uint8_t>(length);
    return f;
}

Bytes Write(uint8_t function, uint8_t area, uint32_t address, uint16_t count, const Bytes& data)
{
    return Request(function, area, address, count, data, true);
}

void ExpectException(const Bytes& reply, uint8_t function, plc::Exception code)
{
    ASSERT_EQ(reply.size(), 9u);
    EXPECT_EQ(reply[0], 0x12);
    EXPECT_EQ(reply[1], 0x34);
    EXPECT_EQ(reply[5], 3);  // length: station, function, code
    EXPECT_EQ(reply[7], function | 0x80);
    EXPECT_EQ(reply[8], static_cast<uint8_t>(code));
}

TEST(PlcAreas, NamesAndCodesMatchTheDeviceTable)
{
    EXPECT_EQ(plc::areaIndexFromName("m"), 0);
    EXPECT_EQ(plc::areaIndexFromName("HSC"), 13);
    EXPECT_EQ(plc::areaIndexFromName("FS"), 28);
    EXPECT_EQ(plc::areaIndexFromName("DX"), -1);
    EXPECT_EQ(plc::areaIndexFromCode(0x12), 8);  // SEM, out of sequence
    EXPECT_EQ(plc::areaIndexFromCode(0x8C), 22);
    EXPECT_EQ(plc::areaIndexFromCode(0x99), -1);
    for (int i = 0; i < plc::kAreaCount; ++i) EXPECT_EQ(plc::areaInfo(i).isWord, i >= plc::kFirstWordArea);
}

TEST(PlcFrames, LengthFromTheHeader)
{
    Bytes f = Request(plc::kFuncReadWords, 0x80, 0, 1);
    EXPECT_FALSE(plc::frameLength(f.data(), 5).has_value());
    EXPECT_EQ(plc::frameLength(f.data(), 6), 14u);
    Bytes big = {0, 0, 0, 0, 0xFF, 0xFF};
    EXPECT_EQ(plc::frameLength(big.data(), big.size()), 6u + 65535u);
}

TEST(PlcMemory, ReadWordsBigEndian)
{
    plc::Memory m;
    m.setWord(D, 100, 0x1234);
    m.setWord(D, 101, 0xABCD);
    Bytes reply = m.handle(Request(plc::kFuncReadWords, 0x80, 100, 2));
    EXPECT_EQ(reply, (Bytes{0x12, 0x34, 0, 0, 0, 7, 0x01, 0x20, 4, 0x12, 0x34, 0xAB, 0xCD}));
}

TEST(PlcMemory, ReadBitsPackedLeastSignificantFirst)
{
    plc::Memory m;
    // M10, M12 and M25 set: 0x05 then bit 7 of the second byte.
    m.setBit(M, 10, true);
    m.setBit(M, 12, true);
    m.setBit(M, 25, true);
    Bytes reply = m.handle(Request(plc::kFuncReadBits, 0x03, 10, 16));
    EXPECT_EQ(reply, (Bytes{0x12, 0x34, 0, 0, 0, 5, 0x01, 0x1E, 2, 0x05, 0x80}));

    // A count that is no multiple of 8 still fills whole bytes, the rest 0.
    Bytes partial = m.handle(Request(plc::kFuncReadBits, 0x03, 10, 3));
    EXPECT_EQ(partial, (Bytes{0x12, 0x34, 0, 0, 0, 4, 0x01, 0x1E, 1, 0x05}));
}

TEST(PlcMemory, WriteWordsThenReadBack)
{
    plc::Memory m;
    Bytes ack = m.handle(Write(plc::kFuncWriteWords, 0x80, 200, 2, {0x00, 0x01, 0xFF, 0xFE}));
    // The acknowledgement echoes area, address and count: 14 bytes.
    EXPECT_EQ(ack, (Bytes{0x12, 0x34, 0, 0, 0, 8, 0x01, 0x21, 0x80, 0, 0, 200, 0, 2}));
    EXPECT_EQ(m.word(D, 200), 1);
    EXPECT_EQ(m.word(D, 201), 0xFFFE);
    Bytes reply = m.handle(Request(plc::kFuncReadWords, 0x80, 200, 2));
    EXPECT_EQ(Bytes(reply.begin() + 9, reply.end()), (Bytes{0x00, 0x01, 0xFF, 0xFE}));
}

TEST(PlcMemory, WriteBitsUnpacksLeastSignificantFirst)
{
    plc::Memory m;
    // Ten bits: the first eight in byte 0 (first = bit 0), the last two in bits 0-1 of byte 1.
    Bytes ack = m.handle(Write(plc::kFuncWriteBits, 0x03, 5, 10, {0b10000001, 0b00000010}));
    ASSERT_EQ(ack.size(), 14u);
    EXPECT_EQ(ack[7], plc::kFuncWriteBits);
    const bool expected[10] = {true, false, false, false, false, false, false, true, false, true};
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(m.bit(M, 5 + i), expected[i]) << "M" << 5 + i;
    EXPECT_FALSE(m.bit(M, 15));
    Bytes reply = m.handle(Request(plc::kFuncReadBits, 0x03, 5, 10));
    EXPECT_EQ(Bytes(reply.begin() + 9, reply.end()), (Bytes{0b10000001, 0b00000010}));
}

TEST(PlcMemory, LastElementOfAnAreaIsServed)
{
    plc::Memory m;
    m.setWord(D, plc::kAreaSize - 1, 7);
    Bytes reply = m.handle(Request(plc::kFuncReadWords, 0x80, plc::kAreaSize - 1, 1));
    ASSERT_EQ(reply.size(), 11u);
    EXPECT_EQ(reply[10], 7);
}

TEST(PlcExceptions, UnknownFunction)
{
    plc::Memory m;
    ExpectException(m.handle(Request(0x03, 0x80, 0, 1)), 0x03, plc::Exception::IllegalFunction);
    EXPECT_EQ(m.exceptionsSent(), 1u);
}

TEST(PlcExceptions, UnknownAreaAndWrongKindOfArea)
{
    plc::Memory m;
    ExpectException(m.handle(Request(plc::kFuncReadWords, 0x99, 0, 1)), plc::kFuncReadWords,
                    plc::Exception::IllegalAddress);
    // Words from a bit area, bits from a word area.
    ExpectException(m.handle(Request(plc::kFuncReadWords, 0x03, 0, 1)), plc::kFuncReadWords,
                    plc::Exception::IllegalAddress);
    ExpectException(m.handle(Request(plc::kFuncReadBits, 0x80, 0, 1)), plc::kFuncReadBits,
                    plc::Exception::IllegalAddress);
}

TEST(PlcExceptions, AddressesOutOfRange)
{
    plc::Memory m;
    ExpectException(m.handle(Request(plc::kFuncReadWords, 0x80, plc::kAreaSize - 1, 2)), plc::kFuncReadWords,
                    plc::Exception::IllegalAddress);
    ExpectException(m.handle(Request(plc::kFuncReadBits, 0x03, 0xFFFFFF, 1)), plc::kFuncReadBits,
                    plc::Exception::IllegalAddress);
    ExpectException(m.handle(Write(plc::kFuncWriteWords, 0x80, plc::kAreaSize, 1, {0, 1})), plc::kFuncWriteWords,
                    plc::Exception::IllegalAddress);
}

TEST(PlcExceptions, MalformedLengthsAndCounts)
{
    plc::Memory m;
    // Length field disagreeing with the frame.
    Bytes lying = Request(plc::kFuncReadWords, 0x80, 0, 1);
    lying[5] = 9;
    ExpectException(m.handle(lying), plc::kFuncReadWords, plc::Exception::IllegalValue);
    // Too short for a read.
    Bytes shortRead = {0x12, 0x34, 0, 0, 0, 4, 1, plc::kFuncReadWords, 0x80, 0};
    ExpectException(m.handle(shortRead), plc::kFuncReadWords, plc::Exception::IllegalValue);
    // Count 0, and more registers than a reply's byte count can carry.
    ExpectException(m.handle(Request(plc::kFuncReadWords, 0x80, 0, 0)), plc::kFuncReadWords,
                    plc::Exception::IllegalValue);
    ExpectException(m.handle(Request(plc::kFuncReadWords, 0x80, 0, 128)), plc::kFuncReadWords,
                    plc::Exception::IllegalValue);
    EXPECT_EQ(m.handle(Request(plc::kFuncReadWords, 0x80, 0, 127)).size(), 9u + 254u);
    // A write whose byte count does not match its count, or its data.
    ExpectException(m.handle(Write(plc::kFuncWriteWords, 0x80, 0, 2, {0, 1})), plc::kFuncWriteWords,
                    plc::Exception::IllegalValue);
    Bytes truncated = Write(plc::kFuncWriteWords, 0x80, 0, 1, {0, 1});
    truncated[14] = 4;
    ExpectException(m.handle(truncated), plc::kFuncWriteWords, plc::Exception::IllegalValue);
    // Nothing of the refused writes reached memory.
    EXPECT_EQ(m.word(D, 0), 0);
    EXPECT_EQ(m.word(D, 1), 0);
}

TEST(PlcExceptions, FramesTooShortForAFunctionGetNoReply)
{
    plc::Memory m;
    EXPECT_TRUE(m.handle(Bytes{0, 1, 0, 0, 0, 1, 1}).empty());
    EXPECT_TRUE(m.handle(Bytes{}).empty());
}

TEST(PlcDescribe, RequestsRepliesAndExceptions)
{
    plc::Memory m;
    m.setWord(D, 100, 0x0102);
    Bytes read = Request(plc::kFuncReadWords, 0x80, 100, 1);
    EXPECT_EQ(plc::describeFrame(read, true), "#1234 st 1 read words D100 x1");
    EXPECT_EQ(plc::describeFrame(m.handle(read), false), "#1234 read words reply, byte count 2: 01 02");
    Bytes write = Write(plc::kFuncWriteBits, 0x03, 5, 2, {0x03});
    EXPECT_EQ(plc::describeFrame(write, true), "#1234 st 1 write bits M5 x2, 1 data bytes: 03");
    EXPECT_EQ(plc::describeFrame(m.handle(write), false), "#1234 write bits done: M5 x2");
    EXPECT_EQ(plc::describeFrame(m.handle(Request(0x07, 0x80, 0, 1)), false),
              "#1234 exception to function 07: illegal function");
    EXPECT_EQ(plc::describeFrame(Bytes{1, 2, 3}, true), "short frame of 3 bytes");
    // Garbage never makes the description read past the frame.
    Bytes odd = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x20, 0xFF};
    EXPECT_FALSE(plc::describeFrame(odd, false).empty());
    EXPECT_FALSE(plc::describeFrame(odd, true).empty());
}

}  // namespace
