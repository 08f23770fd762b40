// The RF adjustment dialog: its lists, the refresh from the worker and the
// Change button.
#include "ui/adj_rf_dlg.h"

#include <cstdint>

#include "device/vendor_request.h"
#include "firmware/upgrade_error.h"
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

bool CAdjRFDlg::WriteSetting(std::uint16_t address, int value) {
  const auto written = static_cast<std::uint8_t>(value);
  std::uint8_t readBack = 0;
  if (WriteDeviceData(&written, address, 1) != 0 || ReadDeviceData(&readBack, address, 1) != 0 ||
      readBack != written) {
    kit::AfxMessageBox(g_strUpgradeError);
    return false;
  }
  return true;
}

void CAdjRFDlg::OnChange() {
  std::string report = kRfClosingNote;
  const int group = m_comboGroup.GetCurSel();
  if (group == -1) {
    kit::AfxMessageBox(kChooseGroupText);
  } else if (group != theApp.m_nRfGroup.load()) {
    if (!WriteSetting(ADDR_RF_GROUP, group)) return;
    theApp.m_nRfGroup.store(group);
    report = kGroupChangedText + report;
  }
  const int band = m_comboBand.GetCurSel();
  if (band == -1) {
    kit::AfxMessageBox(kChooseBandText);
  } else if (band != theApp.m_nStartBand.load()) {
    if (!WriteSetting(ADDR_START_BAND, band)) return;
    theApp.m_nStartBand.store(band);
    report = kBandChangedText + report;
  }
  kit::AfxMessageBox(report);
}
