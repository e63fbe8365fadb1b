#include "apply/settings_writer.h"

#include <cwchar>
#include <iterator>

#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "platform/os_registry.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

void visitKey(StoreKeyVisitor& visitor, const StoreKeyStep& step,
              void (*beneath)(const Inventory&, StoreKeyVisitor&, const StoreKeyStep&, RegKey),
              const Inventory& inventory) {
  RegKey key = nullptr;
  if (!visitor.enter(step, &key)) return;
  if (beneath != nullptr) beneath(inventory, visitor, step, key);
  visitor.leave(step, key);
}

// The full path of a key beneath `parentPath`; false when it would not fit (the key is
// then skipped rather than reached under a cut path).
bool childPath(wchar_t (&path)[kKeyPathCapacity], const wchar_t* parentPath, const wchar_t* name) {
  return name[0] != L'\0' && formatText(path, L"%ls\\%ls", parentPath, name);
}

void walkPorts(const Inventory& inventory, StoreKeyVisitor& visitor, const StoreKeyStep& board,
               RegKey boardKey) {
  const int portCount = portsInUse(inventory.boards[board.boardIndex]);
  for (int j = 0; j < portCount; ++j) {
    wchar_t name[16] = {};
    wchar_t path[kKeyPathCapacity] = {};
    if (!formatText(name, kPortKeyFormat, j) || !childPath(path, board.path, name)) continue;
    const StoreKeyStep step{StoreKeyKind::kPort, boardKey, name, path, board.boardIndex, j};
    visitKey(visitor, step, nullptr, inventory);
  }
}

void walkBoards(const Inventory& inventory, StoreKeyVisitor& visitor,
                const StoreKeyStep& parameters, RegKey parametersKey) {
  const int boardCount = boardsInUse(inventory);
  for (int i = 0; i < boardCount; ++i) {
    const wchar_t* name = inventory.boards[i].keyName;
    wchar_t path[kKeyPathCapacity] = {};
    // An empty key name would reach Parameters itself.
    if (!childPath(path, parameters.path, name)) continue;
    const StoreKeyStep step{StoreKeyKind::kBoard, parametersKey, name, path, i, -1};
    visitKey(visitor, step, walkPorts, inventory);
  }
}

void walkParameters(const Inventory& inventory, StoreKeyVisitor& visitor,
                    const StoreKeyStep& service, RegKey serviceKey) {
  wchar_t path[kKeyPathCapacity] = {};
  if (!childPath(path, service.path, kSettingsStoreKey)) return;
  const StoreKeyStep step{StoreKeyKind::kParameters, serviceKey, kSettingsStoreKey, path, -1, -1};
  visitKey(visitor, step, walkBoards, inventory);
}

// --- The permission check -------------------------------------------------------------

// kOsSuccess when the key opens with all access, or is missing and the nearest key above
// it that exists opens with all access (so that it can be created); else why that open
// failed.
uint32_t keyWritable(const wchar_t* path) {
  wchar_t probe[kKeyPathCapacity] = {};
  copyText(probe, path);
  for (;;) {
    if (keyExists(nullptr, probe) != 0) {
      RegKey key = nullptr;
      const uint32_t opened = regOpenKeyEx(regLocalMachine(), probe, kKeyAllAccess, &key);
      if (opened != kOsSuccess || key == nullptr) return opened != kOsSuccess ? opened : 1;
      regCloseKey(key);
      return kOsSuccess;
    }
    wchar_t* cut = std::wcsrchr(probe, L'\\');
    if (cut == nullptr) return kOsSuccess;
    *cut = L'\0';
  }
}

class WritableCheck : public StoreKeyVisitor {
 public:
  bool enter(const StoreKeyStep& step, RegKey*) override {
    if (refusal_ != kOsSuccess) return false;
    refusal_ = keyWritable(step.path);
    return refusal_ == kOsSuccess;
  }
  void leave(const StoreKeyStep&, RegKey) override {}
  uint32_t refusal() const { return refusal_; }

 private:
  uint32_t refusal_ = kOsSuccess;
};

// --- The writer -------------------------------------------------------------------------

// Counts the writes that fail: a value that is to be deleted and is already gone is no
// failure.
struct WriteTally {
  int failures = 0;
  void count(RegistryStatus status) { failures += status != kRegistryOk ? 1 : 0; }
};

void writeDwordOrDrop(WriteTally& tally, RegKey key, const wchar_t* name, uint32_t value) {
  const RegistryStatus status = writeDwordOrDelete(key, L"", name, value, 0);
  if (value != 0) tally.count(status);
}

void writeEventLogSource(WriteTally& tally, const Inventory& inventory, const wchar_t* path) {
  if (keyExists(nullptr, path) == 0) tally.count(createKey(nullptr, path));
  wchar_t messageFile[150] = {};
  copyText(messageFile, L"%SystemRoot%\\system32\\IoLogMsg.dll;");
  appendText(messageFile, L"%SystemRoot%\\system32\\drivers\\");
  appendText(messageFile, inventory.driverFile);
  tally.count(writeStringValue(nullptr, path, L"EventMessageFile", messageFile, kRegExpandSz));
  tally.count(writeDwordValue(nullptr, path, L"TypesSupported", 7));
}

void writeServiceValues(WriteTally& tally, const Inventory& inventory, RegKey key) {
  wchar_t imagePath[150] = {};
  copyText(imagePath, L"System32\\Drivers\\");
  appendText(imagePath, inventory.driverFile);
  tally.count(writeDwordValue(key, L"", L"ErrorControl", 0));
  tally.count(writeStringValue(key, L"", L"ImagePath", imagePath, kRegSz));
  tally.count(writeStringValue(key, L"", L"Group", L"Extended Base", kRegSz));
  tally.count(writeDwordValue(key, L"", L"Tag", 1));
  tally.count(writeDwordValue(key, L"", L"Type", 1));
  tally.count(writeDwordValue(key, L"", L"Start", 3));
}

// Writes the values of `level` into `key` in the writer's order, from the Inventory (at
// board `board`, port `port` as the level needs): texts always, numbers or their deletion.
void writeValues(WriteTally& tally, const Inventory& inventory, uint8_t level, int board, int port,
                 RegKey key) {
  const SettingList values = settingsInOrder(&SettingOrder::write, level);
  for (int i = 0; i < values.count; ++i) {
    const SettingRow& setting = *values.rows[i];
    const SettingValue value = setting.field.get(inventory, board, port);
    if (setting.regType == kRegSz) {
      tally.count(writeStringValue(key, L"", setting.valueName, value.text, kRegSz));
    } else {
      writeDwordOrDrop(tally, key, setting.valueName, value.number);
    }
  }
}

class StoreWriter : public StoreKeyVisitor {
 public:
  explicit StoreWriter(const Inventory& inventory) : inventory_(inventory) {}
  int failures() const { return tally_.failures; }

  bool enter(const StoreKeyStep& step, RegKey* key) override {
    if (step.kind == StoreKeyKind::kEventLogSource) {
      writeEventLogSource(tally_, inventory_, step.path);
      return false;
    }
    if (keyExists(step.parent, step.subKey) == 0) createKey(step.parent, step.subKey);
    if (openKey(step.parent, key, step.subKey, kKeyAllAccess) != kRegistryOk) {
      tally_.count(kRegistryOpenFailed);  // and everything beneath it is left as it was
      return false;
    }
    switch (step.kind) {
      case StoreKeyKind::kService:
        writeServiceValues(tally_, inventory_, *key);
        break;
      case StoreKeyKind::kParameters:
        writeValues(tally_, inventory_, kDriverWideSetting, 0, 0, *key);
        break;
      case StoreKeyKind::kBoard:
        writeValues(tally_, inventory_, kBoardSetting, step.boardIndex, 0, *key);
        break;
      case StoreKeyKind::kPort:
        writeValues(tally_, inventory_, kPortSetting, step.boardIndex, step.portIndex, *key);
        break;
      case StoreKeyKind::kEventLogSource:
        break;
    }
    return true;
  }

  void leave(const StoreKeyStep&, RegKey key) override { regCloseKey(key); }

 private:
  const Inventory& inventory_;
  WriteTally tally_;
};

}  // namespace

void walkStoreKeys(const Inventory& inventory, StoreKeyVisitor& visitor) {
  wchar_t eventLogPath[kKeyPathCapacity] = {};
  if (buildEventLogPath(eventLogPath, std::size(eventLogPath), kServiceName)) {
    const StoreKeyStep step{
        StoreKeyKind::kEventLogSource, nullptr, eventLogPath, eventLogPath, -1, -1};
    visitKey(visitor, step, nullptr, inventory);
  }
  wchar_t servicePath[kKeyPathCapacity] = {};
  if (!buildServicesPath(servicePath, std::size(servicePath), kServiceName)) return;
  const StoreKeyStep step{StoreKeyKind::kService, nullptr, servicePath, servicePath, -1, -1};
  visitKey(visitor, step, walkParameters, inventory);
}

int checkSettingsStoreWritable(const Inventory& inventory, uint32_t* error) {
  WritableCheck check;
  walkStoreKeys(inventory, check);
  if (error != nullptr) *error = check.refusal();
  if (check.refusal() == kOsSuccess) return kStoreWritable;
  return check.refusal() == kOsAccessDenied ? kStoreAccessDenied : kStoreNotWritable;
}

int writeSettingsStore(const Inventory* inventory, int* failures) {
  if (failures != nullptr) *failures = 0;
  if (inventory == nullptr) return 0;
  StoreWriter writer(*inventory);
  walkStoreKeys(*inventory, writer);
  if (failures != nullptr) *failures = writer.failures();
  return 0;
}
