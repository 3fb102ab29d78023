// The device object's per-channel arrays and reference flags, and the
// runtime-variable callbacks that the record hands the protocol code.
#include <string>

#include "driver/qdevctrl.h"

int CDevCtrl::_InitPChanglRef(const int* refs, int count, CArray<int, int>& out)
{
    if (!m_pDevRtdb || !refs || count < 0) return DEV_ERR_BADARG;
    if (out.GetSize() < count + 1) out.SetSize(count + 1);
    out[0] = 0;
    for (int i = 0; i < count; ++i) out[i + 1] = refs[i] >= 1 ? 1 : 0;
    return 0;
}

int CDevCtrl::_InitValueArray(int count)
{
    if (count == m_nChlNum && count != 0) return 0;
    int size = 0;
    if (count < 1) {
        if (m_nChlNum > 0) return 0;
        m_nChlNum = 0;
        size = 1;
    } else {
        m_nChlNum = count;
        size = count + 1;
    }
    m_RefFlag.SetSize(size);
    m_Value.SetSize(size);
    m_StrValue.SetSize(size);
    m_CollectFlag.SetSize(size);
    return 0;
}

int CDevCtrl::GetParamType_Fun(HOLN_DATA& data, CString name, DATATYPE& type)
{
    if (name.IsEmpty()) return DEV_ERR_BADARG;
    if (!data.pRtdb) return DEV_ERR_RESOURCE;
    return data.pRtdb->GetValueTypeByName(name, type);
}

int CDevCtrl::GetParamValue_Fun(HOLN_DATA& data, CString name, DATATYPE type, void* out)
{
    if (!out || name.IsEmpty()) return DEV_ERR_BADARG;
    if (!data.pRtdb) return DEV_ERR_RESOURCE;
    switch (type) {
        case DATATYPE_INT:
            return data.pRtdb->GetValueByName(name, *static_cast<int*>(out));
        case DATATYPE_DOUBLE:
            return data.pRtdb->GetValueByName(name, *static_cast<double*>(out));
        case DATATYPE_STRING: {
            std::string text;
            int r = data.pRtdb->GetValueByName(name, text);
            // Taken over even when the database refused: the caller sees what it left.
            *static_cast<CString*>(out) = CString(text);
            return r;
        }
        default:
            return DEV_ERR_BADARG;
    }
}

int CDevCtrl::SetParamValue_Fun(HOLN_DATA& data, CString name, DATATYPE type, void* value)
{
    if (!value || name.IsEmpty()) return DEV_ERR_BADARG;
    if (!data.pRtdb) return DEV_ERR_RESOURCE;
    switch (type) {
        case DATATYPE_INT:
            return data.pRtdb->SetValueByName(name, *static_cast<int*>(value));
        case DATATYPE_DOUBLE:
            return data.pRtdb->SetValueByName(name, *static_cast<double*>(value));
        case DATATYPE_STRING: {
            std::string text = static_cast<CString*>(value)->str();
            return data.pRtdb->SetValueByName(name, text);
        }
        default:
            return DEV_ERR_BADARG;
    }
}
