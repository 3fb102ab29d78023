// Device hooks: the device-specific work that the generic device object reaches.
#pragma once

#include "driver/holn_data.h"

namespace holn_device {

int DllInit();
int SvrInitDevRun(HOLN_DATA& data);
int SvrExitDevRun(HOLN_DATA& data);
int SvrCollectDevData(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values, CStringArray& strings);
int SvrDevWriteChannel(HOLN_DATA& data, int channel, DATATYPE type, void* value);
int SvrDevIOCtrl(HOLN_DATA& data, CString& command, CArray<double, double>& values, CStringArray& strings);

// Writes and commands last at least this many ticks.
const uint32_t DEV_MIN_OPERATION_TICKS = 5;

}  // namespace holn_device
