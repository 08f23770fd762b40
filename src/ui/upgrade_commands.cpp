// The main window's two commands: Upgrade (choose an edition, report the
// dongle's versions, confirm, program) and Adjust RF (firmware gate, question,
// the RF dialog).
#include <cstring>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "firmware/upgrade_error.h"
#include "firmware/upgrade_report.h"
#include "monitor/device_notify.h"
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

namespace {

// Only a Yes is consent to write to the dongle: a box that could not be shown
// returns 0, which must not count as one.
bool AskYes(const std::string& question) {
  return kit::AfxMessageBox(question, platform::BoxStyle::kQuestion) == platform::kIdYes;
}

// A dongle announced while the question was open may be another one, with
// other pages and identity: it needs its own report and Yes. A removal alone
// is left to the programming, which finds the dongle absent at its first page.
bool AnotherDongleSince(const DeviceNotice& before) {
  const DeviceNotice now = LatestDeviceNotice();
  return now.serial != before.serial && now.arrival;
}

}  // namespace

void CUpgradeDlg::RunUpgrade() {
  int needDescriptorCheck = 0;
  const DeviceNotice asked = LatestDeviceNotice();
  if (QueryDeviceMode(&needDescriptorCheck) != 0) return;
  if (ReadDeviceInfo(m_info) != 0) {
    kit::AfxMessageBox(g_strUpgradeError);
    return;
  }
  if (!AskYes(UpgradeConfirmationText(Info(), m_strLabels[m_nSelected]))) return;
  if (AnotherDongleSince(asked)) {
    kit::AfxMessageBox(g_strUpgradeError);
    return;
  }
  if (needDescriptorCheck == 1) {
    // Only the read matters to the dongle here; the programming goes on
    // whatever the comparison says.
    int matched = 0;
    (void)CheckDescriptor(&matched);
  }
  // The record's identity bytes are restored after programming; one read of
  // them is not enough to stake the dongle's identity on. A dongle already
  // known to be gone is left to the programming sequence, which writes
  // nothing to it and says so at its first page.
  if (!DongleGone() && !ConfirmIdentity()) {
    kit::AfxMessageBox(g_strUpgradeError);
    return;
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
  if (!AskYes(kRfQuestionText)) return;
  theApp.m_dlgAdjRF.DoModal();
}
