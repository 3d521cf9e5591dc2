// The settings dialog of a filter instance, opened by the host's configure callback.
#pragma once

#include "host/records.h"

namespace velmo {

// Shows the modal settings dialog over `parent` (an HWND) for the context's instance.
// Returns 0 after OK, 1 after Cancel.
int VELMO_CDECL ConfigureDialog(host::HostFilterContext* ctx, const host::HostFunctionTable* ft, void* parent);

}  // namespace velmo
