// Device hooks of this device: set-up and tear-down of the device state.
#include "driver/dravik_vemo_pna.h"

#include "protocol/DevBas.h"

namespace holn_device {

int DllInit()
{
    CDevBas::mfInitBlockAndRow();
    return 0;
}

int SvrInitDevRun(HOLN_DATA& data)
{
    CDevBas::mfCheckDevDataInit(data);
    return 1;
}

int SvrExitDevRun(HOLN_DATA& data)
{
    return CDevBas::mfDeleteMydata(data, nullptr);
}

}  // namespace holn_device
