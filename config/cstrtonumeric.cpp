// Numeric text parsing: one dispatcher picks a C library parser by its
// printf-style key. Parse errors are not reported: text without digits gives 0,
// out-of-range text saturates as the C library does.
#include "config/cstrtonumeric.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// Plain-pointer copy of the table, constant-initialised, so that the dispatcher
// works even before (or without) the dynamic initialisation of convert_table.
struct SConvertKey {
    const char* pszKey;
    CSTRTONUMERIC_FUN pfnConvert;
    const char* pszDescription;
};

const SConvertKey CONVERT_KEYS[CONVERT_TABLE_NUM] = {
    {"%d", cstringToInt, "c string to int number"},
    {"%u", cstringToUInt, "c string to unsigned int number"},
    {"%ld", cstringToLong, "c string to long number"},
    {"%x", cstringToHex, "c string to hex number"},
    {"%o", cstringToOct, "c string to oct number"},
    {"%f", cstringToFloat, "c string to float number"},
    {"%lf", cstringToDouble, "c string to float number"},
    {"%lld", cstringToLongLong, "c string to longlong number"},
    {"%llu", cstringToULongLong, "c string to unsigned longlong number"},
    {"%llx", cstringToLLHex, "c string to longlong hex number"},
};

SConvertRow MakeRow(int index)
{
    return SConvertRow{CString(CONVERT_KEYS[index].pszKey), CONVERT_KEYS[index].pfnConvert,
                       CString(CONVERT_KEYS[index].pszDescription)};
}

uint64_t ParseU64(const CString& text, int base)
{
    return static_cast<uint64_t>(std::strtoull(text.GetString(), nullptr, base));
}

// Stores the low 32 bits, negated (two's complement) when the dispatcher took a minus away.
int StoreLow32(uint64_t value, void* out, bool positive)
{
    uint32_t low = static_cast<uint32_t>(value);
    if (!positive) low = 0u - low;
    std::memcpy(out, &low, sizeof(low));
    return 0;
}

}  // namespace

const SConvertRow convert_table[CONVERT_TABLE_NUM] = {MakeRow(0), MakeRow(1), MakeRow(2), MakeRow(3), MakeRow(4),
                                                      MakeRow(5), MakeRow(6), MakeRow(7), MakeRow(8), MakeRow(9)};

int cstringToNumeric(CString text, CString format, void* out)
{
    bool positive = true;
    if (!text.IsEmpty() && text.GetAt(0) == '-') {
        text.Delete(0, 1);
        positive = false;
    }
    for (const SConvertKey& row : CONVERT_KEYS) {
        if (format.CompareNoCase(row.pszKey) == 0) return row.pfnConvert(std::move(text), out, positive);
    }
    return 1;
}

int cstringToInt(CString text, void* out, bool positive)
{
    return StoreLow32(ParseU64(text, 10), out, positive);
}

int cstringToUInt(CString text, void* out, bool positive)
{
    return StoreLow32(ParseU64(text, 10), out, positive);
}

int cstringToLong(CString text, void* out, bool positive)
{
    return StoreLow32(ParseU64(text, 10), out, positive);
}

int cstringToULong(CString text, void* out, bool positive)
{
    return StoreLow32(ParseU64(text, 10), out, positive);
}

int cstringToHex(CString text, void* out, bool /*positive*/)
{
    return StoreLow32(ParseU64(text, 16), out, true);
}

int cstringToOct(CString text, void* out, bool /*positive*/)
{
    return StoreLow32(ParseU64(text, 8), out, true);
}

int cstringToFloat(CString text, void* out, bool positive)
{
    float value = std::strtof(text.GetString(), nullptr);
    if (!positive) value = -value;
    std::memcpy(out, &value, sizeof(value));
    return 0;
}

int cstringToDouble(CString text, void* out, bool positive)
{
    double value = std::strtod(text.GetString(), nullptr);
    if (!positive) value = -value;
    std::memcpy(out, &value, sizeof(value));
    return 0;
}

// The removed minus is applied, so "-5" gives -5; negation saturates instead of
// overflowing at the ends of the range.
int cstringToLongLong(CString text, void* out, bool positive)
{
    const int savedErrno = errno;
    errno = 0;
    int64_t value = static_cast<int64_t>(std::strtoll(text.GetString(), nullptr, 10));
    const bool overflow = errno == ERANGE;
    errno = savedErrno;
    if (!positive) {
        if (value == std::numeric_limits<int64_t>::min()) {
            value = std::numeric_limits<int64_t>::max();
        } else if (value == std::numeric_limits<int64_t>::max() && overflow) {
            value = std::numeric_limits<int64_t>::min();  // magnitude was 2^63 or more
        } else {
            value = -value;
        }
    }
    std::memcpy(out, &value, sizeof(value));
    return 1;
}

int cstringToULongLong(CString text, void* out, bool /*positive*/)
{
    uint64_t value = ParseU64(text, 10);
    std::memcpy(out, &value, sizeof(value));
    return 1;
}

int cstringToLLHex(CString text, void* out, bool /*positive*/)
{
    uint64_t value = ParseU64(text, 16);
    std::memcpy(out, &value, sizeof(value));
    return 1;
}
