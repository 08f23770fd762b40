// Tests of the request transport (Part 1.1) against the simulated dongle.
#include "device/vendor_request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/sim/sim_device_io.h"
#include "platform/sim/sim_dongle.h"

namespace {

class VendorRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDeviceLinkState();
    g_hDevice = io_.Open(dongle_.InterfacePath().c_str());
    ASSERT_NE(g_hDevice, platform::kInvalidHandle);
  }
  void TearDown() override {
    if (g_hDevice != platform::kInvalidHandle) io_.Close(g_hDevice);
    ResetDeviceLinkState();
  }

  sim::SimDongle dongle_;
  sim::SimDeviceIo io_{dongle_};
  sim::ScopedDeviceIo installed_{&io_};
};

TEST_F(VendorRequestTest, ModeQueryWireBytes) {
  int check = 7;
  ASSERT_EQ(QueryDeviceMode(&check), 0u);
  const std::uint8_t expected[] = {0xBA, 0x03, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(g_inBuffer, expected, sizeof expected), 0);
  for (std::uint32_t i = 70; i < IO_BUFFER_SIZE; ++i) ASSERT_EQ(g_inBuffer[i], 0) << i;
  EXPECT_TRUE(g_largePages);
  EXPECT_EQ(check, 0);
}

}  // namespace
