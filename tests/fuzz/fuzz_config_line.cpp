// The command-line tool's reading of a Config(...) line: any text either fails with a message or
// gives twelve values whose written line reads back to the same values.
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/error.h"
#include "cli/options.h"
#include "core/main.h"
#include "host/config_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int32_t args[velmo::kConfigArgs];
    try {
        velmo::cli::ParseConfigLine(text, args);
    } catch (const velmo::cli::Failure& f) {
        if (f.code != velmo::cli::kExitUsage || std::strlen(f.what()) == 0) std::abort();
        return 0;
    }
    velmo::DeinterlaceInstance inst{};
    velmo::ApplyConfigArgs(&inst, args);
    char line[velmo::kConfigLineMax];
    if (!velmo::FormatConfigLine(inst, line, sizeof line)) std::abort();
    int32_t again[velmo::kConfigArgs];
    velmo::cli::ParseConfigLine(line, again);  // must not throw
    velmo::DeinterlaceInstance back{};
    velmo::ApplyConfigArgs(&back, again);
    if (std::memcmp(&inst, &back, sizeof inst) != 0) std::abort();
    return 0;
}
