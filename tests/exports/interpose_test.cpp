// The driver library inside a runtime that defines its own host clock: the
// runtime's Holn_GetTickCount/Holn_Sleep must win over the library's
// fallbacks, so that the runtime keeps control of time. This program exports
// its clock (ENABLE_EXPORTS) and does not link the driver's code.
#include <gtest/gtest.h>

#include <vector>

#include "loaded_library.h"

namespace {

// A clock that only moves when asked: every reading advances it 1 ms, every
// sleep by the time slept, so waits end without real time passing.
int64_t g_now = 0;
int g_tickCalls = 0;
int g_sleepCalls = 0;

}  // namespace

extern "C" int64_t Holn_GetTickCount(void)
{
    ++g_tickCalls;
    return ++g_now;
}

extern "C" void Holn_Sleep(int ms, int /*reserved*/)
{
    ++g_sleepCalls;
    if (ms > 0) g_now += ms;
}

namespace {

using namespace vemo_test;

class RuntimeWithClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (handle != nullptr) {
            EXPECT_EQ(dlclose(handle), 0) << dlerror();
        }
    }
    void* handle = nullptr;
};

TEST_F(RuntimeWithClock, ProgramClockIsTheGlobalDefinition)
{
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "Holn_GetTickCount"), Address(&Holn_GetTickCount));
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "Holn_Sleep"), Address(&Holn_Sleep));

    // The library still carries its own fallback, a different function.
    void* fallback = dlsym(handle, "Holn_GetTickCount");
    ASSERT_NE(fallback, nullptr);
    EXPECT_NE(fallback, Address(&Holn_GetTickCount));
    Dl_info info{};
    ASSERT_NE(dladdr(fallback, &info), 0);
    void* owner = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(owner, handle) << info.dli_fname;
    if (owner != nullptr) dlclose(owner);
}

TEST_F(RuntimeWithClock, LibraryCallsResolveToTheProgramClock)
{
    const struct {
        const char* name;
        void* program;
    } clock[] = {{"Holn_GetTickCount", Address(&Holn_GetTickCount)}, {"Holn_Sleep", Address(&Holn_Sleep)}};
    for (const auto& fn : clock) {
        const std::vector<uintptr_t> targets = ResolvedTargets(handle, fn.name);
        ASSERT_FALSE(targets.empty()) << fn.name << " is not called through an interposable reference";
        for (uintptr_t t : targets) EXPECT_EQ(t, reinterpret_cast<uintptr_t>(fn.program)) << fn.name;
    }
}

TEST_F(RuntimeWithClock, CollectionOverASilentChannelWaitsOnTheProgramClock)
{
    auto create = Symbol<CreateFn>(handle, "CreateDeviceCtrl");
    auto destroy = Symbol<DestroyFn>(handle, "DestroyDeviceCtrl");
    ASSERT_NE(create, nullptr);
    ASSERT_NE(destroy, nullptr);
    CountingRtdb db;
    SilentComm comm;
    IDeviceCtrl* dev = create("dev", &db);
    ASSERT_NE(dev, nullptr);
    const std::vector<unsigned char> blob = OneRegisterBlob(200);
    ASSERT_EQ(dev->InitDevice(blob.data(), static_cast<int>(blob.size())), 0);
    ASSERT_EQ(dev->UpdataCommunication(&comm), 0);
    const int due[1] = {1};
    ASSERT_EQ(dev->ChannelRefChange(due, 1), 0);

    g_tickCalls = g_sleepCalls = 0;
    const int64_t before = g_now;
    EXPECT_GT(dev->CollectDevData(due, 1), 0) << "a read without reply must fail";
    EXPECT_GE(comm.writes, 1) << "no request sent";
    EXPECT_GT(g_tickCalls, 0);
    EXPECT_GT(g_sleepCalls, 0);
    EXPECT_GE(g_now - before, 200) << "gave up before the wait time on the program's clock";

    EXPECT_EQ(dev->CleanupDevice(), 0);
    EXPECT_EQ(destroy(dev), 0);
}

}  // namespace
