#include <gtest/gtest.h>
#include "harness.h"
namespace velmo { namespace test { namespace {
TEST(Probe, Language) {
    for (LANGID lang : {LANGID(1033), LANGID(1049), LANGID(1033)}) {
        UseUiLanguage(lang);
        DeinterlaceInstance rec{};
        std::wstring caption;
        RECT rc{};
        DialogRun run = RunDialog(rec, [&](HWND dlg) { caption = WindowTextW(dlg); GetClientRect(dlg, &rc); PostCommand(dlg, 2); });
        ASSERT_TRUE(run.dialogFound) << Module().error;
        printf("lang %u result %d caption len %u first %04x width %ld\n", lang, run.result, (unsigned)caption.size(), caption.empty()?0:caption[0], rc.right);
    }
}
}}}
