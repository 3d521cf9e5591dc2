// The script form of the settings: the host's Config(...) call on an instance, and the line the
// filter writes into the host's script.
#pragma once

#include "host/records.h"

namespace velmo {
namespace host {

// Handler of the script function Config: twelve integer arguments in script order, argument k
// at args[k].value.i. Switches are stored as 0 or 1, the three numbers unchanged. A host that
// passes fewer than twelve values gets only those read and stored; the other settings keep
// their values.
void VELMO_CDECL ScriptConfig(void* interpreter, HostFilterContext* ctx, ScriptValue* args,
                              int32_t count) VELMO_HOST_ENTRY;

// Writes "Config(...)" with the instance's settings into buf (size bytes). Never writes past the
// buffer; when size >= 1 the text is always terminated. True when the whole line was written;
// a line that does not fit leaves an empty text and reports false, never a cut-off line.
bool VELMO_CDECL FormatScript(HostFilterContext* ctx, void* interpreter, char* buf, int32_t size) VELMO_HOST_ENTRY;

}  // namespace host
}  // namespace velmo
