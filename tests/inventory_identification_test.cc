// Hardware identification: ModelCode, bus, I/O base, port count and modem kind, and the
// model-name fallback.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inventory/discovery.h"
#include "inventory/identification.h"
#include "inventory/inventory.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

TEST(ModelCode, ParsedFromHardwareId) {
  struct Case {
    const wchar_t* hardwareId;
    int result;
    uint32_t code;
  };
  const Case cases[] = {
      {L"PCI\\VEN_11FE&DEV_0805&SUBSYS_000111FE", 0, 0x805},
      {L"PCI\\VEN_11FE&dev_0813", 0, 0x813},
      {L"PCI\\VEN_1D0F&DEV_0803", 0, 0xF},   // the first 'D' decides, even in the vendor part
      {L"ISA\\ZEPHYN_D1003", 0, 0x1003},     //
      {L"ROOT\\DEVICE_abc9Fz", 0, 0x9F},     // letters are passed over until a decimal digit
      {L"ROOT\\D0x12", 0, 0},                // hexadecimal digits only, from the first digit
      {L"ROOT\\D123456789", 0, 0x23456789},  // kept in 32 bits
      {L"PCI\\VEN_11FE", 1, 0},              // no 'D'
      {L"PCI\\VEN_11FE&DEV_ABC", 1, 0},      // no decimal digit after it
      {L"", 1, 0},
  };
  for (const Case& c : cases) {
    uint32_t code = 77;
    EXPECT_EQ(parseModelCode(&code, c.hardwareId), c.result);
    EXPECT_EQ(code, c.code) << std::wstring(c.hardwareId).size();
  }
  struct BusCase {
    const wchar_t* hardwareId;
    int32_t bus;
  };
  const BusCase buses[] = {{L"PCI\\VEN_11FE&DEV_0803", kBusPci},
                           {L"PCI\\ven_11fe&dev_0803", kBusOther},
                           {L"PCI\\Ven_11FE&DEV_0803", kBusOther},
                           {L"ISA\\ZEPHYN_D1003", kBusOther}};
  for (const BusCase& c : buses) {
    int32_t bus = 0;
    EXPECT_EQ(detectBus(&bus, c.hardwareId), c.bus == kBusPci ? 0 : 1);
    EXPECT_EQ(bus, c.bus);
  }
}

TEST(ModelCatalogue, LookupAndFallbackNames) {
  struct Case {
    uint32_t code;
    int selector;
    int result;
    uint32_t value;
  };
  const Case cases[] = {
      {0x805, kModelPortCount, 0, 8},
      {0x001, kModelPortCount, 0, 32},
      {0x80C, kModelModemKind, 0, 4},
      {0x00C, kModelModemKind, 0, 1},
      {0x804, kModelPortCount, 1, 8},
      {0x1003, kModelModemKind, 1, 0},
      {0x805, 2, 2, 123},  // another selector leaves the value alone
  };
  for (const Case& c : cases) {
    uint32_t value = 123;
    EXPECT_EQ(lookupModel(c.code, &value, c.selector), c.result) << c.code;
    EXPECT_EQ(value, c.value) << c.code;
  }
  EXPECT_STREQ(fallbackModelName(0x00E), L"ZephynPort Plus");
  EXPECT_STREQ(fallbackModelName(0x814), L"ZephynModem");
  EXPECT_STREQ(fallbackModelName(0x80E), L"ZephynPort");
  EXPECT_STREQ(fallbackModelName(0), L"ZephynPort");
}

// Resource-list bytes as .reg hex: one full descriptor holding `partials`.
std::string resourceListHex(const std::string& partials, uint32_t declared) {
  std::string bytes = std::string("\1\0\0\0\1\0\0\0\0\0\0\0\1\0\1\0", 16) +
                      std::string(1, static_cast<char>(declared)) + std::string(3, '\0') + partials;
  std::string hex;
  char byte[4];
  for (unsigned char b : bytes) {
    std::snprintf(byte, sizeof byte, hex.empty() ? "%02x" : ",%02x", b);
    hex += byte;
  }
  return hex;
}

TEST(Identification, BoardsFromTheirDeviceNodes) {
  struct Case {
    std::string hardwareId;
    std::optional<uint32_t> ioBase;
    std::optional<uint32_t> uiNumber;
    int result;
    uint32_t modelCode;
    int32_t portCount;
    uint32_t modemKind;
    int32_t ioAddress;  // 7 is what the record held before
    int queries;        // port-count exchanges with the driver
  };
  const Case cases[] = {
      {"PCI\\VEN_11FE&DEV_0803", {}, 3, 0, 0x803, 16, 0, 7, 0},
      {"PCI\\VEN_11FE&DEV_0813", {}, {}, 0, 0x813, 8, 5, 7, 0},
      {"PCI\\VEN_11FE", {}, {}, 0, 0, 8, 0, 1, 0},
      {"PCI\\ven_11fe&dev_0000", {}, {}, 0, 0, 8, 0, 7, 0},  // lower-case ven_ is not PCI
      {"ISA\\ZEPHYN_D1003", 0x180, {}, 0, 0x1003, 8, 0, 384, 0},
      {"ISA\\ZEPHYN_D1003", 0x100, {}, 0, 0x1003, 8, 0, 256, 0},
      {"ISA\\ZEPHYN_D1003", 0x3FF, {}, 0, 0x1003, 8, 0, 1023, 0},
      {"ISA\\ZEPHYN_D1003", 0x400, {}, 0, 0x1003, 8, 0, 0, 0},
      {"ISA\\ZEPHYN_D1003", 0xFF, {}, 0, 0x1003, 8, 0, 0, 0},
      {"ISA\\ZEPHYN_D1003", {}, {}, 0, 0x1003, 8, 0, 7, 0},   // no allocated configuration
      {"ISA\\ZEPHYN_D1003", {}, {}, 0, 0x1003, 8, 0, 7, 0},   // one without an I/O range
      {"ISA\\ZEPHYN_D1003", {}, {}, 0, 0x1003, 8, 0, 7, 0},   // one cut short
      {"ISA\\ZEPHYN_D0003", 0x180, {}, 0, 0x3, 16, 0, 7, 0},  // no I/O base of its own
      {"PCI\\VEN_11FE&DEV_0805", {}, 3, 0, 0x805, 6, 0, 7, 1},
      {"PCI\\VEN_11FE&DEV_080B", {}, 9, 0, 0x80B, 64, 0, 7, 1},  // 200 reported: cut to 64
      {"PCI\\VEN_11FE&DEV_0812", {}, 10, 0, 0x812, 8, 0, 7, 1},  // no count: the catalogue's
      {"PCI\\VEN_11FE&DEV_0805", {}, {}, 0, 0x805, 8, 0, 7, 0},  // no UI number: not asked
      {"PCI\\VEN_11FE&DEV_0803" + std::string(280, 'x'), {}, {}, 1, 0, 0, 0, 7, 0},
      {"PCI\\VEN_11FE&DEV_0803", {}, {}, 1, 0, 0, 0, 7, 0},  // stored as a number
  };
  std::vector<BoardFixture> boards;
  for (const Case& c : cases) {
    BoardFixture board;
    board.instanceId = "ROOT\\ZEPHYN\\" + std::to_string(100 + boards.size());
    board.hardwareId = c.hardwareId;
    board.ioBase = c.ioBase;
    board.uiNumber = c.uiNumber;
    boards.push_back(board);
  }
  const std::string enumKey =
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\ZEPHYN\\";
  const std::string interrupt = std::string("\2\1\0\0", 4) + std::string(16, '\0');
  TestMachine machine(
      deviceNodesReg(boards) + enumKey +
      "110\\Control]\n\"AllocConfig\"=hex(8):" + resourceListHex(interrupt, 1) + "\n" + enumKey +
      "111\\Control]\n\"AllocConfig\"=hex(8):" + resourceListHex(interrupt.substr(0, 10), 1) +
      "\n" + enumKey + "118]\n\"HardwareID\"=dword:00000803\n" +
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver\\PortCounts]\n"
      "\"3\"=dword:6\n\"9\"=dword:c8\n");
  ASSERT_EQ(createInventory(), 0);
  discoverBoards();
  ASSERT_EQ(gInventory->boardCount, static_cast<int>(std::size(cases)));
  for (int i = 0; i < gInventory->boardCount; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    gInventory->boards[i].ioAddress = 7;
    const std::vector<BoardRecord> before(gInventory->boards, gInventory->boards + kMaxBoards);
    machine.clearLog();
    EXPECT_EQ(identifyBoard(i), c.result);
    const BoardRecord& board = gInventory->boards[i];
    EXPECT_EQ(board.modelCode, c.modelCode);
    EXPECT_EQ(board.portCount, c.portCount);
    EXPECT_EQ(board.modemKind, c.modemKind);
    EXPECT_EQ(board.ioAddress, c.ioAddress);
    int queries = 0;
    for (const std::string& line : machine.log()) queries += line.rfind("ioctl", 0) == 0;
    EXPECT_EQ(queries, c.queries);
    for (int other = 0; other < kMaxBoards; ++other) {
      if (other == i) continue;
      EXPECT_EQ(std::memcmp(&before[other], &gInventory->boards[other], sizeof(BoardRecord)), 0)
          << "board " << other << " changed";
    }
  }
  // What readIoBase made of the allocated configurations: read, none, no I/O range, and a
  // list too short for its counts, which yields no I/O range either.
  const std::pair<int, int> ioBaseResults[] = {{4, 0}, {9, 1}, {10, 2}, {11, 2}};
  for (const auto& [board, result] : ioBaseResults) EXPECT_EQ(readIoBase(board), result) << board;
  releaseInventory();
}

}  // namespace
