// Every failure the simulated machine can inject, against every command and option
// family, on the built-in default machine: what the run prints, and the exact set of
// registry values it changed (none at all when the change is refused).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/utf.h"
#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

using Strings = std::vector<std::string>;
// Registry entries by "key path|value name" (or the key path alone for a key), each
// shown as "sz:<text>", "dword:<decimal>", "hex(<type>):<bytes>" or "key".
using Entries = std::map<std::string, std::string>;

const char kDeleted[] = "(deleted)";
const char kChanged[] = "setting is changed.\n";

const std::string kParameters = kParametersKey;
const std::string kDevice0 = kParameters + "\\Device0";
const std::string kDevice1 = kParameters + "\\Device1";
const std::string kBoard0Node = "PCI\\VEN_11FE&DEV_0805&SUBSYS_000411FE\\4&1a2b3c&0&00E0";
const std::string kBoard1Node = "ROOT\\MULTIPORTSERIAL\\0000";
const char kBoard0PortPrefix[] = "5&2f1e0d9c&0";  // board 0's ParentIdPrefix
const char kPortClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

std::string regSection(const std::string& path) { return "\n[HKEY_LOCAL_MACHINE\\" + path + "]\n"; }

// The default machine with settings away from their defaults, so that -default has
// something to reset. The machine text is REGEDIT4: knobs are written in that form.
const std::string kPrepared = regSection(kParameters) +
                              "\"VerboseLog\"=dword:00000001\n\"ScanRate\"=dword:00000032\n" +
                              regSection(kDevice0 + "\\Port1") +
                              "\"LockBaud\"=dword:00002580\n\"BlockSerenum\"=dword:00000001\n";

// REG_MULTI_SZ in REGEDIT4: 8-bit characters.
std::string readOnlyKnob(const Strings& paths) {
  std::string hex;
  auto add = [&hex](unsigned char c) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", c);
    hex += (hex.empty() ? "" : ",") + std::string(byte);
  };
  for (const std::string& path : paths) {
    for (char c : path) add(static_cast<unsigned char>(c));
    add(0);
  }
  add(0);
  return regSection("SOFTWARE\\ZephynSim\\Registry") + "\"ReadOnly\"=hex(7):" + hex + "\n";
}

std::string fullComDbKnob() {
  std::string hex = "ff";
  for (int i = 1; i < 512; ++i) hex += ",ff";
  return regSection(kComDbKey) + "\"ComDB\"=hex:" + hex + "\n";
}

std::string portSoftwareKey(int index) {
  char name[8];
  std::snprintf(name, sizeof name, "%04d", index);
  return "SYSTEM\\CurrentControlSet\\Control\\Class\\" + std::string(kPortClass) + "\\" + name;
}

// Board 0's port nodes, found but none of them a port of the board.
std::string brokenMatchingIdKnob() {
  const char* ids[] = {"nrvport", "nrvport-1", "nrvport4", "NRVPORT3"};
  std::string text;
  for (int i = 0; i < 4; ++i) {
    text += regSection(portSoftwareKey(i)) + "\"MatchingDeviceId\"=\"" + ids[i] + "\"\n";
  }
  return text;
}

// What a knob does to a run, as the program is meant to handle it.
enum Effect : unsigned {
  kNone = 0,
  kRefusesSet = 1,     // set: the set usage, nothing changed, nothing sent
  kNoPortNodes = 2,    // board 0's port nodes keep their names
  kNoComNumbers = 4,   // no COM number is free: names stay as they are
  kRefusesRename = 8,  // set with -start or -portname: as kRefusesSet; other sets go on
  kNoRestart = 16,     // the restart cannot be requested
};

struct Knob {
  const char* what;
  std::string reg;
  unsigned effects;
};

const Knob kKnobs[] = {
    {"no knob", "", kNone},
    {"driver absent", driverKnobReg("\"ControlDevice\"=dword:00000000"), kRefusesSet},
    {"every exchange fails", driverKnobReg("\"FailExchange\"=dword:00000001"), kNone},
    {"driver writes no reply", driverKnobReg("\"NoReply\"=dword:00000001"), kNone},
    {"driver answers failure", driverKnobReg("\"Reply\"=\"ERR: 3\""), kNone},
    {"service key read-only", readOnlyKnob({kServiceKey}), kRefusesSet},
    {"Parameters read-only", readOnlyKnob({kParametersKey}), kRefusesSet},
    {"board key read-only", readOnlyKnob({kDevice1}), kRefusesSet},
    {"port nodes read-only", readOnlyKnob({std::string(kEnumKey) + "\\ZEPHYNPORT"}), kNoPortNodes},
    {"COM port database read-only", readOnlyKnob({kComDbKey}), kRefusesRename},
    {"no property change",
     regSection("SOFTWARE\\ZephynSim\\DeviceManager") + "\"PropertyChange\"=dword:00000000\n",
     kNoRestart},
    {"every COM number held", fullComDbKnob(), kNoComNumbers},
    {"board without port children",
     regSection(std::string(kEnumKey) + "\\" + kBoard0Node) + "\"ParentIdPrefix\"=-\n",
     kNoPortNodes},
    {"broken MatchingDeviceId", brokenMatchingIdKnob(), kNoPortNodes},
};

// --- Expected changes -----------------------------------------------------------------

std::string sz(const std::string& text) { return "sz:" + text; }
std::string dword(uint32_t value) { return "dword:" + std::to_string(value); }

std::string hexOf(uint32_t type, const std::string& bytes) {
  std::string out = "hex(" + std::to_string(type) + "):";
  char byte[4];
  for (unsigned char c : bytes) {
    std::snprintf(byte, sizeof byte, "%02x", c);
    out += byte;
  }
  return out;
}

// The ComDB value holding COM1 to COM14, less `released`, plus `claimed`.
std::string comDb(const std::vector<int>& released, const std::vector<int>& claimed) {
  std::string bitmap(32, '\0');
  auto set = [&bitmap](int number, bool on) {
    const char bit = static_cast<char>(1 << ((number - 1) % 8));
    char& byte = bitmap[static_cast<size_t>(number - 1) / 8];
    byte = static_cast<char>(on ? (byte | bit) : (byte & ~bit));
  };
  for (int n = 1; n <= 14; ++n) set(n, true);
  for (int n : released) set(n, false);
  for (int n : claimed) set(n, true);
  return hexOf(3, bitmap);
}

// Port `port` of board 0 renamed to COM<number>: the store, its node, its friendly name.
void renamed(Entries& changes, int port, int number) {
  const std::string name = "COM" + std::to_string(number);
  changes[kDevice0 + "\\Port" + std::to_string(port) + "|Name"] = sz(name);
  changes[portNodeKey(kBoard0PortPrefix, port) + "\\Device Parameters|PortName"] = sz(name);
  changes[portNodeKey(kBoard0PortPrefix, port) + "|FriendlyName"] =
      sz("Norvane ZephynPort " + std::to_string(port) + " (" + name + ")");
}

Entries startAtCom20() {
  Entries changes;
  for (int i = 0; i < 4; ++i) renamed(changes, i, 20 + i);
  changes[std::string(kComDbKey) + "|ComDB"] = comDb({3, 4, 5, 6}, {20, 21, 22, 23});
  return changes;
}

Entries renameCom5ToCom30() {
  Entries changes;
  renamed(changes, 2, 30);
  changes[std::string(kComDbKey) + "|ComDB"] = comDb({5}, {30});
  return changes;
}

Entries allPortsRing() {
  Entries changes;
  for (int i = 0; i < 8; ++i)
    changes[kDevice1 + "\\Port" + std::to_string(i) + "|RingEmulate"] = dword(1);
  return changes;
}

struct Command {
  Strings args;
  Entries changes;               // on a machine without knobs
  const std::string* restarted;  // the board node restarted; null for enum and get
};

const Command kCommands[] = {
    {{"enum"}, {}, nullptr},
    {{"get", "0"}, {}, nullptr},
    {{"get", "COM5"}, {}, nullptr},
    {{"set", "0", "-name=Bench"}, {{kDevice0 + "|Name", sz("Bench")}}, &kBoard0Node},
    {{"set", "0", "-start=COM20"}, startAtCom20(), &kBoard0Node},
    {{"set", "0", "-scan=20", "-verbose=off", "-rs485=on"},
     {{kParameters + "|ScanRate", dword(20)},
      {kParameters + "|VerboseLog", kDeleted},
      {kParameters + "|GlobalRS485Options", dword(1)}},
     &kBoard0Node},
    {{"set", "0", "-default"},
     {{kParameters + "|ScanRate", dword(10)}, {kParameters + "|VerboseLog", kDeleted}},
     &kBoard0Node},
    {{"set", "COM5", "-portname=COM30"}, renameCom5ToCom30(), &kBoard0Node},
    {{"set", "COM5", "-wait=on", "-timeout=7", "-cd=on", "-baudrate=9600"},
     {{kDevice0 + "\\Port2|WaitOnTx", dword(1)},
      {kDevice0 + "\\Port2|TxCloseTime", dword(7)},
      {kDevice0 + "\\Port2|MapCdToDsr", dword(1)},
      {kDevice0 + "\\Port2|LockBaud", dword(9600)}},
     &kBoard0Node},
    {{"set", "COM7", "-allports", "-ring=on"}, allPortsRing(), &kBoard1Node},
    {{"set", "COM3", "-allports", "-default"},
     {{kDevice0 + "\\Port1|WaitOnTx", kDeleted},
      {kDevice0 + "\\Port1|LockBaud", kDeleted},
      {kDevice0 + "\\Port1|BlockSerenum", kDeleted}},
     &kBoard0Node},
};

bool isRename(const Command& command) {
  return command.changes.count(std::string(kComDbKey) + "|ComDB") != 0;
}

struct Outcome {
  std::string out;
  Entries changes;
  Strings restarts;
};

// `report` is what enum or get prints on the machine without knobs; no knob alters it.
Outcome expected(const Knob& knob, const Command& command, const std::string& report,
                 const std::string& setUsage) {
  if (command.restarted == nullptr) return {report, {}, {}};
  if (knob.effects & kRefusesSet) return {setUsage, {}, {}};
  if ((knob.effects & kRefusesRename) && isRename(command)) return {setUsage, {}, {}};
  Outcome outcome{kChanged, command.changes, {"restart " + *command.restarted}};
  if ((knob.effects & kNoComNumbers) && isRename(command)) outcome.changes.clear();
  for (auto it = outcome.changes.begin(); it != outcome.changes.end();) {
    if ((knob.effects & kNoPortNodes) && it->first.rfind(kEnumKey, 0) == 0) {
      it = outcome.changes.erase(it);
    } else {
      ++it;
    }
  }
  if (knob.effects & kNoRestart) outcome.restarts.clear();
  return outcome;
}

// --- Looking at the machine -----------------------------------------------------------

std::string shown(const RegValue& value) {
  if (value.type == 1 && value.data.size() >= 2) {
    std::u16string units = fromUtf16LeBytes(value.data);
    if (!units.empty() && units.back() == u'\0') units.pop_back();
    return sz(utf16ToUtf8(units));
  }
  if (value.type == 4 && value.data.size() == 4) {
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    return dword(number);
  }
  return hexOf(value.type, value.data);
}

void collect(const RegNode& key, const std::string& path, Entries& entries) {
  if (!path.empty()) entries[path] = "key";
  for (const auto& [folded, value] : key.values)
    entries[path + "|" + utf16ToUtf8(value.name)] = shown(value);
  for (const auto& [folded, sub] : key.subkeys) {
    collect(*sub, path.empty() ? utf16ToUtf8(sub->name) : path + "\\" + utf16ToUtf8(sub->name),
            entries);
  }
}

Entries snapshot(TestMachine& machine) {
  Entries entries;
  collect(machine.machine().registry.root(), "", entries);
  return entries;
}

// What differs between two snapshots: new and changed entries with their new form,
// removed ones as kDeleted.
Entries difference(const Entries& before, const Entries& after) {
  Entries changes;
  for (const auto& [name, form] : after) {
    auto old = before.find(name);
    if (old == before.end() || old->second != form) changes[name] = form;
  }
  for (const auto& [name, form] : before) {
    if (after.count(name) == 0) changes[name] = kDeleted;
  }
  return changes;
}

std::string joined(const Strings& args) {
  std::string text;
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

TEST(FaultMatrix, EveryKnobAgainstEveryCommand) {
  const std::string machineText = defaultMachineText() + kPrepared;
  std::map<std::string, std::string> reports;
  std::string setUsage;
  {
    TestMachine plain(machineText, false);
    setUsage = plain.run({"help", "set"}).out;
    for (const Command& command : kCommands) {
      if (command.restarted == nullptr) reports[joined(command.args)] = plain.run(command.args).out;
    }
  }

  for (const Knob& knob : kKnobs) {
    for (const Command& command : kCommands) {
      SCOPED_TRACE(std::string(knob.what) + ":" + joined(command.args));
      const Outcome want = expected(knob, command, reports[joined(command.args)], setUsage);
      TestMachine machine(machineText + knob.reg, false);
      const Entries before = snapshot(machine);
      const RunResult result = machine.run(command.args);
      EXPECT_EQ(result.status, 0);
      EXPECT_EQ(result.out, want.out);
      EXPECT_EQ(difference(before, snapshot(machine)), want.changes);
      const Strings log = machine.log();
      EXPECT_EQ(linesStarting(log, "restart "), want.restarts);
      EXPECT_EQ(linesStarting(log, "end registry-calls=").size(), 1u);
      if (want.out != kChanged) {
        EXPECT_TRUE(linesStarting(log, "ioctl 0x1B2010 in=184").empty());
      }
    }
  }
}

}  // namespace
