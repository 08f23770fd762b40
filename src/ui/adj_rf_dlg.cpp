// The RF adjustment dialog: its lists, the refresh from the worker and the
// Change button.
#include "ui/adj_rf_dlg.h"

#include <cstdint>

#include "device/retry_policy.h"
#include "device/vendor_request.h"
#include "firmware/firmware_upgrader.h"
#include "firmware/upgrade_error.h"
#include "monitor/device_worker.h"
#include "platform/platform.h"
#include "ui/app.h"
#include "ui/resource_ids.h"
#include "ui/rf_texts.h"

CAdjRFDlg::CAdjRFDlg(kit::CDialog* /*parent*/) : kit::CDialog(IDD_ADJUST_RF) {}

void CAdjRFDlg::DoDataExchange() {
  DDX_Control(IDC_RF_GROUP, m_comboGroup);
  DDX_Control(IDC_RF_BAND, m_comboBand);
}

bool CAdjRFDlg::OnInitDialog() {
  kit::CDialog::OnInitDialog();
  for (int i = 0; i < kRfGroupCount; ++i) m_comboGroup.AddString(RfGroupEntry(i));
  const int group = theApp.m_nRfGroup.load();
  if (group >= 0 && group < kRfGroupCount) m_comboGroup.SetCurSel(group);
  FillBandList();
  const int band = theApp.m_nStartBand.load();
  if (band >= 0 && band < RfBandCount(theApp.m_b16Bands.load() != 0)) m_comboBand.SetCurSel(band);
  return true;
}

void CAdjRFDlg::FillBandList() {
  const int count = RfBandCount(theApp.m_b16Bands.load() != 0);
  for (int i = 0; i < count; ++i) m_comboBand.AddString(RfBandEntry(i));
}

void CAdjRFDlg::RefreshBandList() {
  platform::Os().dialogs->RunOnWindowThread([this] {
    const int group = theApp.m_nRfGroup.load();
    m_comboGroup.SetCurSel(group >= 0 && group < kRfGroupCount ? group : -1);
    m_comboBand.ResetContent();
    FillBandList();
    const int band = theApp.m_nStartBand.load();
    if (band >= 0 && band < RfBandCount(theApp.m_b16Bands.load() != 0)) {
      m_comboBand.SelectString(0, RfBandEntry(band));
    }
  });
}

KIT_BEGIN_MESSAGE_MAP(CAdjRFDlg, kit::CDialog)
  KIT_ON_BN_CLICKED(IDC_RF_CHANGE, OnChange)
  KIT_ON_BN_CLICKED(IDC_RF_EXIT, OnExit)
KIT_END_MESSAGE_MAP()

void CAdjRFDlg::OnExit() { kit::CDialog::OnCancel(); }

namespace {

enum class Stored { kYes, kDiffers, kFailed };

// Writes one byte and reads it back, up to kRfWriteAttempts times while the
// byte read back differs. A failed request ends it at once, as it always has.
Stored StoreSetting(std::uint16_t address, int value) {
  const auto written = static_cast<std::uint8_t>(value);
  for (int attempt = 1; attempt <= kRfWriteAttempts; ++attempt) {
    if (attempt > 1 && g_deviceAbsent.load() != 0) break;
    std::uint8_t readBack = 0;
    if (WriteDeviceData(&written, address, 1) != 0 || ReadDeviceData(&readBack, address, 1) != 0) {
      return Stored::kFailed;
    }
    if (readBack == written) return Stored::kYes;
  }
  return Stored::kDiffers;
}

}  // namespace

bool CAdjRFDlg::WriteSetting(std::uint16_t address, int value, int previous) {
  const Stored stored = StoreSetting(address, value);
  if (stored == Stored::kYes) return true;
  // The error is shown whatever the value before does; what matters is that
  // the dongle keeps a value it had, not the one that arrived wrong. A value
  // never read is not put back: it would be a byte the dongle never held.
  if (stored == Stored::kDiffers && previous != kRfUnknown) (void)StoreSetting(address, previous);
  kit::AfxMessageBox(g_strUpgradeError);
  return false;
}

bool CAdjRFDlg::BandAvailable(int band) {
  if (band < RfBandCount(false)) return true;
  std::uint8_t marker = 0;
  if (ReadDeviceData(&marker, ADDR_BAND_MARKER, 1) == 0 && marker == BAND_MARKER_16_BANDS) return true;
  kit::AfxMessageBox(g_strUpgradeError);
  return false;
}

void CAdjRFDlg::OnChange() {
  std::string report = kRfClosingNote;
  const int group = m_comboGroup.GetCurSel();
  if (group == -1) {
    kit::AfxMessageBox(kChooseGroupText);
  } else if (group != theApp.m_nRfGroup.load()) {
    if (!WriteSetting(ADDR_RF_GROUP, group, theApp.m_nRfGroup.load())) return;
    theApp.m_nRfGroup.store(group);
    report = kGroupChangedText + report;
  }
  const int band = m_comboBand.GetCurSel();
  if (band == -1) {
    kit::AfxMessageBox(kChooseBandText);
  } else if (band != theApp.m_nStartBand.load()) {
    if (!BandAvailable(band) || !WriteSetting(ADDR_START_BAND, band, theApp.m_nStartBand.load())) return;
    theApp.m_nStartBand.store(band);
    report = kBandChangedText + report;
  }
  kit::AfxMessageBox(report);
}
