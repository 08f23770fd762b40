// The simulated machine's device tree and hot-plug: the answers of the
// enumeration calls where a caller gets them wrong, fault injection, and the
// announcements of arrivals and removals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/device_broadcast.h"
#include "platform/device_enum.h"
#include "platform/os_types.h"
#include "sim/machine/services_scope.h"
#include "sim/machine/sim_machine.h"

namespace {

class SimTreeTest : public ::testing::Test {
 protected:
  SimTreeTest() {
    sim::SimUsbDevice hub;
    hub.hardwareIds = {"USB\\ROOT_HUB30"};
    tree_.AddDevice(hub);
    sim::SimUsbDevice bare;  // no hardware IDs, no interface
    tree_.AddDevice(bare);
    set_ = tree_.GetClassDevs(platform::kGuidDevinterfaceUsbDevice,
                              platform::kDigcfPresent | platform::kDigcfDeviceInterface);
  }
  ~SimTreeTest() override { tree_.DestroyDeviceInfoList(set_); }

  platform::DevInfoData Member(std::uint32_t index) {
    platform::DevInfoData info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(tree_.EnumDeviceInfo(set_, index, &info));
    return info;
  }

  sim::SimMachine machine_;  // its device I/O keeps the last error
  sim::SimDeviceTree tree_{&machine_.Io()};
  platform::Handle set_ = platform::kInvalidHandle;
};

TEST_F(SimTreeTest, SizeFieldsAreCheckedLikeTheRealCalls) {
  platform::DevInfoData info{};
  info.cbSize = 28;  // the 32-bit size on a 64-bit build, or the other way round
  if (sizeof(platform::DevInfoData) != 28) {
    EXPECT_FALSE(tree_.EnumDeviceInfo(set_, 0, &info));
    EXPECT_EQ(machine_.Io().LastError(), sim::kErrorInvalidUserBuffer);
  }
  info.cbSize = sizeof info;
  EXPECT_FALSE(tree_.EnumDeviceInfo(set_, 2, &info));
  EXPECT_EQ(machine_.Io().LastError(), sim::kErrorNoMoreItems);
  EXPECT_FALSE(tree_.EnumDeviceInfo(0x1234, 0, &info));
  EXPECT_EQ(machine_.Io().LastError(), sim::kErrorInvalidHandle);
}

TEST_F(SimTreeTest, HardwareIdPropertyFollowsTheSizeProtocol) {
  platform::DevInfoData hub = Member(0);
  std::uint32_t required = 0;
  EXPECT_FALSE(tree_.GetDeviceRegistryProperty(set_, &hub, platform::kSpdrpHardwareId, nullptr,
                                               0, &required));
  EXPECT_EQ(machine_.Io().LastError(), platform::kErrorInsufficientBuffer);
  const std::string expected("USB\\ROOT_HUB30\0\0", 16);
  EXPECT_EQ(required, expected.size());
  std::vector<std::uint8_t> buffer(required);
  ASSERT_TRUE(tree_.GetDeviceRegistryProperty(set_, &hub, platform::kSpdrpHardwareId,
                                              buffer.data(), required, &required));
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), expected);

  platform::DevInfoData bare = Member(1);
  EXPECT_FALSE(tree_.GetDeviceRegistryProperty(set_, &bare, platform::kSpdrpHardwareId, nullptr,
                                               0, &required));
  EXPECT_EQ(machine_.Io().LastError(), platform::kErrorInvalidData);
  platform::DeviceInterfaceData iface{};
  iface.cbSize = sizeof iface;
  EXPECT_FALSE(tree_.EnumDeviceInterfaces(set_, &bare, platform::kGuidDevinterfaceUsbDevice, 0,
                                          &iface));
  EXPECT_EQ(machine_.Io().LastError(), sim::kErrorNoMoreItems);
}

TEST_F(SimTreeTest, FaultsStrikeAfterTheGivenNumberOfCalls) {
  tree_.FailCall(sim::EnumCall::kEnumDeviceInfo, platform::kErrorGenFailure, 1, 2);
  platform::DevInfoData info{};
  info.cbSize = sizeof info;
  EXPECT_TRUE(tree_.EnumDeviceInfo(set_, 0, &info));
  EXPECT_FALSE(tree_.EnumDeviceInfo(set_, 0, &info));
  EXPECT_EQ(machine_.Io().LastError(), platform::kErrorGenFailure);
  EXPECT_FALSE(tree_.EnumDeviceInfo(set_, 0, &info));
  EXPECT_TRUE(tree_.EnumDeviceInfo(set_, 0, &info));
  EXPECT_EQ(tree_.Calls(sim::EnumCall::kEnumDeviceInfo), 4);

  tree_.FailAllocation(1);
  void* first = tree_.AllocZeroed(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(tree_.AllocZeroed(8), nullptr);
  EXPECT_EQ(machine_.Io().LastError(), platform::kErrorGenFailure);
  EXPECT_EQ(tree_.AllocZeroed(sim::SimDeviceTree::kAllocationLimit + 1), nullptr);
  tree_.Free(first);
  int local = 0;
  tree_.Free(&local);  // not the tree's: counted, not freed
  EXPECT_EQ(tree_.BadFrees(), 1);
  EXPECT_EQ(tree_.LiveAllocations(), 0);
}

class SimMachinePlugTest : public ::testing::Test {
 protected:
  SimMachinePlugTest() : machine_(Absent()) {
    machine_.Install();
    machine_.SetDeviceChangeHook(
        [this](std::uint32_t event, const std::vector<std::uint8_t>& record) {
          std::string name;
          ASSERT_TRUE(platform::ReadDeviceInterfaceName(record.data(), record.size(), &name));
          heard_.push_back({event, name});
        });
  }
  ~SimMachinePlugTest() override {
    machine_.Uninstall();
  }
  static sim::SimDongleConfig Absent() {
    sim::SimDongleConfig config;
    config.present = false;
    return config;
  }
  bool Listed() {
    platform::DeviceEnum& tree = *platform::Os().devices;
    const platform::Handle set = tree.GetClassDevs(
        platform::kGuidDevinterfaceUsbDevice, platform::kDigcfPresent | platform::kDigcfDeviceInterface);
    platform::DevInfoData info{};
    info.cbSize = sizeof info;
    const bool listed = tree.EnumDeviceInfo(set, 0, &info);
    tree.DestroyDeviceInfoList(set);
    return listed;
  }

  struct Heard {
    std::uint32_t event;
    std::string name;
  };
  // No dialog backend: announcements go to the hook.
  platform::ServicesScope none_{[](platform::Services& services) { services = {}; }};
  sim::SimMachine machine_;
  std::vector<Heard> heard_;
};

TEST_F(SimMachinePlugTest, PlugAndUnplugAreListedAndAnnounced) {
  EXPECT_EQ(platform::Os().devices, &machine_.Devices());
  EXPECT_EQ(platform::Os().io, &machine_.Io());
  EXPECT_FALSE(Listed());
  machine_.Plug();
  EXPECT_TRUE(Listed());
  machine_.Plug();  // no change, no word
  machine_.Unplug();
  EXPECT_FALSE(Listed());
  machine_.Unplug();
  ASSERT_EQ(heard_.size(), 2u);
  EXPECT_EQ(heard_[0].event, platform::kDbtDeviceArrival);
  EXPECT_EQ(heard_[0].name, sim::DefaultInterfacePath());
  EXPECT_EQ(heard_[1].event, platform::kDbtDeviceRemoveComplete);
}

TEST_F(SimMachinePlugTest, AnUnplugTheDongleCausesIsAnnouncedToo) {
  machine_.Plug();
  machine_.Dongle().AddFault(sim::MakeFault(sim::FaultOp::kOpen, sim::FaultKind::kUnplug));
  EXPECT_EQ(machine_.Io().Open(sim::DefaultInterfacePath().c_str()), platform::kInvalidHandle);
  ASSERT_EQ(heard_.size(), 2u);
  EXPECT_EQ(heard_[1].event, platform::kDbtDeviceRemoveComplete);
  EXPECT_FALSE(Listed());
}

}  // namespace
