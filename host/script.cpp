#include "host/script.h"

#include "host/callbacks.h"
#include "host/config_line.h"

namespace velmo {
namespace host {

void VELMO_CDECL ScriptConfig(void*, HostFilterContext* ctx, ScriptValue* args, int32_t count) {
    DeinterlaceInstance* inst = InstanceOf(ctx);
    int32_t given = args == nullptr || count < 0 ? 0 : count;
    if (given > kConfigArgs) given = kConfigArgs;
    for (int32_t k = 0; k < given; ++k) ApplyConfigArg(inst, k, args[k].value.i);
}

bool VELMO_CDECL FormatScript(HostFilterContext* ctx, void*, char* buf, int32_t size) {
    if (buf == nullptr || size <= 0) return false;
    return FormatConfigLine(*InstanceOf(ctx), buf, static_cast<size_t>(size));
}

}  // namespace host
}  // namespace velmo
