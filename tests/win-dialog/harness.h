// A small VirtualDub-like host for the dialog tests: loads the filter module from "plugins" beside
// this program, registers it as a host does, and runs its configure callback while a second
// thread plays the user: finds the modal dialog, reads and changes its controls, presses buttons.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "core/main.h"
#include "host/records.h"

namespace velmo {
namespace test {

struct LoadedModule {
    HMODULE handle = nullptr;
    host::HostModule record{};        // the host's record of the loaded module: +8 is the HMODULE
    host::FilterDescriptor copy{};    // the host's own copy of the registered descriptor
    host::HostFunctionTable functions{};
    int version = 0;
    int compatibleVersion = 0;
    int initResult = -1;
    std::string error;                // empty when loading and registration went well
};

// Loads and registers the module once per process.
LoadedModule& Module();

// The directory of this program, with its trailing backslash.
std::string HostDirectory();

// Replaces the module's import of `function` from `dll` by `replacement`; returns the previous
// entry, or null when the module does not import it.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

// The language whose dialog template the resource lookup of this thread prefers.
void UseUiLanguage(LANGID language);

// What the second thread saw of one modal run.
struct DialogRun {
    int result = -12345;     // what the configure callback returned
    bool dialogFound = false;
    bool closed = false;     // the dialog was gone when the callback returned
};

// Runs the configure callback on `record` over `parent` (null for a fresh owner window of the
// test) and calls `user` from a second thread with the dialog's handle once it is visible. `user`
// must end the dialog (OK, Cancel); a dialog that does not appear or does not end within a few
// seconds ends the test program with a message instead of hanging.
// `descriptor` stands in for the host's copy of the registered descriptor when given.
DialogRun RunDialog(DeinterlaceInstance& record, const std::function<void(HWND dialog)>& user,
                    host::FilterDescriptor* descriptor = nullptr);

// The twelve settings in record order, and the record made from them; pointers are set to
// recognisable values that no callback of the dialog may change.
using Settings = std::array<int32_t, 12>;
Settings SettingsOf(const DeinterlaceInstance& record);
DeinterlaceInstance RecordWith(const Settings& settings);
bool PointersIntact(const DeinterlaceInstance& record);
std::string Describe(const Settings& settings);

// Control access from the user's thread.
std::string ControlText(HWND dialog, int id);
std::wstring WindowTextW(HWND window);
bool IsChecked(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const char* text);
void SetChecked(HWND dialog, int id, bool checked);
void Click(HWND dialog, int id);          // BM_CLICK on the button, as a mouse click does
void PostCommand(HWND dialog, int id);    // WM_COMMAND as the button would send it

}  // namespace test
}  // namespace velmo
