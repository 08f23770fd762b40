// The main window's two commands: Upgrade (choose an edition, report the
// dongle's versions, confirm, program) and Adjust RF (firmware gate, question,
// the RF dialog).
#include <cstring>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "firmware/upgrade_error.h"
#include "firmware/upgrade_report.h"
#include "ui/app.h"
#include "ui/rf_texts.h"
#include "ui/sel_fm_dlg.h"
#include "ui/upgrade_dlg.h"

void CUpgradeDlg::OnUpgrade() {
  if (theApp.m_bConnected.load() == 0) {
    kit::AfxMessageBox(kNoDongleText);
    return;
  }
  SelFmDlg dialog(nullptr);
  if (dialog.DoModal() == platform::kIdOk) RunUpgrade();
}

void CUpgradeDlg::RunUpgrade() {
  int needDescriptorCheck = 0;
  if (QueryDeviceMode(&needDescriptorCheck) != 0) return;
  if (ReadDeviceInfo(m_info) != 0) {
    kit::AfxMessageBox(g_strUpgradeError);
    return;
  }
  const std::string question = UpgradeConfirmationText(Info(), m_strLabels[m_nSelected]);
  if (kit::AfxMessageBox(question, platform::BoxStyle::kQuestion) == platform::kIdNo) return;
  if (needDescriptorCheck == 1) {
    // Only the read matters to the dongle here; the programming goes on
    // whatever the comparison says.
    int matched = 0;
    (void)CheckDescriptor(&matched);
  }
  ProgramFirmware();
  if (IsWindow()) m_btnExit.EnableWindow(true);
  m_bDownloading = 0;
}

void CUpgradeDlg::OnAdjustRF() {
  if (theApp.m_bConnected.load() == 0) {
    kit::AfxMessageBox(kNoDongleText);
    return;
  }
  if (ReadDeviceInfo(m_info) != 0) {
    kit::AfxMessageBox(g_strUpgradeError);
    return;
  }
  if (!FirmwareSupportsRf(Info())) {
    kit::AfxMessageBox(kOldFirmwareText);
    return;
  }
  if (kit::AfxMessageBox(kRfQuestionText, platform::BoxStyle::kQuestion) == platform::kIdNo) return;
  theApp.m_dlgAdjRF.DoModal();
}
