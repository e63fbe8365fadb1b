// The settings store writer on a hand-filled Inventory: what it writes, deletes and
// leaves alone, and the permission check that walks the same keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apply/settings_writer.h"
#include "inventory/inventory.h"
#include "platform/sim/machine.h"
#include "platform/text.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

const std::string kParams = kParametersKey;
const std::string kBoard3 = kParams + "\\Device3";
const std::string kBoard5 = kParams + "\\Device5";

// A store written by an earlier run, with values the Inventory no longer holds.
const std::string kOldStore = R"(
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters]
"ScanRate"=dword:0000000a
"NoPnpPorts"=dword:00000001
"SetupVersion"="2.1"
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device3]
"ModemDevice"=dword:00000004
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device3\Port1]
"Name"="COM77"
"WaitOnTx"=dword:00000001
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device3\Port2]
"WaitOnTx"=dword:00000001
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device9]
"Name"="another board"
)";

// Board 0 (Device3): PCI, two ports, the first with every option on. Board 1 (Device5):
// ISA, no ports. Board 2: no key name.
void fillInventory() {
  ASSERT_EQ(createInventory(), 0);
  Inventory& inventory = *gInventory;
  inventory.boardCount = 3;
  inventory.verboseLog = 1;
  BoardRecord& pci = inventory.boards[0];
  copyText(pci.keyName, L"Device3");
  copyText(pci.modelName, L"ZephynPort 2 PCI");
  pci.portCount = 2;
  pci.ioAddress = 1;
  copyText(pci.ports[0].comName, L"COM3");
  pci.ports[0].portFlags = kAllPortFlags;
  pci.ports[0].lockBaud = 115200;
  copyText(pci.ports[1].comName, L"COM4");
  copyText(pci.ports[2].comName, L"COM5");
  BoardRecord& isa = inventory.boards[1];
  copyText(isa.keyName, L"Device5");
  copyText(isa.displayName, L"Line controller");
  isa.ioAddress = 0x2A0;
  inventory.boards[2].portCount = 1;
}

// A stored value as "dword:N", "sz:text", "expand:text" (text with exactly one
// terminator), anything else as "other", or "-" when absent.
std::string shown(const TestMachine& machine, const std::string& path, const std::string& name) {
  const auto stored = machine.value(path, name);
  if (!stored) return "-";
  if (auto number = machine.dword(path, name)) return "dword:" + std::to_string(*number);
  const auto text = machine.text(path, name);
  if (!text || stored->bytes.size() != text->size() * 2 + 2) return "other";
  return (stored->type == kRegSz ? "sz:" : "expand:") + *text;
}

class SettingsWriterTest : public ::testing::Test {
 protected:
  void TearDown() override { releaseInventory(); }
};

TEST_F(SettingsWriterTest, WritesEveryPlaceFromTheInventory) {
  TestMachine machine(kOldStore);
  fillInventory();
  EXPECT_EQ(writeSettingsStore(gInventory), 0);
  const std::string port0 = kBoard3 + "\\Port0";
  const std::string port1 = kBoard3 + "\\Port1";
  const struct {
    std::string path, name, value;
  } table[] = {
      {kEventLogKey, "EventMessageFile",
       "expand:%SystemRoot%\\system32\\IoLogMsg.dll;%SystemRoot%\\system32\\drivers\\zephyn.sys"},
      {kEventLogKey, "TypesSupported", "dword:7"},
      {kServiceKey, "ErrorControl", "dword:0"},
      {kServiceKey, "ImagePath", "sz:System32\\Drivers\\zephyn.sys"},
      {kServiceKey, "Group", "sz:Extended Base"},
      {kServiceKey, "Tag", "dword:1"},
      {kServiceKey, "Type", "dword:1"},
      {kServiceKey, "Start", "dword:3"},
      {kParams, "ScanRate", "-"},
      {kParams, "NumDevices", "dword:3"},
      {kParams, "VerboseLog", "dword:1"},
      {kParams, "NoPnpPorts", "dword:1"},
      {kParams, "SetupVersion", "sz:2.1"},
      {kParams, "NumPorts", "-"},  // board 2 has no key of its own to write into
      {kBoard3, "NumPorts", "dword:2"},
      {kBoard3, "IoAddress", "dword:1"},
      {kBoard3, "ModemDevice", "-"},
      {kBoard3, "Name", "sz:"},
      {kBoard3, "ModelName", "sz:ZephynPort 2 PCI"},
      {port0, "Name", "sz:COM3"},
      {port0, "LockBaud", "dword:115200"},
      {port0, "TxCloseTime", "-"},
      {port1, "Name", "sz:COM4"},
      {port1, "WaitOnTx", "-"},
      {kBoard3 + "\\Port2", "WaitOnTx", "dword:1"},
      {kParams + "\\Device9", "Name", "sz:another board"},
      {kBoard5, "IoAddress", "dword:672"},
      {kBoard5, "NumPorts", "-"},
      {kBoard5, "Name", "sz:Line controller"},
  };
  for (const auto& row : table)
    EXPECT_EQ(shown(machine, row.path, row.name), row.value) << row.name;
  for (const char* flag : {"WaitOnTx", "RS485Override", "RS485Low", "Map2StopsTo1", "MapCdToDsr",
                           "RingEmulate", "BlockSerenum"}) {
    EXPECT_EQ(shown(machine, port0, flag), "dword:1") << flag;
  }
  EXPECT_FALSE(machine.hasKey(kBoard5 + "\\Port0"));
  EXPECT_FALSE(machine.hasKey(kParams + "\\Port0"));
}

TEST_F(SettingsWriterTest, CreatesMissingKeysAndSecondWriteChangesNothing) {
  TestMachine machine("");
  fillInventory();
  writeSettingsStore(gInventory);
  EXPECT_EQ(shown(machine, kBoard3 + "\\Port1", "Name"), "sz:COM4");
  const std::string first = machine.exportText();
  machine.machine().registry.clearChanged();
  writeSettingsStore(gInventory);
  EXPECT_FALSE(machine.machine().registry.changed());
  EXPECT_EQ(machine.exportText(), first);
}

TEST_F(SettingsWriterTest, KeyThatDoesNotOpenIsSkippedWithWhatLiesBeneath) {
  const struct {
    std::string readOnly;
    std::string written;  // service, Parameters, Device3, Device5: 1 written, 0 not
  } cases[] = {{kServiceKey, "0000"}, {kParams, "1000"}, {kBoard3, "1101"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.readOnly);
    TestMachine machine(kOldStore + readOnlyReg({c.readOnly}));
    fillInventory();
    writeSettingsStore(gInventory);
    const std::string written = {machine.dword(kServiceKey, "Start") ? '1' : '0',
                                 machine.dword(kParams, "NumDevices") ? '1' : '0',
                                 machine.dword(kBoard3, "NumPorts") ? '1' : '0',
                                 machine.dword(kBoard5, "IoAddress") ? '1' : '0'};
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(machine.dword(kEventLogKey, "TypesSupported"), 7u);
    releaseInventory();
  }
}

TEST_F(SettingsWriterTest, PermissionCheckCoversEveryKeyTheWriterOpens) {
  const std::string channel = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System";
  // Read-only keys exist: access rights live on keys that exist.
  const std::string otherSource =
      "\n[HKEY_LOCAL_MACHINE\\" + channel + "\\Other]\n\"TypesSupported\"=dword:7\n";
  const struct {
    std::string machine;
    std::vector<std::string> readOnly;
    int result;
  } cases[] = {
      {kOldStore, {}, kStoreWritable},
      {kOldStore, {kServiceKey}, kStoreAccessDenied},
      {kOldStore, {kParams}, kStoreAccessDenied},
      {kOldStore, {kBoard3}, kStoreAccessDenied},
      {kOldStore, {kBoard3 + "\\Port1"}, kStoreAccessDenied},
      {kOldStore + otherSource,
       {channel},
       kStoreAccessDenied},  // the event-log source cannot be created
      {otherSource, {"SYSTEM\\CurrentControlSet\\Services"}, kStoreAccessDenied},
      {otherSource, {}, kStoreWritable},
      // Keys the writer leaves alone do not count.
      {kOldStore, {kBoard3 + "\\Port2", kParams + "\\Device9", kEnumKey}, kStoreWritable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.readOnly.empty() ? "none" : c.readOnly[0]);
    TestMachine machine(c.machine + (c.readOnly.empty() ? "" : readOnlyReg(c.readOnly)));
    fillInventory();
    const std::string before = machine.exportText();
    EXPECT_EQ(checkSettingsStoreWritable(*gInventory), c.result);
    EXPECT_EQ(machine.exportText(), before);
    releaseInventory();
  }
}

}  // namespace
