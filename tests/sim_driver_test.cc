// The simulated adapter driver: its knobs, its replies and its event-log lines byte for
// byte, and the conversion of text to the ANSI code page.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/os_driver.h"
#include "tests/support/harness.h"

namespace {

const wchar_t kDevice[] = L"\\\\.\\zephyn";

std::vector<unsigned char> textRequest(const std::string& text, size_t size = 184) {
  std::vector<unsigned char> request(size, 0);
  request[0] = 14;
  std::memcpy(request.data() + 16, text.data(), std::min(text.size(), size - 16));
  return request;
}

std::vector<unsigned char> countRequest(uint32_t ui) {
  std::vector<unsigned char> request(40, 0);
  request[0] = 20;
  request[4] = 24;
  std::memcpy(request.data() + 12, &ui, 4);
  return request;
}

std::string replyOf(const std::vector<unsigned char>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.data()) + 16);
}

TEST(SimDriver, ExchangesFollowTheKnobsAndAreLogged) {
  const std::string knobs = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\n";
  const std::string counts =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver\\PortCounts]\n\"3\"=dword:00000106\n";
  const struct {
    const char* what;
    std::string reg;
    std::vector<unsigned char> request;
    uint32_t code;
    bool ok;
    std::string reply;  // text at offset 16 afterwards, or the count byte as decimal
    std::string line;
  } cases[] = {
      {"text command", "", textRequest("device[Device0].port[4].WaitOnTx=1"), 0x1B2010, true,
       "OK: 52",
       "ioctl 0x1B2010 in=184 out=184 type=14 text=\"device[Device0].port[4].WaitOnTx=1\""},
      {"escapes", "", textRequest("a\"b\\c\x01\x7F\xE9\x80"), 0x1B2010, true, "OK: 52",
       "ioctl 0x1B2010 in=184 out=184 type=14 text=\"a\\\"b\\\\c\\x01\\x7F\xC3\xA9\xE2\x82\xAC\""},
      {"reply knob", knobs + "\"Reply\"=\"ERR: 7 \xC3\xA9\"\n", textRequest("ScanRate=10"),
       0x1B2010, true, "ERR: 7 \xE9", "ioctl 0x1B2010 in=184 out=184 type=14 text=\"ScanRate=10\""},
      {"no reply", knobs + "\"NoReply\"=dword:00000001\n", textRequest("ScanRate=10"), 0x1B2010,
       true, "ScanRate=10", "ioctl 0x1B2010 in=184 out=184 type=14 text=\"ScanRate=10\""},
      {"failing exchanges", knobs + "\"FailExchange\"=dword:00000001\n", textRequest("ScanRate=10"),
       0x1B2010, false, "ScanRate=10",
       "ioctl 0x1B2010 in=184 out=184 type=14 text=\"ScanRate=10\" failed"},
      {"another control code", "", textRequest("ScanRate=10"), 0x1B2014, false, "ScanRate=10",
       "ioctl 0x1B2014 in=184 out=184 type=14 text=\"ScanRate=10\" failed"},
      {"port count", counts, countRequest(3), 0x1B2010, true, "6",
       "ioctl 0x1B2010 in=40 out=40 type=20 ui=3"},
      {"port count of an unknown board", counts, countRequest(4), 0x1B2010, false, "0",
       "ioctl 0x1B2010 in=40 out=40 type=20 ui=4 failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine(c.reg);
    const OsHandle handle = openControlDevice(kDevice);
    ASSERT_NE(handle, kInvalidOsHandle);
    std::vector<unsigned char> buffer = c.request;
    uint32_t returned = 99;
    const uint32_t size = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(deviceIoControl(handle, c.code, buffer.data(), size, buffer.data(), size, &returned),
              c.ok);
    EXPECT_EQ(returned, c.ok && c.reply != "ScanRate=10" ? size : 0u);
    EXPECT_EQ(buffer[0] == 20 ? std::to_string(buffer[32]) : replyOf(buffer), c.reply);
    if (!c.ok) {
      EXPECT_NE(lastOsError(), 0u);
    }
    EXPECT_TRUE(closeOsHandle(handle));
    EXPECT_EQ(machine.log(),
              (std::vector<std::string>{"open \\\\.\\zephyn", c.line, "close \\\\.\\zephyn"}));
  }
}

TEST(SimDriver, RepliesNeverWritePastTheBytesPassed) {
  TestMachine machine("");
  const OsHandle handle = openControlDevice(kDevice);
  for (uint32_t in : {19u, 20u}) {
    const uint32_t out = 39 - in;
    std::vector<unsigned char> buffer = textRequest("x", 40);
    buffer[19] = 0xEE;
    uint32_t returned = 0;
    ASSERT_TRUE(
        deviceIoControl(handle, 0x1B2010, buffer.data(), in, buffer.data(), out, &returned));
    EXPECT_EQ(std::string(buffer.begin() + 16, buffer.begin() + 20), "OK:\xEE") << in;
  }
  std::vector<unsigned char> count = countRequest(1);
  uint32_t returned = 0;
  EXPECT_FALSE(deviceIoControl(handle, 0x1B2010, count.data(), 32, count.data(), 40, &returned));
  closeOsHandle(handle);
  EXPECT_FALSE(closeOsHandle(handle)) << "a handle closes once";
  EXPECT_EQ(machine.log().size(), 5u);
}

TEST(SimDriver, ControlDeviceOpens) {
  const struct {
    const char* what;
    std::string reg;
    const wchar_t* path;
    bool opens;
    std::string line;
  } cases[] = {
      {"default", "", kDevice, true, "open \\\\.\\zephyn"},
      {"any case", "", L"\\\\.\\ZEPHYN", true, "open \\\\.\\ZEPHYN"},
      {"knob on", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\n\"ControlDevice\"=dword:1\n",
       kDevice, true, "open \\\\.\\zephyn"},
      {"knob off", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\n\"ControlDevice\"=dword:0\n",
       kDevice, false, "open-failed \\\\.\\zephyn"},
      {"another device", "", L"\\\\.\\other", false, "open-failed \\\\.\\other"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine(c.reg);
    const OsHandle handle = openControlDevice(c.path);
    EXPECT_EQ(handle != kInvalidOsHandle && handle != 0, c.opens);
    if (!c.opens) {
      EXPECT_EQ(lastOsError(), kOsFileNotFound);
    }
    if (c.opens) closeOsHandle(handle);
    EXPECT_EQ(machine.log().front(), c.line);
  }
}

TEST(SimAnsi, ConvertsToWindows1252) {
  const struct {
    std::wstring text;
    std::string ansi;
  } cases[] = {
      {L"ScanRate=10", "ScanRate=10"},
      {L"L\u00E4bor \u20AC\u0178",
       "L\xE4"
       "bor \x80\x9F"},
      {L"\u03A9 \u4E2D", "? ?"},
      {std::wstring{L'a', static_cast<wchar_t>(0xD834), static_cast<wchar_t>(0xDD1E), L'b'}, "a?b"},
      {std::wstring{L'a', static_cast<wchar_t>(0xDC00), L'b'}, "a?b"},
      {L"", ""},
  };
  for (const auto& c : cases) {
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(toAnsiText(c.text.c_str(), out, sizeof out), c.ansi.size() + 1);
    EXPECT_EQ(std::string(out), c.ansi);
    EXPECT_EQ(toAnsiText(c.text.c_str(), out, c.ansi.size() + 1), c.ansi.size() + 1) << "exact fit";
    if (!c.ansi.empty()) {
      EXPECT_EQ(toAnsiText(c.text.c_str(), out, c.ansi.size()), 0u);
    }
  }
}

}  // namespace
