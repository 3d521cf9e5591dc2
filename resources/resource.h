// Control ids of the settings dialog (template IDD_SETTINGS). Shared by the dialog templates and
// the dialog procedure, so it holds nothing but #define lines that both the resource compiler
// and the C++ compiler read.
#pragma once

#define IDD_SETTINGS 101

// Push buttons: the system's own command ids.
#define IDC_OK 1
#define IDC_CANCEL 2
#define IDC_HELP_PAGE 9

// Labels and group boxes carry no id of their own.
#define IDC_NONE -1

#define IDC_SHOW_MOTION_ONLY 1000
#define IDC_BLEND_MOTION 1001
#define IDC_MOTION_THRESHOLD 1002
#define IDC_DENOISE_MOTION 1003
#define IDC_COMPARE_COLOR 1004
#define IDC_PHASE_SHIFT 1005
#define IDC_SWAP_BEFORE 1006
#define IDC_SWAP_AFTER 1007
#define IDC_MOTION_DISABLED 1008
#define IDC_SCENE_THRESHOLD 1009
#define IDC_FRAME_ONLY 1010
#define IDC_FIELD_ONLY 1011
#define IDC_FRAME_AND_FIELD 1012
#define IDC_CUBIC 1013
