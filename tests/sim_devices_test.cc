// The device manager on the simulated machine: class sets, presence and order, device
// properties, device-node keys, the child walk, allocated resources and the restart.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "platform/os_devices.h"
#include "platform/os_registry.h"
#include "platform/sim/device_tree.h"
#include "platform/sim/utf.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

const OsGuid kMultiportSerial = {
    0x50906CB8, 0xBA12, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

BoardFixture makeBoard(const std::string& instanceId, const std::string& hardwareId) {
  BoardFixture board;
  board.instanceId = instanceId;
  board.hardwareId = hardwareId;
  return board;
}

std::vector<BoardFixture> boards() {
  BoardFixture pci = makeBoard("PCI\\VEN_11FE&DEV_0803\\4&1a2b3c&0&00E0", "PCI\\VEN_11FE&DEV_0803");
  pci.uiNumber = 3;
  pci.portNames = {"COM3", "COM4"};
  BoardFixture absent = makeBoard("ROOT\\MULTIPORTSERIAL\\0000", "ISAPNP\\NRV_D1003");
  absent.present = false;
  BoardFixture other = makeBoard("root\\multiportserial\\0001", "ISAPNP\\OTHER");
  other.service = "OtherPort";
  other.nodeId.reset();
  other.ioBase = 0x2A0;
  return {pci, absent, other};
}

std::vector<std::string> memberIds(DeviceSet set) {
  std::vector<std::string> ids;
  DeviceElement* element = newDeviceElement();
  for (uint32_t i = 0; enumDeviceInfo(set, i, element); ++i) {
    wchar_t text[64] = {};
    size_t units = 63;
    uint32_t type = 0;
    getDevicePropertyText(set, element, kSpdrpHardwareId, &type, text, &units);
    ids.push_back(std::string(text, text + std::wcslen(text)));
  }
  freeDeviceElement(element);
  return ids;
}

TEST(SimDevices, ClassSetsListPresentNodesInUpperCasedOrder) {
  TestMachine machine(deviceNodesReg(boards()));
  const struct {
    uint32_t flags;
    std::vector<std::string> hardwareIds;
  } cases[] = {
      {kDigcfPresent, {"PCI\\VEN_11FE&DEV_0803", "ISAPNP\\OTHER"}},
      {0, {"PCI\\VEN_11FE&DEV_0803", "ISAPNP\\NRV_D1003", "ISAPNP\\OTHER"}},
  };
  for (const auto& c : cases) {
    DeviceSet set = getClassDevices(kMultiportSerial, c.flags);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(memberIds(set), c.hardwareIds) << "flags " << c.flags;
    destroyDeviceSet(set);
  }
  OsGuid ports = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
  DeviceSet set = getClassDevices(ports, kDigcfPresent);
  EXPECT_EQ(memberIds(set).size(), 2u);
  destroyDeviceSet(set);
}

TEST(SimDevices, PropertiesOfABoard) {
  TestMachine machine(deviceNodesReg(boards()));
  DeviceSet set = getClassDevices(kMultiportSerial, kDigcfPresent);
  DeviceElement* first = newDeviceElement();
  DeviceElement* second = newDeviceElement();
  ASSERT_TRUE(enumDeviceInfo(set, 0, first));
  ASSERT_TRUE(enumDeviceInfo(set, 1, second));
  EXPECT_FALSE(enumDeviceInfo(set, 2, second));

  wchar_t text[64] = {};
  size_t units = 64;
  uint32_t type = 0;
  ASSERT_TRUE(getDevicePropertyText(set, first, kSpdrpService, &type, text, &units));
  EXPECT_EQ(std::wstring(text, units), std::wstring(L"ZephynPort\0", 11));
  EXPECT_EQ(type, kRegSz);
  units = 64;
  ASSERT_TRUE(getDevicePropertyText(set, first, kSpdrpHardwareId, &type, text, &units));
  EXPECT_EQ(type, kRegMultiSz);
  units = 5;
  EXPECT_FALSE(getDevicePropertyText(set, first, kSpdrpService, &type, text, &units));
  EXPECT_EQ(units, 11u) << "a short buffer reports the size needed";

  uint32_t ui = 0;
  ASSERT_TRUE(getDevicePropertyDword(set, first, kSpdrpUiNumber, &type, &ui));
  EXPECT_EQ(ui, 3u);
  EXPECT_EQ(type, kRegDword);
  EXPECT_FALSE(getDevicePropertyDword(set, second, kSpdrpUiNumber, &type, &ui))
      << "no UINumber value: the read fails";

  // Handles are never 0 and the same in every set and in the configuration manager.
  DeviceSet again = getClassDevices(kMultiportSerial, 0);
  DeviceElement* element = newDeviceElement();
  ASSERT_TRUE(enumDeviceInfo(again, 0, element));
  EXPECT_NE(deviceNodeOf(first), 0u);
  EXPECT_EQ(deviceNodeOf(element), deviceNodeOf(first));
  EXPECT_NE(deviceNodeOf(second), deviceNodeOf(first));
  wchar_t className[32] = {};
  units = 32;
  ASSERT_EQ(getDevNodePropertyText(deviceNodeOf(first), kCmDrpClass, className, &units),
            kCrSuccess);
  EXPECT_EQ(std::wstring(className), L"MultiPortSerial");
  for (DeviceElement* e : {first, second, element}) freeDeviceElement(e);
  destroyDeviceSet(set);
  destroyDeviceSet(again);
}

DevNode firstBoardNode() {
  DeviceSet set = getClassDevices(kMultiportSerial, kDigcfPresent);
  DeviceElement* element = newDeviceElement();
  enumDeviceInfo(set, 0, element);
  const DevNode node = deviceNodeOf(element);
  freeDeviceElement(element);
  destroyDeviceSet(set);
  return node;
}

TEST(SimDevices, ChildrenArePresentNodesWithThePrefixInUpperCasedOrder) {
  const std::string reg =
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\MULTIPORTSERIAL\\0000]\n"
      "\"ClassGUID\"=\"{50906cb8-ba12-11d1-bf5d-0000f805f530}\"\n"
      "\"ParentIdPrefix\"=\"7&ab&0\"\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\MULTIPORTSERIAL\\0000\\Control]"
      "\n";
  auto child = [](const std::string& name, bool present) {
    const std::string key =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ZP\\PORT\\" + name;
    return key + "]\n\"Class\"=\"Ports\"\n" + (present ? key + "\\Control]\n" : "");
  };
  TestMachine machine(reg + child("7&ab&0&2", true) + child("7&AB&0&10", true) +
                      child("7&ab&0&1", true) + child("7&ab&0&3", false) + child("7&ab&01", true) +
                      child("8&ab&0&0", true));
  const DevNode board = firstBoardNode();
  ASSERT_NE(board, 0u);
  std::vector<std::u16string> walked;
  DevNode node = 0;
  for (uint32_t status = getChildNode(&node, board); status == kCrSuccess;
       status = getSiblingNode(&node, node)) {
    std::u16string id;
    ASSERT_TRUE(nodeInstanceId(machine.machine(), node, &id));
    walked.push_back(id);
  }
  EXPECT_EQ(node, 0u);
  const std::vector<std::u16string> expected = {u"ZP\\PORT\\7&ab&0&1", u"ZP\\PORT\\7&AB&0&10",
                                                u"ZP\\PORT\\7&ab&0&2"};
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(getSiblingNode(&node, board), kCrNoSuchDevnode) << "a board is nobody's child";
}

TEST(SimDevices, DeviceNodeKeysAndFriendlyNames) {
  BoardFixture board = makeBoard("PCI\\VEN_11FE&DEV_0805\\1", "PCI\\VEN_11FE&DEV_0805");
  board.portNames = {"COM5"};
  TestMachine machine(deviceNodesReg({board}) +
                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ZP\\BARE\\8&b0&0&9]\n"
                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ZP\\BARE\\8&b0&0&9\\"
                      "Control]\n");
  DevNode port = 0;
  ASSERT_EQ(getChildNode(&port, firstBoardNode()), kCrSuccess);
  DevNode bare = 0;
  ASSERT_EQ(getSiblingNode(&bare, port), kCrSuccess);
  const struct {
    const char* what;
    DevNode node;
    uint32_t kind;
    uint32_t access;
    uint32_t status;
  } cases[] = {
      {"software key", port, kCmRegistrySoftware, kKeyRead, kCrSuccess},
      {"hardware key", port, kCmRegistryHardware, kKeyAllAccess, kCrSuccess},
      {"no Driver value", bare, kCmRegistrySoftware, kKeyRead, 0x2E},
      {"no Device Parameters", bare, kCmRegistryHardware, kKeyRead, 0x2E},
      {"no such node", 999, kCmRegistryHardware, kKeyRead, kCrNoSuchDevnode},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegKey key = nullptr;
    EXPECT_EQ(openDevNodeKey(c.node, c.access, 0, kRegDispositionOpenExisting, &key, c.kind),
              c.status);
    EXPECT_EQ(key != nullptr, c.status == kCrSuccess);
    if (key != nullptr) regCloseKey(key);
  }
  const std::wstring name = L"Norvane ZephynPort 0 (COM9)";
  EXPECT_EQ(setDevNodePropertyText(port, kCmDrpFriendlyName, name.c_str(), name.size() + 1),
            kCrSuccess);
  const std::string portKey = "SYSTEM\\CurrentControlSet\\Enum\\ZEPHYNPORT\\PORT\\8&b0&0&00";
  EXPECT_EQ(machine.text(portKey, "FriendlyName"), "Norvane ZephynPort 0 (COM9)");
}

TEST(SimDevices, ReadOnlyDeviceNodesOpenForReadingOnly) {
  BoardFixture board = makeBoard("PCI\\VEN_11FE&DEV_0805\\1", "PCI\\VEN_11FE&DEV_0805");
  board.portNames = {"COM5"};
  TestMachine machine(deviceNodesReg({board}) +
                      readOnlyReg({"SYSTEM\\CurrentControlSet\\Enum",
                                   "SYSTEM\\CurrentControlSet\\Control\\Class"}));
  DevNode port = 0;
  ASSERT_EQ(getChildNode(&port, firstBoardNode()), kCrSuccess);
  for (uint32_t kind : {kCmRegistryHardware, kCmRegistrySoftware}) {
    RegKey key = nullptr;
    // CR_NO_SUCH_REGISTRY_KEY, as for a key that is not there: no code tells rights apart.
    EXPECT_EQ(openDevNodeKey(port, kKeyAllAccess, 0, kRegDispositionOpenExisting, &key, kind),
              0x2Eu);
    ASSERT_EQ(openDevNodeKey(port, kKeyRead, 0, kRegDispositionOpenExisting, &key, kind),
              kCrSuccess);
    EXPECT_EQ(regSetDwordValue(key, L"Probe", 1), kOsAccessDenied);
    regCloseKey(key);
  }
  EXPECT_EQ(setDevNodePropertyText(port, kCmDrpFriendlyName, L"x", 2), 0x33u);
  EXPECT_EQ(
      machine.text("SYSTEM\\CurrentControlSet\\Enum\\ZEPHYNPORT\\PORT\\8&b0&0&00", "FriendlyName"),
      "Norvane ZephynPort 0 (COM5)");
}

std::string le(uint64_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  return bytes;
}

std::string full(uint32_t partials) {
  return le(1, 4) + le(0, 4) + le(1, 2) + le(1, 2) + le(partials, 4);
}
std::string io(uint64_t start, uint32_t length) {
  return le(1, 1) + le(1, 1) + le(5, 2) + le(start, 8) + le(length, 4) + le(0, 4);
}
std::string irq() { return le(2, 1) + le(1, 1) + le(0, 2) + le(5, 4) + le(5, 4) + le(~0u, 8); }

std::string hexOf(const std::string& bytes) {
  std::string out;
  char byte[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(bytes[i]));
    out += (i == 0 ? "" : ",") + std::string(byte);
  }
  return out;
}

TEST(SimDevices, AllocatedIoRangeOfTheFirstFullDescriptor) {
  const struct {
    const char* what;
    bool hasConfig;
    std::string list;
    bool hasIo;
    uint64_t base;
  } cases[] = {
      {"no allocated configuration", false, "", false, 0},
      {"one I/O range", true, le(1, 4) + full(1) + io(0x180, 8), true, 0x180},
      {"an interrupt before the range", true, le(1, 4) + full(2) + irq() + io(0x2A0, 8), true,
       0x2A0},
      {"two ranges: the first counts", true, le(1, 4) + full(2) + io(0x300, 8) + io(0x180, 8), true,
       0x300},
      {"only an interrupt", true, le(1, 4) + full(1) + irq(), false, 0},
      {"no full descriptor", true, le(0, 4), false, 0},
      {"a range in the second descriptor only", true,
       le(2, 4) + full(1) + irq() + full(1) + io(0x180, 8), false, 0},
      {"cut short in a partial descriptor", true, le(1, 4) + full(2) + io(0x180, 8), false, 0},
      {"cut short in the header", true, le(1, 4) + full(1).substr(0, 10), false, 0},
      {"shorter than its count", true, "\x01", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string reg =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\X\\0]\n"
        "\"ClassGUID\"=\"{50906CB8-BA12-11D1-BF5D-0000F805F530}\"\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\X\\0\\Control]\n";
    if (c.hasConfig) reg += "\"AllocConfig\"=hex(8):" + hexOf(c.list) + "\n";
    TestMachine machine(reg);
    LogConfHandle logConf = 0;
    ASSERT_EQ(getFirstLogConf(&logConf, firstBoardNode(), kAllocLogConf) == kCrSuccess,
              c.hasConfig);
    if (!c.hasConfig) continue;
    ResDesHandle resDes = 0;
    EXPECT_EQ(getNextResDes(&resDes, logConf, kResTypeIo) == kCrSuccess, c.hasIo);
    if (c.hasIo) {
      unsigned char data[68];
      std::memset(data, 0xEE, sizeof data);
      uint32_t size = 0;
      EXPECT_EQ(getResDesDataSize(&size, resDes), kCrSuccess);
      EXPECT_EQ(size, sizeof data);  // an IO_RESOURCE: its header and one range
      EXPECT_EQ(getResDesData(resDes, data, size - 1), kCrBufferSmall);
      ASSERT_EQ(getResDesData(resDes, data, sizeof data), kCrSuccess);
      uint64_t base = 0;
      uint64_t end = 0;
      std::memcpy(&base, data + 8, 8);
      std::memcpy(&end, data + 16, 8);
      EXPECT_EQ(base, c.base);
      EXPECT_EQ(end, c.base + 7);
      EXPECT_EQ(freeResDesHandle(resDes), kCrSuccess);
    }
    EXPECT_EQ(freeLogConfHandle(logConf), kCrSuccess);
  }
}

TEST(SimDevices, PropertyChangeRestartsAndItsKnob) {
  BoardFixture board =
      makeBoard("PCI\\VEN_11FE&DEV_0805\\4&1a2b3c&0&00E0", "PCI\\VEN_11FE&DEV_0805");
  const struct {
    const char* knob;
    bool attached;
    std::vector<std::string> log;
  } cases[] = {
      {"", true, {"restart PCI\\VEN_11FE&DEV_0805\\4&1a2b3c&0&00E0"}},
      {"\"PropertyChange\"=dword:00000001\n",
       true,
       {"restart PCI\\VEN_11FE&DEV_0805\\4&1a2b3c&0&00E0"}},
      {"\"PropertyChange\"=dword:00000000\n", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.knob);
    TestMachine machine(deviceNodesReg({board}) +
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\DeviceManager]\n" + c.knob);
    DeviceSet set = getClassDevices(kMultiportSerial, kDigcfPresent);
    DeviceElement* element = newDeviceElement();
    ASSERT_TRUE(enumDeviceInfo(set, 0, element));
    EXPECT_FALSE(changeDeviceState(set, element)) << "nothing attached yet";
    EXPECT_EQ(setPropertyChangeParams(set, element, kDicsPropChange, kDicsFlagGlobal, 0),
              c.attached);
    EXPECT_EQ(changeDeviceState(set, element), c.attached);
    EXPECT_EQ(machine.log(), c.log);
    freeDeviceElement(element);
    destroyDeviceSet(set);
  }
}

}  // namespace
