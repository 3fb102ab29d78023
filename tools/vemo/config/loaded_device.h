// A device state read from a configuration blob exactly as the driver's
// InitDevice reads it, for dumping and planning.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/holn_data.h"

namespace vemo {

class LoadedDevice {
public:
    // Installs the row schema, then reads the blob through the driver's
    // archive and device-data reader. Never fails: a hostile blob gives
    // whatever the driver makes of it.
    explicit LoadedDevice(const std::vector<uint8_t>& blob);
    ~LoadedDevice();
    LoadedDevice(const LoadedDevice&) = delete;
    LoadedDevice& operator=(const LoadedDevice&) = delete;

    HOLN_DATA& data() { return data_; }
    DEV_DATA& dev() { return *data_.pMydata; }
    CDevTable& table() { return *data_.pMydata->pDevTable; }

    // Format marker at offset 0 (the first 16-bit value; 0 for a blob of fewer bytes).
    uint16_t firstWord() const { return firstWord_; }
    bool marked() const { return firstWord_ >= 20000; }
    // A newer format (marker above 20000) that the driver refuses to read.
    bool refused() const { return firstWord_ > 20000; }
    // Where the driver's reading stopped: beyond the blob's size it read the
    // zero bytes of the archive's growth reserve.
    int bytesRead() const { return bytesRead_; }

private:
    HOLN_DATA data_;
    uint16_t firstWord_ = 0;
    int bytesRead_ = 0;
};

}  // namespace vemo
