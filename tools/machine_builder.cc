#include "tools/machine_builder.h"

#include <cstdio>

#include "inventory/discovery.h"
#include "inventory/identification.h"
#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "inventory/settings_loader.h"
#include "platform/little_endian.h"
#include "platform/os_types.h"
#include "platform/sim/device_tree.h"
#include "platform/sim/knobs.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"
#include "platform/text.h"

namespace {

const char kControlSet[] = "SYSTEM\\CurrentControlSet\\";
const char kPortClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
const char kPortCountsKey[] = ZP_DRIVER_PORT_COUNTS;
constexpr uint32_t kIoRangeLength = 8;
constexpr size_t kComDbLeastBytes = 32;  // a fresh machine's database: COM1 to COM256
constexpr size_t kComDbStepBytes = 128;  // it grows by 1024 numbers

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

// One key of the machine, values set in chains.
class KeyWriter {
 public:
  KeyWriter(Registry* registry, const std::string& path)
      : registry_(registry), node_(registry->addKey(utf8ToUtf16(path))) {}

  KeyWriter& text(const std::string& name, const std::string& value, uint32_t type = kRegSz) {
    return raw(name, type, toUtf16LeBytes(utf8ToUtf16(value) + u'\0'));
  }
  // A REG_MULTI_SZ of one string.
  KeyWriter& multiText(const std::string& name, const std::string& value) {
    return raw(name, kRegMultiSz, toUtf16LeBytes(utf8ToUtf16(value) + u'\0' + u'\0'));
  }
  KeyWriter& dword(const std::string& name, uint32_t value) {
    return raw(name, kRegDword, word32Bytes(value));
  }
  KeyWriter& raw(const std::string& name, uint32_t type, const std::string& data) {
    registry_->setValue(node_, utf8ToUtf16(name), type, data);
    return *this;
  }

 private:
  Registry* registry_;
  RegNode* node_;
};

// The registry value name of a setting, as its row of the SettingCode table gives it.
std::string boardClass() { return utf16ToUtf8(formatGuid(kMultiportSerialClass)); }

std::string valueName(SettingCode code) {
  return utf16ToUtf8(fromWide(findSetting(code)->valueName));
}

// The settings store's key below the control set, and the name of port j's key beneath a
// board's, as the program names them.
std::string settingsStore() {
  return "Services\\ZephynPort\\" + utf16ToUtf8(fromWide(kSettingsStoreKey));
}
std::string portKeyName(int j) {
  wchar_t name[16] = {};
  formatText(name, kPortKeyFormat, j);
  return utf16ToUtf8(fromWide(name));
}

KeyWriter key(Registry* registry, const std::string& pathBelowControlSet) {
  return KeyWriter(registry, kControlSet + pathBelowControlSet);
}

std::string lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// The allocated configuration of an ISA board: one full descriptor (interface Isa, bus 0,
// version 1, revision 1) with one I/O port resource, device-exclusive, 10-bit decode.
std::string isaAllocConfig(uint32_t base) {
  std::string list = word32Bytes(1) + word32Bytes(1) + word32Bytes(0);
  list += std::string("\x01\x00\x01\x00", 4) + word32Bytes(1);
  list += std::string("\x01\x01\x05\x00", 4) + word32Bytes(base) + word32Bytes(0);
  return list + word32Bytes(kIoRangeLength) + word32Bytes(0);
}

void writeService(Registry* registry, int boardCount) {
  key(registry, "Services\\ZephynPort")
      .dword("ErrorControl", 0)
      .text("Group", "Extended Base")
      .text("ImagePath", "System32\\Drivers\\zephyn.sys")
      .dword("Start", 3)
      .dword("Tag", 1)
      .dword("Type", 1);
  key(registry, settingsStore())
      .dword(valueName(kSetNumDevices), boardCount)
      .dword(valueName(kSetScanRate), findSetting(kSetScanRate)->resetValue);
  key(registry, "Services\\EventLog\\System\\ZephynPort")
      .text("EventMessageFile",
            "%SystemRoot%\\system32\\IoLogMsg.dll;%SystemRoot%\\system32\\drivers\\zephyn.sys",
            kRegExpandSz)
      .dword("TypesSupported", 7);
}

// The board's settings: those the program writes back after a set.
void writeSettings(Registry* registry, const BoardRequest& board, int index) {
  const std::string path = settingsStore() + format("\\Device%u", index);
  const std::u16string model = fromWide(fallbackModelName(board.modelCode));
  KeyWriter settings = key(registry, path);
  settings.dword(valueName(kSetIoAddress), board.bus == BoardBus::kIsa ? board.ioBase : 1)
      .text(valueName(kSetModelName), utf16ToUtf8(model))
      .dword(valueName(kSetNumPorts), board.portCount);
  if (catalogModemKind(board.modelCode) != 0) {
    settings.dword(valueName(kSetModemDevice), catalogModemKind(board.modelCode));
  }
  // Unnamed, it gets the name the program shows, as the program writes it back.
  const std::string defaultName = utf16ToUtf8(fromWide(kDefaultDisplayName));
  settings.text(valueName(kSetBoardName),
                board.name.empty() ? format(defaultName.c_str(), index + 1) : board.name);
  for (int j = 0; j < board.portCount; ++j) {
    key(registry, path + "\\" + portKeyName(j))
        .text(valueName(kSetPortName), format("COM%u", board.comNumbers[j]));
  }
}

void writePortNodes(Registry* registry, const BoardRequest& board, int index,
                    const std::string& prefix) {
  for (int j = 0; j < board.portCount; ++j) {
    const std::string node = "Enum\\ZEPHYNPORT\\PORT\\" + prefix + format("&%02u", j);
    // Board b's ports have the software keys b * 64 + j.
    const std::string driver = kPortClass + format("\\%04u", index * kMaxPorts + j);
    const std::string com = format("COM%u", board.comNumbers[j]);
    key(registry, node)
        .text("Class", "Ports")
        .text("ClassGUID", kPortClass)
        .text("Driver", driver)
        .text("FriendlyName", format("Norvane ZephynPort %u (", j) + com + ")")
        .text("Mfg", "Norvane")
        .text("Service", "Serial");
    key(registry, node + "\\Control");
    key(registry, node + "\\Device Parameters").text("PortName", com);
    key(registry, "Control\\Class\\" + driver).text("MatchingDeviceId", format("nrvport%u", j));
  }
}

// The board's device node, software key and port nodes; index is its place in the
// device manager's list, busIndex its place among the boards of its bus.
void writeBoardNodes(Registry* registry, const BoardRequest& board, int index, int busIndex) {
  const bool isa = board.bus == BoardBus::kIsa;
  const std::string hardwareId = isa ? format("ISAPNP\\NRV_D%04X", kIsaBaseBit | board.modelCode)
                                     : format("PCI\\VEN_11FE&DEV_%04X", board.modelCode);
  const std::string node = isa ? format("Enum\\ROOT\\MULTIPORTSERIAL\\%04u", busIndex)
                               : "Enum\\" + hardwareId + format("\\4&1a2b3c&0&%04X", busIndex);
  const std::string prefix = format(isa ? "1&3a4b%04x&0" : "5&2f1e%04x&0", index);
  const std::string driver = boardClass() + format("\\%04u", index);
  const std::string model = utf16ToUtf8(fromWide(fallbackModelName(board.modelCode)));
  key(registry, node)
      .text("Class", "MultiPortSerial")
      .text("ClassGUID", boardClass())
      .text("DeviceDesc", model)
      .text("Driver", driver)
      .multiText("HardwareID", hardwareId)
      .text("Mfg", "Norvane")
      .text("ParentIdPrefix", prefix)
      .text("Service", "ZephynPort")
      .dword("UINumber", index + 1);
  KeyWriter control = key(registry, node + "\\Control");
  if (isa) control.raw("AllocConfig", kRegResourceList, isaAllocConfig(board.ioBase));
  key(registry, node + "\\Device Parameters");
  key(registry, "Control\\Class\\" + driver)
      .text("DriverDesc", model)
      .text("MatchingDeviceId", lower(hardwareId))
      .dword("NrvNodeId", index);
  writePortNodes(registry, board, index, prefix);
  if (modelAsksDriver(board.modelCode)) {
    KeyWriter(registry, kPortCountsKey).dword(format("%u", index + 1), board.portCount);
  }
}

void writeComDatabase(Registry* registry, const MachineRequest& request) {
  std::vector<uint32_t> numbers = request.held;
  for (const BoardRequest& board : request.boards) {
    numbers.insert(numbers.end(), board.comNumbers.begin(), board.comNumbers.end());
  }
  uint32_t highest = 0;
  for (uint32_t n : numbers) highest = n > highest ? n : highest;
  const size_t needed = (highest + 7) / 8;
  const size_t bytes = needed <= kComDbLeastBytes
                           ? kComDbLeastBytes
                           : (needed + kComDbStepBytes - 1) / kComDbStepBytes * kComDbStepBytes;
  std::string bitmap(bytes, '\0');
  for (uint32_t n : numbers) bitmap[(n - 1) / 8] |= static_cast<char>(1 << ((n - 1) % 8));
  key(registry, "Control\\COM Name Arbiter").raw("ComDB", kRegBinary, bitmap);
}

}  // namespace

void buildMachine(const MachineRequest& request, Registry* registry) {
  writeService(registry, static_cast<int>(request.boards.size()));
  int busIndex[2] = {0, 0};
  for (size_t i = 0; i < request.boards.size(); ++i) {
    const BoardRequest& board = request.boards[i];
    const int index = static_cast<int>(i);
    writeSettings(registry, board, index);
    writeBoardNodes(registry, board, index, busIndex[board.bus == BoardBus::kIsa]++);
  }
  writeComDatabase(registry, request);
}

std::string machineRegText(const MachineRequest& request) {
  Registry registry;
  buildMachine(request, &registry);
  return utf16ToUtf8(writeRegUnits(registry));
}
