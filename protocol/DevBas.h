// The controller protocol: device-state set-up, block planning, request frames
// and the transaction, reply decoding, write frames, channel naming and the
// IO-control commands. A class without data: every step is a class-level
// function that takes the device state first.
#pragma once

#include <cstdint>

#include "config/Dev.h"
#include "driver/holn_data.h"
#include "host/host.h"

// Transaction direction handed to mfWriteAndRead (not consulted).
typedef int DEV_RWTYPE;

// Protocol results.
const int DEV_PROTO_NOBLOCK = -1;
const int DEV_PROTO_NOREPLY = -2;
const int DEV_PROTO_NOTWRITTEN = -4;
const int DEV_PROTO_BADCMD = -5;
const int DEV_PROTO_NODELIVERY = -6;
const int DEV_PROTO_REFUSED = -7;
const int DEV_PROTO_COLLECTFAIL = -100;

// Function codes.
const int DEV_FUNC_READBIT = 0x1E;
const int DEV_FUNC_WRITEBIT = 0x1F;
const int DEV_FUNC_READWORD = 0x20;
const int DEV_FUNC_WRITEWORD = 0x21;

// Planning modes.
const int DEV_PLAN_COLLECT = 0;
const int DEV_PLAN_CMDREAD = 3;
const int DEV_PLAN_CMDWRITE = 4;

class CDevBas {
public:
    virtual ~CDevBas() = default;

    // --- device state (DevBasInit.cpp)
    static int mfInitBlockAndRow();
    static void mfCheckDevDataInit(HOLN_DATA& data);
    static int mfDeserialize(HOLN_DATA& data);
    static int mfDeserializeFromOld(HOLN_DATA& data);
    static void mfCreateMydata(HOLN_DATA& source, HOLN_DATA& copy);
    static int mfDeleteMydata(HOLN_DATA& data, DEV_DATA* save);

    // --- block planner (DevBasPlan.cpp)
    static int mfFetchBlockLen(CDevTable& table, int first, int last);
    static int mfMakeBlock(HOLN_DATA& data, CArray<int, int>& refs, int unused);
    static int mfMakeBlockDynamic(HOLN_DATA& data, CArray<int, int>& refs, int mode, int single);
    static int mfBuildDynBlock(HOLN_DATA& data, CArray<int, int>& refs, int mode, int single);
    static int mfAnalyzeDynBlock(HOLN_DATA& data, int firstRank, int mode, int count);
    static int mfLinkRankBlock(HOLN_DATA& data, int firstRank, int mode, int maxLink);
    static int mfCheckAddressOffset(HOLN_DATA& data, int base, int channel, int offset);

    // --- request frames and transaction (DevBasFrame.cpp)
    static unsigned int mfFormReadOrder(HOLN_DATA& data, CString& text, CDevTable& table, int station, int count,
                                        int firstRow);
    static int mfWriteAndRead(HOLN_DATA& data, CString& frame, unsigned int expected, DEV_RWTYPE mode, int attempts);
    static int mfAddSum(HOLN_DATA& data, int unused, CString& text);
    static int mfWriteLoginDataList(HOLN_DATA& data, int unused);
    static int mfFormReadOrderMix(HOLN_DATA& data, CString& text, int unused);

    // --- reply decoding (DevBasDecode.cpp)
    static int mfExplainCommByteData(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                     CStringArray& strings, CString& reply, int rank, int unused);
    static double mfGetChlValue(HOLN_DATA& data, CString& text, int area, int code);

    // --- collection (DevBasCollect.cpp)
    static int mfCollectDevData(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                CStringArray& strings);
    static int mfSetCollectFlag(HOLN_DATA& data, CArray<int, int>& flags, int rank, int flag);
    static int mfReadBlockFromDev(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                  CStringArray& strings, int rank, int attempts);

    // --- write frames (DevBasWrite.cpp)
    static int mfDevIOWriteChannel(HOLN_DATA& data, int row, DATATYPE type, void* value);
    static int mfWriteBlockToDev(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                 CStringArray& strings, int index, int mode);
    static int mfFormWriteOrder(HOLN_DATA& data, CArray<double, double>& values, CStringArray& strings, CString& frame,
                                int index, int mode, int& reserved);

    // --- channel naming and data-type selection (DevBasNaming.cpp)
    static int mfGetDataType(int listIndex, int area, unsigned int& step);
    static int mfGetDataTypeListNum(CString& typeCode, int area);
    static int mfFormRowName(CDevRow& row);
    static int mfMakeDevRowsFromSChlInfo(SChlInfo& info, CArray<CDevRow, CDevRow&>& rows);
    static int mfGetVarAutoName(CString& name, CString& format, int& number);
    static int mfGetRWFlag(int n);

    // --- command-built tables (DevBasCmdTable.cpp)
    static int mfBuildDevTableFromCmd(HOLN_DATA& data, CStringArray& parts, CStringArray& names,
                                      CArray<int, int>& flags, CString& rest, int command);
    static int mfMakeDevRowsFromCmd(HOLN_DATA& data, CArray<CDevRow, CDevRow&>& rows, CString& text,
                                    CStringArray& names, CArray<int, int>& flags, int command);

    // --- IO-control commands (DevBasIOCtrl.cpp)
    static int mfDevIOCtrl(HOLN_DATA& data, CString& command, CArray<double, double>& values, CStringArray& strings);
    static int mfDevIOWriteAndRead(HOLN_DATA& data, CString& parameters, int command);
};
