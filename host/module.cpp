// The filter module: the filter's definition as the host lists it, its script binding, and the
// two entry points the host looks up by name when it loads the module.
#include "core/main.h"
#include "host/callbacks.h"
#include "host/records.h"
#include "host/registration.h"
#include "host/script.h"
#include "ui/dialog.h"

#if !defined(VELMO_VERSION_TEXT)
#error "VELMO_VERSION_TEXT (the version shown in the description) must be defined by the build"
#endif

#define VELMO_DESCRIPTION_START "Performs deinterlacing only in moving picture areas. Based on Tamber's idea. "
#if defined(VELMO_CPU_P2)
#define VELMO_FILTER_NAME "Velmo Deinterlace (PII Optimized)"
#define VELMO_OPTIMIZED "MMX optimized."
#elif defined(VELMO_CPU_P3)
#define VELMO_FILTER_NAME "Velmo Deinterlace (PIII Optimized)"
#define VELMO_OPTIMIZED "SSE optimized."
#elif defined(VELMO_CPU_P4)
#define VELMO_FILTER_NAME "Velmo Deinterlace (PIV Optimized)"
#define VELMO_OPTIMIZED "SSE optimized."
#else
#error "the filter module is built for one target processor: VELMO_CPU_P2, VELMO_CPU_P3 or VELMO_CPU_P4"
#endif

namespace velmo {
namespace host {
namespace {

const ScriptCommand kScriptCommands[] = {
    {ScriptConfig, "Config", "0iiiiiiiiiiii"},
    {nullptr, nullptr, nullptr},
};

const ScriptBinding kScriptBinding = {nullptr, kScriptCommands, nullptr};

const FilterDescriptor kFilterDescriptor = {
    nullptr,  // host links, module link: the host's
    nullptr,
    nullptr,
    VELMO_FILTER_NAME,
    VELMO_DESCRIPTION_START VELMO_OPTIMIZED " v" VELMO_VERSION_TEXT,
    "The Velmo developers",
    nullptr,  // host-defined
    static_cast<int32_t>(sizeof(DeinterlaceInstance)),
    InitSettings,
    nullptr,
    RunFrame,
    nullptr,
    ConfigureDialog,
    nullptr,
    StartBuffers,
    EndBuffers,
    &kScriptBinding,
    FormatScript,
};

// What the host's RegisterFilter returned: the module's only state.
FilterDescriptor* registrationHandle = nullptr;

}  // namespace
}  // namespace host
}  // namespace velmo

extern "C" {

int VELMO_CDECL VirtualdubFilterModuleInit2(velmo::host::HostModule* module, const velmo::host::HostFunctionTable* ft,
                                            int* version, int* compatibleVersion) VELMO_HOST_ENTRY;
void VELMO_CDECL VirtualdubFilterModuleDeinit(velmo::host::HostModule* module,
                                              const velmo::host::HostFunctionTable* ft) VELMO_HOST_ENTRY;

int VELMO_CDECL VirtualdubFilterModuleInit2(velmo::host::HostModule* module, const velmo::host::HostFunctionTable* ft,
                                            int* version, int* compatibleVersion) {
    using namespace velmo::host;
    return RegisterFilterModule(&kFilterDescriptor, module, ft, version, compatibleVersion, &registrationHandle);
}

void VELMO_CDECL VirtualdubFilterModuleDeinit(velmo::host::HostModule*, const velmo::host::HostFunctionTable* ft) {
    using namespace velmo::host;
    UnregisterFilterModule(ft, registrationHandle);
}

}  // extern "C"
