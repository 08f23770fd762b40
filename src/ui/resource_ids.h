// Resource and control ids of the program, shared by the resource script and
// the code that names the same dialogs and controls.
#pragma once

#define IDD_UPGRADE 228
#define IDD_SELECT_FIRMWARE 343
#define IDD_ADJUST_RF 300

#define IDR_BACKGROUND_PNG 297
// The same picture drawn at two and three times its size, for scaled displays.
#define IDR_BACKGROUND_2X_PNG 298
#define IDR_BACKGROUND_3X_PNG 299

// The firmware images' ids: relative, as the resource compiler finds it.
#include "../ids/image_ids.h"

// Main window (template 228).
#define IDC_EXIT 1
#define IDC_ADJUST_RF 2
#define IDC_EDIT_FRAME 1083
#define IDC_EDIT_WARNING 1084
#define IDC_PROGRESS 1085
#define IDC_EDIT_AUX1 1086
#define IDC_EDIT_AUX2 1087
#define IDC_TITLE 1088
#define IDC_ICON 1089
#define IDC_UPGRADE 1090

// Version selection (template 343).
#define IDC_VERSION_LIST 1097

// RF adjustment (template 300).
#define IDC_RF_GROUP 1092
#define IDC_RF_CHANGE 1093
#define IDC_RF_EXIT 1094
#define IDC_RF_BAND 1095
