// The version selection dialog.
#include "ui/sel_fm_dlg.h"

#include "ui/app.h"
#include "ui/main_texts.h"
#include "ui/resource_ids.h"
#include "ui/upgrade_dlg.h"

SelFmDlg::SelFmDlg(kit::CDialog* /*parent*/) : kit::CDialog(IDD_SELECT_FIRMWARE) {}

CUpgradeDlg* SelFmDlg::MainWindow() { return theApp.MainDialog(); }

void SelFmDlg::DoDataExchange() { DDX_Control(IDC_VERSION_LIST, m_listVersions); }

bool SelFmDlg::OnInitDialog() {
  kit::CDialog::OnInitDialog();
  CUpgradeDlg* main = MainWindow();
  if (main == nullptr) return true;
  for (const std::string& label : main->m_strLabels) m_listVersions.AddString(label);
  m_listVersions.SetCurSel(main->m_nSelected);
  return true;
}

// Cancel, Escape and the close box get the framework's cancel handling.
KIT_BEGIN_MESSAGE_MAP(SelFmDlg, kit::CDialog)
  KIT_ON_BN_CLICKED(platform::kIdOk, OnOkClicked)
KIT_END_MESSAGE_MAP()

void SelFmDlg::OnOkClicked() {
  const int selected = m_listVersions.GetCurSel();
  CUpgradeDlg* main = MainWindow();
  if (selected < 0 || main == nullptr) {
    kit::AfxMessageBox(kChooseVersionText);
    return;
  }
  main->m_nSelected = selected;
  kit::CDialog::OnOK();
}
