// Writes the seed corpora of the fuzz targets: small valid inputs that reach
// deep into each parser, from which the fuzzer mutates.
//   make_seeds <corpus folder>   (writes <folder>/fuzz_blob/..., one file per seed)
// Reply seeds are recorded: the reply session runs against the fake
// controller, and its answers become the records of the input.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "reply_session.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Control bits of a reply record (fuzz_reply.cpp).
const uint8_t STAMP_SEQUENCE = 0x01, STAMP_FUNCTION = 0x02, END_OF_ANSWER = 0x08, MORE_FOLLOWS = 0x10;

std::string g_root;

void WriteSeed(const std::string& target, const std::string& name, const Bytes& bytes)
{
    const std::string dir = g_root + "/" + target;
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) FuzzFail("cannot write " + path);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void WriteText(const std::string& target, const std::string& name, const std::string& text)
{
    WriteSeed(target, name, Bytes(text.begin(), text.end()));
}

// ---- configuration blobs

SBlobRow Sized(SBlobRow row, uint32_t bit, uint32_t rw = 2)
{
    row.bit = bit;
    row.rwFlag = rw;
    return row;
}

void BlobSeeds()
{
    const std::vector<int32_t> props = {1, 100, 0, 0, 0, 0, 1, 0, 0};
    WriteSeed("fuzz_blob", "one_word", DeviceBlob({SBlobRow::Word(14, 0, 83, "D0")}, props).Bytes());
    WriteSeed("fuzz_blob", "mixed",
              DeviceBlob({SBlobRow::Bit(0, 0, "M0"), SBlobRow::Bit(0, 9), SBlobRow::Bit(1, 15),
                          SBlobRow::Word(14, 0, 86), SBlobRow::Word(14, 2, 89), Sized(SBlobRow::Word(14, 4, 3), 3),
                          SBlobRow::Word(14, 5, 93), Sized(SBlobRow::Word(14, 9, 131), 10),
                          Sized(SBlobRow::Word(17, 0, 84), 0, 0), SBlobRow::Word(28, 7, 92)},
                         props)
                  .Bytes());
    WriteSeed("fuzz_blob", "unicode_strings",
              DeviceBlob({Sized(SBlobRow::Word(14, 0, 131), 6), Sized(SBlobRow::Word(14, 10, 131), 255)},
                         {2, 50, 1, 1, 1, 1, 0, 7, 7})
                  .Bytes());
    // Old blobs carry no format marker; newer formats are refused.
    CBlobBuilder old;
    old.Props(props).Rows({SBlobRow::Word(14, 1), SBlobRow::Word(14, 3, 87)});
    WriteSeed("fuzz_blob", "unmarked", old.Bytes());
    CBlobBuilder newer;
    newer.Marker(20001).Props(props).Rows({SBlobRow::Word(14, 1)});
    WriteSeed("fuzz_blob", "newer_format", newer.Bytes());
    CBlobBuilder twelve;
    twelve.Marker().Props({1, 0, 1, 2, 3, 1, 1, 4, 5, 9, 10, 11}).Rows({SBlobRow::Word(22, 65535, 90)});
    WriteSeed("fuzz_blob", "twelve_props", twelve.Bytes());
    CBlobBuilder hostile;
    hostile.Marker().Props(props).RowCount(0x7FFFFFFF).Row(SBlobRow::Word(14, 0));
    WriteSeed("fuzz_blob", "row_count_too_big", hostile.Bytes());
    WriteSeed("fuzz_blob", "no_rows", DeviceBlob({}, props).Bytes());
}

// ---- controller replies

// The memory the recorded session reads: a value for every type and order.
void FillController(CFakePlc& plc)
{
    plc.SetWords(PLC_AREA_D, 0, {0x1234, 0xFF85, 0x9876, 0x0001, 0x0002, 0xFFFF, 0xFFFE, 0x1234, 0x5678, 0x3FC0,
                                 0x0000, 0x0000, 0x0000, 0x0000, 0x0001, 0x8000, 0x0000, 0x0000, 0x0002, 0x1234,
                                 0x5678, 0x9012, 0x3456, 0x3FF8, 0x0000, 0x0000, 0x0000, 0x8008});
    plc.SetWordBytes(PLC_AREA_D, 30, {'H', 'e', 'l', 'l', 'o', 0xE4, 0xB8, 0xAD, '!', 0});
    plc.SetWordBytes(PLC_AREA_D, 40, {0, 'A', 0, 'B', 0x4E, 0x2D, 0});
    plc.SetWords(PLC_AREA_D, 200, {0x4009, 0x21FB, 0x5444, 0x2D18});
    plc.SetWord(17, 5, 0x0102);
    plc.SetWord(PLC_AREA_HSD, 0, 0xABCD);
    plc.SetWords(PLC_AREA_FS, 0, {0xC2F6, 0xE979});
    plc.SetBit(PLC_AREA_M, 0, true);
    plc.SetBit(PLC_AREA_M, 8, true);
    plc.SetBit(PLC_AREA_M, 15, true);
    plc.SetBit(PLC_AREA_X, 8, true);
}

// The replies a well-behaved controller gives to one whole session.
std::vector<Bytes> RecordReplies(const Bytes& config)
{
    FuzzClockReset();
    CFakePlc plc;
    FillController(plc);
    RunReplySession(config.data(), plc);
    std::vector<Bytes> replies;
    for (const SPlcRequest& request : plc.Requests()) replies.push_back(plc.BuildReply(request));
    return replies;
}

void Record(Bytes& out, uint8_t control, const Bytes& chunk)
{
    out.push_back(control);
    out.push_back(static_cast<uint8_t>(chunk.size()));
    out.insert(out.end(), chunk.begin(), chunk.end());
}

enum class EShape { Whole, Split, Stale, Stamped, FirstSilent };

Bytes ReplyInput(const Bytes& config, EShape shape)
{
    Bytes out = config;
    const std::vector<Bytes> replies = RecordReplies(config);
    for (size_t i = 0; i < replies.size(); ++i) {
        const Bytes& reply = replies[i];
        switch (shape) {
            case EShape::Whole:
                Record(out, END_OF_ANSWER, reply);
                break;
            case EShape::Split:
                Record(out, MORE_FOLLOWS, Bytes(reply.begin(), reply.begin() + 5));
                Record(out, END_OF_ANSWER, Bytes(reply.begin() + 5, reply.end()));
                break;
            case EShape::Stale: {
                Bytes stale = reply;
                stale[1] = static_cast<uint8_t>(stale[1] - 1);
                Record(out, MORE_FOLLOWS, stale);
                Record(out, END_OF_ANSWER, reply);
                break;
            }
            case EShape::Stamped: {
                Bytes blank = reply;
                blank[0] = blank[1] = blank[6] = blank[7] = 0;
                Record(out, STAMP_SEQUENCE | STAMP_FUNCTION | END_OF_ANSWER, blank);
                break;
            }
            case EShape::FirstSilent:
                // Silence only delays the first read; the stamped replies fit whatever follows.
                if (i == 0) Record(out, END_OF_ANSWER, Bytes());
                Record(out, STAMP_SEQUENCE | STAMP_FUNCTION | END_OF_ANSWER, reply);
                break;
        }
    }
    return out;
}

void ReplySeeds()
{
    WriteSeed("fuzz_reply", "ascii_canonical", ReplyInput({0x00, 0x00}, EShape::Whole));
    WriteSeed("fuzz_reply", "unicode_swapped", ReplyInput({0x4B, 0x49}, EShape::Whole));
    WriteSeed("fuzz_reply", "orders_3_7", ReplyInput({0x7E, 0xBF}, EShape::Whole));
    WriteSeed("fuzz_reply", "split_replies", ReplyInput({0x01, 0x09}, EShape::Split));
    WriteSeed("fuzz_reply", "stale_then_reply", ReplyInput({0x22, 0x52}, EShape::Stale));
    WriteSeed("fuzz_reply", "stamped", ReplyInput({0x00, 0x00}, EShape::Stamped));
    WriteSeed("fuzz_reply", "first_silent", ReplyInput({0x00, 0x00}, EShape::FirstSilent));
    WriteSeed("fuzz_reply", "silent", {0x00, 0x00});
}

// ---- IO-control commands

void IoctlSeeds()
{
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"read_dub", "READ(D,100,DUB=Var1)"},
        {"read_status", "READ(D,100,DUB=Var1=St)"},
        {"write_bit", "WRITE(M,5,X=1)"},
        {"write32_float", "WRITE32(D,0,DF=S1)"},
        {"read32_float", "READ32(D,0,DF=S1)"},
        {"readblock", "READBLOCK(D,10,[DUB][WUB],2,Rec)"},
        {"two_commands", "READ(D,1,WUB=Var1) READ(D,2,WUB=T01)"},
        {"lower_case", "read(d,1,wub=Var1)"},
        {"unknown", "FOO(D,1,WUB=Var1)"},
        {"readp", "READP(D,0,WUB,3,T01,T02,T03)"},
        {"readpv", "READPV(D,0,WUB,3,T01=St)"},
        {"writep", "WRITEP(D,0,WB,3,1,-2,Var2)"},
        {"writepv", "WRITEPV(D,4,LF,2,T01)"},
        {"writeblock_var", "WRITEBLOCK(D,10,[DUB][WUB],2,Blk)"},
        {"writeblock_text", "WRITEBLOCK(D,20,[WUB][WB],2,1,2\r\n3,4=St)"},
        {"readmutireg", "ReadMutiReg(D,0,4,WUB,Rec)"},
        {"writemutireg", "WriteMutiReg(D,0,3,WD,1,2,3)"},
        {"variables", "READ(Area,Addr,Typ=Var2)"},
        {"octal_x", "READ(X,17,WUB=Var1)"},
        {"parts", "READ(D,0,BT15=Var1;D,1,WUB=Var2)"},
        {"string_type", "READ32(D,100,STR=S1)"},
        {"count_var", "READP(D,Addr,LUB,Cnt,T01,T02,T03)"},
        {"missing_paren", "READ(D,1,WUB=Var1"},
    };
    for (const auto& seed : commands) WriteText("fuzz_ioctl", seed.first, seed.second);
    // The same commands against a controller that misbehaves (bytes after the NUL).
    const std::string read = "READ(D,100,DUB=Var1=St)";
    auto withSchedule = [&](const std::string& name, const std::string& text, const Bytes& schedule) {
        Bytes bytes(text.begin(), text.end());
        bytes.push_back(0);
        bytes.insert(bytes.end(), schedule.begin(), schedule.end());
        WriteSeed("fuzz_ioctl", name, bytes);
    };
    withSchedule("silent_controller", read, {0x20});
    withSchedule("stale_reply", read, {0x01});
    withSchedule("exception_reply", "WRITE32(D,0,DF=S1)", {0x03, 0x02});
    withSchedule("short_reply", "READBLOCK(D,10,[DUB][WUB],2,Rec)", {0x04, 0x0A});
    withSchedule("split_reply", "READP(D,0,WUB,3,T01,T02,T03)", {0x06, 0x03, 0x07});
}

// ---- archive primitives and number texts

Bytes ArchiveInput(const Bytes& program, const Bytes& payload)
{
    Bytes out;
    out.push_back(static_cast<uint8_t>(program.size()));
    out.insert(out.end(), program.begin(), program.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes TextBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

void ArchiveSeeds()
{
    const Bytes blob = DeviceBlob({SBlobRow::Word(14, 100, 86, "读写DDUB0100"), SBlobRow::Bit(0, 5, "M5")}).Bytes();
    // Props count, nine ints, row count, then a row's seven dwords and its name.
    WriteSeed("fuzz_archive", "device_blob",
              ArchiveInput({4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 9}, blob));
    WriteSeed("fuzz_archive", "every_type",
              ArchiveInput({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 4, 11, 17, 18, 3},
                           {0x20, 0x4E, 'a', 1, 0x34, 0x12, 1, 0, 0,    0,    2, 0, 0, 0, 3,   0,   0,   0, 0, 0,
                            0xC0, 0x3F, 0,   0, 0,    0,    0, 0, 0xF8, 0x3F, 3, 0, 0, 0, 'a', 'b', 'c', 9, 9, 9}));
    WriteSeed("fuzz_archive", "modes",
              ArchiveInput({4, 15, 7, 13, 4, 14, 16, 12, 19, 9, 13, 9}, {1, 2, 3, 4, 5, 6, 7}));
    WriteSeed("fuzz_archive", "long_string", ArchiveInput({9, 9}, {0xFF, 0xFF, 0xFF, 0x7F, 'x', 'y'}));
    const std::vector<std::pair<std::string, std::string>> numbers = {
        {"minus", "-12"},       {"hex", "0x1A"},        {"exponent", "1e3"},    {"double_minus", "--5"},
        {"blank_minus", " -5"}, {"wide", "4294967296"}, {"real", "-2.5"},       {"trailing", "12abc"},
        {"nan", "nan"},         {"huge", "1e400"},      {"octal", "777777777"}, {"long_hex", "FFFFFFFFFFFFFFFFF"},
    };
    for (const auto& number : numbers)
        WriteSeed("fuzz_archive", "number_" + number.first, ArchiveInput({86, 0, 0, 1}, TextBytes(number.second)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    mkdir(g_root.c_str(), 0755);
    BlobSeeds();
    ReplySeeds();
    IoctlSeeds();
    ArchiveSeeds();
    FuzzExpectNoRows("make_seeds");
    return 0;
}
