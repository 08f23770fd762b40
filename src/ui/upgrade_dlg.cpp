// The main window: initialisation, painting, the close guard, the device-change
// hook and the window operations used while programming.
#include "ui/upgrade_dlg.h"

#include <utility>
#include <vector>

#include "device/vendor_request.h"
#include "firmware/upgrade_error.h"
#include "monitor/device_notify.h"
#include "monitor/device_worker.h"
#include "platform/device_io.h"
#include "platform/graphics.h"
#include "platform/platform.h"
#include "platform/resources.h"
#include "ui/app.h"
#include "ui/main_texts.h"
#include "ui/resource_ids.h"

CUpgradeDlg::CUpgradeDlg(kit::CDialog* /*parent*/) : kit::CDialog(IDD_UPGRADE) {}

CUpgradeDlg::~CUpgradeDlg() {
  // The window must not be reached through the monitor once it is gone.
  CMonitorWindow* self = this;
  g_pMainDlg.compare_exchange_strong(self, nullptr);
}

void CUpgradeDlg::DoDataExchange() {
  DDX_Control(IDC_PROGRESS, m_progress);
  DDX_Control(IDC_EXIT, m_btnExit);
  DDX_Control(IDC_EDIT_FRAME, m_editFrame);
  DDX_Control(IDC_EDIT_WARNING, m_editWarning);
  DDX_Control(IDC_EDIT_AUX1, m_editAux1);
  DDX_Control(IDC_EDIT_AUX2, m_editAux2);
  DDX_Control(IDC_TITLE, m_stTitle);
  DDX_Control(IDC_ICON, m_stIcon);
  DDX_Control(IDC_UPGRADE, m_btnUpgrade);
  DDX_Control(IDC_ADJUST_RF, m_btnAdjustRF);
}

bool CUpgradeDlg::OnInitDialog() {
  kit::CDialog::OnInitDialog();
  SetUpControls();
  if (!LoadBackground()) return false;
  RegisterForDeviceNotifications();
  if (!LoadFirmwareImages()) return false;
  if (StartWorker() != 0) kit::AfxMessageBox(g_strUpgradeError);
  SetWindowText(kMainCaption);
  return true;
}

// The title font, progress range, idle state, the texts of the hidden
// controls, the warning icon and the repaint rectangle around the bar.
void CUpgradeDlg::SetUpControls() {
  m_stTitle.SetFont(platform::FontSpec{20, 700, "Arial"});
  m_progress.SetRange(0, 100);
  m_progress.SetPos(0);
  m_bDownloading = 0;
  m_btnExit.EnableWindow(true);
  m_stTitle.SetWindowText(kMainCaption);
  m_editFrame.SetWindowText(kFrameText);
  m_editWarning.SetWindowText(kWarningText);
  m_stIcon.SetExclamationIcon();
  m_rcProgress = m_editFrame.ClientRectInParent();
}

// Finds and decodes the background picture. false (after its message) when
// the resource is missing or cannot be loaded; a picture that does not decode
// only leaves the window without one.
bool CUpgradeDlg::LoadBackground() {
  platform::Resources& resources = *platform::Os().resources;
  platform::Resources::Found found = resources.Find(kPngType, IDR_BACKGROUND_PNG);
  if (found == nullptr) {
    kit::AfxMessageBox(kPngNotFoundText);
    return false;
  }
  const std::uint32_t size = resources.Size(found);
  platform::Resources::Loaded loaded = resources.Load(found);
  const std::uint8_t* bytes = loaded != nullptr ? resources.Lock(loaded) : nullptr;
  if (bytes == nullptr) {
    kit::AfxMessageBox(kPngLoadFailedText);
    return false;
  }
  m_pBackground = platform::Os().graphics->CreatePicture(bytes, size);
  LoadScaledBackgrounds();
  return true;
}

// The larger drawings of the same picture, for scaled displays; looked for
// only when the picture itself decoded. One that is missing, cannot be
// loaded or does not decode is simply not there: another one is scaled.
void CUpgradeDlg::LoadScaledBackgrounds() {
  std::vector<const platform::Picture*> pictures = {m_pBackground};
  platform::Resources& resources = *platform::Os().resources;
  for (int id : {IDR_BACKGROUND_2X_PNG, IDR_BACKGROUND_3X_PNG}) {
    if (m_pBackground == nullptr) break;  // no picture at all, at any scale
    platform::Resources::Found found = resources.Find(kPngType, id);
    platform::Resources::Loaded loaded = found != nullptr ? resources.Load(found) : nullptr;
    const std::uint8_t* bytes = loaded != nullptr ? resources.Lock(loaded) : nullptr;
    pictures.push_back(bytes != nullptr
                           ? platform::Os().graphics->CreatePicture(bytes, resources.Size(found))
                           : nullptr);
  }
  m_background.SetPictures(std::move(pictures));
}

void CUpgradeDlg::RegisterForDeviceNotifications() {
  const std::vector<std::uint8_t> filter = DeviceNotificationFilter();
  m_hDevNotify =
      RegisterDeviceNotification(filter.data(), static_cast<std::uint32_t>(filter.size()));
  if (m_hDevNotify == 0) {
    kit::AfxMessageBox(RegistrationFailureText(platform::Os().io->LastError()));
  }
}

// Exit (id 1) has no entry: the framework's OnOK ends the modal run.
KIT_BEGIN_MESSAGE_MAP(CUpgradeDlg, kit::CDialog)
  KIT_ON_WM_PAINT()
  KIT_ON_BN_CLICKED(IDC_ADJUST_RF, OnAdjustRF)
  KIT_ON_BN_CLICKED(IDC_UPGRADE, OnUpgrade)
KIT_END_MESSAGE_MAP()

// A close request while programming runs with the dongle present is refused.
void CUpgradeDlg::OnClose() {
  if (m_bDownloading != 0 && !DongleGone()) {
    kit::AfxMessageBox(kDownloadingText);
    return;
  }
  Default();
}

// The picture is drawn once per size and scale, so a repaint after each
// programming step only copies; the window does not clip its children, so the
// paint leaves out the shown controls, whose places are taken with the picture.
void CUpgradeDlg::OnPaint(platform::PaintContext& dc) {
  m_background.Paint(dc, [this] {
    const kit::CWnd* const controls[] = {&m_btnExit,     &m_progress, &m_editFrame, &m_editWarning,
                                         &m_stIcon,      &m_editAux1, &m_editAux2,  &m_stTitle,
                                         &m_btnAdjustRF, &m_btnUpgrade};
    std::vector<platform::Rect> places;
    for (const kit::CWnd* control : controls) {
      if (control->IsWindowVisible()) places.push_back(control->ClientRectInParent());
    }
    return places;
  });
}

void CUpgradeDlg::OnDestroy() { m_background.Release(); }

std::intptr_t CUpgradeDlg::WindowProc(std::uint32_t message, std::uintptr_t wParam,
                                      const void* record, std::size_t recordSize) {
  FilterDeviceChange(message, wParam, record, recordSize);
  return kit::CDialog::WindowProc(message, wParam, record, recordSize);
}

void CUpgradeDlg::UpdateButtons() {
  // Reached from the worker too; the window thread finds the window again
  // through g_pMainDlg, which is cleared before the window object goes away.
  platform::Os().dialogs->RunOnWindowThread([] {
    if (CMonitorWindow* window = g_pMainDlg.load()) {
      static_cast<CUpgradeDlg*>(window)->ApplyConnectionState();
    }
  });
}

void CUpgradeDlg::ApplyConnectionState() {
  const bool connected = theApp.m_bConnected.load() != 0;
  m_btnUpgrade.EnableWindow(connected);
  m_btnAdjustRF.EnableWindow(connected);
}

bool CUpgradeDlg::WindowExists() { return IsWindow(); }

void CUpgradeDlg::SetProgressPos(int position) { m_progress.SetPos(position); }

void CUpgradeDlg::RepaintProgressArea() {
  InvalidateRect(m_rcProgress, false);
  UpdateWindow();
}

void CUpgradeDlg::EnableExit(bool enable) { m_btnExit.EnableWindow(enable); }

int CUpgradeDlg::ShowMessage(const std::string& text, platform::BoxStyle style) {
  return kit::AfxMessageBox(text, style);
}
