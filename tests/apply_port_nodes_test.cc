// Port device nodes and the board restart, on boards found by discovery: which child
// nodes count as ports, what is written to them, and what is left alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "apply/port_nodes.h"
#include "inventory/discovery.h"
#include "inventory/inventory.h"
#include "platform/sim/machine.h"
#include "platform/text.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

const char kPortClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
const std::string kBoard0 = "PCI\\VEN_11FE&DEV_0810\\4&1a2b3c&0&00E0";
const std::string kBoard1 = "PCI\\VEN_11FE&DEV_0810\\4&1a2b3c&0&00E8";

std::string hardwareKey(int board, int port) {
  return portNode(board, port) + "\\Device Parameters";
}

std::string utf16Hex(const std::string& ascii) {
  std::string out;
  char byte[8];
  for (char c : ascii) {
    std::snprintf(byte, sizeof byte, "%s%02x,00", out.empty() ? "" : ",", c);
    out += byte;
  }
  return out;
}

// A child of board 0 beyond its real ports, PortName "XX" and FriendlyName "untouched";
// `matchingId` is a .reg value (quoted, or hex(1):...).
std::string extraChild(int slot, const std::string& className, const std::string& matchingId,
                       bool present = true) {
  const std::string node = "\n[HKEY_LOCAL_MACHINE\\" + portNode(0, slot);
  const std::string driver = "09" + std::to_string(slot);
  return node + "]\n\"Class\"=\"" + className + "\"\n\"Driver\"=\"" + kPortClass + "\\\\" + driver +
         "\"\n\"FriendlyName\"=\"untouched\"\n" + (present ? node + "\\Control]\n" : "") + node +
         "\\Device Parameters]\n\"PortName\"=\"XX\"\n" +
         "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + kPortClass + "\\" +
         driver + "]\n\"MatchingDeviceId\"=" + matchingId + "\n";
}

// 120 units without a terminator fill the 240-byte buffer: no id. 119 fit with one.
const std::string kFillsBuffer = "hex(1):" + utf16Hex("nrvport1" + std::string(112, 'x'));
const std::string kFitsBuffer = "hex(1):" + utf16Hex("nrvport3" + std::string(111, 'x'));

BoardFixture board(const std::string& instanceId, uint32_t nodeId,
                   const std::vector<std::string>& portNames) {
  BoardFixture fixture;
  fixture.instanceId = instanceId;
  fixture.hardwareId = "PCI\\VEN_11FE&DEV_0810";
  fixture.nodeId = nodeId;
  fixture.portNames = portNames;
  return fixture;
}

// Two 4-port boards; board 0 has port nodes COM3..COM6 and the extra children below.
std::string machineText() {
  return deviceNodesReg({board(kBoard0, 0, {"COM3", "COM4", "COM5", "COM6"}),
                         board(kBoard1, 1, {"COM7", "COM8", "COM9", "COM10"})}) +
         extraChild(10, "ports", "\"nrvport1\"") + extraChild(11, "Ports", "\"serialport1\"") +
         extraChild(12, "Ports", "\"nrvport4294967296\"") +
         extraChild(13, "Ports", "\"nrvport4\"") +
         extraChild(14, "Ports", "\"nrvport2\"", /*present=*/false) +
         extraChild(15, "Ports", kFillsBuffer) + extraChild(16, "Ports", kFitsBuffer);
}

class PortNodesTest : public ::testing::Test {
 protected:
  PortNodesTest() : machine_(machineText()) {}
  void SetUp() override {
    ASSERT_EQ(createInventory(), 0);
    ASSERT_EQ(buildInventory(), 0);
    ASSERT_EQ(gInventory->boardCount, 2);
    // The Inventory's names, as a set would leave them.
    const wchar_t* names[2][4] = {{L"COM3", L"COM4", L"COM5", L"COM6"},
                                  {L"COM21", L"COM22", L"COM23", L"COM24"}};
    for (int b = 0; b < 2; ++b) {
      for (int j = 0; j < 4; ++j) copyText(gInventory->boards[b].ports[j].comName, names[b][j]);
    }
    // Port 0 differs only in case, port 1 has no PortName, port 2 a stale one.
    machine_.setText(hardwareKey(0, 0), "PortName", "com3");
    Registry& registry = machine_.machine().registry;
    registry.removeValue(registry.findKey(u"SYSTEM\\CurrentControlSet\\Enum\\ZEPHYNPORT\\PORT\\"
                                          u"8&b0&0&01\\Device Parameters"),
                         u"PortName");
    machine_.setText(hardwareKey(0, 2), "PortName", "COM99");
    // Port 3's node is replaced by a later child of the same index, so this stays.
    machine_.setText(hardwareKey(0, 3), "PortName", "stale");
    for (int j = 0; j < 4; ++j) machine_.setText(portNode(0, j), "FriendlyName", "old");
  }
  void TearDown() override { releaseInventory(); }

  TestMachine machine_;
};

TEST_F(PortNodesTest, PortNamesFollowTheInventoryAndFriendlyNamesOnlyInMode0) {
  updatePortDeviceNodes(kUpdatePortNameOnly, 0);
  const char* expectedPortNames[] = {"com3", "COM4", "COM5", "stale"};
  for (int j = 0; j < 4; ++j) {
    SCOPED_TRACE(j);
    EXPECT_NE(gInventory->boards[0].ports[j].devNode, 0u);
    EXPECT_EQ(machine_.text(hardwareKey(0, j), "PortName"), expectedPortNames[j]);
    EXPECT_EQ(machine_.text(portNode(0, j), "FriendlyName"), "old");
  }

  updatePortDeviceNodes(kUpdateFriendlyNameAndPortName, 0);
  const char* friendly[] = {"Norvane ZephynPort 0 (COM3)", "Norvane ZephynPort 1 (COM4)",
                            "Norvane ZephynPort 2 (COM5)", "old"};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(machine_.text(portNode(0, j), "FriendlyName"), friendly[j]) << j;
  }
  // The child whose id fits the buffer unterminated stands for port 3.
  EXPECT_EQ(machine_.text(hardwareKey(0, 16), "PortName"), "COM6");
  EXPECT_EQ(machine_.text(portNode(0, 16), "FriendlyName"), "Norvane ZephynPort 3 (COM6)");
}

TEST_F(PortNodesTest, ChildrenThatAreNoPortsOfTheBoardAreLeftAlone) {
  updatePortDeviceNodes(kUpdateFriendlyNameAndPortName, 0);
  // Class in another case, no "nrvport", an index of 2^32, an index at portCount, a
  // child that is not present, an id that fills its buffer with no terminator.
  for (int slot : {10, 11, 12, 13, 14, 15}) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(machine_.text(hardwareKey(0, slot), "PortName"), "XX");
    EXPECT_EQ(machine_.text(portNode(0, slot), "FriendlyName"), "untouched");
  }
  // The other board's nodes, although its comNames differ from them.
  for (int j = 0; j < 4; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(gInventory->boards[1].ports[j].devNode, 0u);
    EXPECT_EQ(machine_.text(hardwareKey(1, j), "PortName"), "COM" + std::to_string(7 + j));
  }
  EXPECT_EQ(machine_.text(portNode(1, 0), "FriendlyName"), "Norvane ZephynPort 0 (COM7)");
}

TEST_F(PortNodesTest, MappingClearsPortsWhoseNodesAreGone) {
  mapPortDeviceNodes(0);
  ASSERT_NE(gInventory->boards[0].ports[0].devNode, 0u);
  machine_.deleteKey(portNode(0, 0) + "\\Control");
  mapPortDeviceNodes(0);
  EXPECT_EQ(gInventory->boards[0].ports[0].devNode, 0u);
  EXPECT_NE(gInventory->boards[0].ports[1].devNode, 0u);
}

TEST_F(PortNodesTest, RestartOnlyWhenPropertyChangeCanBeAttached) {
  EXPECT_EQ(restartBoardDevice(1), kRestarted);
  EXPECT_EQ(machine_.log(), std::vector<std::string>{"restart " + kBoard1});
  machine_.clearLog();
  machine_.setDword("SOFTWARE\\ZephynSim\\DeviceManager", "PropertyChange", 0);
  EXPECT_EQ(restartBoardDevice(1), kRestartFailed);
  EXPECT_TRUE(machine_.log().empty());
}

}  // namespace
