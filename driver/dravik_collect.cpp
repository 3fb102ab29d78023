// Device hook of the cyclic collection.
#include "driver/dravik_vemo_pna.h"
#include "protocol/DevBas.h"

// Nothing to read without rows or without room for a status and one channel.
int holn_device::SvrCollectDevData(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                   CStringArray& strings)
{
    if (values.GetSize() < 2) return 0;
    DEV_DATA* dev = data.pMydata;
    if (!dev || !dev->pDevTable || dev->pDevTable->GetRowCount() < 1) return 0;
    return CDevBas::mfCollectDevData(data, flags, values, strings);
}
