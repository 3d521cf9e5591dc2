// Stand-in filter module for the dialog tests while the real module target is not part of the
// build: registers a descriptor whose configure slot is the settings dialog, as the real one does.
#include <cstring>

#include "host/records.h"
#include "ui/dialog.h"

namespace {

velmo::host::FilterDescriptor g_descriptor = [] {
    velmo::host::FilterDescriptor d;
    std::memset(&d, 0, sizeof(d));
    d.name = "Velmo dialog stand-in";
    d.instanceSize = 64;
    d.configure = velmo::ConfigureDialog;
    return d;
}();

}  // namespace

extern "C" __declspec(dllexport) int VELMO_CDECL VirtualdubFilterModuleInit2(velmo::host::HostModule* module,
                                                                              const velmo::host::HostFunctionTable* ft,
                                                                              int* version, int* compatible) {
    if (ft->RegisterFilter(module, &g_descriptor, sizeof(g_descriptor)) == nullptr) return 1;
    *version = 7;
    *compatible = 4;
    return 0;
}

extern "C" __declspec(dllexport) void VELMO_CDECL VirtualdubFilterModuleDeinit(velmo::host::HostModule*,
                                                                               const velmo::host::HostFunctionTable*) {}
