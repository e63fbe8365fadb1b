// Discovery of the adapter boards and the whole build of the Inventory.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "inventory/discovery.h"
#include "inventory/inventory.h"
#include "platform/os_process.h"
#include "platform/sim/machine.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

BoardFixture board(int index, const char* device, std::optional<uint32_t> nodeId,
                   const char* service = "ZephynPort") {
  BoardFixture fixture;
  char instance[32];  // device-manager order is the order of the instance ids
  std::snprintf(instance, sizeof instance, "PCI\\ZEPHYN\\%03d", index);
  fixture.instanceId = instance;
  fixture.hardwareId = std::string("PCI\\VEN_11FE&DEV_") + device;
  fixture.nodeId = nodeId;
  fixture.service = service;
  return fixture;
}

TEST(Discovery, ServiceFilterAndKeyNames) {
  std::vector<BoardFixture> devices = {
      board(0, "0801", 5u),
      board(1, "0802", 6u, "Serial"),  // another driver's device of the class
      board(2, "0803", std::nullopt, "ZEPHYNPORT"),
      board(3, "0804", std::nullopt),
      board(4, "0805", 0xFFFFFFFFu),
      board(5, "0811", 7u),
  };
  devices[5].present = false;
  // The node ids live in the boards' software keys, which a user without administrator
  // rights may only read: that must be enough.
  TestMachine machine(deviceNodesReg(devices) +
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Registry]\n"
                      "\"ReadOnly\"=hex(7):53,00,59,00,53,00,54,00,45,00,4d,00,00,00,00,00\n");
  ASSERT_EQ(createInventory(), 0);
  ASSERT_EQ(buildInventory(), 0);
  struct Expected {
    const wchar_t* deviceId;
    const wchar_t* keyName;
    uint32_t modelCode;
  };
  const Expected boards[] = {
      {L"0", L"Device5", 0x801},
      {L"1", L"Device0", 0x803},  // no NrvNodeId
      {L"2", L"Device0", 0x804},
      {L"3", L"Device-1", 0x805},
  };
  ASSERT_EQ(gInventory->boardCount, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(gInventory->boards[i].deviceId, boards[i].deviceId);
    EXPECT_STREQ(gInventory->boards[i].keyName, boards[i].keyName);
    EXPECT_EQ(gInventory->boards[i].modelCode, boards[i].modelCode);
  }
  EXPECT_EQ(gInventory->boards[4].deviceInfo, nullptr);
  EXPECT_TRUE(currentMachine()->keys.empty()) << "every key read is closed again";
  releaseInventory();
  EXPECT_EQ(currentMachine()->openHandleSummary(), "");
}

TEST(Discovery, NoAdapterReadsNoSettings) {
  TestMachine machine(deviceNodesReg({board(0, "0801", 0u, "Serial")}));
  ASSERT_EQ(beginPlatform(), 0);
  ASSERT_EQ(createInventory(), 0);
  EXPECT_EQ(buildInventory(), 1);
  EXPECT_EQ(gInventory->boardCount, 0);
  releaseInventory();
  endPlatform();
  EXPECT_EQ(machine.log(), std::vector<std::string>{"end registry-calls=0"});
}

TEST(Discovery, SixtyFourBoardsOfSixtyFourPorts) {
  std::vector<BoardFixture> devices;
  std::string store;
  for (int b = 0; b <= kMaxBoards; ++b) {
    devices.push_back(board(b, "0801", static_cast<uint32_t>(b)));
    const std::string key =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters\\Device" +
        std::to_string(b);
    store += key + "]\n\"NumPorts\"=dword:00000040\n";
    for (int p = 0; p < kMaxPorts; ++p) {
      store += key + "\\Port" + std::to_string(p) + "]\n\"Name\"=\"COM" +
               std::to_string(b * kMaxPorts + p + 1) + "\"\n\"LockBaud\"=dword:00000001\n";
    }
  }
  TestMachine machine(deviceNodesReg(devices) + store);
  ASSERT_EQ(createInventory(), 0);
  ASSERT_EQ(buildInventory(), 0);
  ASSERT_EQ(gInventory->boardCount, kMaxBoards);
  int loaded = 0;
  for (int b = 0; b < kMaxBoards; ++b) {
    const BoardRecord& record = gInventory->boards[b];
    EXPECT_EQ(record.keyName, L"Device" + std::to_wstring(b));
    EXPECT_EQ(record.portCount, kMaxPorts);
    for (int p = 0; p < kMaxPorts; ++p) {
      loaded += record.ports[p].comName == L"COM" + std::to_wstring(b * kMaxPorts + p + 1) &&
                record.ports[p].lockBaud == 1;
    }
  }
  EXPECT_EQ(loaded, kMaxBoards * kMaxPorts);
  releaseInventory();
}

}  // namespace
