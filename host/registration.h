// Registration of the module's one filter with the host, and its removal.
#pragma once

#include "host/records.h"

namespace velmo {
namespace host {

// The two filter-interface version numbers the host reads back after a registration.
constexpr int kInterfaceVersion = 7;
constexpr int kInterfaceCompatibleVersion = 4;

// Hands the descriptor to the host's RegisterFilter with its size and stores the host's answer
// in *handle, whether or not it is 0. A refusal (0) returns 1 and leaves both version slots as
// they are; otherwise 7 goes into *version, then 4 into *compatibleVersion, and the result is 0.
int RegisterFilterModule(const FilterDescriptor* descriptor, HostModule* module, const HostFunctionTable* ft,
                         int* version, int* compatibleVersion, FilterDescriptor** handle);

// Gives the handle back to the host's UnregisterFilter, as it is.
void UnregisterFilterModule(const HostFunctionTable* ft, FilterDescriptor* handle);

}  // namespace host
}  // namespace velmo
