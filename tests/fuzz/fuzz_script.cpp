// The script binding: Config with any number of any values, then the script line written into
// buffers of every size. Nothing may be read or written outside the host's memory, the line is
// always terminated, and it is reported whole only when it is.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/main.h"
#include "fuzz_input.h"
#include "host/config_line.h"
#include "host/records.h"
#include "host/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmo::fuzz::Input in(data, size);
    velmo::DeinterlaceInstance inst;
    std::memset(&inst, 0, sizeof inst);
    velmo::InitSettings(&inst);

    velmo::host::HostFilterContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    ctx.instance = &inst;

    const int32_t count = static_cast<int32_t>(in.Below(13));
    // Exactly as many values as the host passes, so reading past them is caught.
    std::vector<velmo::host::ScriptValue> args(count > 0 ? count : 1);
    for (int32_t i = 0; i < count; ++i) {
        args[i].type = 1;
        args[i].link = nullptr;
        args[i].value.pad = 0;
        args[i].value.i = in.Setting();
    }
    velmo::host::ScriptConfig(nullptr, &ctx, args.data(), count);

    char whole[velmo::kConfigLineMax];
    if (!velmo::FormatConfigLine(inst, whole, sizeof whole)) std::abort();
    const size_t length = std::strlen(whole);

    const int32_t bufSize = static_cast<int32_t>(in.Below(200)) - 8;
    std::vector<char> buf(bufSize > 0 ? bufSize : 0);
    char* p = buf.empty() ? nullptr : buf.data();
    if (p) std::memset(p, 'x', buf.size());
    const bool ok = velmo::host::FormatScript(&ctx, nullptr, p ? p : whole, bufSize);
    if (bufSize <= 0) {
        if (ok) std::abort();
        return 0;
    }
    if (std::memchr(p, '\0', buf.size()) == nullptr) std::abort();
    if (ok != (length + 1 <= buf.size())) std::abort();
    if (ok && std::strcmp(p, whole) != 0) std::abort();
    if (!ok && p[0] != '\0') std::abort();
    return 0;
}
