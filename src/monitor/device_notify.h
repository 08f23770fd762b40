// The window thread's side of the connection monitor: the device-change filter
// the main window's WindowProc runs for every message, the arrival and removal
// routines it calls, and the registration filter for notifications.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A matching interface arrived: m_bConnected set, the buttons updated (when
// g_pMainDlg is set), g_deviceAbsent cleared, g_evArrival signalled.
void OnDeviceArrival();

// A matching interface was removed: m_bConnected cleared, the buttons updated
// (when g_pMainDlg is set), g_deviceAbsent set, g_evRemoval signalled.
void OnDeviceRemoval();

// The arrival and removal notices handled so far, for code that must tell
// whether a dongle came or went while it was busy: a serial number that each
// notice moves on, and whether the latest one was an arrival.
struct DeviceNotice {
  std::uint32_t serial = 0;
  bool arrival = false;
};
DeviceNotice LatestDeviceNotice();

// Runs `update` with no notification routine in between, so that the worker
// can look at LatestDeviceNotice() and write m_bConnected in one step without
// overwriting a notice it has not seen.
void WithNoticesHeld(const std::function<void()>& update);

// An arrival or removal broadcast whose interface name (upper-cased, read only
// within `recordSize`) contains g_deviceMatch; true when it named the dongle.
bool FilterDeviceChange(std::uint32_t message, std::uintptr_t wParam, const void* record,
                        std::size_t recordSize);

// The filter for RegisterDeviceNotificationA: a 32-byte device-interface
// record for GUID_DEVINTERFACE_USB_DEVICE with an empty name.
std::vector<std::uint8_t> DeviceNotificationFilter();

// "RegisterDeviceNotification failed: 0x%x" for a failed registration's
// system error code, shown in a warning box by the main window.
std::string RegistrationFailureText(std::uint32_t error);
