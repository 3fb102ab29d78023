// Service routines: communication primitives, the value codec, byte/hex/text
// conversions and runtime-variable access. A class without data.
#pragma once

#include <cstdint>

#include "driver/holn_data.h"
#include "host/host.h"

// Reads never wait less than this (ms).
const unsigned int SVR_MIN_READ_TIMEOUT = 100;
// Chunk of the stop-character and quiet read modes.
const int SVR_READ_CHUNK = 512;

// Read modes.
enum : int { SVR_READ_STOPCHAR = 0, SVR_READ_INPUTLEN = 1, SVR_READ_SLEEP = 2, SVR_READ_CHARORLEN = 3 };
// Text modes.
enum : int { SVR_TEXT_PLAIN = 0, SVR_TEXT_HEX = 1 };

class CDevServer {
public:
    virtual ~CDevServer() = default;

    // --- communication primitives (DevServerComm.cpp)
    static int SvrWriteTcpip(HOLN_DATA& data, CByteArray& bytes);
    static int mfWriteComm(HOLN_DATA& data, CByteArray& bytes);
    static int SvrReadTcpip(HOLN_DATA& data, CByteArray& bytes);
    static int mfReadComm(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout, int mode, unsigned int length,
                          unsigned char stop);
    static int mfReadCommUseStopChar(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout, unsigned char stop);
    static int mfReadCommUseInputLen(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout, unsigned int length);
    static int mfReadCommUseSleep(HOLN_DATA& data, CByteArray& bytes, unsigned int timeout);
    static int mfReadCommUseCharOrLen(HOLN_DATA& data, CByteArray& bytes, unsigned char stop, unsigned int timeout,
                                      unsigned int length);
    static int SvrWriteComm(HOLN_DATA& data, int textMode, CString& text);
    static int SvrReadComm(HOLN_DATA& data, int textMode, CString& text, unsigned int timeout, int readMode,
                           unsigned int length, unsigned char stop);
    static int SvrWriteAndReadComm(HOLN_DATA& data, int textMode, CString& text, unsigned int timeout, int readMode,
                                   unsigned int length, unsigned char stop);
    static int SvrClearCommInBuff(HOLN_DATA& data);

    // --- value codec (DevServerCodec.cpp)
    static double SvrStr2Double(const CString& text, int type, int swapUnit, int len);
    // The same on the first `length` characters at text: fields cut out of a
    // reply are decoded where they lie, without a CString of their own.
    static double SvrText2Double(const char* text, int length, int type, int swapUnit, int len);
    static CString SvrDouble2Str(double value, int type, int swapUnit, int len);
    static int Double2Int(double value);
    static int SvrSetByteBit(CByteArray& bytes, double value, int bit);

    // --- byte, hex and text-encoding conversions (DevServerConvert.cpp)
    static int SvrStr2Byte(const CString& text, CByteArray& out);
    static int SvrByte2Str(CByteArray& in, CString& out);
    static int SvrHStr2HByte(const CString& hex, CByteArray& out);
    static int SvrHByte2HStr(const CByteArray& in, CString& out);
    static int SvrChangeStrIncode(CByteArray& bytes, int order);
    static int SvrStr2ASCII(const CString& text, CByteArray& out);
    static int SvrASCII2Str(CByteArray& in, CString& out);
    // The same through converters kept open by their owner.
    static int SvrASCII2Str(CByteArray& in, CString& out, CTextDecoders& decoders);
    static int SvrStr2Unicode(const CString& text, CByteArray& out);
    static int SvrUnicode2Str(CByteArray& in, CString& out);
    static int SvrUnicode2Str(CByteArray& in, CString& out, CTextDecoders& decoders);
    static int ConvertCode(const char* from, const char* to, char* in, int inLen, char* out, int& outLeft);
    static int Utf8ToGbk(char* in, int inLen, char* out, int& outLeft);
    static int GbkToUtf8(char* in, int inLen, char* out, int& outLeft);
    static int Utf8ToUnicode(char* in, int inLen, char* out, int& outLeft);
    static int UnicodeToUtf8(char* in, int inLen, char* out, int& outLeft);
    static int GbkToUnicode(char* in, int inLen, char* out, int& outLeft);
    static int UnicodeToGbk(char* in, int inLen, char* out, int& outLeft);

    // --- runtime variables and command text (DevServerParam.cpp)
    static int SvrGetParaValue(HOLN_DATA& data, CString name, double& out);
    static int SvrGetParaValue(HOLN_DATA& data, CString name, CString& out);
    static int SvrSetParaValue(HOLN_DATA& data, CString name, double& value);
    static int SvrSetParaValue(HOLN_DATA& data, CString name, CString& value);
    static int SvrGetCmdStr(CString& text, CString& separator, CString& left, CString& right);
};
