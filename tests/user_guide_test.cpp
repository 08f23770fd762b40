// The user guide quotes every message the program shows, and must quote it
// as the program words it: each text, one indented line per line of the box.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "firmware/firmware_upgrader.h"
#include "firmware/upgrade_error.h"
#include "firmware/upgrade_report.h"
#include "monitor/device_worker.h"
#include "ui/main_texts.h"
#include "ui/rf_texts.h"

namespace {

// A message as the guide sets it: line breaks as lines, each indented by
// four blanks, empty lines left empty.
std::string AsQuoted(std::string text) {
  std::string out;
  std::string line;
  std::istringstream lines(text);
  bool first = true;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!first) out += '\n';
    first = false;
    if (!line.empty()) out += "    " + line;
  }
  return out + '\n';
}

TEST(UserGuideTest, QuotesEveryMessageAsTheProgramShowsIt) {
  std::ifstream file(TAV_SOURCE_DIR "/docs/user-guide.txt");
  ASSERT_TRUE(file.good());
  const std::string guide((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::string texts[] = {
      kNoDongleText,      kReplugText,          kChooseVersionText, kMsgUpgradeSucceeded,
      g_strUpgradeError,  kMsgReadFlashFailed,  kMsgVerifyFailed,   kDownloadingText,
      kOldFirmwareText,   kRfQuestionText,      kChooseGroupText,   kChooseBandText,
      kGroupChangedText,  kBandChangedText,     kRfClosingNote,     kPngNotFoundText,
      kPngLoadFailedText, kMsgImageNotFound,    kMsgImageLoadFailed, kMsgImageLockFailed};
  for (const std::string& text : texts) {
    EXPECT_NE(guide.find(AsQuoted(text)), std::string::npos) << AsQuoted(text);
  }
}

}  // namespace
