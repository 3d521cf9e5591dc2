// Shows the settings dialog of the module in plugins\ with the default settings, for a
// screenshot: velmo_show_dialog en|ru RECT-FILE DONE-FILE. Writes the dialog's screen rectangle
// ("x y width height") to RECT-FILE once it is painted, and cancels the dialog when DONE-FILE
// appears (or after 15 seconds).
#include <cstdio>
#include <cstring>

#include "harness.h"

int main(int argc, char** argv) {
    using namespace velmo;
    using namespace velmo::test;
    if (argc != 4 || (std::strcmp(argv[1], "en") != 0 && std::strcmp(argv[1], "ru") != 0)) {
        std::fprintf(stderr, "usage: velmo_show_dialog en|ru RECT-FILE DONE-FILE\n");
        return 2;
    }
    const bool russian = std::strcmp(argv[1], "ru") == 0;
    UseUiLanguage(russian ? MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT) : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!Module().error.empty()) {
        std::fprintf(stderr, "velmo_show_dialog: %s\n", Module().error.c_str());
        return 1;
    }
    DeinterlaceInstance record = RecordWith(Settings{0, 0, 15, 100, 0, 0, 0, 0, 0, 1, 0, 0});
    DialogRun run = RunDialog(record, [&](HWND dialog) {
        // Move the dialog into the open and let it paint before telling where it is.
        SetWindowPos(dialog, HWND_TOP, 60, 60, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(500);
        RECT r{};
        GetWindowRect(dialog, &r);
        if (FILE* f = std::fopen(argv[2], "w")) {
            std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
            std::fclose(f);
        }
        for (int i = 0; i < 150 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
        PostCommand(dialog, 2);
    });
    return run.dialogFound ? 0 : 1;
}
