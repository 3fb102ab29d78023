// The archive primitives, the channel-table reader and the text parsers meet
// untrusted bytes first: configuration blobs and the number texts of replies
// and commands. No byte sequence may make them crash, read or write out of
// bounds, or allocate beyond what the input can fill.
//
// Input: [n][n operation bytes][payload]. The payload is loaded into an
// archive the way device initialization loads a blob, then the operations
// read every primitive type from it (and switch modes, rewind, write) in the
// order the fuzzer chose. The payload is also read as a channel table (and
// the table stored and read back), and its front as number text under every
// format key and through the value codec.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "config/Dev.h"
#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "config/cstrtonumeric.h"
#include "fuzz_support.h"
#include "service/DevServer.h"
#include "support/schema.h"

namespace {

// Number texts in replies and commands are short; longer ones add nothing.
const size_t ARCHIVE_TEXT_MAX = 48;

void LoadLikeInit(COwnerArchive& ar, const std::vector<uint8_t>& payload)
{
    if (!payload.empty()) ar.SvrWrite(payload.data(), static_cast<int>(payload.size()));
    ar.SvrSeekToBegin();
    ar.SvrChangeMode(ARCHIVE_LOADING);
}

void CheckCursor(COwnerArchive& ar)
{
    if (ar.SvrGetBufferSize() < 0 || ar.SvrGetBufferSize() > ar.SvrGetRealBufferSize())
        FuzzFail("archive cursor outside its buffer");
}

void RunOperation(COwnerArchive& ar, uint8_t op, CFuzzBytes& ops)
{
    char c = 0;
    unsigned char uc = 0;
    bool b = false;
    unsigned short us = 0;
    int i = 0;
    unsigned int ui = 0;
    long l = 0;
    float f = 0;
    double d = 0;
    CString s;
    switch (op % 20) {
        case 0:
            ar >> c;
            break;
        case 1:
            ar >> uc;
            break;
        case 2:
            ar >> b;
            break;
        case 3:
            ar >> us;
            break;
        case 4:
            ar >> i;
            break;
        case 5:
            ar >> ui;
            break;
        case 6:
            ar >> l;
            break;
        case 7:
            ar >> f;
            break;
        case 8:
            ar >> d;
            break;
        case 9:
            ar >> s;
            break;
        case 10: {
            CByteArray bytes;
            bytes.SetSize(ops.Byte());
            ar.SvrRead(bytes);
            break;
        }
        case 11:
            ar.GetNowVersion();
            break;
        case 12:
            ar.SvrSeekToBegin();
            break;
        case 13:
            ar.SvrChangeMode(ARCHIVE_LOADING);
            break;
        case 14:
            ar.SvrChangeMode(ARCHIVE_STORING);
            break;
        case 15:
            ar << static_cast<int>(ops.Byte());
            break;
        case 16:
            ar << CString("text");
            break;
        case 17:
            ar.IsBufferEnd();
            break;
        case 18: {
            unsigned char raw[256];
            ar.SvrRead(raw, ops.Byte());
            break;
        }
        default:
            ar << 1.5 << true << static_cast<unsigned short>(7);
            break;
    }
    CheckCursor(ar);
}

void FuzzPrimitives(const std::vector<uint8_t>& program, const std::vector<uint8_t>& payload)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadLikeInit(ar, payload);
    CFuzzBytes ops(program.data(), program.size());
    while (!ops.Empty()) RunOperation(ar, ops.Byte(), ops);
}

bool SameRows(CDevTable& a, CDevTable& b)
{
    if (a.GetRowCount() != b.GetRowCount()) return false;
    for (int r = 0; r < a.GetRowCount(); ++r) {
        for (int p = 0; p < DEVROW_PROPERTY_NUM; ++p) {
            if (a.Row(r).GetdwValueAt(p) != b.Row(r).GetdwValueAt(p)) return false;
        }
        if (a.Row(r).GetstrValue(DEVROW_STR_CHLNAME) != b.Row(r).GetstrValue(DEVROW_STR_CHLNAME)) return false;
    }
    return true;
}

// What a table reads, it stores, and what it stores reads back the same.
void FuzzTable(const std::vector<uint8_t>& payload)
{
    COwnerArchive in(ARCHIVE_STORING);
    LoadLikeInit(in, payload);
    CDevTable table;
    in >> table;

    COwnerArchive out(ARCHIVE_STORING);
    out << table;
    const CByteArray& stored = out.GetBuffer();
    std::vector<uint8_t> bytes(stored.GetData(), stored.GetData() + out.SvrGetBufferSize());
    COwnerArchive again(ARCHIVE_STORING);
    LoadLikeInit(again, bytes);
    CDevTable copy;
    again >> copy;
    if (!SameRows(table, copy)) FuzzFail("a stored channel table reads back differently");
}

void FuzzNumbers(const CString& text)
{
    static const char* const KEYS[] = {"%d",   "%u",   "%ld", "%x",  "%o", "%f", "%lf", "%lld",
                                       "%llu", "%llx", "%X",  "%LF", "%i", "",   "%"};
    for (const char* key : KEYS) {
        alignas(8) unsigned char out[8] = {};
        cstringToNumeric(text, key, out);
    }
    alignas(8) unsigned char out[8] = {};
    cstringToULong(text, out, false);
}

void FuzzCodec(const CString& text, CFuzzBytes& knobs)
{
    const int type = knobs.Byte();
    const int swapUnit = static_cast<int8_t>(knobs.Byte());
    const int len = static_cast<int16_t>(knobs.U16());
    (void)CDevServer::SvrStr2Double(text, type, swapUnit, len);
    double value = 0;
    std::vector<uint8_t> raw = knobs.Take(sizeof value);
    raw.resize(sizeof value);
    std::memcpy(&value, raw.data(), sizeof value);
    (void)CDevServer::SvrDouble2Str(value, type, swapUnit, len);
    (void)CDevServer::Double2Int(value);
    CByteArray bytes;
    bytes.SetSize(knobs.Byte() % 16);
    CDevServer::SvrSetByteBit(bytes, value, static_cast<int8_t>(knobs.Byte()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    InstallRowSchema();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzClockReset();
    CFuzzBytes input(data, size);
    const std::vector<uint8_t> program = input.Take(input.Byte());
    const std::vector<uint8_t> payload = input.Rest();

    FuzzPrimitives(program, payload);
    FuzzTable(payload);

    const size_t textLen = payload.size() < ARCHIVE_TEXT_MAX ? payload.size() : ARCHIVE_TEXT_MAX;
    const CString text(reinterpret_cast<const char*>(payload.data()), static_cast<int>(textLen));
    FuzzNumbers(text);
    CFuzzBytes knobs(program.data(), program.size());
    FuzzCodec(text, knobs);

    FuzzExpectNoRows("fuzz_archive");
    return 0;
}
