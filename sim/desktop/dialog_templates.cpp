// The program's dialog templates; keep them equal to res/TavrolinUpgrade.rc.
#include "sim/desktop/dialog_templates.h"

#include "ui/resource_ids.h"

using namespace platform;

namespace {

DialogTemplate Dialog(int id, const char* caption, int cx, int cy, std::uint32_t style) {
  DialogTemplate dialog;
  dialog.id = id;
  dialog.caption = caption;
  dialog.cx = cx;
  dialog.cy = cy;
  dialog.style = style | kDsSetFont;
  dialog.fontFace = "Times New Roman";
  dialog.fontPointSize = 10;
  dialog.fontWeight = 400;
  return dialog;
}

constexpr std::uint32_t kReadOnlyEdit = kEsMultiLine | kEsReadOnly | kEsAutoVScroll | kWsBorder;

}  // namespace

DialogTemplate MainWindowTemplate() {
  DialogTemplate d = Dialog(IDD_UPGRADE, "Tavrolin Combo Upgrade", 343, 213,
                            kDsModalFrame | kDs3dLook | kWsPopup | kWsVisible | kWsCaption);
  d.controls = {
      Control("Exit", IDC_EXIT, kClassButton, kBsDefPushButton | kWsTabStop, 241, 192, 50, 14),
      Control("", IDC_PROGRESS, kClassProgress, kWsBorder, 55, 161, 231, 10, kWsExTransparent),
      Control("", IDC_EDIT_FRAME, kClassEdit, kReadOnlyEdit, 49, 159, 241, 14, kWsExTransparent)
          .Without(kWsVisible),
      Control("", IDC_EDIT_WARNING, kClassEdit, kReadOnlyEdit | kEsUpperCase | kEsNumber, 63, 109,
              221, 25)
          .Without(kWsVisible),
      Control("", IDC_ICON, kClassStatic, kSsIcon | kSsRealSizeImage, 33, 108, 20, 20)
          .Without(kWsVisible),
      Control("", IDC_EDIT_AUX1, kClassEdit, kReadOnlyEdit, 22, 52, 270, 19, kWsExTransparent)
          .Without(kWsVisible),
      Control("", IDC_EDIT_AUX2, kClassEdit, kReadOnlyEdit, 22, 78, 270, 22, kWsExTransparent)
          .Without(kWsVisible),
      Control("Static", IDC_TITLE, kClassStatic, kSsSimple | kWsGroup, 62, 7, 249, 21,
              kWsExTransparent)
          .Without(kWsVisible),
      Control("Adjust RF", IDC_ADJUST_RF, kClassButton, kBsPushButton | kWsTabStop, 165, 192, 50,
              14),
      Control("Upgrade", IDC_UPGRADE, kClassButton, kBsPushButton | kWsTabStop, 86, 192, 50, 14),
  };
  return d;
}

DialogTemplate SelectFirmwareTemplate() {
  DialogTemplate d = Dialog(IDD_SELECT_FIRMWARE, "Select Firmware Version", 279, 157,
                            kDsModalFrame | kWsPopup | kWsCaption | kWsSysMenu);
  d.controls = {
      Control("OK", 1, kClassButton, kBsDefPushButton | kWsTabStop, 56, 136, 50, 14),
      Control("Cancel", 2, kClassButton, kBsPushButton | kWsTabStop, 180, 136, 50, 14),
      Control("", IDC_VERSION_LIST, kClassListBox,
              kLbsNotify | kLbsNoIntegralHeight | kWsBorder | kWsVScroll | kWsTabStop, 68, 44, 146,
              65),
      Control("Select the Target Version:", kIdStatic, kClassStatic, kSsLeft | kWsGroup, 31, 23,
              83, 8),
  };
  return d;
}

DialogTemplate AdjustRfTemplate() {
  DialogTemplate d =
      Dialog(IDD_ADJUST_RF, "Adjust RF", 315, 146, kDsModalFrame | kWsPopup | kWsCaption);
  const std::uint32_t list = kCbsDropDownList | kWsVScroll | kWsTabStop;
  d.controls = {
      Control("", IDC_RF_GROUP, kClassComboBox, list, 186, 80, 45, 77),
      Control("Choose the target RF group:", kIdStatic, kClassStatic, kSsLeft | kWsGroup, 67, 81,
              102, 11),
      Control("Change", IDC_RF_CHANGE, kClassButton, kBsPushButton | kWsTabStop, 97, 126, 50, 14),
      Control("Exit", IDC_RF_EXIT, kClassButton, kBsPushButton | kWsTabStop, 185, 126, 50, 14),
      Control("", IDC_RF_BAND, kClassComboBox, list, 186, 33, 45, 77),
      Control("Choose the RF starting band:", kIdStatic, kClassStatic, kSsLeft | kWsGroup, 67, 34,
              102, 11),
  };
  return d;
}

void RegisterProgramTemplates() {
  RegisterTemplate(MainWindowTemplate());
  RegisterTemplate(SelectFirmwareTemplate());
  RegisterTemplate(AdjustRfTemplate());
}
