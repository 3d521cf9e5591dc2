#include "ui/help_path.h"

#include <cstring>

namespace velmo {

bool BuildHelpPath(const char* hostPath, char* out, size_t outSize) {
    if (hostPath == nullptr || out == nullptr) return false;
    const char* lastSeparator = std::strrchr(hostPath, '\\');
    if (lastSeparator == nullptr || lastSeparator[1] == '\0') return false;
    const size_t dirLength = static_cast<size_t>(lastSeparator - hostPath) + 1;  // with the backslash
    if (outSize < dirLength + kHelpPageNameLength + 1) return false;
    if (out != hostPath) std::memmove(out, hostPath, dirLength);
    std::memcpy(out + dirLength, kHelpPageName, kHelpPageNameLength + 1);
    return true;
}

}  // namespace velmo
