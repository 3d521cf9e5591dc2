#include "ui/help.h"

#include <shellapi.h>

#include "ui/help_path.h"

namespace velmo {

void OpenHelpPage(HWND owner) {
    char hostPath[kHelpPathBufferSize];
    char fullPath[kHelpPathBufferSize];

    // The host program's own file: no module handle. A result that fills the whole size given
    // is a truncated path.
    const DWORD hostLength = GetModuleFileNameA(nullptr, hostPath, kHelpPathBufferSize - 1);
    if (hostLength == 0 || hostLength >= kHelpPathBufferSize - 1) return;
    hostPath[hostLength] = '\0';

    // A result of the whole size or more is the size the buffer would have needed.
    char* filePart = nullptr;
    const DWORD fullLength = GetFullPathNameA(hostPath, kHelpPathBufferSize - 1, fullPath, &filePart);
    if (fullLength == 0 || fullLength >= kHelpPathBufferSize - 1 || filePart == nullptr) return;

    if (!BuildHelpPath(fullPath, fullPath, sizeof(fullPath))) return;
    ShellExecuteA(owner, "open", fullPath, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace velmo
