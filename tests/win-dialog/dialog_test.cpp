// The settings dialog as a user meets it through the host: what it shows for a record, what OK
// stores, and that Cancel stores nothing.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "harness.h"
#include "resources/resource.h"

namespace velmo {
namespace test {
namespace {

// The nine switches in record order with their check boxes.
struct SwitchControl {
    int index;  // into Settings
    int id;
};
constexpr SwitchControl kSwitches[] = {
    {0, IDC_SHOW_MOTION_ONLY}, {1, IDC_BLEND_MOTION},   {4, IDC_PHASE_SHIFT},
    {5, IDC_SWAP_BEFORE},      {6, IDC_SWAP_AFTER},     {7, IDC_DENOISE_MOTION},
    {9, IDC_COMPARE_COLOR},    {10, IDC_MOTION_DISABLED}, {11, IDC_CUBIC},
};
constexpr int kModes[] = {IDC_FRAME_ONLY, IDC_FIELD_ONLY, IDC_FRAME_AND_FIELD};

// Everything the dialog shows of the settings.
struct Shown {
    bool checks[9] = {};
    std::string motionThreshold;
    std::string sceneThreshold;
    bool modes[3] = {};

    bool operator==(const Shown& o) const {
        for (int i = 0; i < 9; ++i)
            if (checks[i] != o.checks[i]) return false;
        for (int i = 0; i < 3; ++i)
            if (modes[i] != o.modes[i]) return false;
        return motionThreshold == o.motionThreshold && sceneThreshold == o.sceneThreshold;
    }
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
    os << "checks";
    for (bool c : s.checks) os << ' ' << c;
    os << ", motion \"" << s.motionThreshold << "\", scene \"" << s.sceneThreshold << "\", modes";
    for (bool m : s.modes) os << ' ' << m;
    return os;
}

Shown Read(HWND dialog) {
    Shown s;
    for (int i = 0; i < 9; ++i) s.checks[i] = IsChecked(dialog, kSwitches[i].id);
    s.motionThreshold = ControlText(dialog, IDC_MOTION_THRESHOLD);
    s.sceneThreshold = ControlText(dialog, IDC_SCENE_THRESHOLD);
    for (int i = 0; i < 3; ++i) s.modes[i] = IsChecked(dialog, kModes[i]);
    return s;
}

// A check pattern over the nine switches, bit i for kSwitches[i].
Shown ShownWith(unsigned checkBits, const char* motion, const char* scene, int mode) {
    Shown s;
    for (int i = 0; i < 9; ++i) s.checks[i] = (checkBits >> i) & 1u;
    s.motionThreshold = motion;
    s.sceneThreshold = scene;
    if (mode >= 0) s.modes[mode] = true;
    return s;
}

const Settings kDefaults = {0, 0, 15, 100, 0, 0, 0, 0, 0, 1, 0, 0};

TEST(SettingsDialog, ShowsTheRecord) {
    struct Case {
        const char* what;
        Settings record;
        Shown expected;
    };
    const std::vector<Case> cases = {
        {"defaults", kDefaults, ShownWith(0x040, "15", "100", 0)},
        {"alternating switches, field-only", {1, 0, 35, 20, 1, 0, 1, 0, 1, 0, 1, 0}, ShownWith(0x095, "35", "20", 1)},
        {"the other switches, frame-and-field", {0, 1, 0, 0, 0, 1, 0, 1, 2, 1, 0, 1}, ShownWith(0x16a, "0", "0", 2)},
        {"any nonzero switch shows checked", {5, -1, 1, 2, INT_MIN, 2, 3, 4, 0, 100, 7, 9}, ShownWith(0x1ff, "1", "2", 0)},
        {"negative thresholds show unsigned", {0, 0, -1, INT_MIN, 0, 0, 0, 0, 0, 0, 0, 0},
         ShownWith(0, "4294967295", "2147483648", 0)},
        {"largest signed thresholds", {0, 0, INT_MAX, 999999, 0, 0, 0, 0, 1, 0, 0, 0},
         ShownWith(0, "2147483647", "999999", 1)},
        {"mode 7 selects no mode", {0, 0, 15, 100, 0, 0, 0, 0, 7, 1, 0, 0}, ShownWith(0x040, "15", "100", -1)},
        {"mode -1 selects no mode", {0, 0, 15, 100, 0, 0, 0, 0, -1, 1, 0, 0}, ShownWith(0x040, "15", "100", -1)},
        {"mode 3 selects no mode", {0, 0, 15, 100, 0, 0, 0, 0, 3, 1, 0, 0}, ShownWith(0x040, "15", "100", -1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeinterlaceInstance record = RecordWith(c.record);
        Shown shown;
        DialogRun run = RunDialog(record, [&](HWND dialog) {
            shown = Read(dialog);
            PostCommand(dialog, IDC_CANCEL);
        });
        ASSERT_TRUE(run.dialogFound) << Module().error;
        EXPECT_EQ(shown, c.expected);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(SettingsOf(record), c.record) << Describe(SettingsOf(record));
        EXPECT_TRUE(PointersIntact(record));
    }
}

// Changes every control of the dialog away from what `record` shows.
void ChangeEverything(HWND dialog, const Settings& record) {
    for (const SwitchControl& s : kSwitches) Click(dialog, s.id);
    SetControlText(dialog, IDC_MOTION_THRESHOLD, "77");
    SetControlText(dialog, IDC_SCENE_THRESHOLD, "");
    Click(dialog, record[8] == 1 ? IDC_FRAME_AND_FIELD : IDC_FIELD_ONLY);
}

TEST(SettingsDialog, CancelStoresNothing) {
    struct Case {
        const char* what;
        Settings record;
        void (*close)(HWND dialog);
    };
    const std::vector<Case> cases = {
        {"Cancel button, defaults", kDefaults, [](HWND d) { Click(d, IDC_CANCEL); }},
        {"Cancel command, odd values", {5, 0, -1, INT_MIN, 1, 1, 0, 5, 7, 0, 1, 1},
         [](HWND d) { PostCommand(d, IDC_CANCEL); }},
        {"closing the window, field-only", {1, 1, 35, 20, 0, 0, 1, 0, 1, 1, 0, 0},
         [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Escape key, frame-and-field", {0, 1, 0, 50, 1, 0, 0, 1, 2, 0, 0, 1},
         [](HWND d) { PostMessageA(GetDlgItem(d, IDC_MOTION_THRESHOLD), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeinterlaceInstance record = RecordWith(c.record);
        Shown changed;
        DialogRun run = RunDialog(record, [&](HWND dialog) {
            ChangeEverything(dialog, c.record);
            changed = Read(dialog);
            c.close(dialog);
        });
        ASSERT_TRUE(run.dialogFound) << Module().error;
        EXPECT_EQ(changed.motionThreshold, "77");  // the controls really were changed
        EXPECT_EQ(run.result, 1);
        EXPECT_TRUE(run.closed);
        EXPECT_EQ(SettingsOf(record), c.record) << Describe(SettingsOf(record));
        EXPECT_TRUE(PointersIntact(record));
    }
}

TEST(SettingsDialog, OkStoresEveryControl) {
    struct Case {
        const char* what;
        Settings before;
        unsigned checks;       // bit i sets kSwitches[i]; ~0u leaves the boxes as shown
        const char* motion;    // null leaves the field as shown
        const char* scene;
        int clickMode;         // index into kModes, -1 clicks none
        bool okButton;         // click OK, or send its command
        Settings after;
    };
    const std::vector<Case> cases = {
        {"alternating pattern", kDefaults, 0x155, "23", "77", 2, true, {1, 0, 23, 77, 1, 0, 1, 0, 2, 1, 0, 1}},
        {"the other pattern", kDefaults, 0x0aa, "31", "9", 1, false, {0, 1, 31, 9, 0, 1, 0, 1, 1, 0, 1, 0}},
        {"every box on, frame-only", {0, 0, 1, 1, 0, 0, 0, 0, 2, 0, 0, 0}, 0x1ff, "0", "100", 0, true,
         {1, 1, 0, 100, 1, 1, 1, 1, 0, 1, 1, 1}},
        {"every box off", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 0, "15", "100", -1, false,
         {0, 0, 15, 100, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"empty thresholds store 0", kDefaults, ~0u, "", "", -1, true, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"non-numbers store 0", kDefaults, ~0u, "abc", "x12", -1, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"too large for 32 bits stores 0", kDefaults, ~0u, "4294967296", "99999999999", -1, true,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}},
        // (Wine's reading refuses exactly 4294967295, which Windows reads; -2 is read alike by both.)
        {"unsigned readings above the signed range", kDefaults, ~0u, "4294967294", "2147483648", -1, true,
         {0, 0, -2, INT_MIN, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"no bound on the values", kDefaults, ~0u, "1000", "250", -1, true, {0, 0, 1000, 250, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"untouched odd record: switches become 1, mode 7 kept", {5, -1, -2, INT_MIN, 2, 0, 3, 0, 7, 9, 0, 4}, ~0u,
         nullptr, nullptr, -1, true, {1, 1, -2, INT_MIN, 1, 0, 1, 0, 7, 1, 0, 1}},
        {"mode 7 replaced by a selected mode", {0, 0, 15, 100, 0, 0, 0, 0, 7, 1, 0, 0}, ~0u, nullptr, nullptr, 0,
         false, {0, 0, 15, 100, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"mode -1 replaced by field-only", {0, 0, 15, 100, 0, 0, 0, 0, -1, 1, 0, 0}, ~0u, nullptr, nullptr, 1, true,
         {0, 0, 15, 100, 0, 0, 0, 0, 1, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeinterlaceInstance record = RecordWith(c.before);
        Settings whileOpen{};
        DialogRun run = RunDialog(record, [&](HWND dialog) {
            if (c.checks != ~0u)
                for (int i = 0; i < 9; ++i) SetChecked(dialog, kSwitches[i].id, (c.checks >> i) & 1u);
            if (c.motion != nullptr) SetControlText(dialog, IDC_MOTION_THRESHOLD, c.motion);
            if (c.scene != nullptr) SetControlText(dialog, IDC_SCENE_THRESHOLD, c.scene);
            if (c.clickMode >= 0) Click(dialog, kModes[c.clickMode]);
            whileOpen = SettingsOf(record);
            if (c.okButton) Click(dialog, IDC_OK);
            else PostCommand(dialog, IDC_OK);
        });
        ASSERT_TRUE(run.dialogFound) << Module().error;
        EXPECT_EQ(whileOpen, c.before) << "settings changed before OK";
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(run.closed);
        EXPECT_EQ(SettingsOf(record), c.after) << Describe(SettingsOf(record));
        EXPECT_TRUE(PointersIntact(record));
    }
}

// Clicking one mode clears the others: the three radio buttons form one group.
TEST(SettingsDialog, ModesExcludeOneAnother) {
    DeinterlaceInstance record = RecordWith(kDefaults);
    std::vector<Shown> seen;
    DialogRun run = RunDialog(record, [&](HWND dialog) {
        for (int mode : {2, 1, 0, 1}) {
            Click(dialog, kModes[mode]);
            seen.push_back(Read(dialog));
        }
        PostCommand(dialog, IDC_OK);
    });
    ASSERT_TRUE(run.dialogFound) << Module().error;
    ASSERT_EQ(seen.size(), 4u);
    const int expected[] = {2, 1, 0, 1};
    for (size_t i = 0; i < seen.size(); ++i)
        for (int m = 0; m < 3; ++m) EXPECT_EQ(seen[i].modes[m], m == expected[i]) << "click " << i << ", mode " << m;
    EXPECT_EQ(record.diffMode, 1);
}

// Commands of other controls, or with other notification codes, are not OK or Cancel.
TEST(SettingsDialog, OtherCommandsDoNothing) {
    DeinterlaceInstance record = RecordWith(kDefaults);
    bool stillOpen = false;
    Settings whileOpen{};
    DialogRun run = RunDialog(record, [&](HWND dialog) {
        for (int id : {0, 3, 8, 10, IDC_SHOW_MOTION_ONLY, IDC_MOTION_THRESHOLD, 0xffff})
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        SetControlText(dialog, IDC_MOTION_THRESHOLD, "44");
        stillOpen = IsWindowVisible(dialog) != 0;
        whileOpen = SettingsOf(record);
        // OK with a notification code other than a click still counts as OK.
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_OK, BN_DBLCLK), 0);
    });
    ASSERT_TRUE(run.dialogFound) << Module().error;
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(whileOpen, kDefaults);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(record.motionThreshold, 44);
}

// The template is found through the module record the host links to its descriptor copy: a
// record naming a module without the template gets no dialog, and the failure is passed on.
TEST(SettingsDialog, TemplateComesFromTheHostsModuleRecord) {
    LoadedModule& module = Module();
    ASSERT_TRUE(module.error.empty()) << module.error;
    host::HostModule elsewhere{};
    elsewhere.instanceHandle = GetModuleHandleA(nullptr);  // this program: no template 101
    host::FilterDescriptor descriptor = module.copy;
    descriptor.module = &elsewhere;
    DeinterlaceInstance record = RecordWith(kDefaults);
    DialogRun run = RunDialog(record, [](HWND dialog) { PostCommand(dialog, IDC_OK); }, &descriptor);
    EXPECT_FALSE(run.dialogFound);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(SettingsOf(record), kDefaults);
}

}  // namespace
}  // namespace test
}  // namespace velmo
