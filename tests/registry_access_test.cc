// Registry wrappers and key paths, against an in-memory machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/os_registry.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/harness.h"

namespace {

const char kStore[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters\\Device0]\n"
    "\"Name\"=\"Lab rack\"\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters]\n"
    "\"ScanRate\"=dword:0000000a\n"
    "\"Short\"=hex(4):07,00\n"
    "\"Wide\"=hex(4):01,02,03,04,05\n"
    "\"Open\"=hex(1):41,00,42,00\n"
    "\"Empty\"=\"\"\n";

const wchar_t kParams[] = L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters";

// A REG_SZ of `units` UTF-16 units of 'x' and no terminator.
std::string unterminatedText(const std::string& name, size_t units) {
  std::string line = "\"" + name + "\"=hex(1):";
  for (size_t i = 0; i < units; ++i) line += i == 0 ? "78,00" : ",78,00";
  return line + "\n";
}

TEST(RegistryRead, TextAndNumberReads) {
  TestMachine machine(std::string(kStore) + unterminatedText("Full", 240) +
                      unterminatedText("Fits", 239));
  struct Case {
    const wchar_t* subKey;
    const wchar_t* name;
    RegistryStatus status;
    std::wstring text;  // what the buffer holds afterwards
  };
  const Case cases[] = {
      {L"Device0", L"Name", kRegistryOk, L"Lab rack"},
      {L"", L"Open", kRegistryOk, L"AB"},                        // terminator added
      {L"", L"Fits", kRegistryOk, std::wstring(239, L'x')},      // 239 units and a NUL fit
      {L"", L"Full", kRegistryValueFailed, L""},                 // fills 240 units: missing
      {L"", L"Absent", kRegistryValueFailed, L""},               // a failed read empties
      {L"", L"Empty", kRegistryOk, L""},                         //
      {L"Device9", L"Name", kRegistryOpenFailed, L"untouched"},  // no key: buffer untouched
  };
  RegKey params = nullptr;
  ASSERT_EQ(openKey(nullptr, &params, kParams, kKeyRead), kRegistryOk);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
    wchar_t buffer[240];
    copyText(buffer, L"untouched");
    EXPECT_EQ(readStringValue(params, c.subKey, c.name, buffer, std::size(buffer)), c.status);
    EXPECT_EQ(std::wstring(buffer), c.text);
  }
  struct NumberCase {
    const wchar_t* subKey;
    const wchar_t* name;
    RegistryStatus status;
    uint32_t value;
  };
  const NumberCase numbers[] = {
      {L"", L"ScanRate", kRegistryOk, 10},         {L"", L"Short", kRegistryOk, 7},
      {L"", L"Wide", kRegistryValueFailed, 0},     {L"", L"Absent", kRegistryValueFailed, 0},
      {L"Device9", L"X", kRegistryOpenFailed, 99},
  };
  for (const NumberCase& c : numbers) {
    uint32_t value = 99;
    EXPECT_EQ(readDwordValue(params, c.subKey, c.name, &value), c.status);
    EXPECT_EQ(value, c.value);
  }
  // The root given for an empty sub-key path is used directly and left open.
  uint32_t value = 0;
  EXPECT_EQ(readDwordValue(params, L"", L"ScanRate", &value), kRegistryOk);
  EXPECT_EQ(regCloseKey(params), 0u);
}

TEST(RegistryWrite, WritesDeletesAndReadOnlyKeys) {
  // LOCK may only be read, as by a user without administrator rights.
  TestMachine machine(std::string(kStore) +
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Registry]\n"
                      "\"ReadOnly\"=hex(7):4c,00,4f,00,43,00,4b,00,00,00,00,00\n"
                      "[HKEY_LOCAL_MACHINE\\LOCK]\n\"Kept\"=dword:00000001\n");
  const std::string path = kParametersKey;
  EXPECT_EQ(writeStringValue(nullptr, kParams, L"Blank", L"", kRegSz), kRegistryOk);
  EXPECT_EQ(machine.value(path, "Blank")->bytes, std::string(2, '\0'));
  EXPECT_EQ(writeDwordOrDelete(nullptr, kParams, L"ScanRate", 0, 0), kRegistryOk);
  EXPECT_FALSE(machine.value(path, "ScanRate"));
  EXPECT_EQ(writeDwordOrDelete(nullptr, kParams, L"ScanRate", 0, 0), kRegistryValueFailed);
  EXPECT_EQ(writeDwordOrDelete(nullptr, kParams, L"ScanRate", 25, 0), kRegistryOk);
  EXPECT_EQ(machine.dword(path, "ScanRate"), 25u);
  EXPECT_EQ(createKey(nullptr, L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\New"),
            kRegistryOk);
  EXPECT_EQ(keyExists(nullptr, L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\New"), 1);
  EXPECT_EQ(keyExists(nullptr, L"SYSTEM\\CurrentControlSet\\Services\\Missing"), 0);

  uint32_t value = 0;
  EXPECT_EQ(readDwordValue(nullptr, L"LOCK", L"Kept", &value), kRegistryOk);
  EXPECT_EQ(writeDwordValue(nullptr, L"LOCK", L"Kept", 2), kRegistryOpenFailed);
  RegKey key = reinterpret_cast<RegKey>(1);
  EXPECT_EQ(openKey(nullptr, &key, L"LOCK", kKeyAllAccess), kRegistryOpenFailed);
  EXPECT_EQ(key, nullptr);
}

TEST(RegistryPath, BuildersFitOrLeaveNothing) {
  struct Case {
    int builder;  // 0 services, 1 event log, 2 service sub-key
    const wchar_t* component;
    size_t capacity;
    bool built;
    const wchar_t* path;
  };
  const Case cases[] = {
      {0, nullptr, kKeyPathCapacity, true, L"SYSTEM\\CurrentControlSet\\Services"},
      {0, L"ZephynPort", kKeyPathCapacity, true,
       L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort"},
      {1, L"ZephynPort", kKeyPathCapacity, true,
       L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\ZephynPort"},
      {2, L"Parameters", kKeyPathCapacity, true,
       L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters"},
      {2, L"Parameters", 56, true, L"SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters"},
      {2, L"Parameters", 55, false, L""},  // one unit short of the terminator
      {1, L"ZephynPort", 20, false, L""},
      {0, nullptr, 33, false, L""},
  };
  for (const Case& c : cases) {
    wchar_t buffer[kKeyPathCapacity];
    copyText(buffer, L"stale");
    bool built = c.builder == 0 ? buildServicesPath(buffer, c.capacity, c.component)
                 : c.builder == 1
                     ? buildEventLogPath(buffer, c.capacity, c.component)
                     : buildServiceSubkeyPath(buffer, c.capacity, kServiceName, c.component);
    EXPECT_EQ(built, c.built) << c.capacity;
    EXPECT_EQ(std::wstring(buffer), c.path);
  }
}

}  // namespace
