#include "harness.h"

#include <cstdio>
#include <cstring>
#include <thread>

namespace velmo {
namespace test {
namespace {

constexpr DWORD kAppearTimeoutMs = 20000;
constexpr DWORD kEndTimeoutMs = 20000;

// The host keeps one copy of the registered descriptor per module.
LoadedModule* g_registering = nullptr;

host::FilterDescriptor* VELMO_CDECL RegisterFilter(host::HostModule* module, const host::FilterDescriptor* desc,
                                                   int32_t size) {
    if (g_registering == nullptr || size != static_cast<int32_t>(sizeof(host::FilterDescriptor))) return nullptr;
    std::memcpy(&g_registering->copy, desc, sizeof(host::FilterDescriptor));
    g_registering->copy.module = module;
    return &g_registering->copy;
}

void VELMO_CDECL UnregisterFilter(host::FilterDescriptor*) {}

using Init2Fn = int(VELMO_CDECL*)(host::HostModule*, const host::HostFunctionTable*, int*, int*);

[[noreturn]] void Abandon(const char* why) {
    std::fprintf(stderr, "dialog test abandoned: %s\n", why);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) {
    }
}

struct Search {
    DWORD thread;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof(cls));
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND OwnerWindow() {
    static HWND owner = nullptr;
    if (owner == nullptr) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VelmoTestHost";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        RegisterClassA(&wc);
        owner = CreateWindowA("VelmoTestHost", "Velmo test host", WS_OVERLAPPEDWINDOW, 40, 40, 700, 560, nullptr,
                              nullptr, wc.hInstance, nullptr);
        ShowWindow(owner, SW_SHOWNORMAL);
    }
    return owner;
}

}  // namespace

std::string HostDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    if (slash != nullptr) slash[1] = '\0';
    return path;
}

LoadedModule& Module() {
    static LoadedModule loaded;
    static bool tried = false;
    if (tried) return loaded;
    tried = true;
    const std::string path = HostDirectory() + "plugins\\" VELMO_MODULE_FILE;
    loaded.handle = LoadLibraryA(path.c_str());
    if (loaded.handle == nullptr) {
        loaded.error = "cannot load " + path;
        return loaded;
    }
    auto init = reinterpret_cast<Init2Fn>(reinterpret_cast<void*>(GetProcAddress(loaded.handle, "VirtualdubFilterModuleInit2")));
    if (init == nullptr) {
        loaded.error = "no VirtualdubFilterModuleInit2 in " + path;
        return loaded;
    }
    loaded.record.instanceHandle = loaded.handle;
    loaded.functions.RegisterFilter = RegisterFilter;
    loaded.functions.UnregisterFilter = UnregisterFilter;
    g_registering = &loaded;
    loaded.initResult = init(&loaded.record, &loaded.functions, &loaded.version, &loaded.compatibleVersion);
    g_registering = nullptr;
    if (loaded.initResult != 0) loaded.error = "registration failed";
    else if (loaded.copy.configure == nullptr) loaded.error = "no configure callback registered";
    return loaded;
}

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk
                                                                                            : imp->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD oldProtect = 0;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &oldProtect);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<decltype(slots->u1.Function)>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtect, &oldProtect);
            return previous;
        }
    }
    return nullptr;
}

void UseUiLanguage(LANGID language) {
    SetThreadUILanguage(language);
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
}

DialogRun RunDialog(DeinterlaceInstance& record, const std::function<void(HWND)>& user,
                    host::FilterDescriptor* descriptor) {
    LoadedModule& module = Module();
    DialogRun run;
    if (!module.error.empty()) return run;

    HWND owner = OwnerWindow();
    host::HostFilterContext ctx{};
    ctx.descriptor = descriptor != nullptr ? descriptor : &module.copy;
    ctx.instance = &record;

    HANDLE returned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD mainThread = GetCurrentThreadId();
    HWND dialog = nullptr;
    std::thread player([&] {
        Search search{mainThread, nullptr};
        const DWORD start = GetTickCount();
        while (search.found == nullptr) {
            if (WaitForSingleObject(returned, 20) == WAIT_OBJECT_0) return;  // the dialog never came up
            EnumThreadWindows(search.thread, FindDialog, reinterpret_cast<LPARAM>(&search));
            if (GetTickCount() - start > kAppearTimeoutMs) Abandon("the settings dialog did not appear");
        }
        dialog = search.found;
        run.dialogFound = true;
        user(dialog);
        if (WaitForSingleObject(returned, kEndTimeoutMs) != WAIT_OBJECT_0) Abandon("the settings dialog did not end");
    });
    run.result = module.copy.configure(&ctx, &module.functions, owner);
    SetEvent(returned);
    player.join();
    CloseHandle(returned);
    run.closed = dialog == nullptr || !IsWindow(dialog);
    return run;
}

Settings SettingsOf(const DeinterlaceInstance& r) {
    return {r.showMotionOnly, r.blendMotion,   r.motionThreshold, r.sceneThreshold, r.phaseShift,   r.swapBefore,
            r.swapAfter,      r.denoiseMotion, r.diffMode,        r.compareColor,   r.motionDisabled, r.cubicInterpolation};
}

DeinterlaceInstance RecordWith(const Settings& s) {
    DeinterlaceInstance r;
    r.prevFrame = reinterpret_cast<uint32_t*>(0x1111);
    r.fieldFrame = reinterpret_cast<uint32_t*>(0x2222);
    r.motionMap = reinterpret_cast<uint8_t*>(0x3333);
    r.denoiseMap = reinterpret_cast<uint8_t*>(0x4444);
    r.showMotionOnly = s[0];
    r.blendMotion = s[1];
    r.motionThreshold = s[2];
    r.sceneThreshold = s[3];
    r.phaseShift = s[4];
    r.swapBefore = s[5];
    r.swapAfter = s[6];
    r.denoiseMotion = s[7];
    r.diffMode = s[8];
    r.compareColor = s[9];
    r.motionDisabled = s[10];
    r.cubicInterpolation = s[11];
    return r;
}

bool PointersIntact(const DeinterlaceInstance& r) {
    return r.prevFrame == reinterpret_cast<uint32_t*>(0x1111) && r.fieldFrame == reinterpret_cast<uint32_t*>(0x2222) &&
           r.motionMap == reinterpret_cast<uint8_t*>(0x3333) && r.denoiseMap == reinterpret_cast<uint8_t*>(0x4444);
}

std::string Describe(const Settings& s) {
    static const char* const names[12] = {"showMotionOnly", "blendMotion",   "motionThreshold", "sceneThreshold",
                                          "phaseShift",     "swapBefore",    "swapAfter",       "denoiseMotion",
                                          "diffMode",       "compareColor",  "motionDisabled",  "cubicInterpolation"};
    std::string text;
    for (size_t i = 0; i < s.size(); ++i) text += std::string(i ? ", " : "") + names[i] + " " + std::to_string(s[i]);
    return text;
}

std::string ControlText(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

std::wstring WindowTextW(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetControlText(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }

void SetChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PostCommand(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace test
}  // namespace velmo
