// The main window's upgrade state and operations: the six locked firmware
// images and their labels, the chosen edition, the device information buffer,
// the programming flag and read cursor, loading the images and programming
// the chosen one into the dongle. CUpgradeDlg derives from this class and
// supplies the window operations.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "device/retry_policy.h"
#include "device/vendor_request.h"
#include "firmware/firmware_image.h"
#include "firmware/programming_window.h"

// Results of WriteFlashPage. Every nonzero value is a failure whose message
// has already been shown.
constexpr int PAGE_OK = 0;
constexpr int PAGE_NO_DATA = 1;          // no page data given
constexpr int PAGE_MISALIGNED = 2;       // address not a multiple of the page size
constexpr int PAGE_WRITE_FAILED = 3;     // a block not accepted after 9 attempts
constexpr int PAGE_READ_FAILED = 4;      // 9th verification failure was a failed read-back
constexpr int PAGE_VERIFY_FAILED = 5;    // 9th verification failure was a difference
constexpr int PAGE_DEVICE_ABSENT = 6;    // the dongle was found absent before a write attempt

// What the last failed identity restore of this run left behind: the
// identity it meant to write, the bytes the dongle was last read back to hold
// (which differ from it outside the RF group byte), and whether the user has
// changed the group since. It lives only as long as the program does;
// nothing is stored on the PC.
struct FailedRestore {
  bool known = false;
  std::uint8_t intended[IDENTITY_SIZE] = {};
  std::uint8_t left[IDENTITY_SIZE] = {};
  bool groupChanged = false;
};

// The loader's messages, and the programming sequence's own ones.
extern const char kMsgImageNotFound[];
extern const char kMsgImageLoadFailed[];
extern const char kMsgImageLockFailed[];
extern const char kMsgReadFlashFailed[];
extern const char kMsgVerifyFailed[];
extern const char kMsgUpgradeSucceeded[];

// Size of m_info: the 27-byte DeviceInfo record and zeros up to 64 bytes.
constexpr std::uint32_t kInfoBufferSize = 64;

class FirmwareUpgrader : public ProgrammingWindow {
 public:
  FirmwareUpgrader() = default;
  FirmwareUpgrader(const FirmwareUpgrader&) = delete;
  FirmwareUpgrader& operator=(const FirmwareUpgrader&) = delete;

  // Finds, loads and locks the six "MYBIN" images in catalogue order, keeps
  // their pointers and builds their labels. On the first failure shows its
  // warning and returns false; the images before it stay loaded, the rest
  // null with empty labels. An image whose resource is not exactly
  // FirmwareImage::kSize bytes counts as not found: the labels and the
  // programming read the whole layout.
  [[nodiscard]] bool LoadFirmwareImages();

  // Writes one page (already scrambled, page-size bytes, the page size
  // following g_largePages) at a flash address as 64-byte blocks and reads
  // each back; rewrites the whole page when a block differs. 0 when verified,
  // else one of the PAGE_ codes after its warning has been shown.
  [[nodiscard]] int WriteFlashPage(const std::uint8_t* page, std::uint16_t address);

  // Programs the chosen image: every page, the data block, then the identity
  // bytes of m_info; moves the progress bar and reports the outcome in a
  // message box, so it returns nothing. Needs g_largePages and m_info from
  // the device just before.
  void ProgramFirmware();

  // Confirms the identity bytes of m_info before the programming sequence
  // restores them: two reads in a row agree (the record's being the first),
  // and m_info keeps the agreed bytes or, when they are what the last failed
  // restore of this run left outside the group byte, the identity that
  // restore meant to write, with the present group if the user has changed
  // it since. false when they never agree or a read fails; nothing has been
  // written then.
  [[nodiscard]] bool ConfirmIdentity();

  // The user has changed the RF group, and the dongle read it back.
  void GroupChangedByUser() { m_failedRestore.groupChanged = true; }

  // m_info read as the device's information record.
  DeviceInfo Info() const {
    DeviceInfo info;
    std::memcpy(&info, m_info, sizeof(info));
    return info;
  }

  const std::uint8_t* m_pImageCur = nullptr;
  const std::uint8_t* m_pImageData[kImageCount] = {};
  std::int32_t m_nSelected = kStandardImageIndex;
  std::int32_t m_bDownloading = 0;
  std::uint8_t m_info[kInfoBufferSize] = {};
  std::string m_strLabels[kImageCount];

 private:
  // The steps of ProgramFirmware; each false on a failure whose own
  // messages (if any) have been shown.
  [[nodiscard]] bool ProgramPages(std::uint16_t pageSize, std::uint16_t* address);
  [[nodiscard]] bool ProgramDataBlock(std::uint16_t* address);
  [[nodiscard]] bool RestoreIdentity();

  // The two passes of WriteFlashPage, and a failure shown with its code.
  [[nodiscard]] int WritePagePass(const std::uint8_t* page, std::uint16_t address);
  [[nodiscard]] int VerifyPagePass(const std::uint8_t* page, std::uint16_t address, int* failures);
  int FailPage(const std::string& text, int code);

  FailedRestore m_failedRestore;
};
