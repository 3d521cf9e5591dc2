// Placeholder until the dialog lands: reports Cancel and changes nothing.
#include "ui/dialog.h"

namespace velmo {

int VELMO_CDECL ConfigureDialog(host::HostFilterContext*, const host::HostFunctionTable*, void*) { return 1; }

}  // namespace velmo
