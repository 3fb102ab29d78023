#include "runtime/driver_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <stdexcept>

namespace vemo::runtime {

DriverLibrary::DriverLibrary(const std::string& path) : path_(path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw std::runtime_error("driver library not found: " + path +
                                 " (build it with `cmake --workflow --preset host`, or name it with --driver PATH)");
    }
    if (!S_ISREG(info.st_mode)) throw std::runtime_error("driver library " + path + " is not a regular file");
    // RTLD_LOCAL as a runtime loading plug-ins would: the driver's symbols
    // stay private, while the library still sees this program's exported clock.
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = ::dlerror();
        throw std::runtime_error("cannot load the driver library " + path + ": " + (reason ? reason : "unknown error"));
    }
    try {
        create_ = symbol<CreateFn>("CreateDeviceCtrl");
        destroy_ = symbol<DestroyFn>("DestroyDeviceCtrl");
        version_ = symbol<VersionFn>("GetInterfaceVersion");
    } catch (...) {
        ::dlclose(handle_);
        throw;
    }
}

DriverLibrary::~DriverLibrary()
{
    if (handle_) ::dlclose(handle_);
}

template <class Fn>
Fn DriverLibrary::symbol(const char* name)
{
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    if (!address) {
        throw std::runtime_error(path_ + " does not export " + name +
                                 ": it is not a driver library of this project (see --driver)");
    }
    // POSIX guarantees that a dlsym result converts to a function pointer.
    Fn fn = nullptr;
    static_assert(sizeof(fn) == sizeof(address), "function and object pointers differ in size");
    std::memcpy(&fn, &address, sizeof(fn));
    return fn;
}

std::string resultText(int code)
{
    switch (code) {
        case 0:
            return "0 ok";
        case 1:
            return "1 no block";
        case 2:
            return "2 no reply";
        case 4:
            return "4 write not accepted";
        case 5:
            return "5 bad command or channel";
        case 6:
            return "6 command delivered nothing";
        case 7:
            return "7 reply refused";
        case -2:
            return "-2 no communication channel";
        case -3:
            return "-3 no database";
        case -10:
            return "-10 address change under way";
        case static_cast<int>(0x80000000u):
            return "0x80000000 resource or planning failure";
        case static_cast<int>(0x80000001u):
            return "0x80000001 bad argument";
        case static_cast<int>(0x82000001u):
            return "0x82000001 initialization failed";
        case static_cast<int>(0x80000002u):
            return "0x80000002 database interface too old";
        default:
            return std::to_string(code);
    }
}

Device::Device(const DriverLibrary& library, const std::string& name, IDevRtdbCtrl2& database) : library_(library)
{
    device_ = library_.create(name.c_str(), &database);
    if (!device_) throw std::runtime_error("CreateDeviceCtrl returned no device object");
    version_ = library_.interfaceVersion(2, device_);
}

Device::~Device()
{
    device_->CleanupDevice();
    library_.destroy(device_);
}

int Device::init(const std::vector<uint8_t>& blob)
{
    return device_->InitDevice(blob.data(), static_cast<int>(blob.size()));
}

int Device::attach(ICommunication* channel)
{
    return device_->UpdataCommunication(channel);
}

namespace {

// The driver refuses a null array even for no channels; an empty vector's
// data() may be null.
const int* arrayOf(const std::vector<int>& flags)
{
    static const int NONE = 0;
    return flags.empty() ? &NONE : flags.data();
}

}  // namespace

int Device::referenceAll(int count)
{
    flags_.assign(static_cast<size_t>(count > 0 ? count : 0), 1);
    return device_->ChannelRefChange(arrayOf(flags_), static_cast<int>(flags_.size()));
}

int Device::collect()
{
    return device_->CollectDevData(arrayOf(flags_), static_cast<int>(flags_.size()));
}

int Device::write(int channel, DATATYPE type, void* value)
{
    return device_->WriteChannel(channel, type, value);
}

int Device::ioctl(const std::string& command)
{
    return device_->DevIOCtrl(command.c_str());
}

}  // namespace vemo::runtime
