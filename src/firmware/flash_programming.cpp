// The flash programming sequence: WriteFlashPage writes and verifies one
// page; ProgramFirmware sends the chosen image page by page, then its data
// block, then restores the device's identity bytes, moving the progress bar
// and telling the user the outcome.
#include <cstring>

#include "device/checked_data.h"
#include "firmware/firmware_upgrader.h"
#include "firmware/upgrade_error.h"

const char kMsgReadFlashFailed[] = "Error occurred in ReadFlash.";
const char kMsgVerifyFailed[] = "Error occurred in Verifying Program.\nPlease try again..";
const char kMsgUpgradeSucceeded[] =
    "Firmware Upgraded Successfully!\n\n"
    "Your Tavrolin is ready to use on the PS3. \n"
    " To continue please take out your dongle and plug it back in while holding the dongle button. \n"
    " To use the Tavrolin as a PC mouse remove the dongle and plug it in but do not press the dongle button.";

namespace {

// Progress positions: 0 to 92 over the pages, 92 to 99 over the data block.
constexpr int kProgressPagesEnd = 92;
constexpr int kProgressDone = 100;
constexpr int kDataBlockCount = DATA_BLOCK_SIZE / FLASH_BLOCK_SIZE;  // 8

// VerifyPagePass: a block read back different, the page is to be rewritten.
constexpr int kPageDiffers = -1;

std::uint16_t PageSize() { return g_largePages ? LARGE_PAGE_SIZE : SMALL_PAGE_SIZE; }

std::uint16_t Offset(std::uint16_t address, int bytes) {
  return static_cast<std::uint16_t>(address + bytes);
}

}  // namespace

int FirmwareUpgrader::WriteFlashPage(const std::uint8_t* page, std::uint16_t address) {
  if (page == nullptr) return FailPage(g_strUpgradeError, PAGE_NO_DATA);
  if (address % PageSize() != 0) return FailPage(g_strUpgradeError, PAGE_MISALIGNED);
  // Verification failures of this page, of both kinds, across rewrites.
  int failures = 0;
  for (;;) {
    const int written = WritePagePass(page, address);
    if (written != PAGE_OK) return written;
    const int verified = VerifyPagePass(page, address, &failures);
    if (verified != kPageDiffers) return verified;
  }
}

int FirmwareUpgrader::FailPage(const std::string& text, int code) {
  ShowMessage(text, platform::BoxStyle::kWarning);
  return code;
}

// Every block of the page, up to 9 attempts each, each attempt only while the
// dongle is still there.
int FirmwareUpgrader::WritePagePass(const std::uint8_t* page, std::uint16_t address) {
  for (int offset = 0; offset < PageSize(); offset += FLASH_BLOCK_SIZE) {
    for (int attempt = 1;; ++attempt) {
      if (DongleGone()) return FailPage(g_strUpgradeError, PAGE_DEVICE_ABSENT);
      if (WriteFlashBlock(page + offset, Offset(address, offset)) == 0) break;
      if (attempt == kBlockWriteAttempts) return FailPage(g_strUpgradeError, PAGE_WRITE_FAILED);
    }
  }
  return PAGE_OK;
}

// Reads every block back and compares it. A failed read-back starts the pass
// again at block 0 without rewriting; a difference sends the whole page back
// to the write pass (kPageDiffers). The ninth failure of the page, counted in
// *failures, ends it with the code of its kind.
int FirmwareUpgrader::VerifyPagePass(const std::uint8_t* page, std::uint16_t address,
                                     int* failures) {
  std::uint8_t readBack[FLASH_BLOCK_SIZE];
  for (int offset = 0; offset < PageSize();) {
    if (ReadFlash(readBack, Offset(address, offset), FLASH_BLOCK_SIZE) != 0) {
      if (++*failures == kPageVerifyFailures) return FailPage(kMsgReadFlashFailed, PAGE_READ_FAILED);
      offset = 0;
      continue;
    }
    if (std::memcmp(readBack, page + offset, FLASH_BLOCK_SIZE) != 0) {
      if (++*failures == kPageVerifyFailures) return FailPage(kMsgVerifyFailed, PAGE_VERIFY_FAILED);
      return kPageDiffers;
    }
    offset += FLASH_BLOCK_SIZE;
  }
  return PAGE_OK;
}

void FirmwareUpgrader::ProgramFirmware() {
  if (WindowExists()) {
    SetProgressPos(0);
    RepaintProgressArea();
  }
  const std::uint16_t pageSize = PageSize();
  std::uint16_t address = g_largePages ? LARGE_PAGE_FLASH_BASE : SMALL_PAGE_FLASH_BASE;
  m_pImageCur = m_nSelected >= 0 && m_nSelected < kImageCount ? m_pImageData[m_nSelected] : nullptr;
  m_bDownloading = 1;
  EnableExit(false);

  // A missing image breaks the caller's promise; it fails like a page would
  // rather than read from nowhere.
  if (m_pImageCur == nullptr || !ProgramPages(pageSize, &address) || !ProgramDataBlock(&address) ||
      !RestoreIdentity()) {
    if (WindowExists()) EnableExit(true);
    ShowMessage(g_strUpgradeError, platform::BoxStyle::kWarning);
    return;
  }

  SetProgressPos(kProgressDone);
  ShowMessage(kMsgUpgradeSucceeded, platform::BoxStyle::kInformation);
  SetProgressPos(0);
}

bool FirmwareUpgrader::ProgramPages(std::uint16_t pageSize, std::uint16_t* address) {
  std::uint8_t send[LARGE_PAGE_SIZE];
  const int pageCount = (PROGRAM_AREA_SIZE + pageSize - 1) / pageSize;
  for (int k = 0; k < pageCount; ++k) {
    std::memcpy(send, m_pImageCur, pageSize);
    ScrambleBlock(send, pageSize);
    if (WriteFlashPage(send, *address) != PAGE_OK) return false;
    *address = Offset(*address, pageSize);
    m_pImageCur += pageSize;
    SetProgressPos(kProgressPagesEnd * k / pageCount);
    RepaintProgressArea();
  }
  return true;
}

bool FirmwareUpgrader::ProgramDataBlock(std::uint16_t* address) {
  std::uint8_t send[FLASH_BLOCK_SIZE];
  for (int j = 0; j < kDataBlockCount; ++j) {
    std::memcpy(send, m_pImageCur, FLASH_BLOCK_SIZE);
    ScrambleBlock(send, FLASH_BLOCK_SIZE);
    // One attempt: a block that does not read back equal ends the upgrade.
    if (WriteVerified(send, *address, FLASH_BLOCK_SIZE, 1, OnFailedRequest::kStop).status != kStatusOk) {
      return false;
    }
    *address = Offset(*address, FLASH_BLOCK_SIZE);
    m_pImageCur += FLASH_BLOCK_SIZE;
    SetProgressPos(kProgressPagesEnd + j);
    RepaintProgressArea();
  }
  return true;
}
