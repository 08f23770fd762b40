// Device discovery against the simulated device tree: hardware-ID matching,
// the size protocols of the enumeration, every failure and its message box,
// opening and closing, and the descriptor check.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/discovery.h"
#include "device/vendor_request.h"
#include "monitor_doubles.h"
#include "platform/device_broadcast.h"
#include "platform/device_enum.h"
#include "platform/os_types.h"
#include "sim/machine/sim_device_io.h"
#include "sim/machine/sim_machine.h"
#include "sim/desktop/program_reset.h"

namespace {

// The Windows values the platform layer and the simulated machine declare. The
// simulated machine answers with the same constants, so only these numbers
// tell a wrong one: message-box answers, error codes, the device-change
// message and its records, the SetupAPI flags, the USB device interface
// class and the layouts of SP_DEVICE_INTERFACE_DETAIL_DATA_A (cbSize as
// 64-bit SetupAPI checks it) and DEV_BROADCAST_DEVICEINTERFACE_A.
namespace p = platform;
static_assert(p::kIdOk == 1 && p::kIdCancel == 2 && p::kIdYes == 6 && p::kIdNo == 7);
static_assert(sim::kErrorFileNotFound == 2 && sim::kErrorInvalidHandle == 6 &&
              p::kErrorNotEnoughMemory == 8 && p::kErrorInvalidData == 13 &&
              p::kErrorGenFailure == 31 && sim::kErrorInvalidParameter == 87 &&
              p::kErrorInsufficientBuffer == 122 && sim::kErrorNoMoreItems == 259 &&
              p::kErrorDeviceNotConnected == 1167);
static_assert(p::kWmDeviceChange == 0x219 && p::kDbtDeviceArrival == 0x8000 &&
              p::kDbtDeviceRemoveComplete == 0x8004 && p::kDbtDevtypDeviceInterface == 5);
static_assert(p::kDigcfPresent == 2 && p::kDigcfDeviceInterface == 0x10 &&
              p::kSpdrpHardwareId == 1 && p::kInterfaceDetailPathOffset == 4 &&
              (sizeof(void*) != 8 || p::kInterfaceDetailFixedSize == 8));
static_assert(p::kBroadcastHeaderSize == 12 && p::kBroadcastClassGuidOffset == 12 &&
              p::kBroadcastNameOffset == 28 && p::kDeviceInterfaceBroadcastSize == 32);
constexpr p::Guid kUsb = p::kGuidDevinterfaceUsbDevice;  // {A5DCBF10-6530-11D2-901F-00C04FB951ED}
static_assert(kUsb.data1 == 0xA5DCBF10 && kUsb.data2 == 0x6530 && kUsb.data3 == 0x11D2 &&
              kUsb.data4[0] == 0x90 && kUsb.data4[1] == 0x1F && kUsb.data4[2] == 0x00 &&
              kUsb.data4[3] == 0xC0 && kUsb.data4[4] == 0x4F && kUsb.data4[5] == 0xB9 &&
              kUsb.data4[6] == 0x51 && kUsb.data4[7] == 0xED);

using testing_support::RecordingDialogs;
using testing_support::ScopedDialogs;

constexpr std::uint32_t kGenFailure = platform::kErrorGenFailure;

sim::SimDongleConfig Config(bool present) {
  sim::SimDongleConfig config;
  config.present = present;
  return config;
}

sim::SimUsbDevice Device(std::vector<std::string> ids, std::string path) {
  sim::SimUsbDevice device;
  device.hardwareIds = std::move(ids);
  device.interfacePath = std::move(path);
  return device;
}

// The text of a failure box: the step, then the system's text for the code.
std::string FailureBox(const std::string& step, std::uint32_t code) {
  std::string text;
  EXPECT_TRUE(sim::SystemErrorTextFor(code, &text));
  return step + " FAILURE: " + text + "\n";
}

class DiscoveryTest : public ::testing::Test {
 protected:
  explicit DiscoveryTest(bool donglePresent = true)
      : machine_(Config(donglePresent)), scope_(&dialogs_) {
    machine_.Install();
    ResetProgramStateForTests();
  }
  ~DiscoveryTest() override {
    CloseDevice();
    // Nothing the search took may be left over, whatever the outcome.
    EXPECT_EQ(machine_.Devices().OpenSets(), 0);
    EXPECT_EQ(machine_.Devices().LiveAllocations(), 0);
    EXPECT_EQ(machine_.Devices().BadFrees(), 0);
    ResetProgramStateForTests();
  }

  sim::SimDeviceTree& Tree() { return machine_.Devices(); }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : dialogs_.Boxes()) texts.push_back(box.text);
    return texts;
  }

  sim::SimMachine machine_;
  RecordingDialogs dialogs_;
  ScopedDialogs scope_;
};

class DiscoveryWithoutDongleTest : public DiscoveryTest {
 protected:
  DiscoveryWithoutDongleTest() : DiscoveryTest(false) {}
};

TEST_F(DiscoveryWithoutDongleTest, NoDongleFindsNothingQuietlyAndMarksItAbsent) {
  Tree().AddDevice(Device({"USB\\VID_046D&PID_C52B&REV_1201", "USB\\VID_046D&PID_C52B"}, "mouse"));
  Tree().AddDevice(Device({"USB\\VID_054C&PID_0269"}, "other-product"));
  Tree().AddDevice(Device({"USB\\VID_1234&PID_0268"}, "other-vendor"));
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 0);

  OpenDevice();
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  EXPECT_TRUE(g_devicePath.empty());
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

TEST_F(DiscoveryWithoutDongleTest, HardwareIdsAreUpperCasedAndSearchedAsSubstrings) {
  struct Case {
    std::vector<std::string> ids;
    bool matches;
  };
  const Case cases[] = {
      {{"usb\\vid_054c&pid_0268&rev_0100"}, true},
      {{"USB\\VID_1234&PID_0001", "VID_054C&PID_0268"}, true},  // second ID, from its start
      {{"USB\\VID_054C&PID_02680"}, true},                           // substring
      {{"USB\\VID_054C&PID_0269", "USB\\VID_054C"}, false},
      {{"PID_0268"}, false},
      {{"VID_054C&PID_0268"}, true},  // from the list's very start
  };
  for (const Case& c : cases) {
    Tree().ClearDevices();
    Tree().AddDevice(Device(c.ids, "the-path"));
    g_devicePath.clear();
    EXPECT_EQ(FindDevicePath(g_deviceMatch), c.matches ? 1 : 0) << c.ids.front();
    EXPECT_EQ(g_devicePath, c.matches ? "the-path" : "") << c.ids.front();
  }
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

TEST_F(DiscoveryWithoutDongleTest, MalformedIdListIsReadOnlyWithinWhatTheCallReturned) {
  sim::SimUsbDevice unterminated = Device({}, "no-terminators");
  unterminated.rawHardwareIds = std::string("USB\\VID_054C&PID_0268");  // no NUL at all
  Tree().AddDevice(unterminated);
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 1);
  EXPECT_EQ(g_devicePath, "no-terminators");

  // The match cut off by the data's end, and the match after the list's end.
  for (const std::string& raw :
       {std::string("USB\\VID_054C&PID_02", 19), std::string("A\0\0VID_054C&PID_0268", 20)}) {
    Tree().ClearDevices();
    sim::SimUsbDevice bad = Device({}, "bad");
    bad.rawHardwareIds = raw;
    Tree().AddDevice(bad);
    EXPECT_EQ(FindDevicePath(g_deviceMatch), 0);
  }
}

TEST_F(DiscoveryTest, FirstMatchingDeviceInEnumerationOrderWins) {
  // The simulated dongle enumerated after another matching device...
  Tree().AddDevice(Device({"USB\\VID_054C&PID_0268&REV_0100"}, "earlier-dongle"));
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 1);
  EXPECT_EQ(g_devicePath, "earlier-dongle");
  // ...and before it.
  Tree().SetDonglePosition(0);
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 1);
  EXPECT_EQ(g_devicePath, sim::DefaultInterfacePath());
}

TEST_F(DiscoveryTest, DetailIsAskedWithTheFixedPartFirstThenWithTheReportedSize) {
  ASSERT_EQ(FindDevicePath(g_deviceMatch), 1);
  EXPECT_EQ(g_devicePath, sim::DefaultInterfacePath());

  const auto requests = Tree().DetailRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].bufferSize, platform::kInterfaceDetailFixedSize);
  EXPECT_EQ(requests[0].sizeField, platform::kInterfaceDetailFixedSize);
  EXPECT_EQ(requests[1].bufferSize,
            platform::kInterfaceDetailPathOffset + sim::DefaultInterfacePath().size() + 1);
  // The size field is the fixed part's size whatever the buffer's size.
  EXPECT_EQ(requests[1].sizeField, platform::kInterfaceDetailFixedSize);
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

TEST_F(DiscoveryTest, OpenAndCloseTheFoundDongle) {
  g_deviceAbsent.store(1);
  OpenDevice();
  EXPECT_NE(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(g_deviceAbsent.load(), 0);
  EXPECT_EQ(machine_.Io().OpenHandles(), 1u);

  CloseDevice();
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(machine_.Io().OpenHandles(), 0u);
  CloseDevice();  // closed already: nothing happens
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);

  // A close that fails still leaves the handle marked closed.
  g_hDevice = 0x7777;
  CloseDevice();
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
}

TEST_F(DiscoveryTest, OpenFailureIsQuietAndMarksTheDongleAbsent) {
  sim::Fault refuse;
  refuse.op = sim::FaultOp::kOpen;
  refuse.error = 32;  // ERROR_SHARING_VIOLATION: held by another program
  machine_.Dongle().AddFault(refuse);
  OpenDevice();
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(g_deviceAbsent.load(), 1);
  EXPECT_EQ(g_devicePath, sim::DefaultInterfacePath());
  EXPECT_EQ(dialogs_.BoxCount(), 0u);
}

// Each failing step of the search, its box and its result.
TEST_F(DiscoveryTest, EnumerationFailuresAreReportedWithTheirStep) {
  struct Row {
    const char* name;
    std::function<void()> arm;
    std::string box;
    int result;
  };
  const std::string allocStep = "Couldn't allocate " +
                                std::to_string(platform::kInterfaceDetailFixedSize) +
                                " bytes for device interface detail buffer\n";
  const Row rows[] = {
      {"class devs", [&] { Tree().FailCall(sim::EnumCall::kGetClassDevs, kGenFailure); },
       FailureBox("GetClassDevs(All Present Devices)", kGenFailure), 0},
      {"property",
       [&] {
         Tree().FailCall(sim::EnumCall::kGetDeviceRegistryProperty,
                         sim::kErrorInvalidParameter);
       },
       FailureBox("GetDeviceRegistryProperty", sim::kErrorInvalidParameter), 0},
      {"interfaces",
       [&] { Tree().FailCall(sim::EnumCall::kEnumDeviceInterfaces, sim::kErrorNoMoreItems); },
       FailureBox("SetupDiEnumDeviceInterfaces", sim::kErrorNoMoreItems), 1},
      {"detail allocation", [&] { Tree().FailAllocation(1); },  // the first is the ID buffer
       FailureBox(allocStep, platform::kErrorNotEnoughMemory), 1},
      {"detail",
       [&] { Tree().FailCall(sim::EnumCall::kGetDeviceInterfaceDetail, kGenFailure, 1); },
       FailureBox("SetupDiGetDeviceInterfaceDetail", kGenFailure), 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Tree().ResetCounters();
    g_devicePath = "kept";
    row.arm();
    const std::size_t before = dialogs_.BoxCount();
    EXPECT_EQ(FindDevicePath(g_deviceMatch), row.result);
    EXPECT_EQ(g_devicePath, "kept");
    const auto boxes = dialogs_.Boxes();
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().text, row.box);
    EXPECT_EQ(boxes.back().style, platform::BoxStyle::kWarning);
  }
}

TEST_F(DiscoveryTest, AfterAnInterfaceFailureOpenTriesTheOldPath) {
  Tree().FailCall(sim::EnumCall::kEnumDeviceInterfaces, kGenFailure);
  OpenDevice();  // g_devicePath still empty: the open fails
  EXPECT_EQ(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(g_deviceAbsent.load(), 1);

  OpenDevice();  // a clean search takes the path
  ASSERT_NE(g_hDevice, platform::kInvalidHandle);
  CloseDevice();
  Tree().FailCall(sim::EnumCall::kEnumDeviceInterfaces, kGenFailure);
  OpenDevice();  // the path found before still opens
  EXPECT_NE(g_hDevice, platform::kInvalidHandle);
  EXPECT_EQ(dialogs_.BoxCount(), 2u);
}

TEST_F(DiscoveryTest, PropertyFailureEndsTheSearchAndDevicesWithoutIdsAreSkipped) {
  Tree().SetDonglePosition(1);
  sim::SimUsbDevice noIds = Device({}, "hub");
  Tree().AddDevice(noIds);
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 1);  // the hub is skipped quietly
  EXPECT_EQ(dialogs_.BoxCount(), 0u);

  // A failure on the first device ends the search before the dongle.
  Tree().ClearDevices();
  Tree().AddDevice(Device({"USB\\ROOT_HUB30"}, "hub"));
  Tree().ResetCounters();
  Tree().FailCall(sim::EnumCall::kGetDeviceRegistryProperty, kGenFailure);
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 0);
  EXPECT_EQ(dialogs_.BoxCount(), 1u);
  EXPECT_EQ(Tree().Calls(sim::EnumCall::kEnumDeviceInfo), 1);  // the hub, nothing more
}

TEST_F(DiscoveryTest, IdBufferThatCannotBeAllocatedIsAPropertyFailure) {
  Tree().FailAllocation(0);
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{FailureBox("GetDeviceRegistryProperty",
                                                           platform::kErrorNotEnoughMemory)});
}

TEST_F(DiscoveryTest, SizeRequestsThatNeverSucceedEnd) {
  const std::uint32_t kInsufficient = platform::kErrorInsufficientBuffer;
  // A detail call that keeps answering "too small" without asking for more.
  Tree().FailCall(sim::EnumCall::kGetDeviceInterfaceDetail, platform::kErrorInsufficientBuffer,
                  0, sim::SimDeviceTree::kAlways);
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 1);
  EXPECT_EQ(Tree().Calls(sim::EnumCall::kGetDeviceInterfaceDetail), 1);

  Tree().ResetCounters();  // and a property that asks for more at every call
  Tree().GrowPropertyAtEachCall();
  EXPECT_EQ(FindDevicePath(g_deviceMatch), 0);
  EXPECT_EQ(Tree().Calls(sim::EnumCall::kGetDeviceRegistryProperty), kSizeRequestLimit + 1);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            FailureBox("SetupDiGetDeviceInterfaceDetail", kInsufficient),
                            FailureBox("GetDeviceRegistryProperty", kInsufficient)}));
}

TEST_F(DiscoveryTest, ReportLastErrorShowsTheSystemTextAndKeepsTheLastError) {
  platform::DeviceIo& io = machine_.Io();
  io.SetLastError(kGenFailure);
  ReportLastError("SomeStep");
  const auto boxes = dialogs_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "SomeStep FAILURE: A device attached to the system is not functioning.\r\n\n");
  EXPECT_EQ(boxes[0].style, platform::BoxStyle::kWarning);
  EXPECT_EQ(io.LastError(), kGenFailure);  // the box changed it; it is put back

  io.SetLastError(0x2A2A2A);  // a code the system has no text for
  ReportLastError("SomeStep");
  EXPECT_EQ(dialogs_.BoxCount(), 1u);
  EXPECT_EQ(io.LastError(), 0x2A2A2Au);
}

// --- The descriptor check ---------------------------------------------------

class DescriptorTest : public DiscoveryTest {
 protected:
  DescriptorTest() {
    OpenDevice();
    EXPECT_NE(g_hDevice, platform::kInvalidHandle);
  }
  int Check(std::uint32_t* status) {
    int matched = -1;
    *status = CheckDescriptor(&matched);
    return matched;
  }
  std::size_t DescriptorReads() {
    std::size_t reads = 0;
    for (const auto& record : machine_.Dongle().WireLog()) {
      if (record.kind == sim::WireRecord::Kind::kRead) ++reads;
    }
    return reads;
  }
};

TEST_F(DescriptorTest, ComparesBytes4To17Only) {
  std::uint32_t status = 99;
  EXPECT_EQ(Check(&status), 1);
  EXPECT_EQ(status, 0u);

  std::vector<std::uint8_t> descriptor = sim::DefaultDescriptor();
  descriptor[0] = 0x09;
  descriptor[1] = 0x02;
  descriptor[2] = 0x10;
  descriptor[3] = 0x01;
  machine_.Dongle().SetDescriptor(descriptor);
  EXPECT_EQ(Check(&status), 1);
  EXPECT_EQ(status, 0u);

  for (int at : {4, 10, 17}) {  // bDeviceClass, idProduct's low byte, bNumConfigurations
    descriptor = sim::DefaultDescriptor();
    descriptor[at] ^= 0x40;
    machine_.Dongle().SetDescriptor(descriptor);
    EXPECT_EQ(Check(&status), 0) << at;
    EXPECT_EQ(status, 2u);
  }
}

TEST_F(DescriptorTest, ShortReplyIsAMismatch) {
  // 17 good bytes: the 18th was never received and must not be compared.
  std::vector<std::uint8_t> descriptor = sim::DefaultDescriptor();
  descriptor.resize(17);
  machine_.Dongle().SetDescriptor(descriptor);
  std::uint32_t status = 0;
  EXPECT_EQ(Check(&status), 0);
  EXPECT_EQ(status, 2u);

  // A byte count below what the data shows counts as well.
  machine_.Dongle().SetDescriptor(sim::DefaultDescriptor());
  machine_.Dongle().AddFault(sim::MakeCountFault(sim::FaultOp::kDescriptor, 10));
  EXPECT_EQ(Check(&status), 0);
  EXPECT_EQ(status, 2u);
}

TEST_F(DescriptorTest, EmptyReadsAreRepeatedUntilBytesCome) {
  machine_.Dongle().AddFault(sim::MakeCountFault(sim::FaultOp::kDescriptor, 0, 0, 3));
  std::uint32_t status = 99;
  EXPECT_EQ(Check(&status), 1);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(DescriptorReads(), 4u);
  for (const auto& record : machine_.Dongle().WireLog()) {
    if (record.kind == sim::WireRecord::Kind::kRead) {
      EXPECT_EQ(record.outSize, 105u);
    }
  }
}

TEST_F(DescriptorTest, EmptyReadsEndWhenTheDongleIsGoneOrAfterTheLimit) {
  machine_.Dongle().AddFault(sim::MakeCountFault(sim::FaultOp::kDescriptor, 0, 0, sim::kForever));

  std::uint32_t status = 0;
  EXPECT_EQ(Check(&status), 0);
  EXPECT_EQ(status, 2u);
  EXPECT_EQ(DescriptorReads(), 64u);

  machine_.Dongle().ClearWireLog();
  g_deviceAbsent.store(1);  // the removal has been noticed
  EXPECT_EQ(Check(&status), 0);
  EXPECT_EQ(status, 2u);
  EXPECT_EQ(DescriptorReads(), 1u);
}

// Byte 0 of the buffer is set to 0xAB before every read attempt, including
// the repeats after an empty read. Seen from the driver's side.
class ByteZeroProbe : public platform::DeviceIo {
 public:
  explicit ByteZeroProbe(platform::DeviceIo& real) : real_(real) {}
  platform::Handle Open(const char* path) override { return real_.Open(path); }
  bool IoControl(platform::Handle h, std::uint32_t code, const void* in, std::uint32_t inSize,
                 void* out, std::uint32_t outSize, std::uint32_t* returned) override {
    return real_.IoControl(h, code, in, inSize, out, outSize, returned);
  }
  bool Read(platform::Handle handle, void* buffer, std::uint32_t size,
            std::uint32_t* read) override {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    seen.push_back(bytes[0]);
    if (seen.size() <= 2) {  // two empty reads that scribble on byte 0
      bytes[0] = 0x00;
      *read = 0;
      return true;
    }
    return real_.Read(handle, buffer, size, read);
  }
  bool Close(platform::Handle handle) override { return real_.Close(handle); }
  std::uint32_t LastError() override { return real_.LastError(); }
  void SetLastError(std::uint32_t code) override { real_.SetLastError(code); }
  bool SystemErrorText(std::uint32_t code, std::string* text) override {
    return real_.SystemErrorText(code, text);
  }
  std::vector<std::uint8_t> seen;

 private:
  platform::DeviceIo& real_;
};

TEST_F(DescriptorTest, ByteZeroIsSetBeforeEveryAttempt) {
  ByteZeroProbe probe(machine_.Io());
  sim::ScopedDeviceIo scoped(&probe);
  std::uint32_t status = 99;
  EXPECT_EQ(Check(&status), 1);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(probe.seen, (std::vector<std::uint8_t>{0xAB, 0xAB, 0xAB}));
}

}  // namespace
