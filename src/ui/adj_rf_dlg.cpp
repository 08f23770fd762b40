// The RF adjustment dialog: its lists, the refresh from the worker and the
// Change button.
#include "ui/adj_rf_dlg.h"

#include <cstdint>

#include "firmware/upgrade_error.h"
#include "platform/platform.h"
#include "ui/app.h"
#include "ui/resource_ids.h"
#include "ui/rf_change.h"
#include "ui/rf_texts.h"
#include "ui/upgrade_dlg.h"

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

// The group's step, then the band's: a missing selection is prompted for, a
// changed one written; a setting that did not change shows the shared error
// and ends the press, so the band is not tried after a failed group.
void CAdjRFDlg::OnChange() {
  RfChange change;
  std::string report = kRfClosingNote;
  const auto step = [&](kit::CComboBox& list, const char* prompt, std::uint16_t address,
                        std::atomic<int>& reading, const char* changed) {
    const int value = list.GetCurSel();
    if (value == -1) {
      kit::AfxMessageBox(prompt);
    } else if (value != reading.load()) {
      if (!change.Apply(address, reading, value)) {
        kit::AfxMessageBox(g_strUpgradeError);
        return false;
      }
      report = changed + report;
      // An identity restore that failed before must not undo the new group.
      CUpgradeDlg* main = theApp.MainDialog();
      if (address == ADDR_RF_GROUP && main != nullptr) main->GroupChangedByUser();
    }
    return true;
  };
  if (step(m_comboGroup, kChooseGroupText, ADDR_RF_GROUP, theApp.m_nRfGroup, kGroupChangedText) &&
      step(m_comboBand, kChooseBandText, ADDR_START_BAND, theApp.m_nStartBand, kBandChangedText)) {
    kit::AfxMessageBox(report);
  }
}
