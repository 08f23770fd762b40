// The main upgrade window: the background picture, the progress bar and the
// Upgrade, Adjust RF and Exit buttons. It is also the home of the upgrade
// state (images, labels, chosen edition, device record, programming flag) and
// carries out the window operations the programming sequence and the
// connection monitor need.
#pragma once
#include <cstdint>

#include "firmware/firmware_upgrader.h"
#include "monitor/connection_state.h"
#include "platform/kit.h"
#include "ui/background.h"

class CUpgradeDlg : public kit::CDialog, public FirmwareUpgrader, public CMonitorWindow {
 public:
  explicit CUpgradeDlg(kit::CDialog* parent = nullptr);
  ~CUpgradeDlg() override;

  void DoDataExchange() override;
  bool OnInitDialog() override;
  void OnClose() override;
  void OnPaint(platform::PaintContext& dc) override;
  void OnDestroy() override;
  std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, const void* record,
                           std::size_t recordSize) override;

  // Upgrade and Adjust RF follow m_bConnected. Callable from either thread:
  // the work is handed to the window thread.
  void UpdateButtons() override;

  // The button handlers (ids 1090 and 2).
  void OnUpgrade();
  void RunUpgrade();
  void OnAdjustRF();

  // Window operations of the programming sequence.
  bool WindowExists() override;
  void SetProgressPos(int position) override;
  void RepaintProgressArea() override;
  void EnableExit(bool enable) override;
  int ShowMessage(const std::string& text, platform::BoxStyle style) override;

  platform::Picture* m_pBackground = nullptr;
  std::uintptr_t m_hDevNotify = 0;
  kit::CProgressCtrl m_progress;
  kit::CButton m_btnExit;
  kit::CEdit m_editFrame;
  platform::Rect m_rcProgress;
  kit::CEdit m_editWarning;
  kit::CEdit m_editAux1;
  kit::CEdit m_editAux2;
  kit::CStatic m_stTitle;
  kit::CStatic m_stIcon;
  kit::CButton m_btnUpgrade;
  kit::CButton m_btnAdjustRF;

 private:
  CBackground m_background;

  void SetUpControls();
  bool LoadBackground();
  void LoadScaledBackgrounds();
  void RegisterForDeviceNotifications();
  void ApplyConnectionState();

  KIT_DECLARE_MESSAGE_MAP()
};
