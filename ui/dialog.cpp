// The settings dialog: template IDD_SETTINGS from this module's resources, edited straight on the
// instance record. OK writes every setting, Cancel writes nothing.
#include "ui/dialog.h"

#include <windows.h>

#include "core/main.h"
#include "resources/resource.h"
#include "ui/help.h"

namespace velmo {
namespace {

void SetCheck(HWND dlg, int id, int32_t setting) {
    CheckDlgButton(dlg, id, setting != 0 ? BST_CHECKED : BST_UNCHECKED);
}

int32_t GetCheck(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) != 0 ? 1 : 0; }

// Thresholds are shown and read as unsigned decimal numbers: -1 shows as 4294967295, and a text
// that does not read as one stores 0.
void SetNumber(HWND dlg, int id, int32_t setting) {
    SetDlgItemInt(dlg, id, static_cast<UINT>(setting), FALSE);
}

int32_t GetNumber(HWND dlg, int id) { return static_cast<int32_t>(GetDlgItemInt(dlg, id, nullptr, FALSE)); }

void FillControls(HWND dlg, const DeinterlaceInstance& inst) {
    SetCheck(dlg, IDC_SHOW_MOTION_ONLY, inst.showMotionOnly);
    SetCheck(dlg, IDC_BLEND_MOTION, inst.blendMotion);
    SetNumber(dlg, IDC_MOTION_THRESHOLD, inst.motionThreshold);
    SetNumber(dlg, IDC_SCENE_THRESHOLD, inst.sceneThreshold);
    SetCheck(dlg, IDC_PHASE_SHIFT, inst.phaseShift);
    SetCheck(dlg, IDC_SWAP_BEFORE, inst.swapBefore);
    SetCheck(dlg, IDC_SWAP_AFTER, inst.swapAfter);
    SetCheck(dlg, IDC_MOTION_DISABLED, inst.motionDisabled);
    SetCheck(dlg, IDC_DENOISE_MOTION, inst.denoiseMotion);
    SetCheck(dlg, IDC_COMPARE_COLOR, inst.compareColor);
    SetCheck(dlg, IDC_CUBIC, inst.cubicInterpolation);
    // A mode outside the three selects no button.
    SetCheck(dlg, IDC_FRAME_ONLY, inst.diffMode == FrameOnly);
    SetCheck(dlg, IDC_FIELD_ONLY, inst.diffMode == FieldOnly);
    SetCheck(dlg, IDC_FRAME_AND_FIELD, inst.diffMode == FrameAndField);
}

void StoreControls(HWND dlg, DeinterlaceInstance& inst) {
    inst.showMotionOnly = GetCheck(dlg, IDC_SHOW_MOTION_ONLY);
    inst.blendMotion = GetCheck(dlg, IDC_BLEND_MOTION);
    inst.motionThreshold = GetNumber(dlg, IDC_MOTION_THRESHOLD);
    inst.sceneThreshold = GetNumber(dlg, IDC_SCENE_THRESHOLD);
    inst.phaseShift = GetCheck(dlg, IDC_PHASE_SHIFT);
    inst.swapBefore = GetCheck(dlg, IDC_SWAP_BEFORE);
    inst.swapAfter = GetCheck(dlg, IDC_SWAP_AFTER);
    inst.motionDisabled = GetCheck(dlg, IDC_MOTION_DISABLED);
    inst.denoiseMotion = GetCheck(dlg, IDC_DENOISE_MOTION);
    inst.compareColor = GetCheck(dlg, IDC_COMPARE_COLOR);
    inst.cubicInterpolation = GetCheck(dlg, IDC_CUBIC);
    // With no mode selected (the record held one outside the three) the mode stays as it was.
    if (IsDlgButtonChecked(dlg, IDC_FRAME_ONLY)) {
        inst.diffMode = FrameOnly;
    } else if (IsDlgButtonChecked(dlg, IDC_FIELD_ONLY)) {
        inst.diffMode = FieldOnly;
    } else if (IsDlgButtonChecked(dlg, IDC_FRAME_AND_FIELD)) {
        inst.diffMode = FrameAndField;
    }
}

// The dialog keeps the instance record's address in its user data slot from initialisation on.
INT_PTR CALLBACK SettingsDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* inst = reinterpret_cast<DeinterlaceInstance*>(GetWindowLongPtrA(dlg, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        inst = reinterpret_cast<DeinterlaceInstance*>(lParam);
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        FillControls(dlg, *inst);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OK:
            StoreControls(dlg, *inst);
            EndDialog(dlg, 0);
            return TRUE;
        case IDC_HELP_PAGE:
            OpenHelpPage(dlg);
            return TRUE;
        case IDC_CANCEL:
            EndDialog(dlg, 1);
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

int VELMO_CDECL ConfigureDialog(host::HostFilterContext* ctx, const host::HostFunctionTable*, void* parent) {
    auto module = static_cast<HINSTANCE>(ctx->descriptor->module->instanceHandle);
    return static_cast<int>(DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_SETTINGS), static_cast<HWND>(parent),
                                            SettingsDialogProc, reinterpret_cast<LPARAM>(ctx->instance)));
}

}  // namespace velmo
