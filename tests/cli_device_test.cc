// Device resolution and the get and enum reports, on a hand-filled Inventory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/device_resolution.h"
#include "cli/reports.h"
#include "inventory/inventory.h"
#include "platform/text.h"
#include "tests/support/harness.h"

namespace {

class InventoryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(createInventory(), 0); }
  void TearDown() override { releaseInventory(); }

  static BoardRecord& board(int index, const wchar_t* deviceId,
                            const std::vector<const wchar_t*>& comNames) {
    BoardRecord& record = gInventory->boards[index];
    copyText(record.deviceId, deviceId);
    record.portCount = static_cast<int32_t>(comNames.size());
    for (size_t i = 0; i < comNames.size(); ++i) copyText(record.ports[i].comName, comNames[i]);
    return record;
  }

  static std::string report(const DeviceRef& ref) {
    OutputCapture capture;
    EXPECT_EQ(printDeviceReport(ref), 0);
    return capture.text();
  }

  static std::string enumReport() {
    OutputCapture capture;
    EXPECT_EQ(printEnumReport(), 0);
    return capture.text();
  }
};

// --- Resolution -----------------------------------------------------------------------

class ResolutionTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    gInventory->boardCount = 3;
    board(0, L"0", {L"COM5", L"COM3", L"COM3", L"1"});
    copyText(gInventory->boards[0].ports[4].comName, L"COM8");  // beyond portCount
    board(1, L"1", {L"COM7", L"COM5"});
    board(2, L"2", {});
    copyText(gInventory->boards[2].ports[0].comName, L"COM6");  // beyond portCount
    board(3, L"3", {L"COM4"});                                  // beyond boardCount
  }

  static int resolve(const wchar_t* name, DeviceRef* ref, std::string* out) {
    OutputCapture capture;
    const int result = resolveDevice(name, ref);
    *out = capture.text();
    return result;
  }
};

TEST_F(ResolutionTest, FirstMatchInBoardThenPortOrder) {
  struct Case {
    const wchar_t* name;
    int32_t kind, boardIndex, portIndex;
  } const cases[] = {
      {L"COM5", 2, 0, 0},  {L"com5", 2, 0, 0},  {L"Com5", 2, 0, 0},
      {L"COM3", 2, 0, 1},  // duplicate names: the lower port index
      {L"1", 2, 0, 3},     // board 0's ports come before board 1's id
      {L"COM7", 2, 1, 0},  {L"0", 1, 0, 0},     {L"2", 1, 2, 0},     // a board without ports
      {L"COM8", 0, 0, 0},                                            // port beyond portCount
      {L"COM6", 0, 0, 0},  {L"3", 0, 0, 0},     {L"COM4", 0, 0, 0},  // beyond boardCount
      {L"00", 0, 0, 0},    {L"COM05", 0, 0, 0}, {L"", 0, 0, 0},
      {L"COM5 ", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "name " << c.name);
    DeviceRef ref{};
    std::string out;
    const int result = resolve(c.name, &ref, &out);
    EXPECT_EQ(result, c.kind == 0 ? 2 : 0);
    EXPECT_EQ(out, c.kind == 0 ? "unknown device!\n" : "");
    EXPECT_EQ(ref.kind, c.kind);
    EXPECT_EQ(ref.boardIndex, c.boardIndex);
    EXPECT_EQ(ref.portIndex, c.portIndex);
  }
}

TEST_F(ResolutionTest, CountsOutsideTheSlotsAreNeverFollowed) {
  // Counts that cannot occur after loading must still keep the search inside the 64
  // boards and 64 ports that exist (the sanitizer reports any step beyond).
  struct Case {
    int32_t boardCount;
    int32_t portCount;
  } const cases[] = {{1000, 8}, {-1, 8}, {1, 1000}, {1, -4}, {64, 64}};
  for (const Case& c : cases) {
    gInventory->boardCount = c.boardCount;
    gInventory->boards[0].portCount = c.portCount;
    DeviceRef ref{};
    std::string out;
    EXPECT_EQ(resolve(L"COMX", &ref, &out), 2) << c.boardCount << " " << c.portCount;
    EXPECT_EQ(out, "unknown device!\n");
  }
}

// --- Reports --------------------------------------------------------------------------

const char kLaborOmega[] =
    "L\xC3\xA4"
    "bor \xCE\xA9";

TEST_F(InventoryTest, BoardReport) {
  gInventory->boardCount = 2;
  gInventory->scanRate = 10;
  BoardRecord& first = board(0, L"0", {L"COM5", L"COM6"});
  copyText(first.displayName, L"L\u00e4bor \u03a9");
  copyText(first.modelName, L"Model 8P");
  board(1, L"1", {});
  copyText(gInventory->boards[1].modelName, L"Model 4I");
  copyText(gInventory->boards[1].displayName, L"ZN #2");

  const std::string pciHead = std::string(
                                  "Board settins:\n"
                                  "    Summary                                : Model 8P - 2  PCI\n"
                                  "    Display Name                           : ") +
                              kLaborOmega + "\n";
  const std::string isaHead =
      "Board settins:\n"
      "    Summary                                : Model 8P - 2  ISA\n"
      "    Display Name                           : " +
      std::string(kLaborOmega) + "\n";
  const std::string tail =
      "    Starting COM Port                      : COM5\n"
      "    Scan Rate (ms)                         : 10\n"
      "    Verbose Event Log                      : off\n"
      "    Enable RS-485 Options for All Devices  : off\n"
      "\n";
  struct Case {
    int32_t ioAddress;
    std::string expected;
  } const cases[] = {
      {1, pciHead + tail},
      {0x180, isaHead + "    I/O Base Address                       : 0x180\n" + tail},
      {256, isaHead + "    I/O Base Address                       : 0x100\n" + tail},
      {255, isaHead + tail},
      {0, isaHead + tail},
  };
  for (const Case& c : cases) {
    first.ioAddress = c.ioAddress;
    const std::string out = report({1, 0, 0});
    EXPECT_EQ(out, c.expected) << c.ioAddress;
  }

  // Driver-wide switches: any non-zero value is on; the scan rate prints signed.
  first.ioAddress = 1;
  gInventory->scanRate = 0xFFFFFFFF;
  gInventory->verboseLog = 5;
  gInventory->globalRS485Options = 2;
  EXPECT_EQ(report({1, 0, 0}), pciHead +
                                   "    Starting COM Port                      : COM5\n"
                                   "    Scan Rate (ms)                         : -1\n"
                                   "    Verbose Event Log                      : on\n"
                                   "    Enable RS-485 Options for All Devices  : on\n"
                                   "\n");

  // A board without ports shows its (empty) port record 0.
  gInventory->boards[1].ioAddress = 0x2A0;
  EXPECT_EQ(report({1, 1, 0}),
            "Board settins:\n"
            "    Summary                                : Model 4I - 0  ISA\n"
            "    Display Name                           : ZN #2\n"
            "    I/O Base Address                       : 0x2a0\n"
            "    Starting COM Port                      : \n"
            "    Scan Rate (ms)                         : -1\n"
            "    Verbose Event Log                      : on\n"
            "    Enable RS-485 Options for All Devices  : on\n"
            "\n");
}

TEST_F(InventoryTest, PortReport) {
  gInventory->boardCount = 1;
  board(0, L"0", {L"COM5", L"COM1023"});
  PortRecord& port = gInventory->boards[0].ports[1];

  const std::string rs485Lines =
      "  Override and lock to RS-485 toggle mode              : on\n"
      "  RS-485 Toggle RTS Low                                : off\n";
  const std::string allOff =
      "Timeout on transmit data on port close                 : 0 sec\n"
      "Map CD to DSR                                          : off\n"
      "Map 2 stop bits to 1                                   : off\n"
      "Wait on physical transmission before completing write  : off\n"
      "Emulate modem hardware RING signal                     : off\n"
      "Block Plug-N-Play search for attached serial device    : off\n"
      "\n";
  const std::string name = "COM name                                               : COM1023\n";
  const std::string none = "Override and lock baud rate to                         : none\n";
  struct Case {
    uint32_t globalRs485;
    uint32_t flags;
    uint32_t lockBaud;
    uint32_t txCloseTime;
    std::string expected;
  } const cases[] = {
      {0, kRS485Override, 0, 0, name + none + allOff},
      {1, kRS485Override, 0, 0, name + rs485Lines + none + allOff},
      {2, kRS485Override, 0, 0, name + rs485Lines + none + allOff},
      {0, 0, 115200, 0,
       name + "Override and lock baud rate to                         : 115200\n" + allOff},
      {0, kAllPortFlags & ~(kRS485Override | kRS485Low), 0xFFFFFFFF, 0xFFFFFFFF,
       name + "Override and lock baud rate to                         : 4294967295\n" +
           "Timeout on transmit data on port close                 : 4294967295 sec\n"
           "Map CD to DSR                                          : on\n"
           "Map 2 stop bits to 1                                   : on\n"
           "Wait on physical transmission before completing write  : on\n"
           "Emulate modem hardware RING signal                     : on\n"
           "Block Plug-N-Play search for attached serial device    : on\n"
           "\n"},
  };
  for (const Case& c : cases) {
    gInventory->globalRS485Options = c.globalRs485;
    port.portFlags = c.flags;
    port.lockBaud = c.lockBaud;
    port.txCloseTime = c.txCloseTime;
    const std::string out = report({2, 0, 1});
    EXPECT_EQ(out, c.expected) << c.globalRs485 << " " << c.flags << " " << c.lockBaud;
  }
}

TEST_F(InventoryTest, DeviceReportOfNoDevice) {
  gInventory->boardCount = 1;
  board(0, L"0", {L"COM5"});
  const DeviceRef refs[] = {{0, 0, 0}, {3, 0, 0}, {1, 1, 0}, {1, -1, 0}, {2, 0, 1}, {2, 0, 64}};
  for (const DeviceRef& ref : refs) {
    EXPECT_EQ(report(ref), " Unknown device! \n") << ref.kind << ref.boardIndex << ref.portIndex;
  }
}

TEST_F(InventoryTest, EnumerationReport) {
  EXPECT_EQ(enumReport(), "");  // no board: nothing at all

  gInventory->boardCount = 3;
  BoardRecord& first = board(0, L"0", {L"COM3", L"COM12345678", L"com1023"});
  copyText(first.displayName, L"L\u00e4bor \u03a9");
  board(1, L"1", {});
  copyText(gInventory->boards[1].displayName, L"ZN #2");
  std::vector<const wchar_t*> eleven(11, L"COM9");
  board(2, L"2", eleven);
  copyText(gInventory->boards[2].displayName, L"ZN #3");

  std::string expected = std::string(
                             "==========================================\n"
                             "device ID    : 0\n"
                             "display name : ") +
                         kLaborOmega +
                         "\n"
                         "  Norvane ZephynPort 00        COM3 \n"
                         "  Norvane ZephynPort 01        COM1234 \n"
                         "  Norvane ZephynPort 02        com1023 \n"
                         "\n"
                         "==========================================\n"
                         "device ID    : 1\n"
                         "display name : ZN #2\n"
                         "\n"
                         "==========================================\n"
                         "device ID    : 2\n"
                         "display name : ZN #3\n";
  for (int i = 0; i < 11; ++i) {
    expected += "  Norvane ZephynPort " + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                "        COM9 \n";
  }
  expected += "\n";
  const std::string out = enumReport();
  EXPECT_EQ(out, expected);

  // The port report prints the whole name that the enumeration cuts.
  EXPECT_EQ(report({2, 0, 1}).substr(0, 69),
            "COM name                                               : COM12345678\n");
}

TEST(WithoutInventory, NothingIsFoundOrReported) {
  OutputCapture capture;
  DeviceRef ref{};
  EXPECT_EQ(resolveDevice(L"0", &ref), 2);
  EXPECT_EQ(printEnumReport(), 1);
  EXPECT_EQ(printDeviceReport({1, 0, 0}), 1);
  EXPECT_EQ(capture.text(), "unknown device!\n");
}

}  // namespace
