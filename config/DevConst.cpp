#include "config/DevConst.h"

// ---- register areas (0-13 bit areas, 14-28 word areas of 16-bit registers)

const CString CHL_STR_NAME[CHL_AREA_NUM] = {"M",   "X",  "Y",   "S",   "SM",  "T",    "C",  "ET",  "SEM", "HM",
                                            "HS",  "HT", "HC",  "HSC", "D",   "ID",   "QD", "SD",  "TD",  "CD",
                                            "ETD", "HD", "HSD", "HTD", "HCD", "HSCD", "FD", "SFD", "FS"};

// The controller numbers its areas out of index order ("SM" 0D, "SEM" 12).
const CString CHL_STR_READORDER[CHL_AREA_NUM] = {"03", "01", "02", "04", "0D", "05", "06", "07", "12", "08",
                                                 "09", "0A", "0B", "0C", "80", "86", "87", "83", "81", "82",
                                                 "85", "88", "8C", "89", "8A", "8B", "8D", "8E", "91"};

const uint8_t CHL_BYTE_READORDER[CHL_AREA_NUM] = {0x03, 0x01, 0x02, 0x04, 0x0D, 0x05, 0x06, 0x07, 0x12, 0x08,
                                                  0x09, 0x0A, 0x0B, 0x0C, 0x80, 0x86, 0x87, 0x83, 0x81, 0x82,
                                                  0x85, 0x88, 0x8C, 0x89, 0x8A, 0x8B, 0x8D, 0x8E, 0x91};

#define DEV_AREA_X14(v) v, v, v, v, v, v, v, v, v, v, v, v, v, v
#define DEV_AREA_X15(v) DEV_AREA_X14(v), v

const CString DEV_STR_ADDRESSFORMAT[CHL_AREA_NUM] = {DEV_AREA_X14("%.4d"), DEV_AREA_X15("%.4d")};
// Bit-area channels are single bits: their names carry no bit suffix.
const CString DEV_STR_BITFORMAT[CHL_AREA_NUM] = {DEV_AREA_X14(""), DEV_AREA_X15(".%.2d")};
const uint32_t SELECT2_DWORD_PROPERTYNUM[CHL_AREA_NUM] = {DEV_AREA_X14(0), DEV_AREA_X15(SELECT2_LIST_LEN)};
const uint32_t DEV_READBLK_MAXNUM[CHL_AREA_NUM] = {DEV_AREA_X14(1024), DEV_AREA_X15(120)};
const uint32_t DEV_WRITEBLK_MAXNUM[CHL_AREA_NUM] = {DEV_AREA_X14(120), DEV_AREA_X15(48)};
const uint32_t CHLTYPE_DWORD_RWFLAG[CHL_AREA_NUM] = {DEV_AREA_X14(2), DEV_AREA_X15(2)};

// ---- data types

const CString DATATYPE_STR_NAME[DATATYPE_NUM] = {"WUB", "WB",  "WD", "DUB", "DB", "DD",
                                                 "DF",  "LUB", "LB", "LD",  "LF", "STR"};

#define DEV_SELECT2_TYPENAMES                                                                                         \
    "16位 无符号二进制", "16位 有符号二进制", "16位 4位BCD", "32位 无符号二进制", "32位 有符号二进制", "32位 8位BCD", \
        "32位 浮点数", "64位 无符号二进制", "64位 有符号二进制", "64位 16位BCD", "64位 浮点数", "ASCII字符串"

#define DEV_SELECT2_BITNAMES                                                                                        \
    "通道的第00位", "通道的第01位", "通道的第02位", "通道的第03位", "通道的第04位", "通道的第05位", "通道的第06位", \
        "通道的第07位", "通道的第08位", "通道的第09位", "通道的第10位", "通道的第11位", "通道的第12位",             \
        "通道的第13位", "通道的第14位", "通道的第15位"

const CString DATATYPE_STR_SELECT2NAME[DATATYPE_NUM] = {DEV_SELECT2_TYPENAMES};

const CString DATATYPE_STR_BITNAME[DATATYPE_BIT_NUM] = {"BT00", "BT01", "BT02", "BT03", "BT04", "BT05", "BT06", "BT07",
                                                        "BT08", "BT09", "BT10", "BT11", "BT12", "BT13", "BT14", "BT15"};

const CString DATATYPE_STR_SELECT2BITNAME[DATATYPE_BIT_NUM] = {DEV_SELECT2_BITNAMES};

// One selection list per word area (bit areas have none), all alike: the 16
// bits of a register, then the 12 data types.
#define DEV_SELECT2_LIST DEV_SELECT2_BITNAMES, DEV_SELECT2_TYPENAMES

const CString SELECT2_STR_PROPERTYNAME[SELECT2_TOTAL] = {
    DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST,
    DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST,
    DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST, DEV_SELECT2_LIST};

#undef DEV_SELECT2_LIST
#undef DEV_SELECT2_BITNAMES
#undef DEV_SELECT2_TYPENAMES
#undef DEV_AREA_X15
#undef DEV_AREA_X14

// ---- read/write flags

const CString CHLNAME_STR_RWFLAG[RWFLAG_NUM] = {"只读", "只写", "读写"};

// ---- device properties, in the order the blob stores their values

const CString DEV_STR_PROPERTYNAME[DEV_PROPERTY_NUM] = {"设备地址",         "通讯等待时间",       "16位整数解码顺序",
                                                        "32位整数解码顺序", "32位浮点数解码顺序", "字符串编码",
                                                        "字符串解码顺序",   "64位整数解码顺序",   "64位浮点数解码顺序"};

#define DEV_ORDER64_OPTIONS                                                                               \
    "0 - 1234_5678", "1 - 2143_6587", "2 - 3412_7856", "3 - 4321_8765", "4 - 5678_1234", "5 - 6587_2143", \
        "6 - 7856_3412", "7 - 8765_4321"

// Option lists of properties 2-8, back to back; each list restarts at "0 - ".
// clang-format off
const CString DEV_STR_PROPERTLIST[DEV_PROPERTLIST_NUM] = {
    "0 - 12", "1 - 21",                                // 16-bit integer order
    "0 - 1234", "1 - 2143", "2 - 3412", "3 - 4321",    // 32-bit integer order
    "0 - 1234", "1 - 2143", "2 - 3412", "3 - 4321",    // 32-bit float order
    "0 - ASCII", "1 - UNICODE",                        // string encoding
    "0 - 21", "1 - 12",                                // string order
    DEV_ORDER64_OPTIONS,                               // 64-bit integer order
    DEV_ORDER64_OPTIONS};                              // 64-bit float order
// clang-format on

#undef DEV_ORDER64_OPTIONS

// ---- row property schema

#define DEVROW_TEXT_CHLRWFLAG "通道的读写标志"
#define DEVROW_TEXT_CHLTYPE "通道类型"
#define DEVROW_TEXT_CHLADDRESS "DEV通道地址"
#define DEVROW_TEXT_CHLBIT "通道的位"
#define DEVROW_TEXT_CHLDATATYPE "通道的数据类型"
#define DEVROW_TEXT_CHLREADFASTFLAG "DEV通道的快读标志"
#define DEVROW_TEXT_CHLREADMAX "数据块读的最大长度"
#define DEVROW_TEXT_CHLNAME "通道名称"

const CString DEVROW_STR_CHLRWFLAG = DEVROW_TEXT_CHLRWFLAG;
const CString DEVROW_STR_CHLTYPE = DEVROW_TEXT_CHLTYPE;
const CString DEVROW_STR_CHLADDRESS = DEVROW_TEXT_CHLADDRESS;
const CString DEVROW_STR_CHLBIT = DEVROW_TEXT_CHLBIT;
const CString DEVROW_STR_CHLDATATYPE = DEVROW_TEXT_CHLDATATYPE;
const CString DEVROW_STR_CHLREADFASTFLAG = DEVROW_TEXT_CHLREADFASTFLAG;
const CString DEVROW_STR_CHLREADMAX = DEVROW_TEXT_CHLREADMAX;
const CString DEVROW_STR_CHLNAME = DEVROW_TEXT_CHLNAME;

// Built from the literals rather than the constants above so that the table
// does not depend on the order in which globals are constructed.
const CString DEVROW_STR_PROPERTYNAME[DEVROW_PROPERTY_NUM] = {
    DEVROW_TEXT_CHLRWFLAG,   DEVROW_TEXT_CHLTYPE,         DEVROW_TEXT_CHLADDRESS, DEVROW_TEXT_CHLBIT,
    DEVROW_TEXT_CHLDATATYPE, DEVROW_TEXT_CHLREADFASTFLAG, DEVROW_TEXT_CHLREADMAX, DEVROW_TEXT_CHLNAME};

// Seven dword properties and the name as a string; channels sort by area,
// address and bit.
const uint32_t DEVROW_DWORD_PROPERTYTYPE[DEVROW_PROPERTY_NUM] = {1, 1, 1, 1, 1, 1, 1, 2};
const uint32_t DEVROW_DWORD_PROPERTYTAXIS[DEVROW_PROPERTY_NUM] = {0, 1, 1, 1, 0, 0, 0, 0};

// ---- IO-control keywords; the position in the list is the command number

#define DEV_TEXT_READ "READ"
#define DEV_TEXT_WRITE "WRITE"
#define DEV_TEXT_READ32 "READ32"
#define DEV_TEXT_WRITE32 "WRITE32"
#define DEV_TEXT_READP "READP"
#define DEV_TEXT_WRITEP "WRITEP"
#define DEV_TEXT_READPV "READPV"
#define DEV_TEXT_WRITEPV "WRITEPV"
#define DEV_TEXT_READBLOCK "READBLOCK"
#define DEV_TEXT_WRITEBLOCK "WRITEBLOCK"
#define DEV_TEXT_READMUTIREG "ReadMutiReg"
#define DEV_TEXT_WRITEMUTIREG "WriteMutiReg"

const CString DEV_STR_READ = DEV_TEXT_READ;
const CString DEV_STR_WRITE = DEV_TEXT_WRITE;
const CString DEV_STR_READ32 = DEV_TEXT_READ32;
const CString DEV_STR_WRITE32 = DEV_TEXT_WRITE32;
const CString DEV_STR_READP = DEV_TEXT_READP;
const CString DEV_STR_WRITEP = DEV_TEXT_WRITEP;
const CString DEV_STR_READPV = DEV_TEXT_READPV;
const CString DEV_STR_WRITEPV = DEV_TEXT_WRITEPV;
const CString DEV_STR_READBLOCK = DEV_TEXT_READBLOCK;
const CString DEV_STR_WRITEBLOCK = DEV_TEXT_WRITEBLOCK;
const CString DEV_STR_READMUTIREG = DEV_TEXT_READMUTIREG;
const CString DEV_STR_WRITEMUTIREG = DEV_TEXT_WRITEMUTIREG;
const CString DEV_STR_HOLNWRITE = "HOLN_WRITE";

// Odd positions are the writing commands.
const CString IOCTRL_STR_PROPERTYNAME[IOCTRL_COMMAND_NUM] = {
    DEV_TEXT_READ,      DEV_TEXT_WRITE,      DEV_TEXT_READ32,      DEV_TEXT_WRITE32,
    DEV_TEXT_READP,     DEV_TEXT_WRITEP,     DEV_TEXT_READPV,      DEV_TEXT_WRITEPV,
    DEV_TEXT_READBLOCK, DEV_TEXT_WRITEBLOCK, DEV_TEXT_READMUTIREG, DEV_TEXT_WRITEMUTIREG};
