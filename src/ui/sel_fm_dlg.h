// The version selection dialog: lists the six edition labels of the main
// window and, on OK, stores the chosen index there for the upgrade.
#pragma once
#include "platform/kit.h"

class CUpgradeDlg;

class SelFmDlg : public kit::CDialog {
 public:
  explicit SelFmDlg(kit::CDialog* parent = nullptr);

  void DoDataExchange() override;
  bool OnInitDialog() override;
  void OnOkClicked();

  kit::CListBox m_listVersions;

  KIT_DECLARE_MESSAGE_MAP()

 private:
  // The main window (theApp.MainDialog()).
  static CUpgradeDlg* MainWindow();
};
