// Registering the filter with a host that accepts it and with one that refuses it.
#include <gtest/gtest.h>

#include <cstring>

#include "host/records.h"
#include "host/registration.h"

namespace velmo {
namespace host {
namespace {

// What the fake host saw.
struct HostLog {
    int registerCalls = 0;
    HostModule* module = nullptr;
    const FilterDescriptor* descriptor = nullptr;
    int32_t size = -1;
    int unregisterCalls = 0;
    FilterDescriptor* unregistered = nullptr;
    FilterDescriptor* answer = nullptr;  // what RegisterFilter returns
};
HostLog hostLog;

FilterDescriptor* VELMO_CDECL RecordRegister(HostModule* module, const FilterDescriptor* d, int32_t size) {
    ++hostLog.registerCalls;
    hostLog.module = module;
    hostLog.descriptor = d;
    hostLog.size = size;
    return hostLog.answer;
}

void VELMO_CDECL RecordUnregister(FilterDescriptor* handle) {
    ++hostLog.unregisterCalls;
    hostLog.unregistered = handle;
}

const HostFunctionTable kHost = {RecordRegister, RecordUnregister};

TEST(Registration, AcceptedAndRefused) {
    FilterDescriptor descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    FilterDescriptor hostCopy;
    HostModule module;

    struct Case {
        const char* what;
        FilterDescriptor* answer;
        int result;
        int version, compatible;  // the slots afterwards, from 0x5A5A
    };
    const Case cases[] = {
        {"accepted", &hostCopy, 0, 7, 4},
        {"refused", nullptr, 1, 0x5A5A, 0x5A5A},
    };
    for (const Case& c : cases) {
        hostLog = HostLog();
        hostLog.answer = c.answer;
        FilterDescriptor* handle = reinterpret_cast<FilterDescriptor*>(&module);  // overwritten either way
        int version = 0x5A5A, compatible = 0x5A5A;
        EXPECT_EQ(RegisterFilterModule(&descriptor, &module, &kHost, &version, &compatible, &handle), c.result)
            << c.what;
        EXPECT_EQ(hostLog.registerCalls, 1) << c.what;
        EXPECT_EQ(hostLog.module, &module) << c.what << ": the module value is passed on";
        EXPECT_EQ(hostLog.descriptor, &descriptor) << c.what;
        EXPECT_EQ(hostLog.size, static_cast<int32_t>(sizeof(FilterDescriptor))) << c.what;
        EXPECT_EQ(version, c.version) << c.what;
        EXPECT_EQ(compatible, c.compatible) << c.what;
        EXPECT_EQ(handle, c.answer) << c.what << ": the handle is kept whether or not it is 0";

        UnregisterFilterModule(&kHost, handle);
        EXPECT_EQ(hostLog.unregisterCalls, 1) << c.what;
        EXPECT_EQ(hostLog.unregistered, c.answer) << c.what << ": the host gets back exactly its own handle";
    }
#if defined(_WIN32) && !defined(_WIN64)
    EXPECT_EQ(sizeof(FilterDescriptor), 72u);
#endif
}

TEST(Registration, SevenIsWrittenBeforeFour) {
    // With both slots at one address the later write stays.
    hostLog = HostLog();
    FilterDescriptor descriptor{}, hostCopy{};
    hostLog.answer = &hostCopy;
    FilterDescriptor* handle = nullptr;
    int slot = 0;
    EXPECT_EQ(RegisterFilterModule(&descriptor, nullptr, &kHost, &slot, &slot, &handle), 0);
    EXPECT_EQ(slot, 4);
}

}  // namespace
}  // namespace host
}  // namespace velmo
