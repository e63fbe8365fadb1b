// The driver control channel: open, text commands and their replies, the port-count
// query, against the simulated driver.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver/driver_channel.h"
#include "inventory/discovery.h"
#include "inventory/inventory.h"
#include "platform/code_pages.h"
#include "platform/text.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

const char kDriverKnobs[] = "SOFTWARE\\ZephynSim\\Driver";
const std::string kOpen = "open \\\\.\\zephyn";
const std::string kClose = "close \\\\.\\zephyn";

// A channel opened on the control device with a 200-byte command buffer and its header.
struct CommandChannel {
  unsigned char buffer[kCommandBufferSize] = {};
  DriverChannel channel{};
  int openStatus;
  CommandChannel() {
    buffer[0] = kTextCommandType;
    openStatus = openDriverChannel(&channel);
    channel.buffer = buffer;
    channel.bufferSize = kCommandExchangeSize;
  }
  ~CommandChannel() {
    if (openStatus == kDriverOk) closeOsHandle(channel.handle);
  }
};

TEST(DriverCommand, ReplyCodes) {
  TestMachine machine("");
  struct Case {
    const char* reply;  // nullptr: the driver writes no reply
    int result;
  };
  // clang-format off
  const Case cases[] = {
      {"x: 52", 0}, {"x:-12", -12}, {"x:   7ms", 7}, {"x:0", 0}, {"x:abc", 0}, {"x:+5", 0},
      {"a:3:52", 3}, {"x 52", 257}, {"x:99999999999", 2147483647},
      {"x:-99999999999", -2147483647 - 1},
      {nullptr, 257},  // the command text stays in place, and holds no ':'
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply != nullptr ? c.reply : "no reply");
    machine.setDword(kDriverKnobs, "NoReply", c.reply == nullptr ? 1 : 0);
    if (c.reply != nullptr) machine.setText(kDriverKnobs, "Reply", c.reply);
    CommandChannel command;
    ASSERT_EQ(command.openStatus, kDriverOk);
    EXPECT_EQ(sendSettingCommand(&command.channel, kGlobalCommand, 0, 0, L"ScanRate", L"10"),
              c.result);
  }

  // The walk for ':' ends with the bytes exchanged, whatever lies beyond them.
  machine.setDword(kDriverKnobs, "NoReply", 0);
  machine.setText(kDriverKnobs, "Reply", std::string(200, 'x'));
  CommandChannel command;
  std::memcpy(command.buffer + kCommandExchangeSize, ":52", 4);
  EXPECT_EQ(sendSettingCommand(&command.channel, kGlobalCommand, 0, 0, L"ScanRate", L"10"), 257);

  machine.setDword(kDriverKnobs, "FailExchange", 1);
  EXPECT_EQ(sendSettingCommand(&command.channel, kGlobalCommand, 0, 0, L"ScanRate", L"10"), 256);
}

TEST(DriverCommand, GlobalCommandBytes) {
  TestMachine machine("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\n\"NoReply\"=dword:1\n");
  CommandChannel command;
  machine.clearLog();
  sendSettingCommand(&command.channel, kGlobalCommand, 0, 0, L"ScanRate", L"10");
  unsigned char expected[28] = {14};
  std::memcpy(expected + 16, "ScanRate=10", 12);
  EXPECT_EQ(std::memcmp(command.buffer, expected, sizeof expected), 0);
  EXPECT_EQ(machine.log(),
            std::vector<std::string>{"ioctl 0x1B2010 in=184 out=184 type=14 text=\"ScanRate=10\""});
}

// U+1F600 as its two UTF-16 units.
const wchar_t kPair[] = {wchar_t(0xD83D), wchar_t(0xDE00), L'\0'};

std::wstring repeat(const wchar_t* text, int times) {
  std::wstring out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(DriverCommand, CommandForms) {
  TestMachine machine("");
  ASSERT_EQ(createInventory(), 0);
  copyText(gInventory->boards[0].keyName, L"Device0");
  copyText(gInventory->boards[1].keyName, L"Device-1");
  struct Case {
    int selector;
    int board;
    int port;
    const wchar_t* name;
    std::wstring value;
    uint32_t bufferSize;
    std::optional<std::string> logged;  // the text the driver received; none: nothing sent
  };
  const Case cases[] = {
      {kBoardCommand, 0, 0, L"Name", L"Lab rack", 184, "device[Device0].Name=Lab rack"},
      {kPortCommand, 0, 4, L"WaitOnTx", L"1", 184, "device[Device0].port[4].WaitOnTx=1"},
      {kPortCommand, 1, 0, L"Name", L"COM7", 184, "device[Device-1].port[0].Name=COM7"},
      // A value whose ANSI form needs more than 79 bytes is cut to 79, still terminated.
      {kGlobalCommand, 0, 0, L"ScanRate", std::wstring(100, L'v'), 184,
       "ScanRate=" + std::string(79, 'v')},
      // A character outside the code page is one '?', also when it takes two units: the
      // cut keeps as many whole characters as fit, and never half a pair.
      {kGlobalCommand, 0, 0, L"ScanRate", std::wstring(78, L'v') + kPair + L"b", 184,
       "ScanRate=" + std::string(78, 'v') + "?"},
      {kGlobalCommand, 0, 0, L"ScanRate", repeat(kPair, 90), 184,
       "ScanRate=" + std::string(79, '?')},
      {kGlobalCommand, 0, 0, L"ScanRate", std::wstring(79, L'v') + kPair, 184,
       "ScanRate=" + std::string(79, 'v')},
      // The text is bounded by the exchange size from offset 16: 29 bytes and a NUL fit
      // (the driver sees the first 14 of them), 29 bytes alone do not, and it goes out empty.
      {kBoardCommand, 0, 0, L"Name", L"Lab rack", 30, "device[Device0"},
      {kBoardCommand, 0, 0, L"Name", L"Lab rack", 29, ""},
      {4, 0, 0, L"Name", L"x", 184, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bufferSize);
    CommandChannel command;
    command.channel.bufferSize = c.bufferSize;
    machine.clearLog();
    int result =
        sendSettingCommand(&command.channel, c.selector, c.board, c.port, c.name, c.value.c_str());
    if (!c.logged) {
      EXPECT_EQ(result, kDriverUnknownForm);
      EXPECT_TRUE(machine.log().empty());
      continue;
    }
    ASSERT_EQ(machine.log().size(), 1u);
    const std::string line = machine.log()[0];
    EXPECT_EQ(line.substr(line.find(" text=") + 6), "\"" + *c.logged + "\"");
  }
  releaseInventory();
}

// Windows fails the whole conversion (every field would go out empty) when a code page
// that takes no flags, UTF-8 among them, gets WC_NO_BEST_FIT_CHARS.
TEST(DriverCommand, ConversionFlagsByCodePage) {
  struct Case {
    uint32_t codePage;
    uint32_t flags;
  };
  const Case cases[] = {
      {1252, kNoBestFitChars},
      {932, kNoBestFitChars},
      {65001, 0},
      {54936, 0},
      {50229, 0},
      {50223, kNoBestFitChars},
      {57011, 0},
      {57012, kNoBestFitChars},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ansiConversionFlags(c.codePage), c.flags) << c.codePage;
  }
}

TEST(DriverOpen, AbsentDriver) {
  TestMachine machine(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\n\"ControlDevice\"=dword:0\n");
  DriverChannel channel{};
  EXPECT_EQ(openDriverChannel(&channel), kDriverOpenFailed);
  EXPECT_EQ(channel.handle, kInvalidOsHandle);
  // A handle held at entry is not opened again: an unusable one gives 7.
  EXPECT_EQ(openDriverChannel(&channel), kDriverBadHandle);
  EXPECT_EQ(machine.log(), std::vector<std::string>{"open-failed \\\\.\\zephyn"});
}

TEST(DriverPortCount, QueriesByUiNumber) {
  std::vector<BoardFixture> boards(5);
  const std::optional<uint32_t> uiNumbers[] = {3, std::nullopt, 4, 5, 7};
  for (size_t i = 0; i < boards.size(); ++i) {
    boards[i].instanceId = "PCI\\VEN_11FE&DEV_0805\\" + std::to_string(i);
    boards[i].hardwareId = "PCI\\VEN_11FE&DEV_0805";
    boards[i].uiNumber = uiNumbers[i];
  }
  TestMachine machine(deviceNodesReg(boards) +
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver\\PortCounts]\n"
                      "\"3\"=dword:6\n\"4\"=dword:0\n\"7\"=dword:1ff\n");
  ASSERT_EQ(createInventory(), 0);
  discoverBoards();
  ASSERT_EQ(gInventory->boardCount, 5);
  struct Case {
    int board;
    int status;
    uint32_t count;
    std::vector<std::string> log;
  };
  auto query = [](const char* ui, bool failed) {
    return std::vector<std::string>{
        kOpen,
        std::string("ioctl 0x1B2010 in=40 out=40 type=20 ui=") + ui + (failed ? " failed" : ""),
        kClose};
  };
  const Case cases[] = {
      {0, kDriverOk, 6, query("3", false)},
      {1, kDriverNoUiNumber, 0, {}},         // nothing is opened
      {2, kDriverOk, 0, query("4", false)},  // the first query's 6 is gone
      {3, kDriverReplyExchangeFailed, 0, query("5", true)},
      {4, kDriverOk, 255, query("7", false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.board);
    machine.clearLog();
    uint32_t count = 99;
    EXPECT_EQ(queryPortCount(c.board, &count), c.status);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(machine.log(), c.log);
  }
  machine.setDword(kDriverKnobs, "ControlDevice", 0);
  uint32_t count = 99;
  EXPECT_EQ(queryPortCount(0, &count), kDriverQueryOpenFailed);
  releaseInventory();
}

}  // namespace
