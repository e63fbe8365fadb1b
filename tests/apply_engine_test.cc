// Whole `set` runs on simulated machines: the commands the driver receives and their
// order, COM numbers in the database, the registry and the port nodes afterwards, the
// restart, and runs in which the driver or the registry does not play along.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/harness.h"

namespace {

using Strings = std::vector<std::string>;

const char kChanged[] = "setting is changed.\n";
const std::string kBoard0 = "PCI\\VEN_11FE&DEV_0802\\4&1a2b3c&0&00E0";
const std::string kBoard1 = "PCI\\VEN_11FE&DEV_0802\\4&1a2b3c&0&00E8";
const std::string kDevice0 = std::string(kParametersKey) + "\\Device0";

// A PCI board: 4 ports (DEV_0810) or 8 (DEV_0802), with port nodes named as given.
BoardFixture pciBoard(const std::string& instanceId, uint32_t nodeId, const Strings& names) {
  BoardFixture board;
  board.instanceId = instanceId;
  board.hardwareId = names.size() == 4 ? "PCI\\VEN_11FE&DEV_0810" : "PCI\\VEN_11FE&DEV_0802";
  board.nodeId = nodeId;
  board.portNames = names;
  return board;
}

// The settings store keys of a board: Device<nodeId> and its ports' names.
std::string storeReg(uint32_t nodeId, const Strings& names) {
  const std::string device =
      "\n[HKEY_LOCAL_MACHINE\\" + std::string(kParametersKey) + "\\Device" + std::to_string(nodeId);
  std::string text = device + "]\n";
  for (size_t i = 0; i < names.size(); ++i) {
    text += device + "\\Port" + std::to_string(i) + "]\n\"Name\"=\"" + names[i] + "\"\n";
  }
  return text;
}

int comNumber(const std::string& name) { return std::stoi(name.substr(3)); }

// One board with these port names, their numbers and `elsewhere` held in the database.
std::string oneBoard(const Strings& names, std::vector<int> elsewhere = {}) {
  for (const std::string& name : names) elsewhere.push_back(comNumber(name));
  return deviceNodesReg({pciBoard(kBoard0, 0, names)}) + storeReg(0, names) + comDbReg(elsewhere);
}

const Strings kFourPorts = {"COM3", "COM4", "COM5", "COM6"};
const Strings kEightPorts = {"COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10"};

// The texts of the text commands the driver received, in order.
Strings commands(const TestMachine& machine) {
  Strings texts;
  for (const std::string& line : machine.log()) {
    const size_t start = line.find("text=\"");
    if (line.rfind("ioctl ", 0) == 0 && start != std::string::npos) {
      texts.push_back(line.substr(start + 6, line.rfind('"') - start - 6));
    }
  }
  return texts;
}

std::vector<int> heldNumbers(const TestMachine& machine) {
  std::vector<int> held;
  const auto bitmap = machine.value(kComDbKey, "ComDB");
  if (!bitmap) return held;
  for (size_t i = 0; i < bitmap->bytes.size() * 8; ++i) {
    if (bitmap->bytes[i / 8] & (1 << (i % 8))) held.push_back(static_cast<int>(i) + 1);
  }
  return held;
}

std::vector<int> numbers(int first, int last, std::vector<int> more = {}) {
  for (int n = first; n <= last; ++n) more.push_back(n);
  std::sort(more.begin(), more.end());
  more.erase(std::unique(more.begin(), more.end()), more.end());
  return more;
}

std::string port(int index) { return kDevice0 + "\\Port" + std::to_string(index); }

// Port commands of Device0: each setting for each port from `first` to `end` - 1.
Strings onPorts(int first, int end, const Strings& settings) {
  Strings texts;
  for (const std::string& setting : settings) {
    for (int i = first; i < end; ++i) {
      texts.push_back("device[Device0].port[" + std::to_string(i) + "]." + setting);
    }
  }
  return texts;
}
Strings onPort(int index, const Strings& settings) { return onPorts(index, index + 1, settings); }

const Strings kSixDefaults = {"LockBaud=0",     "TxCloseTime=0", "MapCdToDsr=0",
                              "Map2StopsTo1=0", "WaitOnTx=0",    "RingEmulate=0"};

Strings joined(std::initializer_list<Strings> parts) {
  Strings all;
  for (const Strings& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(ApplyComNames, NumbersAreClaimedAndEveryPlaceFollows) {
  const std::vector<int> topHeld = numbers(1000, 4094, {4096});  // only COM4095 free
  const struct {
    const char* what;
    std::string machine;
    Strings args;
    Strings commands;
    Strings names;
    std::vector<int> held;
  } cases[] = {
      {"start skips a number held elsewhere",
       oneBoard({"COM3", "COM4", "COM7", "COM8"}, {6}),
       {"set", "0", "-start=COM5"},
       {"device[Device0].port[0].Name=COM5", "device[Device0].port[1].Name=COM7",
        "device[Device0].port[2].Name=COM8", "device[Device0].port[3].Name=COM9"},
       {"COM5", "COM7", "COM8", "COM9"},
       {5, 6, 7, 8, 9}},
      {"rename to the port's own name keeps it",
       oneBoard(kFourPorts),
       {"set", "COM5", "-portname=COM5"},
       {"device[Device0].port[2].Name=COM5"},
       kFourPorts,
       {3, 4, 5, 6}},
      {"rename past two held numbers",
       oneBoard(kFourPorts, {9, 10}),
       {"set", "COM5", "-portname=COM9"},
       {"device[Device0].port[2].Name=COM11"},
       {"COM3", "COM4", "COM11", "COM6"},
       {3, 4, 6, 9, 10, 11}},
      {"start runs out of numbers: the rest keep theirs",
       oneBoard({"COM1", "COM2", "COM3", "COM4"}, topHeld),
       {"set", "0", "-start=COM1000"},
       {"device[Device0].port[0].Name=COM4095"},
       {"COM4095", "COM2", "COM3", "COM4"},
       numbers(2, 4, numbers(1000, 4096))},
      {"start runs out of numbers: a port whose number was just taken takes one given up",
       oneBoard({"COM10", "COM4095", "COM4096", "COM11"}, numbers(1000, 4094, {1, 2})),
       {"set", "0", "-start=COM1000"},
       {"device[Device0].port[0].Name=COM4095", "device[Device0].port[1].Name=COM4096",
        "device[Device0].port[2].Name=COM10"},
       {"COM4095", "COM4096", "COM10", "COM11"},
       numbers(1000, 4096, {1, 2, 10, 11})},
      {"start runs out of numbers: a shared number is not kept twice",
       oneBoard({"COM4096", "COM4096", "COM3", "COM4"}, numbers(1000, 4095, {1, 2})),
       {"set", "0", "-start=COM1000"},
       {"device[Device0].port[0].Name=COM4096", "device[Device0].port[1].Name=COM5"},
       {"COM4096", "COM5", "COM3", "COM4"},
       numbers(1000, 4096, {1, 2, 3, 4, 5})},
      {"rename finds no number: the port keeps its own",
       oneBoard({"COM1", "COM2", "COM3", "COM4"}, numbers(1000, 4096)),
       {"set", "COM2", "-portname=COM1000"},
       {},
       {"COM1", "COM2", "COM3", "COM4"},
       numbers(1, 4, numbers(1000, 4096))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestMachine machine(c.machine);
    const RunResult result = machine.run(c.args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, kChanged);
    EXPECT_EQ(commands(machine), c.commands);
    EXPECT_EQ(heldNumbers(machine), c.held);
    for (size_t i = 0; i < c.names.size(); ++i) {
      const int index = static_cast<int>(i);
      EXPECT_EQ(machine.text(port(index), "Name"), c.names[i]) << i;
      EXPECT_EQ(machine.text(portNode(0, index) + "\\Device Parameters", "PortName"), c.names[i]);
      EXPECT_EQ(machine.text(portNode(0, index), "FriendlyName"),
                "Norvane ZephynPort " + std::to_string(i) + " (" + c.names[i] + ")");
    }
  }
}

TEST(ApplyOptions, CommandsGoOptionByOptionThenPortByPort) {
  const struct {
    uint32_t globalRS485;
    Strings args;
    Strings commands;
  } cases[] = {
      {0, {"set", "COM3", "-allports", "-wait=on"}, onPorts(0, 8, {"WaitOnTx=1"})},
      {0,
       {"set", "COM3", "-ring=on", "-allports", "-portname=COM20", "-wait=on", "-baudrate=9600"},
       joined({onPort(0, {"Name=COM20"}),
               onPorts(0, 8, {"LockBaud=9600", "WaitOnTx=1", "RingEmulate=1"})})},
      {1,
       {"set", "COM4", "-low=off", "-toggle=on", "-cd=on", "-stopbits=off", "-timeout=30"},
       onPort(1, {"RS485Override=1", "RS485Low=0", "TxCloseTime=30", "MapCdToDsr=1",
                  "Map2StopsTo1=0"})},
      {0, {"set", "COM3", "-default"}, onPort(0, kSixDefaults)},
      {1,
       {"set", "COM4", "-default"},
       joined({onPort(1, {"RS485Override=0", "RS485Low=0"}), onPort(1, kSixDefaults)})},
      {2,
       {"set", "COM4", "-default"},
       joined({onPort(1, {"RS485Override=0", "RS485Low=0"}), onPort(1, kSixDefaults)})},
      {0,
       {"set", "COM3", "-default", "-portname=COM20"},
       joined({onPort(0, {"Name=COM20"}), onPort(0, kSixDefaults)})},
      {0, {"set", "COM3", "-blockpnp=on"}, {}},
      {0, {"set", "COM3", "-baudrate=4294967295"}, onPort(0, {"LockBaud=4294967295"})},
      {0,
       {"set", "0", "-default", "-name=Lab"},
       {"device[Device0].Name=Lab", "VerboseLog=0", "ScanRate=10", "GlobalRS485Options=0"}},
      {0, {"set", "0", "-name="}, {"device[Device0].Name="}},
      {0,
       {"set", "0", "-verbose=on", "-rs485=on", "-scan=4294967295"},
       {"ScanRate=4294967295", "GlobalRS485Options=1", "VerboseLog=1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    TestMachine machine(oneBoard(kEightPorts));
    machine.setDword(kParametersKey, "GlobalRS485Options", c.globalRS485);
    const RunResult result = machine.run(c.args);
    EXPECT_EQ(result.out, kChanged);
    EXPECT_EQ(commands(machine), c.commands);
    EXPECT_EQ(linesStarting(machine.log(), "restart "), Strings{"restart " + kBoard0});
  }
}

// Port 0 with every option stored, port 8 beyond the board's eight ports.
const std::string kStoredOptions = R"(
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters]
"VerboseLog"=dword:00000001
"ScanRate"=dword:00000032

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0]
"Name"="Lab rack"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0\Port0]
"LockBaud"=dword:00002580
"TxCloseTime"=dword:0000001e
"WaitOnTx"=dword:00000001
"MapCdToDsr"=dword:00000001
"Map2StopsTo1"=dword:00000001
"RingEmulate"=dword:00000001
"BlockSerenum"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0\Port8]
"Name"="COM99"
"WaitOnTx"=dword:00000001
)";

TEST(ApplyStore, TheRegistryHoldsTheNewSettings) {
  const struct {
    Strings args;
    std::string path;
    std::string name;
    std::optional<uint32_t> dword;  // nullopt: the value is gone
  } cases[] = {
      {{"set", "COM3", "-blockpnp=off"}, port(0), "BlockSerenum", std::nullopt},
      {{"set", "COM4", "-blockpnp=on"}, port(1), "BlockSerenum", 1},
      {{"set", "COM3", "-wait=off"}, port(0), "WaitOnTx", std::nullopt},
      {{"set", "COM3", "-default"}, port(0), "BlockSerenum", std::nullopt},
      {{"set", "COM3", "-default"}, kDevice0 + "\\Port8", "WaitOnTx", 1},
      {{"set", "COM3", "-allports", "-wait=on"}, port(7), "WaitOnTx", 1},
      {{"set", "COM3", "-allports", "-wait=off"}, kDevice0 + "\\Port8", "WaitOnTx", 1},
      {{"set", "0", "-default"}, kParametersKey, "ScanRate", 10},
      {{"set", "0", "-default"}, kParametersKey, "VerboseLog", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2] + " " + c.path + " " + c.name);
    TestMachine machine(oneBoard(kEightPorts) + kStoredOptions);
    EXPECT_EQ(machine.run(c.args).out, kChanged);
    EXPECT_EQ(machine.dword(c.path, c.name), c.dword);
  }
}

TEST(ApplyStore, IsaBoardKeepsItsIoBase) {
  BoardFixture isa;
  isa.instanceId = "ROOT\\MULTIPORTSERIAL\\0000";
  isa.hardwareId = "ISAPNP\\NRV_D1008";
  isa.ioBase = 0x2A0;
  isa.portNames = kEightPorts;
  TestMachine machine(deviceNodesReg({isa}) + storeReg(0, kEightPorts));
  EXPECT_EQ(machine.run({"set", "COM3", "-wait=on"}).out, kChanged);
  EXPECT_EQ(machine.dword(kDevice0, "IoAddress"), 0x2A0u);
}

TEST(ApplyRestart, OnlyTheAddressedBoardIsRestartedAndUpdated) {
  const Strings otherNames = {"COM11", "COM12", "COM13", "COM14",
                              "COM15", "COM16", "COM17", "COM18"};
  const std::string twoBoards =
      deviceNodesReg({pciBoard(kBoard0, 0, kEightPorts), pciBoard(kBoard1, 1, otherNames)}) +
      storeReg(0, kEightPorts) + storeReg(1, otherNames);
  const struct {
    std::string knob;
    Strings restarts;
  } cases[] = {
      {"", {"restart " + kBoard1}},
      {"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\DeviceManager]\n"
       "\"PropertyChange\"=dword:00000000\n",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.knob);
    TestMachine machine(twoBoards + c.knob);
    machine.setText(portNode(0, 0) + "\\Device Parameters", "PortName", "stale");
    machine.setText(portNode(1, 0) + "\\Device Parameters", "PortName", "stale");
    EXPECT_EQ(machine.run({"set", "COM12", "-portname=COM30"}).out, kChanged);
    EXPECT_EQ(linesStarting(machine.log(), "restart "), c.restarts);
    EXPECT_EQ(commands(machine), Strings{"device[Device1].port[1].Name=COM30"});
    EXPECT_EQ(machine.text(portNode(1, 1) + "\\Device Parameters", "PortName"), "COM30");
    EXPECT_EQ(machine.text(portNode(1, 0) + "\\Device Parameters", "PortName"), "COM11");
    EXPECT_EQ(machine.text(portNode(0, 0) + "\\Device Parameters", "PortName"), "stale");
    EXPECT_EQ(machine.text(kParametersKey + std::string("\\Device1\\Port1"), "Name"), "COM30");
  }
}

TEST(ApplyRestart, BoardWithoutPortNodesIsStillRestarted) {
  TestMachine machine(deviceNodesReg({pciBoard(kBoard0, 0, {})}) + storeReg(0, kEightPorts));
  EXPECT_EQ(machine.run({"set", "COM3", "-portname=COM40"}).out, kChanged);
  EXPECT_EQ(machine.text(port(0), "Name"), "COM40");
  EXPECT_EQ(linesStarting(machine.log(), "restart "), Strings{"restart " + kBoard0});
}

const Strings kRequests[] = {
    {"set", "0", "-start=COM20"},    {"set", "0", "-default", "-name=Lab"},
    {"set", "COM3", "-wait=on"},     {"set", "COM4", "-portname=COM30"},
    {"set", "COM3", "-blockpnp=on"}, {"set", "COM3", "-allports", "-default"},
    {"set", "0", "-scan=5"},
};

TEST(ApplyRefused, NothingChangesWhenTheDriverOrTheStoreIsOutOfReach) {
  const std::string base = oneBoard(kEightPorts) + kStoredOptions;
  const struct {
    const char* what;
    std::string knob;
    bool driverOpened;
  } knobs[] = {
      {"no control device", driverKnobReg("\"ControlDevice\"=dword:00000000"), false},
      {"service key read-only", readOnlyReg({kServiceKey}), false},
      {"Parameters read-only", readOnlyReg({kParametersKey}), false},
      {"board key read-only", readOnlyReg({kDevice0}), false},
      {"port key read-only", readOnlyReg({kDevice0 + "\\Port5"}), false},
  };
  for (const auto& knob : knobs) {
    for (const Strings& args : kRequests) {
      SCOPED_TRACE(std::string(knob.what) + ": " + args[1] + " " + args[2]);
      TestMachine machine(base + knob.knob);
      const std::string usage = machine.run({"help", "set"}).out;
      const std::string before = machine.exportText();
      const RunResult result = machine.run(args);
      EXPECT_EQ(result.status, 0);
      EXPECT_EQ(result.out, usage);
      EXPECT_EQ(machine.exportText(), before);
      EXPECT_TRUE(linesStarting(machine.log(), "ioctl ").empty());
      EXPECT_TRUE(linesStarting(machine.log(), "restart ").empty());
      EXPECT_TRUE(linesStarting(machine.log(), "open \\\\.\\zephyn").empty());
    }
  }
}

// The registry after the run, without the simulation's own keys.
std::string registryAfter(const std::string& machineText, const Strings& args) {
  TestMachine machine(machineText);
  const RunResult result = machine.run(args);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kChanged);
  EXPECT_FALSE(linesStarting(machine.log(), "restart ").empty());
  machine.deleteKey("SOFTWARE\\ZephynSim");
  return machine.exportText();
}

TEST(ApplyRefused, DriverFailuresDoNotStopTheChange) {
  const std::string base = oneBoard(kEightPorts) + kStoredOptions;
  const std::string knobs[] = {
      driverKnobReg("\"Reply\"=\"ERR: 3\""),
      driverKnobReg("\"NoReply\"=dword:00000001"),
      driverKnobReg("\"FailExchange\"=dword:00000001"),
  };
  for (const Strings& args : kRequests) {
    const std::string expected = registryAfter(base + driverKnobReg("\"Reply\"=\"OK: 52\""), args);
    for (const std::string& knob : knobs) {
      SCOPED_TRACE(knob + args[1] + " " + args[2]);
      EXPECT_EQ(registryAfter(base + knob, args), expected);
    }
  }
}

}  // namespace
