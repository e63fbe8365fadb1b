#include "apply/settings_writer.h"

#include <cwchar>
#include <iterator>
#include <new>

#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "platform/os_registry.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

// --- The keys of the walk ---------------------------------------------------------------

enum class StoreKey { kEventLogSource, kService, kParameters, kBoard, kPort };

struct StoreKeyStep {
  StoreKey kind;
  uint8_t level;   // SettingLevel of the values the key holds; 0 for the event log and service
  int parent;      // index of the step of the key above; -1 beneath HKLM
  int boardIndex;  // kBoard and kPort; else -1
  int portIndex;   // kPort; else -1
  wchar_t path[kKeyPathCapacity];  // the key's full path beneath HKLM
  const wchar_t* subKey;           // its path beneath the key above (all of it beneath HKLM)
  RegKey key;                      // the writer's: the key as it opened it
  bool opened;                     // the writer's: `key` is open
};

// The keys of the walk in order; every key's step comes after the step of the key above.
struct StoreKeyList {
  StoreKeyStep* steps;  // owned
  int count;
};

StoreKeyStep* nextStep(StoreKeyList* list, StoreKey kind, uint8_t level, int parent, int board,
                       int port) {
  StoreKeyStep& step = list->steps[list->count];
  step.kind = kind;
  step.level = level;
  step.parent = parent;
  step.boardIndex = board;
  step.portIndex = port;
  step.path[0] = L'\0';
  step.subKey = step.path;
  step.key = nullptr;
  step.opened = false;
  return &step;
}

// A key beneath HKLM whose path `build` gives for the driver's service. Its index, or -1
// when the path would not fit.
int addRootKey(StoreKeyList* list, StoreKey kind,
               bool (*build)(wchar_t* buffer, size_t capacity, const wchar_t* component)) {
  StoreKeyStep* step = nextStep(list, kind, 0, -1, -1, -1);
  if (!build(step->path, std::size(step->path), kServiceName)) return -1;
  return list->count++;
}

// The key `name` beneath the key of step `parent`. Its index, or -1 when the name is empty
// or the path would not fit (the key is then left out rather than reached under a cut path).
int addKey(StoreKeyList* list, StoreKey kind, uint8_t level, int parent, const wchar_t* name,
           int board, int port) {
  const wchar_t* parentPath = list->steps[parent].path;
  StoreKeyStep* step = nextStep(list, kind, level, parent, board, port);
  if (name[0] == L'\0' || !formatText(step->path, L"%ls\\%ls", parentPath, name)) return -1;
  step->subKey = step->path + textLength(parentPath) + 1;
  return list->count++;
}

void addPortKeys(StoreKeyList* list, const BoardRecord& record, int board, int boardStep) {
  const int portCount = portsInUse(record);
  for (int j = 0; j < portCount; ++j) {
    wchar_t name[16] = {};
    if (!formatText(name, kPortKeyFormat, j)) continue;
    addKey(list, StoreKey::kPort, kPortSetting, boardStep, name, board, j);
  }
}

// Fills `list` with the keys of the walk (see settings_writer.h); false when there is no
// memory for it (the list is then empty). The caller frees list->steps.
bool listStoreKeys(const Inventory& inventory, StoreKeyList* list) {
  int capacity = 3;  // the event-log source, the service key, Parameters
  for (int i = 0; const BoardRecord* record = boardAt(&inventory, i); ++i) {
    capacity += 1 + portsInUse(*record);
  }
  *list = {new (std::nothrow) StoreKeyStep[capacity], 0};
  if (list->steps == nullptr) return false;

  addRootKey(list, StoreKey::kEventLogSource, buildEventLogPath);
  const int service = addRootKey(list, StoreKey::kService, buildServicesPath);
  if (service < 0) return true;
  const int parameters =
      addKey(list, StoreKey::kParameters, kDriverWideSetting, service, kSettingsStoreKey, -1, -1);
  if (parameters < 0) return true;
  for (int i = 0; const BoardRecord* record = boardAt(&inventory, i); ++i) {
    // An empty key name would reach Parameters itself.
    const int board =
        addKey(list, StoreKey::kBoard, kBoardSetting, parameters, record->keyName, i, -1);
    if (board >= 0) addPortKeys(list, *record, i, board);
  }
  return true;
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

// Creates the key of `step` where it is missing, opens it and writes its values (the
// event-log source's by its path, without opening it). True when the key is open.
bool writeKey(WriteTally& tally, const Inventory& inventory, const StoreKeyList& list,
              StoreKeyStep& step) {
  if (step.kind == StoreKey::kEventLogSource) {
    writeEventLogSource(tally, inventory, step.path);
    return false;
  }
  const RegKey parent = step.parent < 0 ? nullptr : list.steps[step.parent].key;
  if (keyExists(parent, step.subKey) == 0) createKey(parent, step.subKey);
  if (openKey(parent, &step.key, step.subKey, kKeyAllAccess) != kRegistryOk) {
    tally.count(kRegistryOpenFailed);  // and everything beneath it is left as it was
    return false;
  }
  step.opened = true;
  if (step.kind == StoreKey::kService) {
    writeServiceValues(tally, inventory, step.key);
  } else {
    writeValues(tally, inventory, step.level, step.boardIndex, step.portIndex, step.key);
  }
  return true;
}

// The service key, Parameters, a board key and a port key are open at once at the most.
constexpr int kMaxOpenKeys = 4;

// Writes the keys of the list in order. A key stays open until every key beneath it is
// written, and is closed before the walk goes on beside it.
void writeStoreKeys(WriteTally& tally, const Inventory& inventory, StoreKeyList& list) {
  int open[kMaxOpenKeys] = {};  // the steps whose keys are open, outermost first
  int openCount = 0;
  for (int i = 0; i < list.count; ++i) {
    StoreKeyStep& step = list.steps[i];
    if (step.parent >= 0 && !list.steps[step.parent].opened) continue;
    while (openCount > 0 && open[openCount - 1] != step.parent) {
      regCloseKey(list.steps[open[--openCount]].key);
    }
    if (writeKey(tally, inventory, list, step) && openCount < kMaxOpenKeys) open[openCount++] = i;
  }
  while (openCount > 0) regCloseKey(list.steps[open[--openCount]].key);
}

}  // namespace

int checkSettingsStoreWritable(const Inventory& inventory, uint32_t* error) {
  StoreKeyList list{};
  uint32_t refusal = listStoreKeys(inventory, &list) ? kOsSuccess : kOsNotEnoughMemory;
  for (int i = 0; i < list.count && refusal == kOsSuccess; ++i) {
    refusal = keyWritable(list.steps[i].path);
  }
  delete[] list.steps;
  if (error != nullptr) *error = refusal;
  if (refusal == kOsSuccess) return kStoreWritable;
  return refusal == kOsAccessDenied ? kStoreAccessDenied : kStoreNotWritable;
}

int writeSettingsStore(const Inventory* inventory, int* failures) {
  if (failures != nullptr) *failures = 0;
  if (inventory == nullptr) return 0;
  WriteTally tally;
  StoreKeyList list{};
  if (listStoreKeys(*inventory, &list)) {
    writeStoreKeys(tally, *inventory, list);
  } else {
    tally.count(kRegistryOpenFailed);  // nothing could be reached
  }
  delete[] list.steps;
  if (failures != nullptr) *failures = tally.failures;
  return 0;
}
