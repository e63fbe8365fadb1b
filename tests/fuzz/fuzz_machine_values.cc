// A machine whose program keys (driver settings, board and port keys) and device nodes
// hold values of any type and size: the default machine with values replaced, deleted
// or whole keys removed as the input says, then enum, get of both boards and two ports,
// and one set request. Every run must end cleanly with status 0 or 1, and the registry
// the runs leave must survive the machine file's write and read.
//
// Input: a byte choosing the set request, then operations of [slot, kind, length, data].
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

#define PARAMETERS "SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters"
#define ENUM "SYSTEM\\CurrentControlSet\\Enum\\"
#define CLASS "SYSTEM\\CurrentControlSet\\Control\\Class\\"
#define BOARD0 ENUM "PCI\\VEN_11FE&DEV_0805&SUBSYS_000411FE\\4&1a2b3c&0&00E0"
#define BOARD1 ENUM "ROOT\\MULTIPORTSERIAL\\0000"
#define PORT00 ENUM "ZEPHYNPORT\\PORT\\5&2f1e0d9c&0&00"
#define PORT12 ENUM "ZEPHYNPORT\\PORT\\1&3a4b5c6d&0&02"
#define BOARD_CLASS CLASS "{50906CB8-BA12-11D1-BF5D-0000F805F530}\\"
#define PORT_CLASS CLASS "{4D36E978-E325-11CE-BFC1-08002BE10318}\\"
#define DRIVER_KNOBS "SOFTWARE\\ZephynSim\\Driver"

struct Slot {
  const char* path;
  const char* name;
};

const Slot kSlots[] = {
    {PARAMETERS, "VerboseLog"},
    {PARAMETERS, "NumDevices"},
    {PARAMETERS, "NoPnpPorts"},
    {PARAMETERS, "ScanRate"},
    {PARAMETERS, "ModemCountry"},
    {PARAMETERS, "GlobalRS485Options"},
    {PARAMETERS "\\Device0", "NumPorts"},
    {PARAMETERS "\\Device0", "Name"},
    {PARAMETERS "\\Device0", "ModelName"},
    {PARAMETERS "\\Device0", "IoAddress"},
    {PARAMETERS "\\Device0", "ModemDevice"},
    {PARAMETERS "\\Device1", "NumPorts"},
    {PARAMETERS "\\Device1", "Name"},
    {PARAMETERS "\\Device1", "ModelName"},
    {PARAMETERS "\\Device0\\Port0", "WaitOnTx"},
    {PARAMETERS "\\Device0\\Port0", "RS485Override"},
    {PARAMETERS "\\Device0\\Port0", "RS485Low"},
    {PARAMETERS "\\Device0\\Port0", "TxCloseTime"},
    {PARAMETERS "\\Device0\\Port0", "LockBaud"},
    {PARAMETERS "\\Device0\\Port0", "Map2StopsTo1"},
    {PARAMETERS "\\Device0\\Port0", "MapCdToDsr"},
    {PARAMETERS "\\Device0\\Port0", "Name"},
    {PARAMETERS "\\Device0\\Port0", "RingEmulate"},
    {PARAMETERS "\\Device0\\Port0", "BlockSerenum"},
    {PARAMETERS "\\Device0\\Port3", "Name"},
    {PARAMETERS "\\Device1\\Port2", "Name"},
    {PARAMETERS "\\Device1\\Port2", "LockBaud"},
    {BOARD0, "HardwareID"},
    {BOARD0, "Service"},
    {BOARD0, "UINumber"},
    {BOARD0, "Class"},
    {BOARD0, "ClassGUID"},
    {BOARD0, "Driver"},
    {BOARD0, "ParentIdPrefix"},
    {BOARD0 "\\Control", "AllocConfig"},
    {BOARD1, "HardwareID"},
    {BOARD1, "Service"},
    {BOARD1, "UINumber"},
    {BOARD1, "Class"},
    {BOARD1, "Driver"},
    {BOARD1, "ParentIdPrefix"},
    {BOARD1 "\\Control", "AllocConfig"},
    {BOARD_CLASS "0000", "NrvNodeId"},
    {BOARD_CLASS "0000", "MatchingDeviceId"},
    {BOARD_CLASS "0001", "NrvNodeId"},
    {PORT00, "Class"},
    {PORT00, "Driver"},
    {PORT00, "FriendlyName"},
    {PORT00, "Service"},
    {PORT00 "\\Device Parameters", "PortName"},
    {PORT_CLASS "0000", "MatchingDeviceId"},
    {PORT12, "Class"},
    {PORT12 "\\Device Parameters", "PortName"},
    {PORT_CLASS "0102", "MatchingDeviceId"},
    {"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", "ComDB"},
    {DRIVER_KNOBS, "Reply"},
    {DRIVER_KNOBS "\\PortCounts", "1"},
    {DRIVER_KNOBS "\\PortCounts", "2"},
};

// Registry types a raw value may take: the well-known ones and some that are not.
const uint32_t kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x12, 0xFFFFFFFF};

const std::vector<std::vector<std::string>> kSetRequests = {
    {"set", "0", "-scan=20"},
    {"set", "0", "-name=Fuzz rack", "-verbose=on"},
    {"set", "0", "-start=COM20"},
    {"set", "1", "-default"},
    {"set", "1", "-rs485=on"},
    {"set", "COM3", "-wait=on", "-baudrate=9600"},
    {"set", "COM3", "-portname=COM30"},
    {"set", "COM9", "-allports", "-timeout=5"},
    {"set", "COM7", "-default", "-allports"},
    {"set", "COM4", "-toggle=on", "-low=off"},
};

std::u16string u16(const char* utf8) { return utf8ToUtf16(utf8); }

// Bytes taken one per UTF-16 unit (as Latin-1), stored as UTF-16LE.
std::string unitsOf(const std::string& bytes) {
  std::u16string units;
  for (char byte : bytes) units.push_back(static_cast<unsigned char>(byte));
  return toUtf16LeBytes(units);
}

// Raw data of a string type as a machine file can hold it: whole UTF-16 units ending in a
// NUL, which a file's hex(2) or hex(7) data gains when it lacks one, as Windows reads it.
std::string asFileHolds(uint32_t type, std::string data) {
  if ((type != 2 && type != 7) || data.empty()) return data;
  if (data.size() % 2 != 0) data.push_back('\0');
  if (data[data.size() - 1] != '\0' || data[data.size() - 2] != '\0') data.append(2, '\0');
  return data;
}

// Applies one operation to the registry; false when the input is used up.
bool applyOperation(FuzzInput& input, Registry& registry) {
  if (input.empty()) return false;
  const Slot& slot = kSlots[input.byte() % std::size(kSlots)];
  const uint8_t kind = input.byte();
  const std::string data = input.bytes(input.byte());
  const std::u16string path = u16(slot.path);
  const std::u16string name = u16(slot.name);
  switch (kind % 8) {
    case 0:
      if (RegNode* key = registry.findKey(path)) registry.removeValue(key, name);
      return true;
    case 1:  // well-formed text
      registry.setValue(registry.addKey(path), name, 1, unitsOf(data + '\0'));
      return true;
    case 2:  // a DWORD of the data's first bytes
      registry.setValue(registry.addKey(path), name, 4, (data + std::string(4, '\0')).substr(0, 4));
      return true;
    case 3:  // several strings split at '|'
    {
      std::string strings = data;
      for (char& c : strings) c = c == '|' ? '\0' : c;
      registry.setValue(registry.addKey(path), name, 7, unitsOf(strings + '\0' + '\0'));
      return true;
    }
    case 4:
    case 5:  // raw data of a chosen type
    {
      const uint32_t type = kTypes[(kind / 8) % std::size(kTypes)];
      registry.setValue(registry.addKey(path), name, type, asFileHolds(type, data));
      return true;
    }
    case 6:  // raw data of any type
    {
      uint32_t type = 0;
      for (size_t i = 0; i < 4 && i < data.size(); ++i)
        type |= static_cast<uint32_t>(static_cast<uint8_t>(data[i])) << (8 * i);
      registry.setValue(registry.addKey(path), name, type,
                        asFileHolds(type, data.size() > 4 ? data.substr(4) : ""));
      return true;
    }
    default:  // the whole key gone
      registry.deleteKey(path);
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const std::vector<std::string>& setRequest = kSetRequests[input.byte() % kSetRequests.size()];

  FuzzMachine machine(defaultRegistry());
  while (applyOperation(input, machine.registry())) {
  }
  machine.registry().clearChanged();

  const std::vector<std::vector<std::string>> runs = {
      {"enum"}, {"get", "0"}, {"get", "1"}, {"get", "COM3"}, {"get", "COM9"}, setRequest,
  };
  std::string out;
  for (const std::vector<std::string>& args : runs) {
    const int status = machine.run(args, &out);
    fuzzCheck(status == 0 || status == 1, "exit status 0 or 1", out);
    if (args[0] != "set") {
      fuzzCheck(!machine.registry().changed(), "enum and get change nothing", args[0]);
    }
  }

  Registry again;
  RegParseError error;
  fuzzCheck(readRegText(writeRegFile(machine.registry()), &again, &error),
            "the registry left by the runs reads back from its file", error.reason);
  std::string where;
  fuzzCheck(sameRegistry(machine.registry(), again, &where),
            "the registry left by the runs reads back the same", where);
  return 0;
}
