// The dialog kit's portable half: CDialog and the control wrappers forward to
// the live platform::Window of their dialog; message maps are looked up here.
#include "platform/kit.h"

#include "platform/platform.h"

namespace kit {

// ---- CWnd and the control wrappers ----

platform::Window* CWnd::Window() const { return owner_ ? owner_->GetWindow() : nullptr; }

void CWnd::EnableWindow(bool enable) {
  if (platform::Window* window = Window()) window->EnableControl(id_, enable);
}

bool CWnd::IsWindowEnabled() const {
  platform::Window* window = Window();
  return window ? window->IsControlEnabled(id_) : false;
}

bool CWnd::IsWindowVisible() const {
  platform::Window* window = Window();
  return window ? window->IsControlVisible(id_) : false;
}

void CWnd::SetWindowText(const std::string& text) {
  if (platform::Window* window = Window()) window->SetControlText(id_, text);
}

std::string CWnd::GetWindowText() const {
  platform::Window* window = Window();
  return window ? window->ControlText(id_) : std::string();
}

platform::Rect CWnd::ClientRectInParent() const {
  platform::Window* window = Window();
  return window ? window->ControlClientRect(id_) : platform::Rect{};
}

void CWnd::SetFont(const platform::FontSpec& font) {
  if (platform::Window* window = Window()) window->SetControlFont(id_, font);
}

void CStatic::SetExclamationIcon() {
  if (platform::Window* window = Window()) window->SetControlExclamationIcon(GetDlgCtrlID());
}

void CProgressCtrl::SetRange(int low, int high) {
  if (platform::Window* window = Window()) window->SetProgressRange(GetDlgCtrlID(), low, high);
}

void CProgressCtrl::SetPos(int position) {
  if (platform::Window* window = Window()) window->SetProgressPos(GetDlgCtrlID(), position);
}

// List messages answer LB_ERR / CB_ERR (-1) when there is no control.
int CListBox::AddString(const std::string& text) {
  platform::Window* window = Window();
  return window ? window->AddString(GetDlgCtrlID(), text) : -1;
}

void CListBox::SetCurSel(int index) {
  if (platform::Window* window = Window()) window->SetCurSel(GetDlgCtrlID(), index);
}

int CListBox::GetCurSel() const {
  platform::Window* window = Window();
  return window ? window->GetCurSel(GetDlgCtrlID()) : -1;
}

int CComboBox::AddString(const std::string& text) {
  platform::Window* window = Window();
  return window ? window->AddString(GetDlgCtrlID(), text) : -1;
}

void CComboBox::SetCurSel(int index) {
  if (platform::Window* window = Window()) window->SetCurSel(GetDlgCtrlID(), index);
}

int CComboBox::GetCurSel() const {
  platform::Window* window = Window();
  return window ? window->GetCurSel(GetDlgCtrlID()) : -1;
}

void CComboBox::ResetContent() {
  if (platform::Window* window = Window()) window->ResetContent(GetDlgCtrlID());
}

int CComboBox::SelectString(int startAfter, const std::string& text) {
  platform::Window* window = Window();
  return window ? window->SelectString(GetDlgCtrlID(), startAfter, text) : -1;
}

// ---- CDialog ----

CDialog::CDialog(int templateId) : templateId_(templateId) {}

CDialog::~CDialog() = default;

const MessageMap* CDialog::GetThisMessageMap() {
  static const MessageMapEntry entries[] = {{MessageMapEntry::kEnd, 0, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}

int CDialog::DoModal() {
  return platform::Os().dialogs->RunModal(*this);
}

bool CDialog::OnInitDialog() {
  DoDataExchange();
  return true;
}

namespace {
// The first entry of a kind (and id, for commands) in a map or its bases.
const MessageMapEntry* FindEntry(const MessageMap* map, MessageMapEntry::Kind kind, int id) {
  for (; map != nullptr; map = map->base ? map->base() : nullptr) {
    for (const MessageMapEntry* entry = map->entries; entry->kind != MessageMapEntry::kEnd;
         ++entry) {
      if (entry->kind == kind && (kind != MessageMapEntry::kCommand || entry->id == id)) {
        return entry;
      }
    }
  }
  return nullptr;
}
}  // namespace

bool CDialog::OnCommand(int id) {
  if (const MessageMapEntry* entry = FindEntry(GetMessageMap(), MessageMapEntry::kCommand, id)) {
    (this->*entry->handler)();
    return true;
  }
  if (id == platform::kIdOk) {
    OnOK();
    return true;
  }
  if (id == platform::kIdCancel) {
    OnCancel();
    return true;
  }
  return false;
}

bool CDialog::WantsPaint() const {
  return FindEntry(GetMessageMap(), MessageMapEntry::kPaint, 0) != nullptr;
}

// The platform's default window procedure answers TRUE to device-change
// messages (it grants removal queries).
std::intptr_t CDialog::WindowProc(std::uint32_t /*message*/, std::uintptr_t /*wParam*/,
                                  const void* /*record*/, std::size_t /*recordSize*/) {
  return 1;
}

void CDialog::EndDialog(int result) {
  if (platform::Window* window = GetWindow()) window->End(result);
}

bool CDialog::IsWindow() const {
  platform::Window* window = GetWindow();
  return window ? window->Exists() : false;
}

bool CDialog::IsWindowVisible() const {
  platform::Window* window = GetWindow();
  return window ? window->IsVisible() : false;
}

void CDialog::SetWindowText(const std::string& text) {
  if (platform::Window* window = GetWindow()) window->SetText(text);
}

void CDialog::InvalidateRect(const platform::Rect& rect, bool erase) {
  if (platform::Window* window = GetWindow()) window->InvalidateRect(rect, erase);
}

void CDialog::UpdateWindow() {
  if (platform::Window* window = GetWindow()) window->Update();
}

void CDialog::Default() {
  if (platform::Window* window = GetWindow()) window->DefaultClose();
}

std::uintptr_t CDialog::RegisterDeviceNotification(const void* filter, std::uint32_t size) {
  platform::Window* window = GetWindow();
  return window ? window->RegisterDeviceNotification(filter, size) : 0;
}

void CDialog::DDX_Control(int id, CWnd& control) {
  control.id_ = id;
  control.owner_ = this;
}

// ---- Message boxes ----

int AfxMessageBox(const std::string& text, platform::BoxStyle style) {
  return platform::Os().dialogs->MessageBox(text, style);
}

std::string ProgramNameFromPath(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace kit
