// The device's vocabulary: register areas, data types, read/write flags,
// device properties, the row schema and the IO-control keywords.
// Constant after load; indexes are 0-based.
#pragma once

#include <cstdint>

#include "host/hoststr.h"

const int CHL_AREA_NUM = 29;      // register areas
const int CHL_BITAREA_LAST = 13;  // areas 0-13 are bit areas, 14-28 word areas
const int DATATYPE_NUM = 12;      // "WUB" ... "STR"
const int DATATYPE_BIT_NUM = 16;  // "BT00" ... "BT15"
const int SELECT2_LIST_LEN = 28;  // entries of a word area's selection list
const int SELECT2_TOTAL = 420;    // 15 lists of 28
const int RWFLAG_NUM = 3;
const int DEV_PROPERTY_NUM = 9;
const int DEV_PROPERTLIST_NUM = 30;
const int DEVROW_PROPERTY_NUM = 8;
const int IOCTRL_COMMAND_NUM = 12;

// Data-type codes carried by channel rows.
const int DATACODE_BITAREA = 20;
const int DATACODE_WUB = 83;
const int DATACODE_LF = 93;
const int DATACODE_STR = 131;

// Register areas.
extern const CString CHL_STR_NAME[CHL_AREA_NUM];
extern const CString CHL_STR_READORDER[CHL_AREA_NUM];
extern const CString DEV_STR_ADDRESSFORMAT[CHL_AREA_NUM];
extern const CString DEV_STR_BITFORMAT[CHL_AREA_NUM];
extern const uint32_t SELECT2_DWORD_PROPERTYNUM[CHL_AREA_NUM];
extern const uint32_t DEV_READBLK_MAXNUM[CHL_AREA_NUM];
extern const uint32_t DEV_WRITEBLK_MAXNUM[CHL_AREA_NUM];
extern const uint32_t CHLTYPE_DWORD_RWFLAG[CHL_AREA_NUM];
// Area codes as numbers (the same values as CHL_STR_READORDER), for frame builders.
extern const uint8_t CHL_BYTE_READORDER[CHL_AREA_NUM];

// Data types.
extern const CString DATATYPE_STR_NAME[DATATYPE_NUM];
extern const CString DATATYPE_STR_SELECT2NAME[DATATYPE_NUM];
extern const CString DATATYPE_STR_BITNAME[DATATYPE_BIT_NUM];
extern const CString DATATYPE_STR_SELECT2BITNAME[DATATYPE_BIT_NUM];
extern const CString SELECT2_STR_PROPERTYNAME[SELECT2_TOTAL];

// Read/write flags: 0 read-only, 1 write-only, 2 read-write.
extern const CString CHLNAME_STR_RWFLAG[RWFLAG_NUM];

// Device properties and their option lists.
extern const CString DEV_STR_PROPERTYNAME[DEV_PROPERTY_NUM];
extern const CString DEV_STR_PROPERTLIST[DEV_PROPERTLIST_NUM];

// Row property schema.
extern const CString DEVROW_STR_CHLRWFLAG;
extern const CString DEVROW_STR_CHLTYPE;
extern const CString DEVROW_STR_CHLADDRESS;
extern const CString DEVROW_STR_CHLBIT;
extern const CString DEVROW_STR_CHLDATATYPE;
extern const CString DEVROW_STR_CHLREADFASTFLAG;
extern const CString DEVROW_STR_CHLREADMAX;
extern const CString DEVROW_STR_CHLNAME;
extern const CString DEVROW_STR_PROPERTYNAME[DEVROW_PROPERTY_NUM];
extern const uint32_t DEVROW_DWORD_PROPERTYTYPE[DEVROW_PROPERTY_NUM];
extern const uint32_t DEVROW_DWORD_PROPERTYTAXIS[DEVROW_PROPERTY_NUM];

// Property indexes of the schema above (positions in DEVROW_STR_PROPERTYNAME).
enum : int {
    DEVROW_IDX_RWFLAG = 0,
    DEVROW_IDX_TYPE = 1,
    DEVROW_IDX_ADDRESS = 2,
    DEVROW_IDX_BIT = 3,
    DEVROW_IDX_DATATYPE = 4,
    DEVROW_IDX_READFAST = 5,
    DEVROW_IDX_READMAX = 6,
    DEVROW_IDX_NAME = 7
};

// IO-control keywords.
extern const CString DEV_STR_READ;
extern const CString DEV_STR_WRITE;
extern const CString DEV_STR_READ32;
extern const CString DEV_STR_WRITE32;
extern const CString DEV_STR_READP;
extern const CString DEV_STR_WRITEP;
extern const CString DEV_STR_READPV;
extern const CString DEV_STR_WRITEPV;
extern const CString DEV_STR_READBLOCK;
extern const CString DEV_STR_WRITEBLOCK;
extern const CString DEV_STR_READMUTIREG;
extern const CString DEV_STR_WRITEMUTIREG;
extern const CString DEV_STR_HOLNWRITE;
extern const CString IOCTRL_STR_PROPERTYNAME[IOCTRL_COMMAND_NUM];
