// The Help button of the settings dialog: opens the filter's help page with the shell.
#pragma once

#include <windows.h>

namespace velmo {

// Asks the shell to open "plugins\Tidal.html" in the directory of the host program (not of this
// module), with `owner` as the owner of anything the shell shows. Opens nothing when the host's
// path cannot be had in full or the page's path would not fit in the launcher's buffers.
// Nothing is reported either way.
void OpenHelpPage(HWND owner);

}  // namespace velmo
