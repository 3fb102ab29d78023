// The driver library as a runtime without its own host clock sees it:
// loaded with dlopen, reached only through the three C entry points, its
// calls to Holn_GetTickCount/Holn_Sleep served by its own fallbacks. This
// program defines no clock and does not link the driver's code.
#include <gtest/gtest.h>

#include <vector>

#include "loaded_library.h"

namespace {

using namespace vemo_test;

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        create = Symbol<CreateFn>(handle, "CreateDeviceCtrl");
        destroy = Symbol<DestroyFn>(handle, "DestroyDeviceCtrl");
        version = Symbol<VersionFn>(handle, "GetInterfaceVersion");
        ASSERT_NE(create, nullptr) << "CreateDeviceCtrl not exported";
        ASSERT_NE(destroy, nullptr) << "DestroyDeviceCtrl not exported";
        ASSERT_NE(version, nullptr) << "GetInterfaceVersion not exported";
    }
    void TearDown() override
    {
        if (handle != nullptr) {
            EXPECT_EQ(dlclose(handle), 0) << dlerror();
        }
    }

    void* handle = nullptr;
    CreateFn create = nullptr;
    DestroyFn destroy = nullptr;
    VersionFn version = nullptr;
};

TEST_F(LoadedLibrary, ClockCallsUseTheLibraryFallbackWhenTheRuntimeHasNone)
{
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "Holn_GetTickCount"), nullptr) << "this program must not export a clock";
    for (const char* name : {"Holn_GetTickCount", "Holn_Sleep"}) {
        void* fallback = dlsym(handle, name);
        ASSERT_NE(fallback, nullptr) << name << " fallback not exported";
        const std::vector<uintptr_t> targets = ResolvedTargets(handle, name);
        ASSERT_FALSE(targets.empty()) << "no interposable reference to " << name << " in the library";
        for (uintptr_t t : targets) EXPECT_EQ(t, reinterpret_cast<uintptr_t>(fallback)) << name;
    }
}

TEST_F(LoadedLibrary, EntryPointsAnswerNullObjects)
{
    EXPECT_EQ(version(2, nullptr), 1);
    EXPECT_EQ(destroy(nullptr), 1);
}

TEST_F(LoadedLibrary, DeviceLivesThroughTheInterface)
{
    CountingRtdb db;
    IDeviceCtrl* dev = create("dev", &db);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(version(2, dev), 2);

    EXPECT_EQ(dev->InitDevice(nullptr, 0), static_cast<int>(0x80000001u));
    const std::vector<unsigned char> blob = OneRegisterBlob(1000);
    EXPECT_EQ(dev->InitDevice(blob.data(), static_cast<int>(blob.size())), 0);

    // Slots past InitDevice reach the right operations: no channel yet.
    EXPECT_EQ(dev->UpdataCommunication(nullptr), 0);
    const int flags[1] = {1};
    EXPECT_EQ(dev->CollectDevData(flags, 1), -2);

    EXPECT_EQ(dev->CleanupDevice(), 0);
    EXPECT_EQ(destroy(dev), 0);
}

// An IDeviceCtrl the library did not make: DestroyDeviceCtrl must see across
// the library boundary that it is not its own class and leave it alone.
class ForeignDevice : public IDeviceCtrl {
public:
    int InitDevice(const unsigned char*, int) override { return 0; }
    int CleanupDevice() override { return 0; }
    int CollectDevData(const int*, int) override { return 0; }
    int DevIOCtrl(const char*) override { return 0; }
    int WriteChannel(int, DATATYPE, void*) override { return 0; }
    int UpdataCommunication(ICommunication*) override { return 0; }
    int ChannelRefChange(const int*, int) override { return 0; }
    int SetChannelAddress(int, int) override { return 0; }
    virtual ~ForeignDevice() = default;
};

TEST_F(LoadedLibrary, DestroyLeavesAForeignObjectAlone)
{
    ForeignDevice onStack;  // deleting it would crash or trip the sanitizer
    EXPECT_EQ(destroy(&onStack), 0);
}

}  // namespace
