// The help page's path is built from the host program's path inside fixed 256-byte buffers: a
// directory of up to 237 characters fits, anything longer opens nothing and writes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/help_path.h"

namespace velmo {
namespace {

constexpr char kGuard = '\x5a';

// A directory "C:\aaa...\" of exactly `length` characters, trailing backslash included.
std::string DirectoryOfLength(size_t length) {
    std::string dir = "C:\\";
    dir.append(length - dir.size() - 1, 'a');
    dir += '\\';
    return dir;
}

struct Case {
    const char* what;
    std::string hostPath;
    size_t outSize;
    bool ok;
    std::string expected;  // when ok
};

TEST(HelpPath, BuildsPathBesideHostOrRefuses) {
    const std::string atLimit = DirectoryOfLength(237);
    const std::string overLimit = DirectoryOfLength(238);
    const std::vector<Case> cases = {
        {"ordinary host path", "C:\\Program Files\\VirtualDub\\VirtualDub.exe", 256, true,
         "C:\\Program Files\\VirtualDub\\plugins\\Tidal.html"},
        {"program in a drive's root", "D:\\vdub.exe", 256, true, "D:\\plugins\\Tidal.html"},
        {"network share", "\\\\server\\tools\\vd\\VirtualDub.exe", 256, true,
         "\\\\server\\tools\\vd\\plugins\\Tidal.html"},
        {"only the last backslash counts", "C:\\a.b\\c\\x.y.exe", 256, true, "C:\\a.b\\c\\plugins\\Tidal.html"},
        {"directory of 237 characters fills all 256 bytes", atLimit + "VirtualDub.exe", 256, true,
         atLimit + "plugins\\Tidal.html"},
        {"directory of 238 characters does not fit", overLimit + "VirtualDub.exe", 256, false, ""},
        {"host path near the buffer's size", DirectoryOfLength(240) + "v.exe", 256, false, ""},
        {"small buffer: one byte short", "C:\\v.exe", 3 + 18, false, ""},
        {"small buffer: just enough", "C:\\v.exe", 3 + 18 + 1, true, "C:\\plugins\\Tidal.html"},
        {"no backslash", "VirtualDub.exe", 256, false, ""},
        {"forward slashes are not separators here", "C:/vd/VirtualDub.exe", 256, false, ""},
        {"empty path", "", 256, false, ""},
        {"nothing after the last backslash", "C:\\VirtualDub\\", 256, false, ""},
        {"zero-sized buffer", "C:\\v.exe", 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The output buffer is followed by guard bytes that must survive every call.
        std::vector<char> out(c.outSize + 16, kGuard);
        const bool ok = BuildHelpPath(c.hostPath.c_str(), out.data(), c.outSize);
        EXPECT_EQ(ok, c.ok);
        for (size_t i = c.outSize; i < out.size(); ++i) ASSERT_EQ(out[i], kGuard) << "byte " << i << " past the buffer";
        if (c.ok) {
            ASSERT_LT(c.expected.size(), c.outSize);
            EXPECT_EQ(std::string(out.data()), c.expected);
        } else {
            for (size_t i = 0; i < c.outSize; ++i) ASSERT_EQ(out[i], kGuard) << "refused, yet byte " << i << " written";
        }
    }
}

// The launcher builds the page's path in the buffer that holds the host's full path.
TEST(HelpPath, WorksInPlace) {
    char buffer[kHelpPathBufferSize + 8];
    std::memset(buffer, kGuard, sizeof(buffer));
    std::strcpy(buffer, "C:\\VirtualDub\\VirtualDub.exe");
    ASSERT_TRUE(BuildHelpPath(buffer, buffer, kHelpPathBufferSize));
    EXPECT_STREQ(buffer, "C:\\VirtualDub\\plugins\\Tidal.html");

    const std::string atLimit = DirectoryOfLength(237) + "x.exe";
    ASSERT_LT(atLimit.size(), kHelpPathBufferSize);
    std::memset(buffer, kGuard, sizeof(buffer));
    std::strcpy(buffer, atLimit.c_str());
    ASSERT_TRUE(BuildHelpPath(buffer, buffer, kHelpPathBufferSize));
    EXPECT_EQ(std::strlen(buffer), kHelpPathBufferSize - 1);
    EXPECT_EQ(std::string(buffer).substr(237), "plugins\\Tidal.html");
    for (size_t i = kHelpPathBufferSize; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], kGuard);

    // Refused in place: the host's path is left as it was.
    const std::string over = DirectoryOfLength(238) + "x.exe";
    std::strcpy(buffer, over.c_str());
    EXPECT_FALSE(BuildHelpPath(buffer, buffer, kHelpPathBufferSize));
    EXPECT_EQ(std::string(buffer), over);
}

}  // namespace
}  // namespace velmo
