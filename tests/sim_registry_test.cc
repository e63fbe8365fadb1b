// The registry boundary on the simulated machine: lookups without regard to case, the
// query rules, the read-only knob, the count of registry calls and clean failure
// without a machine.
#include <gtest/gtest.h>

#include "platform/os_devices.h"
#include "platform/os_process.h"
#include "platform/os_registry.h"
#include "platform/sim/machine.h"
#include "tests/support/harness.h"

namespace {

constexpr uint32_t kMaximumAllowed = 0x02000000;

const char kMachine[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters]\n"
    "\"ScanRate\"=dword:0000000a\n"
    "\"Name\"=\"Lab\"\n"
    "\"Odd\"=hex(1):41,00,42\n"
    "\"Word\"=hex(4):34,12\n"
    "\"Long\"=hex(4):01,02,03,04,05\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPortX]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Registry]\n"
    // ReadOnly = "system\currentcontrolset\services\zephynport"
    "\"ReadOnly\"=hex(7):73,00,79,00,73,00,74,00,65,00,6d,00,5c,00,63,00,75,00,72,00,72,00,\\\n"
    "  65,00,6e,00,74,00,63,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,73,00,65,00,74,00,\\\n"
    "  5c,00,73,00,65,00,72,00,76,00,69,00,63,00,65,00,73,00,5c,00,7a,00,65,00,70,00,\\\n"
    "  68,00,79,00,6e,00,70,00,6f,00,72,00,74,00,00,00,00,00\n";

const wchar_t kParameters[] = L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters";

TEST(SimRegistry, QueriesFollowWindowsRules) {
  TestMachine machine(kMachine);
  RegKey key = nullptr;
  ASSERT_EQ(regOpenKeyEx(regLocalMachine(),
                         L"system\\CURRENTCONTROLSET\\services\\zephynport\\"
                         L"PARAMETERS",
                         kKeyRead, &key),
            kOsSuccess);
  const struct {
    const wchar_t* name;
    size_t capacity;
    uint32_t status;
    size_t units;
    std::wstring text;
  } texts[] = {
      {L"NAME", 4, kOsSuccess, 4, std::wstring(L"Lab\0", 4)},
      {L"Name", 3, kOsMoreData, 4, L""},
      {L"Odd", 2, kOsSuccess, 2, L"AB"},  // 3 bytes round up; the odd byte is the low one
      {L"Missing", 8, kOsFileNotFound, 8, L""},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(testing::Message() << t.name);
    wchar_t buffer[8] = {};
    size_t units = t.capacity;
    uint32_t type = 0;
    EXPECT_EQ(regQueryTextValue(key, t.name, &type, buffer, &units), t.status);
    EXPECT_EQ(units, t.units);
    if (t.status == kOsSuccess) {
      EXPECT_EQ(std::wstring(buffer, units), t.text);
    }
  }
  const struct {
    const wchar_t* name;
    uint32_t status;
    uint32_t value;
  } dwords[] = {
      {L"ScanRate", kOsSuccess, 10},
      {L"Word", kOsSuccess, 0xAAAA1234},  // two bytes fill the low half only
      {L"Long", kOsMoreData, 0xAAAAAAAA},
      {L"Missing", kOsFileNotFound, 0xAAAAAAAA},
  };
  for (const auto& d : dwords) {
    SCOPED_TRACE(testing::Message() << d.name);
    uint32_t value = 0xAAAAAAAA;
    uint32_t type = 0;
    EXPECT_EQ(regQueryDwordValue(key, d.name, &type, &value), d.status);
    EXPECT_EQ(value, d.value);
  }
  EXPECT_EQ(regCloseKey(key), kOsSuccess);
  EXPECT_EQ(regOpenKeyEx(regLocalMachine(), L"SYSTEM\\Nowhere", kKeyRead, &key), kOsFileNotFound);
  EXPECT_EQ(key, nullptr);
}

TEST(SimRegistry, ReadOnlyKnobRefusesEveryWrite) {
  TestMachine machine(kMachine);
  const wchar_t* kService = L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort";
  enum Op { kOpenEx, kLegacyOpen, kCreate };
  const struct {
    const char* what;
    Op op;
    const wchar_t* path;
    uint32_t access;
    uint32_t status;
    uint32_t setStatus;  // setting a value through the handle
  } cases[] = {
      {"read access", kOpenEx, kService, kKeyRead, kOsSuccess, kOsAccessDenied},
      {"all access", kOpenEx, kService, kKeyAllAccess, kOsAccessDenied, 0},
      {"write access beneath", kOpenEx, kParameters, kKeyWrite, kOsAccessDenied, 0},
      {"maximum allowed", kOpenEx, kParameters, kMaximumAllowed, kOsSuccess, kOsAccessDenied},
      {"legacy open", kLegacyOpen, kParameters, 0, kOsSuccess, kOsAccessDenied},
      {"a sibling with a longer name", kOpenEx, L"SYSTEM\\CurrentControlSet\\Services\\ZephynPortX",
       kKeyAllAccess, kOsSuccess, kOsSuccess},
      {"legacy open elsewhere", kLegacyOpen, L"SOFTWARE\\ZephynSim", 0, kOsSuccess, kOsSuccess},
      {"create an existing key to read", kCreate, kParameters, kKeyRead, kOsSuccess,
       kOsAccessDenied},
      {"create an existing key to write", kCreate, kParameters, kKeyAllAccess, kOsAccessDenied, 0},
      {"create beneath", kCreate, L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\New",
       kKeyAllAccess, kOsAccessDenied, 0},
      {"read access elsewhere", kOpenEx, L"SOFTWARE\\ZephynSim", kKeyRead, kOsSuccess,
       kOsAccessDenied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegKey key = nullptr;
    const uint32_t status =
        c.op == kOpenEx   ? regOpenKeyEx(regLocalMachine(), c.path, c.access, &key)
        : c.op == kCreate ? regCreateKeyEx(regLocalMachine(), c.path, c.access, &key)
                          : regOpenKey(regLocalMachine(), c.path, &key);
    EXPECT_EQ(status, c.status);
    if (status != kOsSuccess) {
      EXPECT_EQ(key, nullptr);
      continue;
    }
    EXPECT_EQ(regSetDwordValue(key, L"Probe", 1), c.setStatus);
    EXPECT_EQ(regSetTextValue(key, L"Probe", kRegSz, L"x", 2), c.setStatus);
    EXPECT_EQ(regDeleteValue(key, L"Probe"), c.setStatus == kOsSuccess ? kOsSuccess : c.setStatus);
    EXPECT_EQ(regCloseKey(key), kOsSuccess);
  }
  EXPECT_FALSE(machine.hasKey("SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\New"));
  EXPECT_FALSE(
      machine.value("SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters", "Probe"));
  // Creating beneath a key opened for reading is refused as well.
  RegKey readOnly = nullptr;
  RegKey created = nullptr;
  ASSERT_EQ(regOpenKeyEx(regLocalMachine(), L"SOFTWARE", kKeyRead, &readOnly), kOsSuccess);
  EXPECT_EQ(regCreateKeyEx(readOnly, L"Fresh", kKeyAllAccess, &created), kOsAccessDenied);
  regCloseKey(readOnly);
  EXPECT_EQ(machine.machine().openHandleSummary(), "");
}

TEST(SimRegistry, ChangesAreTrackedAndNamesKeepTheirCase) {
  TestMachine machine(kMachine);
  RegKey key = nullptr;
  ASSERT_EQ(regCreateKeyEx(regLocalMachine(), L"SOFTWARE\\Mixed\\CaseKey", kKeyAllAccess, &key),
            kOsSuccess);
  EXPECT_TRUE(machine.machine().registry.changed());
  machine.machine().registry.clearChanged();
  ASSERT_EQ(regSetDwordValue(key, L"Count", 3), kOsSuccess);
  machine.machine().registry.clearChanged();
  EXPECT_EQ(regSetDwordValue(key, L"COUNT", 3), kOsSuccess);
  EXPECT_FALSE(machine.machine().registry.changed()) << "the same data is no change";
  EXPECT_EQ(regSetTextValue(key, L"Count", kRegSz, L"3", 2), kOsSuccess);
  EXPECT_TRUE(machine.machine().registry.changed()) << "another type is a change";
  regCloseKey(key);
  EXPECT_NE(machine.exportText().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mixed\\CaseKey]\r\n"
                                      "\"Count\"=\"3\""),
            std::string::npos);
}

TEST(SimRegistry, EveryCallCountsAndTheRunLogsTheCount) {
  TestMachine machine(kMachine);
  ASSERT_EQ(beginPlatform(), 0);
  RegKey key = nullptr;
  uint32_t value = 0;
  uint32_t type = 0;
  regOpenKeyEx(regLocalMachine(), kParameters, kKeyRead, &key);            // 1
  regQueryDwordValue(key, L"ScanRate", &type, &value);                     // 2
  regQueryDwordValue(key, L"Missing", &type, &value);                      // 3: failed calls count
  regSetDwordValue(key, L"ScanRate", 5);                                   // 4
  regCloseKey(key);                                                        // 5
  regOpenKeyEx(regLocalMachine(), L"Nowhere", kKeyRead, &key);             // 6
  regCreateKeyEx(regLocalMachine(), L"SOFTWARE\\X", kKeyAllAccess, &key);  // 7
  regDeleteValue(key, L"None");                                            // 8
  regCloseKey(key);                                                        // 9
  openDevNodeKey(1, kKeyRead, 0, kRegDispositionOpenExisting, &key, kCmRegistrySoftware);  // 10
  ASSERT_EQ(endPlatform(), 0);
  EXPECT_EQ(machine.log(), std::vector<std::string>{"end registry-calls=10"});
}

TEST(SimRegistry, CallsWithoutAMachineFailCleanly) {
  RegKey key = reinterpret_cast<RegKey>(1);
  EXPECT_EQ(regOpenKeyEx(regLocalMachine(), kParameters, kKeyRead, &key), kOsInvalidHandle);
  EXPECT_EQ(key, nullptr);
  key = reinterpret_cast<RegKey>(1);
  EXPECT_EQ(regOpenKey(regLocalMachine(), kParameters, &key), kOsInvalidHandle);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(regCreateKeyEx(regLocalMachine(), L"X", kKeyAllAccess, &key), kOsInvalidHandle);
  EXPECT_EQ(regSetDwordValue(regLocalMachine(), L"X", 1), kOsInvalidHandle);
  EXPECT_EQ(regCloseKey(regLocalMachine()), kOsInvalidHandle);
  uint32_t value = 0;
  EXPECT_EQ(regQueryDwordValue(regLocalMachine(), L"X", nullptr, &value), kOsInvalidHandle);
  EXPECT_EQ(getClassDevices(OsGuid{}, kDigcfPresent), nullptr);
  DevNode node = 7;
  EXPECT_EQ(getChildNode(&node, 1), kCrNoSuchDevnode);
  EXPECT_EQ(node, 0u);
}

}  // namespace
