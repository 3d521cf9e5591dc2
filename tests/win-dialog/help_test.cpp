// The Help button: what the module asks of the shell, found out by standing in for the shell's
// ShellExecuteA in the module's import table (so no browser is started), and what it does with
// host paths that do not fit, with the system's path functions stood in for the same way.
#include <gtest/gtest.h>

#include "harness.h"  // windows.h first

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace velmo {
namespace test {
namespace {

struct ShellCall {
    HWND owner;
    std::string verb, file;
    bool parameters, directory;  // given at all
    int show;
};
std::vector<ShellCall> g_shellCalls;

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                    INT show) {
    g_shellCalls.push_back({owner, verb ? verb : "(null)", file ? file : "(null)", parameters != nullptr,
                            directory != nullptr, show});
    return reinterpret_cast<HINSTANCE>(42);  // success as the shell reports it
}

// The host path the stand-in for GetModuleFileNameA reports, and what it was asked.
enum class HostPath { Given, Fails, Truncated };
HostPath g_hostPathMode = HostPath::Given;
std::string g_hostPath;
std::vector<std::pair<HMODULE, DWORD>> g_moduleFileCalls;

DWORD WINAPI FakeModuleFileName(HMODULE module, LPSTR buffer, DWORD size) {
    g_moduleFileCalls.push_back({module, size});
    switch (g_hostPathMode) {
    case HostPath::Fails:
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    case HostPath::Truncated:  // as the system truncates: the whole size filled, no zero byte
        for (DWORD i = 0; i < size; ++i) buffer[i] = i < g_hostPath.size() ? g_hostPath[i] : 'x';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    case HostPath::Given:
        break;
    }
    if (g_hostPath.size() + 1 > size) {
        std::memcpy(buffer, g_hostPath.data(), size);
        return size;
    }
    std::memcpy(buffer, g_hostPath.c_str(), g_hostPath.size() + 1);
    return static_cast<DWORD>(g_hostPath.size());
}

// GetFullPathNameA: passed through, or made to fail.
enum class FullPath { Real, Fails, TooSmall, NoFilePart };
FullPath g_fullPathMode = FullPath::Real;
std::vector<DWORD> g_fullPathSizes;
using FullPathFn = DWORD(WINAPI*)(LPCSTR, DWORD, LPSTR, LPSTR*);
FullPathFn g_realFullPath = nullptr;

DWORD WINAPI FakeFullPathName(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    g_fullPathSizes.push_back(size);
    switch (g_fullPathMode) {
    case FullPath::Fails:
        return 0;
    case FullPath::TooSmall:
        return 300;  // what a 300-byte result would need
    case FullPath::NoFilePart: {
        const DWORD n = g_realFullPath(path, size, buffer, filePart);
        if (filePart) *filePart = nullptr;
        return n;
    }
    case FullPath::Real:
        break;
    }
    return g_realFullPath(path, size, buffer, filePart);
}

// Installs the stand-ins for the life of one test.
class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadedModule& module = Module();
        ASSERT_TRUE(module.error.empty()) << module.error;
        handle_ = module.handle;
        g_shellCalls.clear();
        g_moduleFileCalls.clear();
        g_fullPathSizes.clear();
        g_hostPathMode = HostPath::Given;
        g_fullPathMode = FullPath::Real;
        shell_ = PatchImport(handle_, "shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(RecordShellExecute));
        ASSERT_NE(shell_, nullptr) << "the module does not import ShellExecuteA";
    }
    void TearDown() override {
        if (shell_ != nullptr) PatchImport(handle_, "shell32.dll", "ShellExecuteA", shell_);
        if (moduleFile_ != nullptr) PatchImport(handle_, "kernel32.dll", "GetModuleFileNameA", moduleFile_);
        if (fullPath_ != nullptr) PatchImport(handle_, "kernel32.dll", "GetFullPathNameA", fullPath_);
    }
    void StandInForPathFunctions() {
        moduleFile_ = PatchImport(handle_, "kernel32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(FakeModuleFileName));
        ASSERT_NE(moduleFile_, nullptr) << "the module does not import GetModuleFileNameA";
        fullPath_ = PatchImport(handle_, "kernel32.dll", "GetFullPathNameA", reinterpret_cast<void*>(FakeFullPathName));
        ASSERT_NE(fullPath_, nullptr) << "the module does not import GetFullPathNameA";
        g_realFullPath = reinterpret_cast<FullPathFn>(fullPath_);
    }

    HMODULE handle_ = nullptr;
    void* shell_ = nullptr;
    void* moduleFile_ = nullptr;
    void* fullPath_ = nullptr;
};

const Settings kDefaults = {0, 0, 15, 100, 0, 0, 0, 0, 0, 1, 0, 0};

// Every press asks the shell again to open the page beside the host program (this test program,
// not the module, which lies in plugins\ itself); the dialog stays open and the record is left
// alone until OK.
TEST_F(HelpTest, OpensThePageBesideTheHostProgram) {
    DeinterlaceInstance record = RecordWith(kDefaults);
    HWND dialogSeen = nullptr;
    std::vector<size_t> callsAfterPress;
    std::vector<bool> openAfterPress;
    std::vector<Settings> recordAfterPress;
    DialogRun run = RunDialog(record, [&](HWND dialog) {
        dialogSeen = dialog;
        for (int press = 0; press < 3; ++press) {
            if (press == 1) SetControlText(dialog, IDC_MOTION_THRESHOLD, "27");
            if (press == 2) Click(dialog, IDC_SHOW_MOTION_ONLY);
            // The button's click, or its command sent straight to the dialog; both return
            // once the command has been handled.
            if (press == 0) {
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_HELP_PAGE, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_HELP_PAGE)));
            } else {
                Click(dialog, IDC_HELP_PAGE);
            }
            callsAfterPress.push_back(g_shellCalls.size());
            openAfterPress.push_back(IsWindowVisible(dialog) != 0);
            recordAfterPress.push_back(SettingsOf(record));
        }
        Click(dialog, IDC_OK);
    });
    ASSERT_TRUE(run.dialogFound);
    EXPECT_EQ(callsAfterPress, (std::vector<size_t>{1, 2, 3}));
    EXPECT_EQ(openAfterPress, (std::vector<bool>{true, true, true}));
    for (const Settings& s : recordAfterPress) EXPECT_EQ(s, kDefaults) << Describe(s);
    const std::string page = HostDirectory() + "plugins\\Tidal.html";
    for (const ShellCall& call : g_shellCalls) {
        EXPECT_EQ(call.owner, dialogSeen);
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.file, page);
        EXPECT_FALSE(call.parameters);
        EXPECT_FALSE(call.directory);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
    }
    EXPECT_NE(GetFileAttributesA(page.c_str()), INVALID_FILE_ATTRIBUTES) << "the test's own page is missing";
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(SettingsOf(record), (Settings{1, 0, 27, 100, 0, 0, 0, 0, 0, 1, 0, 0}));
}

// A shell that cannot open the page changes nothing either.
HINSTANCE WINAPI FailingShellExecute(HWND, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT) {
    g_shellCalls.push_back({nullptr, "open", file ? file : "", false, false, 0});
    return reinterpret_cast<HINSTANCE>(SE_ERR_NOASSOC);
}

TEST_F(HelpTest, FailureOfTheShellIsNotReported) {
    PatchImport(handle_, "shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(FailingShellExecute));
    DeinterlaceInstance record = RecordWith(kDefaults);
    bool openAfter = false;
    DialogRun run = RunDialog(record, [&](HWND dialog) {
        Click(dialog, IDC_HELP_PAGE);
        openAfter = IsWindowVisible(dialog) != 0;
        PostCommand(dialog, IDC_CANCEL);
    });
    ASSERT_TRUE(run.dialogFound);
    EXPECT_EQ(g_shellCalls.size(), 1u);
    EXPECT_TRUE(openAfter);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(SettingsOf(record), kDefaults);
}

// A directory of "C:\" and then 'd's up to `length` characters, trailing backslash included.
std::string Directory(size_t length) { return "C:\\" + std::string(length - 4, 'd') + "\\"; }

TEST_F(HelpTest, HostPathsThatDoNotFitOpenNothing) {
    StandInForPathFunctions();
    struct Case {
        const char* what;
        HostPath hostMode;
        std::string hostPath;
        FullPath fullMode;
        std::string expected;  // empty: nothing opened
    };
    const std::vector<Case> cases = {
        {"ordinary path", HostPath::Given, "C:\\Programs\\VirtualDub\\VirtualDub.exe", FullPath::Real,
         "C:\\Programs\\VirtualDub\\plugins\\Tidal.html"},
        {"relative parts are resolved", HostPath::Given, "C:\\Programs\\VirtualDub\\bin\\..\\VirtualDub.exe",
         FullPath::Real, "C:\\Programs\\VirtualDub\\plugins\\Tidal.html"},
        {"directory of 237 characters: the page's path takes all 256 bytes", HostPath::Given,
         Directory(237) + "vd.exe", FullPath::Real, Directory(237) + "plugins\\Tidal.html"},
        {"directory of 238 characters", HostPath::Given, Directory(238) + "vd.exe", FullPath::Real, ""},
        {"host path of 254 characters", HostPath::Given, Directory(240) + std::string(10, 'v') + ".exe",
         FullPath::Real, ""},
        {"host path unavailable", HostPath::Fails, "", FullPath::Real, ""},
        {"host path truncated", HostPath::Truncated, Directory(200) + std::string(80, 'v') + ".exe", FullPath::Real,
         ""},
        {"full path fails", HostPath::Given, "C:\\VD\\VirtualDub.exe", FullPath::Fails, ""},
        {"full path too long for the buffer", HostPath::Given, "C:\\VD\\VirtualDub.exe", FullPath::TooSmall, ""},
        {"full path without a file name", HostPath::Given, "C:\\VD\\VirtualDub.exe", FullPath::NoFilePart, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_hostPathMode = c.hostMode;
        g_hostPath = c.hostPath;
        g_fullPathMode = c.fullMode;
        g_shellCalls.clear();
        g_moduleFileCalls.clear();
        g_fullPathSizes.clear();
        DeinterlaceInstance record = RecordWith(kDefaults);
        bool openAfter = false;
        DialogRun run = RunDialog(record, [&](HWND dialog) {
            Click(dialog, IDC_HELP_PAGE);
            openAfter = IsWindowVisible(dialog) != 0;
            PostCommand(dialog, IDC_CANCEL);
        });
        ASSERT_TRUE(run.dialogFound);
        EXPECT_TRUE(openAfter);
        EXPECT_EQ(run.result, 1);
        // The host program's own file, into a buffer of 256 bytes given as 255.
        ASSERT_EQ(g_moduleFileCalls.size(), 1u);
        EXPECT_EQ(g_moduleFileCalls[0].first, nullptr);
        EXPECT_EQ(g_moduleFileCalls[0].second, 255u);
        for (DWORD size : g_fullPathSizes) EXPECT_EQ(size, 255u);
        if (c.expected.empty()) {
            EXPECT_TRUE(g_shellCalls.empty()) << g_shellCalls[0].file;
        } else {
            ASSERT_EQ(g_shellCalls.size(), 1u);
            EXPECT_EQ(g_shellCalls[0].file, c.expected);
            EXPECT_EQ(g_fullPathSizes.size(), 1u);
        }
    }
}

}  // namespace
}  // namespace test
}  // namespace velmo
