// Parsing and checking of set requests against a hand-filled Inventory: board "0" with
// COM3 to COM6, board "1" with COM9.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/set_request.h"
#include "inventory/inventory.h"
#include "platform/text.h"
#include "tests/support/harness.h"

namespace {

struct Parsed {
  int result;
  SetRequest request;
  std::string out;
};

class SetRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(createInventory(), 0);
    gInventory->boardCount = 2;
    const wchar_t* names[] = {L"COM3", L"COM4", L"COM5", L"COM6"};
    BoardRecord& first = gInventory->boards[0];
    copyText(first.deviceId, L"0");
    first.portCount = 4;
    for (int i = 0; i < 4; ++i) copyText(first.ports[i].comName, names[i]);
    BoardRecord& second = gInventory->boards[1];
    copyText(second.deviceId, L"1");
    second.portCount = 1;
    copyText(second.ports[0].comName, L"COM9");
  }
  void TearDown() override { releaseInventory(); }

  // Runs `set <device> <options...>` through the parser on a zeroed request.
  static Parsed parse(const std::wstring& device, const std::vector<std::wstring>& options) {
    std::vector<std::wstring> args = {L"ZPConfigUtil", L"set", device};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<wchar_t*> argv;
    for (std::wstring& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Parsed parsed{};
    OutputCapture capture;
    parsed.result = parseSetRequest(static_cast<int>(args.size()), argv.data(), &parsed.request);
    parsed.out = capture.text();
    return parsed;
  }

  static int check(const SetRequest& request, std::string* out) {
    OutputCapture capture;
    const int result = checkSetRequest(&request);
    *out = capture.text();
    return result;
  }
};

const std::wstring kName59(59, L'n');
const std::wstring kName60(60, L'n');

// A single option on its own, stored with its flag and value.
struct OptionCase {
  const wchar_t* device;
  std::wstring option;
  uint32_t flag;
  int32_t SetRequest::*number;  // the numeric field to check, or null
  int32_t value;
  const wchar_t* text;  // the text field's content (name, start or portname), or null
};

TEST_F(SetRequestTest, EachAcceptedOptionIsStored) {
  const OptionCase cases[] = {
      // Keywords and on/off values match without regard to case.
      {L"0", L"-RS485=ON", kFlagRs485, &SetRequest::rs485, 1, nullptr},
      {L"0", L"-rs485=off", kFlagRs485, &SetRequest::rs485, 0, nullptr},
      {L"0", L"-Verbose=oN", kFlagVerbose, &SetRequest::verbose, 1, nullptr},
      {L"COM3", L"-CD=off", kFlagCd, &SetRequest::cd, 0, nullptr},
      {L"COM3", L"-Wait=On", kFlagWait, &SetRequest::wait, 1, nullptr},
      {L"COM3", L"-toggle=on", kFlagToggle, &SetRequest::toggle, 1, nullptr},
      {L"COM3", L"-low=on", kFlagLow, &SetRequest::low, 1, nullptr},
      {L"COM3", L"-stopbits=on", kFlagStopbits, &SetRequest::stopbits, 1, nullptr},
      {L"COM3", L"-ring=OFF", kFlagRing, &SetRequest::ring, 0, nullptr},
      {L"COM3", L"-blockpnp=on", kFlagBlockpnp, &SetRequest::blockpnp, 1, nullptr},
      // COM names: COM1 to COM1023, leading zeros allowed, stored as typed.
      {L"0", L"-start=COM1023", kFlagStart, nullptr, 0, L"COM1023"},
      {L"0", L"-start=com1", kFlagStart, nullptr, 0, L"com1"},
      {L"COM3", L"-portname=com0007", kFlagPortname, nullptr, 0, L"com0007"},
      // Board names: at most 59 UTF-16 units, none of the nine forbidden characters.
      {L"0", L"-name=", kFlagName, nullptr, 0, L""},
      {L"0", L"-name", kFlagName, nullptr, 0, L""},
      {L"0", L"-name=a=b", kFlagName, nullptr, 0, L"a=b"},
      {L"0", L"/name=x", kFlagName, nullptr, 0, L"x"},
      {L"0", L"-name=L\u00e4bor \u03a9", kFlagName, nullptr, 0, L"L\u00e4bor \u03a9"},
      {L"0", L"-name=" + kName59, kFlagName, nullptr, 0, kName59.c_str()},
      {L"0", L"-name=" + std::wstring(57, L'n') + L"\U0001F600", kFlagName, nullptr, 0, nullptr},
      // Numbers: digits only, up to 4294967295 kept as the 32-bit pattern.
      {L"0", L"-scan", kFlagScan, &SetRequest::scan, 0, nullptr},
      {L"0", L"-scan=10", kFlagScan, &SetRequest::scan, 10, nullptr},
      {L"0", L"-scan=2147483648", kFlagScan, &SetRequest::scan, INT32_MIN, nullptr},
      {L"0", L"-scan=4294967295", kFlagScan, &SetRequest::scan, -1, nullptr},
      {L"0", L"-scan=00004294967295", kFlagScan, &SetRequest::scan, -1, nullptr},
      {L"0", L"-scan=" + std::wstring(62, L'0') + L"7", kFlagScan, &SetRequest::scan, 7, nullptr},
      {L"COM3", L"-timeout", kFlagTimeout, &SetRequest::timeout, 0, nullptr},
      {L"COM3", L"-timeout=30", kFlagTimeout, &SetRequest::timeout, 30, nullptr},
      {L"COM3", L"-baudrate=NONE", kFlagBaudrate, &SetRequest::baudrate, 0, nullptr},
      {L"COM3", L"-baudrate", kFlagBaudrate, &SetRequest::baudrate, 0, nullptr},
      {L"COM3", L"-baudrate=115200", kFlagBaudrate, &SetRequest::baudrate, 115200, nullptr},
      // Options without a value.
      {L"0", L"-default", kFlagBoardDefault, &SetRequest::boardDefault, 1, nullptr},
      {L"0", L"-DEFAULT=", kFlagBoardDefault, &SetRequest::boardDefault, 1, nullptr},
      {L"COM3", L"-default", kFlagPortDefault, &SetRequest::portDefault, 1, nullptr},
      {L"COM3", L"-allports", kFlagAllports, &SetRequest::allports, 1, nullptr},
  };
  int row = 0;
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << row++);
    const Parsed parsed = parse(c.device, {c.option});
    EXPECT_EQ(parsed.out, "");
    ASSERT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.request.flags, c.flag);
    if (c.number != nullptr) {
      EXPECT_EQ(parsed.request.*c.number, c.value);
    }
    if (c.text != nullptr) {
      const wchar_t* field = c.flag == kFlagName    ? parsed.request.name
                             : c.flag == kFlagStart ? parsed.request.start
                                                    : parsed.request.portname;
      EXPECT_EQ(std::wstring(field), c.text);
    }
  }
}

TEST_F(SetRequestTest, EachRefusedOptionFailsAtItsIndex) {
  // Bad values, keywords of the other device kind and malformed arguments.
  const std::pair<const wchar_t*, std::vector<std::wstring>> cases[] = {
      {L"0",
       {L"-verbose=yes",
        L"-verbose",
        L"-start=COM1024",
        L"-start=COM0",
        L"-start=COM0000",
        L"-start=COM",
        L"-start=COM12345",
        L"-start=LPT1",
        L"-start=COM+12",
        L"-name=" + kName60,
        L"-name=" + std::wstring(58, L'n') + L"\U0001F600",
        L"-name=a\\b",
        L"-name=a/b",
        L"-name=a:b",
        L"-name=a*b",
        L"-name=a?b",
        L"-name=a\"b",
        L"-name=a<b",
        L"-name=a>b",
        L"-name=a|b",
        L"-scan=" + std::wstring(63, L'0') + L"7",
        L"-scan=4294967296",
        L"-scan=1a",
        L"-scan=\u0663",
        L"-default=yes",
        L"-wait=on",
        L"-allports",
        L"=name=x",
        L"-",
        L"",
        L"-name x"}},
      {L"COM3",
       {L"-pnp=on", L"-portname=", L"-timeout=-1", L"-timeout=99999999999", L"-baudrate=4294967296",
        L"-baudrate=nones", L"-allports=1", L"-name=x"}},
  };
  for (const auto& [device, options] : cases) {
    for (const std::wstring& option : options) {
      const Parsed parsed = parse(device, {option});
      EXPECT_EQ(parsed.result, 3) << device << L" " << option;
      EXPECT_EQ(parsed.request.flags, 0u);
      EXPECT_EQ(parsed.out, "");
    }
  }
}

TEST_F(SetRequestTest, DeviceIsResolvedIntoTheRequest) {
  struct Case {
    const wchar_t* device;
    const wchar_t* option;
    int32_t kind, boardIndex, portIndex;
  } const cases[] = {
      {L"0", L"-scan=1", 1, 0, 0},
      {L"1", L"-scan=1", 1, 1, 0},
      {L"com5", L"-wait=on", 2, 0, 2},
      {L"COM9", L"-wait=on", 2, 1, 0},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.device, {c.option});
    ASSERT_EQ(parsed.result, 0) << c.device;
    EXPECT_EQ(parsed.request.kind, c.kind);
    EXPECT_EQ(parsed.request.boardIndex, c.boardIndex);
    EXPECT_EQ(parsed.request.portIndex, c.portIndex);
  }
}

TEST_F(SetRequestTest, ParsingStopsAtTheFirstFailingOption) {
  struct Case {
    const wchar_t* device;
    std::vector<std::wstring> options;
    int result;
    uint32_t flagsLeft;  // options stored before the failure stay
  } const cases[] = {
      {L"COM3", {L"-wait=on", L"-wait=off"}, 4, kFlagWait},
      {L"COM3", {L"-wait=on", L"-wait=maybe"}, 4, kFlagWait},
      {L"COM3", {L"-wait=on", L"-WAIT=on"}, 4, kFlagWait},
      {L"COM3", {L"-bogus", L"-wait=on"}, 3, 0},
      {L"COM3", {L"-ring=on", L"-cd=on", L"-x", L"-low=on"}, 5, kFlagRing | kFlagCd},
      {L"0", {L"-default", L"-default="}, 4, kFlagBoardDefault},
      {L"0", {L"-scan=5", L"-scan=99999999999"}, 4, kFlagScan},
      {L"0",
       {L"-name=a", L"-start=COM4", L"-verbose=on"},
       0,
       kFlagName | kFlagStart | kFlagVerbose},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.device, c.options);
    EXPECT_EQ(parsed.result, c.result) << c.device << " " << c.options.size();
    EXPECT_EQ(parsed.request.flags, c.flagsLeft) << c.device << " " << c.options.size();
  }
}

TEST_F(SetRequestTest, CheckRulesApplyInOrder) {
  const std::string board = "There are one or more board arguments conflict with -default.\n";
  const std::string port = "There are one or more port arguments conflict with -default.\n";
  const std::string rs485 = "The RS-485 mode is not available.\n";
  struct Case {
    const wchar_t* device;
    std::vector<std::wstring> options;
    uint32_t globalRs485;
    bool passes;
    std::string out;
  } const cases[] = {
      {L"0", {L"-default", L"-name=x"}, 0, true, ""},
      {L"0", {L"-default", L"-start=COM4"}, 0, true, ""},
      {L"0", {L"-default", L"-scan=5"}, 0, false, board},
      {L"0", {L"-verbose=on", L"-default"}, 0, false, board},
      {L"0", {L"-default", L"-rs485=on"}, 0, false, board},
      {L"COM3", {L"-default", L"-portname=COM9"}, 0, true, ""},
      {L"COM3", {L"-default", L"-allports"}, 0, true, ""},
      {L"COM3", {L"-default", L"-ring=off"}, 0, false, port},
      {L"COM3", {L"-baudrate=none", L"-default"}, 0, false, port},
      {L"COM3", {L"-default", L"-toggle=on"}, 0, false, port},
      {L"COM3", {L"-toggle=on"}, 0, false, rs485},
      {L"COM3", {L"-toggle=on"}, 2, false, rs485},
      {L"COM3", {L"-low=off"}, 0, false, rs485},
      {L"COM3", {L"-toggle=on", L"-low=on"}, 1, true, ""},
      {L"COM3", {L"-allports"}, 1, false, ""},
      {L"COM3", {L"-allports", L"-wait=on"}, 0, true, ""},
      {L"0", {L"-scan=10"}, 0, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.device << " " << c.options.size() << " " << c.globalRs485);
    gInventory->globalRS485Options = c.globalRs485;
    const Parsed parsed = parse(c.device, c.options);
    ASSERT_EQ(parsed.result, 0);
    std::string out;
    const int result = check(parsed.request, &out);
    EXPECT_EQ(result == 0, c.passes);
    EXPECT_EQ(out, c.out);
  }
}

TEST_F(SetRequestTest, CheckRefusesWhatTheOptionTablesCannotProduce) {
  struct Case {
    int32_t kind;
    uint32_t flags;
  } const cases[] = {
      {1, kFlagWait},                // a port option on a board
      {2, kFlagName | kFlagWait},    // a board option on a port
      {0, kFlagWait},                // no device at all
      {1, 0},                        // nothing to do
      {2, 0x80000000u | kFlagWait},  // a bit no option has
  };
  for (const Case& c : cases) {
    SetRequest request{};
    request.kind = c.kind;
    request.flags = c.flags;
    std::string out;
    EXPECT_NE(check(request, &out), 0) << c.kind << " " << c.flags;
    EXPECT_EQ(out, "");
  }
}

}  // namespace
