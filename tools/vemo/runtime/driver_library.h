// The driver as the runtime meets it: a shared library opened with dlopen
// and used only through its three C entry points and IDeviceCtrl.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/hostif.h"

namespace vemo::runtime {

class DriverLibrary {
public:
    // Opens the library and looks up the entry points. Throws
    // std::runtime_error saying what is missing and what to do about it.
    explicit DriverLibrary(const std::string& path);
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    const std::string& path() const { return path_; }

    IDeviceCtrl* create(const char* name, IDevRtdbCtrl* rtdb) const { return create_(name, rtdb); }
    int destroy(IDeviceCtrl* device) const { return destroy_(device); }
    int interfaceVersion(int rtdbVersion, IDeviceCtrl* device) const { return version_(rtdbVersion, device); }

private:
    using CreateFn = IDeviceCtrl* (*)(const char*, IDevRtdbCtrl*);
    using DestroyFn = int (*)(IDeviceCtrl*);
    using VersionFn = int (*)(int, IDeviceCtrl*);

    template <class Fn>
    Fn symbol(const char* name);

    std::string path_;
    void* handle_ = nullptr;
    CreateFn create_ = nullptr;
    DestroyFn destroy_ = nullptr;
    VersionFn version_ = nullptr;
};

// Result codes of the device interface, readable ("0 ok", "2 no reply").
std::string resultText(int code);

// One device object, driven in the order the runtime uses: create,
// announce the database version, configure, lend the channel, reference
// the channels; CleanupDevice and DestroyDeviceCtrl when it goes.
class Device {
public:
    // The database and the library must outlive the device.
    Device(const DriverLibrary& library, const std::string& name, IDevRtdbCtrl2& database);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The driver's answer to GetInterfaceVersion(2, ...).
    int interfaceVersion() const { return version_; }

    int init(const std::vector<uint8_t>& blob);
    int attach(ICommunication* channel);
    // References every one of count channels (refs all 1).
    int referenceAll(int count);
    // One CollectDevData call with every flag 1.
    int collect();
    int write(int channel, DATATYPE type, void* value);
    int ioctl(const std::string& command);

    IDeviceCtrl* get() const { return device_; }

private:
    const DriverLibrary& library_;
    IDeviceCtrl* device_ = nullptr;
    int version_ = 0;
    std::vector<int> flags_;
};

}  // namespace vemo::runtime
