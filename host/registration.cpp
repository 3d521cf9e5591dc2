#include "host/registration.h"

namespace velmo {
namespace host {

int RegisterFilterModule(const FilterDescriptor* descriptor, HostModule* module, const HostFunctionTable* ft,
                         int* version, int* compatibleVersion, FilterDescriptor** handle) {
    FilterDescriptor* const registered =
        ft->RegisterFilter(module, descriptor, static_cast<int32_t>(sizeof(FilterDescriptor)));
    *handle = registered;
    if (registered == nullptr) return 1;
    *version = kInterfaceVersion;
    *compatibleVersion = kInterfaceCompatibleVersion;
    return 0;
}

void UnregisterFilterModule(const HostFunctionTable* ft, FilterDescriptor* handle) { ft->UnregisterFilter(handle); }

}  // namespace host
}  // namespace velmo
