#include "inventory/settings_loader.h"

#include "inventory/identification.h"
#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "platform/os_registry.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

const wchar_t kParametersKey[] = L"Parameters";
const wchar_t kDefaultDisplayName[] = L"ZN #%d";
constexpr int32_t kDefaultPortCount = 8;

// Capacity of the buffer a text value is read into (480 bytes of UTF-16).
constexpr size_t kTextValueCapacity = 240;

// One value as read from the store: a number, or a text.
struct ReadValue {
  uint32_t number = 0;
  wchar_t text[kTextValueCapacity] = {};
};

// Reads a setting's value directly in `key`, as a text or a number as its type says.
bool readSetting(RegKey key, const SettingInfo& setting, ReadValue* value) {
  if (setting.regType == kRegSz) {
    return readStringValue(key, L"", setting.valueName, value->text, std::size(value->text)) ==
           kRegistryOk;
  }
  return readDwordValue(key, L"", setting.valueName, &value->number) == kRegistryOk;
}

// Driver-wide values in the order they are read; those without a field are read and
// dropped.
struct DriverValue {
  SettingCode code;
  uint32_t Inventory::*field;
};

const DriverValue kDriverValues[] = {
    {kSetVerboseLog, &Inventory::verboseLog},
    {kSetNumDevices, nullptr},
    {kSetNoPnpPorts, nullptr},
    {kSetScanRate, &Inventory::scanRate},
    {kSetModemCountry, nullptr},
    {kSetGlobalRS485, &Inventory::globalRS485Options},
};

// Board values in the order they are read. IoAddress is never loaded: the bus value
// always comes from identification and defaults.
struct BoardValue {
  SettingCode code;
  void (*store)(BoardRecord& board, const ReadValue& value);
};

const BoardValue kBoardValues[] = {
    {kSetNumPorts,
     [](BoardRecord& board, const ReadValue& value) {
       board.portCount = static_cast<int32_t>(value.number);
     }},
    {kSetBoardName,
     [](BoardRecord& board, const ReadValue& value) { copyText(board.displayName, value.text); }},
    {kSetModelName,
     [](BoardRecord& board, const ReadValue& value) { copyText(board.modelName, value.text); }},
    {kSetModemDevice,
     [](BoardRecord& board, const ReadValue& value) { board.modemKind = value.number; }},
};

// Port values in the order they are read. On/off values without a store of their own
// set their PortFlags bit from the lowest bit of the number.
struct PortValue {
  SettingCode code;
  void (*store)(PortRecord& port, const ReadValue& value);
};

const PortValue kPortValues[] = {
    {kSetWaitOnTx, nullptr},
    {kSetRS485Override, nullptr},
    {kSetRS485Low, nullptr},
    {kSetTxCloseTime,
     [](PortRecord& port, const ReadValue& value) { port.txCloseTime = value.number; }},
    {kSetLockBaud, [](PortRecord& port, const ReadValue& value) { port.lockBaud = value.number; }},
    {kSetMap2StopsTo1, nullptr},
    {kSetMapCdToDsr, nullptr},
    {kSetPortName,
     [](PortRecord& port, const ReadValue& value) { copyText(port.comName, value.text); }},
    {kSetRingEmulate, nullptr},
    {kSetBlockSerenum, nullptr},
};

void loadDriverValues(Inventory* inventory, RegKey parameters) {
  for (const DriverValue& row : kDriverValues) {
    const SettingInfo* setting = findSetting(row.code);
    ReadValue value;
    if (setting == nullptr || !readSetting(parameters, *setting, &value)) continue;
    if (row.field != nullptr) inventory->*row.field = value.number;
  }
}

void loadPort(RegKey boardKey, int portIndex, PortRecord& port) {
  port.lockBaud = 0;
  port.txCloseTime = 0;
  port.portFlags &= ~static_cast<uint32_t>(kAllPortFlags);

  wchar_t portKeyName[16];
  if (!formatText(portKeyName, L"Port%d", portIndex)) return;
  RegKey portKey = nullptr;
  if (openKey(boardKey, &portKey, portKeyName, kKeyRead) != kRegistryOk) return;
  for (const PortValue& row : kPortValues) {
    const SettingInfo* setting = findSetting(row.code);
    ReadValue value;
    if (setting == nullptr || !readSetting(portKey, *setting, &value)) continue;
    if (row.store != nullptr) {
      row.store(port, value);
    } else if ((value.number & 1) != 0) {
      port.portFlags |= setting->portFlag;
    } else {
      port.portFlags &= ~setting->portFlag;
    }
  }
  regCloseKey(portKey);
}

void loadBoard(RegKey parameters, BoardRecord& board) {
  // An empty key name would open Parameters itself.
  if (board.keyName[0] == L'\0') return;
  RegKey boardKey = nullptr;
  if (openKey(parameters, &boardKey, board.keyName, kKeyRead) != kRegistryOk) return;
  for (const BoardValue& row : kBoardValues) {
    const SettingInfo* setting = findSetting(row.code);
    ReadValue value;
    if (setting == nullptr || !readSetting(boardKey, *setting, &value)) continue;
    row.store(board, value);
  }
  board.portCount = portsInUse(board);
  for (int j = 0; j < board.portCount; ++j) loadPort(boardKey, j, board.ports[j]);
  regCloseKey(boardKey);
}

}  // namespace

int loadSettings(Inventory* inventory) {
  if (inventory == nullptr) return 0;
  wchar_t path[kKeyPathCapacity];
  bool havePath = buildServiceSubkeyPath(path, std::size(path), kServiceName, kParametersKey);

  inventory->scanRate = 0;
  inventory->verboseLog = 0;
  inventory->globalRS485Options = 0;
  RegKey parameters = nullptr;
  if (havePath && openKey(nullptr, &parameters, path, kKeyRead) != kRegistryOk)
    parameters = nullptr;
  if (parameters != nullptr) loadDriverValues(inventory, parameters);

  inventory->boardCount = boardsInUse(*inventory);
  for (int i = 0; i < inventory->boardCount; ++i) {
    identifyBoard(i);
    BoardRecord& board = inventory->boards[i];
    if (parameters != nullptr) loadBoard(parameters, board);
  }
  if (parameters != nullptr) regCloseKey(parameters);
  return 0;
}

void applyDefaults() {
  if (gInventory == nullptr) return;
  const int boardCount = boardsInUse(*gInventory);
  for (int i = 0; i < boardCount; ++i) {
    BoardRecord& board = gInventory->boards[i];
    if (board.displayName[0] == L'\0') formatText(board.displayName, kDefaultDisplayName, i + 1);
    if (board.portCount == 0) board.portCount = kDefaultPortCount;
    if (board.ioAddress == 0) board.ioAddress = kPciBus;
  }
}
