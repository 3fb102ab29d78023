// Runtime-variable access for command arguments, and command-text splitting.
// A command argument is either the name of a runtime variable or a literal.
#include <climits>
#include <cmath>

#include "config/cstrtonumeric.h"
#include "service/DevServer.h"

namespace {

// "No answer yet": the type callback may leave the type untouched.
const DATATYPE PARAM_TYPE_UNKNOWN = -2;

DATATYPE QueryParamType(HOLN_DATA& data, const CString& name)
{
    DATATYPE type = PARAM_TYPE_UNKNOWN;
    if (data.pfnGetParamType) data.pfnGetParamType(data, name, type);
    return type;
}

// Nearest integer, halves away from zero, held in the int range; NaN gives 0.
int RoundToIntSaturated(double value)
{
    if (std::isnan(value)) return 0;
    double r = std::round(value);
    if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(r);
}

}  // namespace

int CDevServer::SvrGetParaValue(HOLN_DATA& data, CString name, double& out)
{
    out = 0;
    DATATYPE type = QueryParamType(data, name);
    if (type == DATATYPE_DOUBLE) {
        double value = 0;
        if (data.pfnGetParamValue) data.pfnGetParamValue(data, name, DATATYPE_DOUBLE, &value);
        out = value;
        return 1;
    }
    if (type == DATATYPE_STRING) return 0;
    if (type == DATATYPE_INT) {
        int value = 0;
        if (data.pfnGetParamValue) data.pfnGetParamValue(data, name, DATATYPE_INT, &value);
        out = value;
        return 1;
    }
    // Not a variable: the text is a literal number.
    name.TrimLeft();
    name.TrimRight();
    if (!name.IsEmpty()) cstringToNumeric(name, "%lf", &out);
    return 1;
}

int CDevServer::SvrGetParaValue(HOLN_DATA& data, CString name, CString& out)
{
    out.Empty();
    DATATYPE type = QueryParamType(data, name);
    if (type == DATATYPE_INT || type == DATATYPE_DOUBLE) return 0;
    if (type == DATATYPE_STRING) {
        if (data.pfnGetParamValue) data.pfnGetParamValue(data, name, DATATYPE_STRING, &out);
        return 1;
    }
    out = name;  // a literal text, kept as written
    return 1;
}

int CDevServer::SvrSetParaValue(HOLN_DATA& data, CString name, double& value)
{
    if (!data.pfnGetParamType) return 0;
    DATATYPE type = QueryParamType(data, name);
    if (type == DATATYPE_INT) {
        int n = RoundToIntSaturated(value);
        if (data.pfnSetParamValue) data.pfnSetParamValue(data, name, DATATYPE_INT, &n);
        return 1;
    }
    if (type == DATATYPE_DOUBLE) {
        double v = value;
        if (data.pfnSetParamValue) data.pfnSetParamValue(data, name, DATATYPE_DOUBLE, &v);
        return 1;
    }
    return 0;
}

int CDevServer::SvrSetParaValue(HOLN_DATA& data, CString name, CString& value)
{
    if (!data.pfnGetParamType) return 0;
    if (QueryParamType(data, name) != DATATYPE_STRING) return 0;
    if (data.pfnSetParamValue) data.pfnSetParamValue(data, name, DATATYPE_STRING, &value);
    return 1;
}

int CDevServer::SvrGetCmdStr(CString& text, CString& separator, CString& left, CString& right)
{
    // An empty separator would "match" at 0 and eat the first character.
    if (separator.IsEmpty()) return 0;
    int p = text.Find(separator.GetString());
    if (p < 0) return 0;
    CString head = text.Left(p);
    CString tail = text.Right(text.GetLength() - p - 1);
    head.TrimLeft();
    head.TrimRight();
    tail.TrimLeft();
    tail.TrimRight();
    left = head;
    right = tail;
    return 1;
}
