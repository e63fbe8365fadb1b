#include "inventory/settings_loader.h"

#include "inventory/identification.h"
#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "platform/os_registry.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

constexpr int32_t kDefaultPortCount = 8;

// Capacity of the buffer a text value is read into (480 bytes of UTF-16).
constexpr size_t kTextValueCapacity = 240;

// One value as read from the store: a number, or a text.
struct ReadValue {
  uint32_t number = 0;
  wchar_t text[kTextValueCapacity] = {};
};

// Reads a setting's value directly in `key`, as a text or a number as its type says.
bool readSetting(RegKey key, const SettingRow& setting, ReadValue* value) {
  if (setting.regType == kRegSz) {
    return readStringValue(key, L"", setting.valueName, value->text, std::size(value->text)) ==
           kRegistryOk;
  }
  return readDwordValue(key, L"", setting.valueName, &value->number) == kRegistryOk;
}

// Reads the values of `level` directly in `key` in the loader's order, and keeps in the
// Inventory each that reads (at board `board`, port `port` as the level needs); a failed
// read changes nothing.
void loadValues(RegKey key, uint8_t level, Inventory& inventory, int board, int port) {
  const SettingList values = settingsInOrder(&SettingOrder::load, level);
  for (int i = 0; i < values.count; ++i) {
    const SettingRow& setting = *values.rows[i];
    ReadValue value;
    if (!readSetting(key, setting, &value) || setting.field.set == nullptr) continue;
    setting.field.set(inventory, board, port, {value.number, value.text});
  }
}

// A port's numeric values read as 0 where its key or the value is missing.
void clearPortNumbers(Inventory& inventory, int board, int port) {
  const SettingList values = settingsInOrder(&SettingOrder::load, kPortSetting);
  for (int i = 0; i < values.count; ++i) {
    const SettingRow& setting = *values.rows[i];
    if (setting.regType == kRegDword && setting.field.set != nullptr) {
      setting.field.set(inventory, board, port, {});
    }
  }
}

void loadPort(Inventory& inventory, RegKey boardKey, int boardIndex, int portIndex) {
  clearPortNumbers(inventory, boardIndex, portIndex);
  wchar_t portKeyName[16];
  if (!formatText(portKeyName, kPortKeyFormat, portIndex)) return;
  RegKey portKey = nullptr;
  if (openKey(boardKey, &portKey, portKeyName, kKeyRead) != kRegistryOk) return;
  loadValues(portKey, kPortSetting, inventory, boardIndex, portIndex);
  regCloseKey(portKey);
}

void loadBoard(Inventory& inventory, RegKey parameters, int boardIndex) {
  BoardRecord* board = boardAt(&inventory, boardIndex);
  // An empty key name would open Parameters itself.
  if (board == nullptr || board->keyName[0] == L'\0') return;
  RegKey boardKey = nullptr;
  if (openKey(parameters, &boardKey, board->keyName, kKeyRead) != kRegistryOk) return;
  loadValues(boardKey, kBoardSetting, inventory, boardIndex, 0);
  board->portCount = portsInUse(*board);
  for (int j = 0; j < board->portCount; ++j) loadPort(inventory, boardKey, boardIndex, j);
  regCloseKey(boardKey);
}

}  // namespace

int loadSettings(Inventory* inventory) {
  if (inventory == nullptr) return 0;
  wchar_t path[kKeyPathCapacity];
  bool havePath = buildServiceSubkeyPath(path, std::size(path), kServiceName, kSettingsStoreKey);

  inventory->scanRate = 0;
  inventory->verboseLog = 0;
  inventory->globalRS485Options = 0;
  RegKey parameters = nullptr;
  if (havePath && openKey(nullptr, &parameters, path, kKeyRead) != kRegistryOk)
    parameters = nullptr;
  if (parameters != nullptr) loadValues(parameters, kDriverWideSetting, *inventory, 0, 0);

  inventory->boardCount = boardsInUse(*inventory);
  for (int i = 0; i < inventory->boardCount; ++i) {
    identifyBoard(i);
    if (parameters != nullptr) loadBoard(*inventory, parameters, i);
  }
  if (parameters != nullptr) regCloseKey(parameters);
  return 0;
}

void applyDefaults() {
  for (int i = 0; BoardRecord* board = boardAt(gInventory, i); ++i) {
    if (board->displayName[0] == L'\0') formatText(board->displayName, kDefaultDisplayName, i + 1);
    if (board->portCount == 0) board->portCount = kDefaultPortCount;
    if (board->ioAddress == 0) board->ioAddress = kPciBus;
  }
}
