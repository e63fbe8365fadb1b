// What the simulated machine keeps between calls (the key behind an open handle, the
// device tree, the read-only knob's list) must follow every change made in between:
// each case makes one change between two identical calls and checks the second.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/os_devices.h"
#include "platform/os_registry.h"
#include "platform/sim/device_tree.h"
#include "platform/sim/machine.h"
#include "platform/sim/utf.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

using Change = std::function<void(TestMachine&)>;

const std::string kParameters = kParametersKey;
const wchar_t kParametersWide[] = L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters";
const char kStore[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters]\n"
    "\"ScanRate\"=dword:0000000a\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters\\Device0]"
    "\n";

// ScanRate read through a handle opened before the change, or the error of the read.
TEST(SimLookupCache, AnOpenHandleFollowsItsKey) {
  const struct {
    const char* what;
    Change change;
    uint32_t status;
    uint32_t scanRate;
    uint32_t openDevice0;  // opening Device0 beneath the handle
  } cases[] = {
      {"nothing", [](TestMachine&) {}, kOsSuccess, 10, kOsSuccess},
      {"value changed", [](TestMachine& m) { m.setDword(kParameters, "ScanRate", 30); }, kOsSuccess,
       30, kOsSuccess},
      {"key deleted", [](TestMachine& m) { m.deleteKey(kParameters); }, 1018, 0, kOsFileNotFound},
      {"parent deleted", [](TestMachine& m) { m.deleteKey("SYSTEM\\CurrentControlSet\\Services"); },
       1018, 0, kOsFileNotFound},
      {"key deleted and made again",
       [](TestMachine& m) {
         m.deleteKey(kParameters);
         m.setDword(kParameters, "ScanRate", 20);
       },
       kOsSuccess, 20, kOsFileNotFound},
      {"a sibling key deleted",
       [](TestMachine& m) { m.deleteKey("SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\X"); },
       kOsSuccess, 10, kOsSuccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine(
        std::string(kStore) +
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\X]\n");
    RegKey key = nullptr;
    ASSERT_EQ(regOpenKeyEx(regLocalMachine(), kParametersWide, kKeyRead, &key), kOsSuccess);
    uint32_t value = 0;
    ASSERT_EQ(regQueryDwordValue(key, L"ScanRate", nullptr, &value), kOsSuccess);
    c.change(machine);
    value = 0;
    EXPECT_EQ(regQueryDwordValue(key, L"ScanRate", nullptr, &value), c.status);
    EXPECT_EQ(value, c.scanRate);
    RegKey device = nullptr;
    EXPECT_EQ(regOpenKeyEx(key, L"Device0", kKeyRead, &device), c.openDevice0);
    if (device != nullptr) regCloseKey(device);
    regCloseKey(key);
  }
}

const OsGuid kMultiportSerial = {
    0x50906CB8, 0xBA12, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

BoardFixture board(const std::string& instanceId, const std::vector<std::string>& ports) {
  BoardFixture fixture;
  fixture.instanceId = instanceId;
  fixture.hardwareId = "PCI\\VEN_11FE&DEV_0810";
  fixture.portNames = ports;
  return fixture;
}

const std::string kBoard0 = "PCI\\VEN_11FE&DEV_0810\\4&1a2b3c&0&00E0";
const std::string kBoard1 = "PCI\\VEN_11FE&DEV_0810\\4&1a2b3c&0&00E8";
const std::string kEnum = std::string(kEnumKey) + "\\";
const std::string kPort = kEnum + "ZEPHYNPORT\\PORT\\";

// The instance ids of the first board's children, walked as the program walks them.
std::vector<std::string> childrenOfFirstBoard(TestMachine& machine) {
  std::vector<std::string> ids;
  DeviceSet set = getClassDevices(kMultiportSerial, kDigcfPresent);
  DeviceElement* element = newDeviceElement();
  if (set != nullptr && enumDeviceInfo(set, 0, element)) {
    DevNode node = 0;
    for (uint32_t status = getChildNode(&node, deviceNodeOf(element)); status == kCrSuccess;
         status = getSiblingNode(&node, node)) {
      std::u16string id;
      if (nodeInstanceId(machine.machine(), node, &id)) ids.push_back(utf16ToUtf8(id));
    }
  }
  freeDeviceElement(element);
  destroyDeviceSet(set);
  return ids;
}

TEST(SimLookupCache, TheDeviceTreeFollowsNodesPrefixesAndPresence) {
  const std::string p0 = "ZEPHYNPORT\\PORT\\8&b0&0&00";
  const std::string p1 = "ZEPHYNPORT\\PORT\\8&b0&0&01";
  const std::string q0 = "ZEPHYNPORT\\PORT\\8&b1&0&00";
  const struct {
    const char* what;
    Change change;
    std::vector<std::string> children;
  } cases[] = {
      {"nothing", [](TestMachine&) {}, {p0, p1}},
      {"a setting and a friendly name changed",
       [&](TestMachine& m) {
         m.setDword(kParameters, "ScanRate", 20);
         m.setText(kEnum + p0, "FriendlyName", "renamed");
       },
       {p0, p1}},
      {"a child no longer present",
       [&](TestMachine& m) { m.deleteKey(kEnum + p1 + "\\Control"); },
       {p0}},
      {"a child removed", [&](TestMachine& m) { m.deleteKey(kEnum + p0); }, {p1}},
      {"a child added",
       [&](TestMachine& m) {
         m.setText(kPort + "8&b0&0&02", "Class", "Ports");
         m.machine().registry.addKey(utf8ToUtf16(kPort + "8&b0&0&02\\Control"));
       },
       {p0, p1, "ZEPHYNPORT\\PORT\\8&b0&0&02"}},
      {"the prefix now names the other board's ports",
       [](TestMachine& m) { m.setText(kEnum + kBoard0, "ParentIdPrefix", "8&B1&0"); },
       {q0}},
      {"the prefix removed",
       [](TestMachine& m) { m.setText(kEnum + kBoard0, "ParentIdPrefix", ""); },
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine(
        deviceNodesReg({board(kBoard0, {"COM3", "COM4"}), board(kBoard1, {"COM5"})}));
    ASSERT_EQ(childrenOfFirstBoard(machine), (std::vector<std::string>{p0, p1}));
    c.change(machine);
    EXPECT_EQ(childrenOfFirstBoard(machine), c.children);
  }
}

// ReadOnly as REG_MULTI_SZ bytes.
std::string multiText(const std::string& path) {
  return toUtf16LeBytes(utf8ToUtf16(path) + u'\0' + u'\0');
}

TEST(SimLookupCache, TheReadOnlyKnobTakesEffectAtOnce) {
  const std::string knobKey = "SOFTWARE\\ZephynSim\\Registry";
  const struct {
    const char* what;
    Change change;
    uint32_t open;
  } cases[] = {
      {"nothing", [](TestMachine&) {}, kOsSuccess},
      {"Parameters made read-only",
       [&](TestMachine& m) {
         Registry& registry = m.machine().registry;
         registry.setValue(registry.addKey(utf8ToUtf16(knobKey)), u"ReadOnly", kRegMultiSz,
                           multiText(kParameters));
       },
       kOsAccessDenied},
      {"another key made read-only",
       [&](TestMachine& m) {
         Registry& registry = m.machine().registry;
         registry.setValue(registry.addKey(utf8ToUtf16(knobKey)), u"ReadOnly", kRegMultiSz,
                           multiText(kParameters + "\\Device0"));
       },
       kOsSuccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Each case starts from its own machine; the one before left Parameters read-only
    // in a registry that is gone.
    TestMachine machine(kStore);
    RegKey key = nullptr;
    ASSERT_EQ(regOpenKeyEx(regLocalMachine(), kParametersWide, kKeyWrite, &key), kOsSuccess);
    regCloseKey(key);
    c.change(machine);
    key = nullptr;
    EXPECT_EQ(regOpenKeyEx(regLocalMachine(), kParametersWide, kKeyWrite, &key), c.open);
    if (key != nullptr) regCloseKey(key);
  }
}

}  // namespace
