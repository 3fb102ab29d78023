// Numeric text parsing by printf-style format key.
#pragma once

#include "host/hoststr.h"

// positive is false when the dispatcher removed a leading minus sign.
typedef int (*CSTRTONUMERIC_FUN)(CString text, void* out, bool positive);

struct SConvertRow {
    CString strKey;
    CSTRTONUMERIC_FUN pfnConvert;
    CString strDescription;
};

const int CONVERT_TABLE_NUM = 10;
extern const SConvertRow convert_table[CONVERT_TABLE_NUM];

// The converter's result, or 1 when no key matches (nothing written).
int cstringToNumeric(CString text, CString format, void* out);

int cstringToInt(CString text, void* out, bool positive);
int cstringToUInt(CString text, void* out, bool positive);
int cstringToLong(CString text, void* out, bool positive);
int cstringToULong(CString text, void* out, bool positive);
int cstringToHex(CString text, void* out, bool positive);
int cstringToOct(CString text, void* out, bool positive);
int cstringToFloat(CString text, void* out, bool positive);
int cstringToDouble(CString text, void* out, bool positive);
int cstringToLongLong(CString text, void* out, bool positive);
int cstringToULongLong(CString text, void* out, bool positive);
int cstringToLLHex(CString text, void* out, bool positive);
