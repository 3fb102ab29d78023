// The device state record handed to every device hook and protocol step,
// and the driver-private data that hangs off it.
#pragma once

#include <cstdint>

#include "config/Dev.h"
#include "host/host.h"
#include "service/TextDecoders.h"

class COwnerArchive;
struct DEV_DATA;
struct HOLN_DATA;

typedef int (*PFN_SETPARAMVALUE)(HOLN_DATA& data, CString name, DATATYPE type, void* value);
typedef int (*PFN_GETPARAMVALUE)(HOLN_DATA& data, CString name, DATATYPE type, void* out);
typedef int (*PFN_GETPARAMTYPE)(HOLN_DATA& data, CString name, DATATYPE& type);

struct HOLN_DATA {
    CString strDevName;
    CString strReserved;
    int32_t nReserved1 = 0;
    COwnerArchive* pArchive = nullptr;  // only while InitDevice runs
    DEV_DATA* pMydata = nullptr;        // owned
    int32_t nCommType = 0;
    ICommunication* pComm = nullptr;  // lent by the runtime
    IDevRtdbCtrl* pRtdb = nullptr;    // the database adapter
    int32_t nReserved2 = 0;
    PFN_SETPARAMVALUE pfnSetParamValue = nullptr;
    PFN_GETPARAMVALUE pfnGetParamValue = nullptr;
    PFN_GETPARAMTYPE pfnGetParamType = nullptr;
};

// One planned block of channel rows.
struct DynBlock {
    int32_t nStartRow = 0;
    int32_t nEndRow = 0;
    int32_t nChlType = 0;
    int32_t nBlockLen = 0;
    int32_t nRank = 0;
    int32_t nLinkFlag = 0;
};

// How a planned block was closed.
enum : int32_t { DYNBLOCK_LINK = 1, DYNBLOCK_GAP = 4, DYNBLOCK_DONE = 6 };

// Device property indexes (order of DEV_STR_PROPERTYNAME).
enum : int {
    DEVPROP_STATION = 0,
    DEVPROP_WAITTIME = 1,
    DEVPROP_ORDER16 = 2,
    DEVPROP_ORDER32 = 3,
    DEVPROP_ORDERFLOAT = 4,
    DEVPROP_STRCODE = 5,
    DEVPROP_STRORDER = 6,
    DEVPROP_ORDER64 = 7,
    DEVPROP_ORDERDOUBLE = 8
};

struct DEV_DATA {
    CArray<int, int> dwPropValue;
    CDevTable* pDevTable = nullptr;  // owned
    int32_t nCurRank = -1;
    int32_t nCurBlock = 0;
    int32_t nDynBlockNum = 0;
    int32_t nMixBlockNum = 0;
    int32_t nRankNum = 0;
    int32_t nKeepValue = 0;
    int32_t nReserved3 = 0;
    CString strMyReserved;
    CArray<DynBlock, DynBlock&> DynBlockArray;
    int32_t nWriteState1 = -1;
    int32_t nWriteState2 = -1;
    uint32_t dwWriteTick = 0;
    int32_t nReserved4 = 0;
    uint32_t nFrameSeq = 0;
    CTextDecoders TextDecoders;  // string channels of this device
    // Buffers of the request/reply exchange, kept from call to call so that
    // a read allocates nothing for them.
    CString strReadFrame;
    CByteArray RequestBytes;
    CByteArray ReplyBytes;
    CByteArray ReadChunk;
};

// A device property the blob did not supply reads as 0.
inline int DevPropValue(const HOLN_DATA& data, int index)
{
    if (!data.pMydata || index < 0 || index >= data.pMydata->dwPropValue.GetSize()) return 0;
    return data.pMydata->dwPropValue[index];
}
