// The RF adjustment dialog: the dongle's RF starting band and hopping group as
// two drop-down lists; Change writes a changed setting and reads it back.
#pragma once
#include <string>

#include "platform/kit.h"

class CAdjRFDlg : public kit::CDialog {
 public:
  explicit CAdjRFDlg(kit::CDialog* parent = nullptr);

  void DoDataExchange() override;
  bool OnInitDialog() override;

  // Called from the worker thread after it has read a newly connected
  // dongle's settings while this dialog is open; the lists are rebuilt on the
  // window thread.
  void RefreshBandList();

  void OnChange();
  void OnExit();

  kit::CComboBox m_comboGroup;
  kit::CComboBox m_comboBand;

  KIT_DECLARE_MESSAGE_MAP()

 private:
  void FillBandList();
};
