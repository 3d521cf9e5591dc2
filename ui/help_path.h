// Where the help page lives: "plugins\Tidal.html" in the directory of the host program. The
// path arithmetic is kept apart from the Windows calls so that it can be checked anywhere.
#pragma once

#include <cstddef>

namespace velmo {

// The page's path relative to the host program's directory, and its length without the zero.
constexpr const char kHelpPageName[] = "plugins\\Tidal.html";
constexpr size_t kHelpPageNameLength = sizeof(kHelpPageName) - 1;

// Both path buffers of the help launcher hold this many bytes, terminating zero included.
constexpr size_t kHelpPathBufferSize = 256;

// Builds the help page's path from the full path of the host program: keeps everything up to and
// including the last backslash and appends kHelpPageName. `out` may be `hostPath` itself.
// Returns false and leaves `out` as it was when hostPath has no backslash, when nothing follows
// the last backslash (no file name: not a program's path), or when the result with its zero
// byte would not fit in outSize bytes. Never writes past out[outSize - 1].
bool BuildHelpPath(const char* hostPath, char* out, size_t outSize);

}  // namespace velmo
