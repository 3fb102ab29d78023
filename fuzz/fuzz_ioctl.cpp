// IO-control command text comes from the runtime's scripts and is untrusted:
// any text must end with one of DevIOCtrl's result codes, without a crash,
// a hang, a leak or an oversized allocation.
//
// Input: the command text up to the first NUL byte. Bytes after the NUL pick
// how the controller misbehaves (one byte per kind and count, in order), so
// that commands also meet silence, stale, refused, short and split replies.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/qdevctrl.h"
#include "fuzz_support.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

namespace {

// A silent controller costs this much fake time per attempt.
const int32_t IOCTL_WAIT_MS = 100;

// Variables of every type the commands name in the seeds, under names the
// fuzzer finds in the corpus and in the dictionary.
void AddVariables(CFakeRtdb& db)
{
    db.AddVar("Var1", 7);
    db.AddVar("Var2", 2.5);
    db.AddVar("St", 0);
    db.AddVar("Addr", 100);
    db.AddVar("Cnt", 3.0);
    db.AddVar("T01", 0);
    db.AddVar("T02", 0);
    db.AddVar("T03", 0.0);
    db.AddVar("S1", "1.5");
    db.AddVar("Rec", "");
    db.AddVar("Area", "D");
    db.AddVar("Typ", "DF");
    db.AddVar("Blk", "1,2\r\n3,4\r\n");
    db.AddVar("Big", "4294967296");
}

void FillController(CFakePlc& plc)
{
    plc.SetWords(PLC_AREA_D, 0, {0x3FC0, 0x0000, 0x1234, 0x5678, 0x9ABC, 0xDEF0, 0xFFFF, 0x8000});
    plc.SetWordBytes(PLC_AREA_D, 100, {'H', 'e', 'l', 'l', 'o', 0xE4, 0xB8, 0xAD});
    plc.SetBit(PLC_AREA_M, 5, true);
    plc.SetBit(PLC_AREA_X, 15, true);
}

void Misbehave(CFakePlc& plc, CFuzzBytes& schedule)
{
    while (!schedule.Empty()) {
        const uint8_t kind = schedule.Byte();
        const int times = 1 + (kind >> 4);
        switch (kind & 0x0F) {
            case 0:
                plc.StaySilent(times);
                break;
            case 1:
                plc.AnswerStale(times);
                break;
            case 2:
                plc.AnswerStaleOnly(times);
                break;
            case 3:
                plc.AnswerException(schedule.Byte(), times);
                break;
            case 4:
                plc.AnswerShort(schedule.Byte(), times);
                break;
            case 5:
                plc.AnswerGarbage(schedule.Take(schedule.Byte() % 32), times);
                break;
            case 6:
                plc.AnswerSplit({schedule.Byte(), schedule.Byte()}, times);
                break;
            default:
                plc.AnswerSplit({1}, times);
                break;
        }
    }
}

void RunCommand(const std::string& text, CFuzzBytes& schedule)
{
    CFakeRtdb db;
    CFakePlc plc;
    AddVariables(db);
    FillController(plc);
    Misbehave(plc, schedule);

    IDeviceCtrl* dev = CreateDeviceCtrl("FUZZ", &db);
    CBlobBuilder blob = DeviceBlob({SBlobRow::Word(14, 0)}, {1, IOCTL_WAIT_MS, 0, 0, 0, 0, 1, 0, 0});
    FuzzExpectCode("InitDevice", dev->InitDevice(blob.Data(), blob.Size()), {0});
    FuzzExpectCode("UpdataCommunication", dev->UpdataCommunication(&plc), {0});
    // 0 after success or an unknown keyword, else the positive error number.
    FuzzExpectCode("DevIOCtrl", dev->DevIOCtrl(text.c_str()), {0, 1, 2, 4, 5, 6, 7});
    FuzzExpectCode("CleanupDevice", dev->CleanupDevice(), {0});
    DestroyDeviceCtrl(dev);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzClockReset();
    size_t textLen = 0;
    while (textLen < size && data[textLen] != 0) ++textLen;
    const std::string text(reinterpret_cast<const char*>(data), textLen);
    const size_t after = textLen < size ? textLen + 1 : size;
    CFuzzBytes schedule(data + after, size - after);
    RunCommand(text, schedule);
    FuzzExpectNoRows("fuzz_ioctl");
    return 0;
}
