// Finding the dongle among the present USB devices by its hardware IDs,
// opening and closing its interface path as g_hDevice, the descriptor check
// run before programming, and the message box for failed enumeration steps.
#pragma once
#include <cstdint>
#include <string>

#include "device/vendor_request.h"

// "VID_054C&PID_0268": the dongle shows itself as a PlayStation 3 controller.
// Searched as a substring of each upper-cased hardware ID, and of the
// upper-cased interface name of each device-change notification. Never
// changes; read by the worker and the window thread.
extern const std::string g_deviceMatch;

// Interface path of the dongle found last; written only by a fully successful
// FindDevicePath and never cleared. Used by the worker thread only.
extern std::string g_devicePath;

// The descriptor read asks the driver for this many bytes; the reply is a
// standard 18-byte USB device descriptor at offset 0.
constexpr std::uint32_t DESCRIPTOR_READ_SIZE = 105;
constexpr std::uint32_t DEVICE_DESCRIPTOR_SIZE = 18;
// Bytes 0-3 (bLength, bDescriptorType, bcdUSB) are not compared.
constexpr std::uint32_t DESCRIPTOR_COMPARE_FROM = 4;
extern const std::uint8_t g_expectedDescriptor[DEVICE_DESCRIPTOR_SIZE];

// Status of CheckDescriptor when the dongle's descriptor is not the expected
// one (or did not come at all). The same value as kStatusTooLong: callers
// only tell success from failure.
constexpr std::uint32_t kDescriptorMismatch = 2;

// Searches the present devices of the USB device interface class for one
// whose hardware ID contains `match`. 1 as soon as a device matched (on full
// success g_devicePath holds its interface path), else 0. Failed enumeration
// steps are reported with ReportLastError.
[[nodiscard]] int FindDevicePath(const std::string& match);

// A fresh FindDevicePath, then the path opened for reading and writing as
// g_hDevice; g_deviceAbsent is 1 when no handle came of it, 0 otherwise.
// Called by the worker thread only, while g_hDevice is closed.
void OpenDevice();

// Closes g_hDevice if it is open and marks it closed; a failed close is
// ignored. Called by the worker thread only.
void CloseDevice();

// Reads the device descriptor through g_hDevice and compares bytes 4-17 with
// the expected ones. kStatusOk with *matched = 1 when equal;
// kDescriptorMismatch with *matched = 0 when different, when fewer than 18
// bytes came back, or when no read returned anything (dongle gone).
[[nodiscard]] std::uint32_t CheckDescriptor(int* matched);

// Shows "<step> FAILURE: <system text>\n" in a warning box for the calling
// thread's last error. No box when the system has no text for the code. The
// last error is the same on return as on entry.
void ReportLastError(const std::string& step);
