#include "reply_session.h"

#include <vector>

#include "config/DevConst.h"
#include "driver/qdevctrl.h"
#include "fuzz_support.h"
#include "support/blob_builder.h"

namespace {

const uint32_t M = 0, X = 1, D = 14, SD = 17, HSD = 22, FS = 28;
const uint32_t READ_ONLY = 0, WRITE_ONLY = 1;
// A silent controller costs this much fake time per attempt.
const int32_t REPLY_WAIT_MS = 100;
// Collections beyond the ranks wrap round to the first again.
const int REPLY_MAX_COLLECTS = 12;

SBlobRow Row(uint32_t area, uint32_t address, uint32_t code, uint32_t bit = 0, uint32_t rw = 2)
{
    SBlobRow row = SBlobRow::Word(area, address, code);
    row.bit = bit;
    row.rwFlag = rw;
    return row;
}

// Channel rows in key order (area, address, bit), as configurations hold them.
std::vector<SBlobRow> Rows()
{
    return {
        SBlobRow::Bit(M, 0),
        SBlobRow::Bit(M, 1),
        SBlobRow::Bit(M, 7),
        SBlobRow::Bit(M, 8),
        SBlobRow::Bit(M, 15),
        SBlobRow::Bit(X, 8),
        Row(D, 0, 83),
        Row(D, 1, 84),
        Row(D, 2, 85),
        Row(D, 3, 86),
        Row(D, 5, 87),
        Row(D, 7, 88),
        Row(D, 9, 89),
        Row(D, 11, 90),
        Row(D, 15, 91),
        Row(D, 19, 92),
        Row(D, 23, 93),
        Row(D, 27, 3, 3),
        Row(D, 27, 15, 15),
        Row(D, 30, 131, 10),
        Row(D, 40, 131, 7),
        Row(D, 200, 93),
        Row(SD, 5, 83, 0, READ_ONLY),
        Row(SD, 6, 83, 0, WRITE_ONLY),
        Row(HSD, 0, 83),
        Row(FS, 0, 89),
    };
}

// Channel numbers the writes aim at (indexes into Rows()).
enum : int {
    CH_M1 = 1,
    CH_WUB = 6,
    CH_WB = 7,
    CH_DB = 10,
    CH_DF = 12,
    CH_LB = 14,
    CH_LF = 16,
    CH_BIT3 = 17,
    CH_STR10 = 19,
    CH_STR7 = 20,
    CH_WRITEONLY = 23,
};

// Station 1; orders and encoding from the two config bytes, over the whole
// range each property accepts plus one value beyond it.
std::vector<int32_t> Props(const uint8_t* config)
{
    const uint8_t a = config[0], b = config[1];
    return {1, REPLY_WAIT_MS, (a >> 1) % 4, (a >> 3) % 5, (a >> 5) % 5, a & 1, (b >> 6) % 3, (b & 7) % 9, (b >> 3) % 9};
}

DATATYPE StoreType(const SBlobRow& row, int index)
{
    if (row.dataType == static_cast<uint32_t>(DATACODE_STR)) return DATATYPE_STRING;
    return index % 3 == 0 ? DATATYPE_INT : DATATYPE_DOUBLE;
}

const std::initializer_list<int> COLLECT_CODES = {0, 1, 2, 7};
const std::initializer_list<int> WRITE_CODES = {0, 1, 2, 4, 5, 7};

int WriteInt(IDeviceCtrl* dev, int channel, int value)
{
    return dev->WriteChannel(channel, DATATYPE_INT, &value);
}

int WriteDouble(IDeviceCtrl* dev, int channel, double value)
{
    return dev->WriteChannel(channel, DATATYPE_DOUBLE, &value);
}

int WriteText(IDeviceCtrl* dev, int channel, const char* text)
{
    return dev->WriteChannel(channel, DATATYPE_STRING, const_cast<char*>(text));
}

void Collect(IDeviceCtrl* dev, const std::vector<int>& flags, int times)
{
    for (int i = 0; i < times; ++i)
        FuzzExpectCode("CollectDevData", dev->CollectDevData(flags.data(), static_cast<int>(flags.size())),
                       COLLECT_CODES);
}

void WriteAll(IDeviceCtrl* dev)
{
    FuzzExpectCode("WriteChannel WUB", WriteInt(dev, CH_WUB, 0xBEEF), WRITE_CODES);
    FuzzExpectCode("WriteChannel WB", WriteInt(dev, CH_WB, -1234), WRITE_CODES);
    FuzzExpectCode("WriteChannel DB", WriteDouble(dev, CH_DB, -123456789.0), WRITE_CODES);
    FuzzExpectCode("WriteChannel DF", WriteDouble(dev, CH_DF, 1.5), WRITE_CODES);
    FuzzExpectCode("WriteChannel LB", WriteDouble(dev, CH_LB, -9.0e15), WRITE_CODES);
    FuzzExpectCode("WriteChannel LF", WriteDouble(dev, CH_LF, 3.25e-300), WRITE_CODES);
    // A bit of a register is read back first, then the register is written.
    FuzzExpectCode("WriteChannel bit", WriteInt(dev, CH_BIT3, 1), WRITE_CODES);
    FuzzExpectCode("WriteChannel M", WriteInt(dev, CH_M1, 1), WRITE_CODES);
    FuzzExpectCode("WriteChannel STR", WriteText(dev, CH_STR10, "\xE4\xB8\xAD\xE6\x96\x87 text"), WRITE_CODES);
    FuzzExpectCode("WriteChannel STR7", WriteText(dev, CH_STR7, "0123456789abc"), WRITE_CODES);
    FuzzExpectCode("WriteChannel write-only", WriteInt(dev, CH_WRITEONLY, 3), WRITE_CODES);
}

}  // namespace

void RunReplySession(const uint8_t* config, ICommunication& line)
{
    const std::vector<SBlobRow> rows = Rows();
    CFakeRtdb db;
    for (size_t i = 0; i < rows.size(); ++i)
        db.SetChannelType(static_cast<int>(i), StoreType(rows[i], static_cast<int>(i)));

    IDeviceCtrl* dev = CreateDeviceCtrl("FUZZ", &db);
    GetInterfaceVersion(2, dev);
    CBlobBuilder blob = DeviceBlob(rows, Props(config));
    FuzzExpectCode("InitDevice", dev->InitDevice(blob.Data(), blob.Size()), {0});
    FuzzExpectCode("UpdataCommunication", dev->UpdataCommunication(&line), {0});

    std::vector<int> flags(rows.size(), 1);
    FuzzExpectCode("ChannelRefChange", dev->ChannelRefChange(flags.data(), static_cast<int>(flags.size())), {0});
    const DEV_DATA* mydata = dynamic_cast<CDevCtrl*>(dev)->HolnData().pMydata;
    int ranks = mydata ? mydata->nRankNum : 0;
    if (ranks > REPLY_MAX_COLLECTS) ranks = REPLY_MAX_COLLECTS;

    Collect(dev, flags, ranks + 1);
    WriteAll(dev);
    Collect(dev, flags, 1);

    FuzzExpectCode("CleanupDevice", dev->CleanupDevice(), {0});
    DestroyDeviceCtrl(dev);
}
