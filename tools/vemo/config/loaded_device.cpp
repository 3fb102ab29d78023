#include "config/loaded_device.h"

#include <climits>

#include "config/OwnerArchive.h"
#include "protocol/DevBas.h"

namespace vemo {

LoadedDevice::LoadedDevice(const std::vector<uint8_t>& blob)
{
    CDevBas::mfInitBlockAndRow();
    // The same steps as the device's initialization: copy into a storing
    // archive (no marker added), rewind, switch to loading (reads the marker).
    COwnerArchive archive(ARCHIVE_STORING);
    const int size = blob.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(blob.size());
    archive.SvrWrite(blob.data(), size);
    archive.SvrSeekToBegin();
    archive.SvrChangeMode(ARCHIVE_LOADING);
    firstWord_ = archive.GetNowVersion();
    data_.pArchive = &archive;
    CDevBas::mfCheckDevDataInit(data_);
    data_.pArchive = nullptr;
    bytesRead_ = archive.SvrGetBufferSize();
}

LoadedDevice::~LoadedDevice()
{
    CDevBas::mfDeleteMydata(data_, nullptr);
}

}  // namespace vemo
