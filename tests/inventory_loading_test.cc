// Loading the settings store into the Inventory, and the defaults.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "inventory/discovery.h"
#include "inventory/inventory.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

// A section of the settings store: Parameters itself, or a key beneath it.
std::string storeKey(const std::string& sub, const std::string& values) {
  return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters" +
         (sub.empty() ? "" : "\\" + sub) + "]\n" + values;
}

std::string dword(const std::string& name, uint32_t value) {
  char line[64];
  std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name.c_str(), value);
  return line;
}

std::string text(const std::string& name, const std::string& value) {
  return "\"" + name + "\"=\"" + value + "\"\n";
}

std::vector<BoardFixture> pciBoards(const std::vector<const char*>& devices) {
  std::vector<BoardFixture> boards;
  for (const char* device : devices) {
    BoardFixture board;
    board.hardwareId = std::string("PCI\\VEN_11FE&DEV_") + device;
    char instance[32];  // device-manager order is the order of the instance ids
    std::snprintf(instance, sizeof instance, "PCI\\ZEPHYN\\%03zu", boards.size());
    board.instanceId = instance;
    board.nodeId = static_cast<uint32_t>(boards.size());
    boards.push_back(board);
  }
  return boards;
}

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

TEST(LoadSettings, BoardAndPortValues) {
  const std::string name70(70, 'N');
  TestMachine machine(
      deviceNodesReg(pciBoards({"0802", "0813", "0803", "0803", "0803", "0803"})) +
      storeKey("",
               dword("VerboseLog", 1) + dword("NumDevices", 9) + dword("GlobalRS485Options", 1)) +
      storeKey("Device0", dword("NumPorts", 4) + text("Name", name70) +
                              text("ModelName", std::string(55, 'M')) + dword("ModemDevice", 4) +
                              dword("IoAddress", 0x2A0)) +
      storeKey("Device0\\Port0", dword("WaitOnTx", 3) + dword("RS485Override", 2) +
                                     dword("RS485Low", 1) + dword("Map2StopsTo1", 0) +
                                     dword("MapCdToDsr", 0x11) + dword("RingEmulate", 3) +
                                     dword("BlockSerenum", 5) + dword("TxCloseTime", 30) +
                                     dword("LockBaud", 9600) + text("Name", "COM5")) +
      storeKey("Device0\\Port1", text("Name", "COM1234567890123456")) +
      storeKey("Device0\\Port4", dword("WaitOnTx", 1) + text("Name", "COM9")) +
      storeKey("Device2", dword("NumPorts", 0xFFFFFFFF)) +
      storeKey("Device3", dword("NumPorts", 65)) +
      storeKey("Device3\\Port63", text("Name", "COM99")) +
      storeKey("Device4", dword("NumPorts", 0x80000000)) +
      storeKey("Device5", text("Name", std::string(240, 'L'))));
  ASSERT_EQ(createInventory(), 0);
  ASSERT_EQ(buildInventory(), 0);
  const Inventory& inventory = *gInventory;
  EXPECT_EQ(inventory.verboseLog, 1u);
  EXPECT_EQ(inventory.scanRate, 0u);
  EXPECT_EQ(inventory.globalRS485Options, 1u);

  struct BoardCase {
    std::wstring displayName;
    std::wstring modelName;
    int32_t portCount;
    uint32_t modemKind;
  };
  const BoardCase boards[] = {
      {wide(std::string(63, 'N')), wide(std::string(49, 'M')), 4, 4},
      {L"ZN #2", L"ZephynModem", 8, 5},  // no board key: identification and defaults
      {L"ZN #3", L"ZephynPort", 8, 0},   // NumPorts negative as a signed number
      {L"ZN #4", L"ZephynPort", 64, 0},  // NumPorts above the 64 port slots
      {L"ZN #5", L"ZephynPort", 8, 0},
      {L"ZN #6", L"ZephynPort", 16, 0},  // a Name too long to read counts as missing
  };
  ASSERT_EQ(inventory.boardCount, 6);
  for (int i = 0; i < inventory.boardCount; ++i) {
    SCOPED_TRACE(i);
    const BoardRecord& board = inventory.boards[i];
    EXPECT_EQ(board.displayName, boards[i].displayName);
    EXPECT_EQ(board.modelName, boards[i].modelName);
    EXPECT_EQ(board.portCount, boards[i].portCount);
    EXPECT_EQ(board.modemKind, boards[i].modemKind);
    EXPECT_EQ(board.ioAddress, 1);
    EXPECT_EQ(board.keyName, L"Device" + std::to_wstring(i));
    EXPECT_EQ(board.deviceId, std::to_wstring(i));
  }

  struct PortCase {
    int board;
    int port;
    std::wstring comName;
    uint32_t flags;
    uint32_t txCloseTime;
    uint32_t lockBaud;
  };
  const PortCase ports[] = {
      {0, 0, L"COM5", kWaitOnTx | kRS485Low | kMapCdToDsr | kRingEmulate | kBlockSerenum, 30, 9600},
      {0, 1, L"COM123456789012", 0, 0, 0},  // cut to 15 characters
      {0, 2, L"", 0, 0, 0},                 // no port key
      {0, 4, L"", 0, 0, 0},                 // beyond NumPorts: not read
      {1, 0, L"", 0, 0, 0},
      {3, 63, L"COM99", 0, 0, 0},
  };
  for (const PortCase& c : ports) {
    SCOPED_TRACE(std::to_string(c.board) + "/" + std::to_string(c.port));
    const PortRecord& port = inventory.boards[c.board].ports[c.port];
    EXPECT_EQ(port.comName, c.comName);
    EXPECT_EQ(port.portFlags, c.flags);
    EXPECT_EQ(port.txCloseTime, c.txCloseTime);
    EXPECT_EQ(port.lockBaud, c.lockBaud);
  }
  releaseInventory();
}

TEST(LoadSettings, NoParametersKey) {
  TestMachine machine(deviceNodesReg(pciBoards({"0805", "080D"})));
  ASSERT_EQ(createInventory(), 0);
  ASSERT_EQ(buildInventory(), 0);
  EXPECT_EQ(gInventory->scanRate, 0u);
  EXPECT_EQ(gInventory->verboseLog, 0u);
  EXPECT_EQ(gInventory->boards[0].portCount, 8);
  EXPECT_EQ(gInventory->boards[0].displayName, std::wstring(L"ZN #1"));
  EXPECT_EQ(gInventory->boards[1].modelName, std::wstring(L"ZephynModem"));
  EXPECT_EQ(gInventory->boards[1].ioAddress, 0x1);
  EXPECT_EQ(gInventory->boards[1].ports[0].comName, std::wstring());
  releaseInventory();
}

}  // namespace
