#include "apply/settings_writer.h"

#include <cwchar>
#include <iterator>

#include "inventory/inventory.h"
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
    if (!formatText(name, L"Port%d", j) || !childPath(path, board.path, name)) continue;
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
  const wchar_t name[] = L"Parameters";
  wchar_t path[kKeyPathCapacity] = {};
  if (!childPath(path, service.path, name)) return;
  const StoreKeyStep step{StoreKeyKind::kParameters, serviceKey, name, path, -1, -1};
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

void writeDriverValues(WriteTally& tally, const Inventory& inventory, RegKey key) {
  writeDwordOrDrop(tally, key, L"ScanRate", inventory.scanRate);
  writeDwordOrDrop(tally, key, L"NumDevices", static_cast<uint32_t>(inventory.boardCount));
  writeDwordOrDrop(tally, key, L"VerboseLog", inventory.verboseLog);
  writeDwordOrDrop(tally, key, L"GlobalRS485Options", inventory.globalRS485Options);
}

void writeBoardValues(WriteTally& tally, const BoardRecord& board, RegKey key) {
  writeDwordOrDrop(tally, key, L"NumPorts", static_cast<uint32_t>(board.portCount));
  writeDwordOrDrop(tally, key, L"IoAddress", static_cast<uint32_t>(board.ioAddress));
  writeDwordOrDrop(tally, key, L"ModemDevice", board.modemKind);
  tally.count(writeStringValue(key, L"", L"Name", board.displayName, kRegSz));
  tally.count(writeStringValue(key, L"", L"ModelName", board.modelName, kRegSz));
}

// A numeric port value: a field of the record, or one PortFlags bit stored as 0 or 1.
struct PortDword {
  const wchar_t* name;
  uint32_t PortRecord::*field;
  uint32_t flag;  // 0: the field itself
};

// In the order of writing, after the port's Name.
const PortDword kPortDwords[] = {
    {L"LockBaud", &PortRecord::lockBaud, 0},
    {L"WaitOnTx", &PortRecord::portFlags, kWaitOnTx},
    {L"RS485Low", &PortRecord::portFlags, kRS485Low},
    {L"BlockSerenum", &PortRecord::portFlags, kBlockSerenum},
    {L"MapCdToDsr", &PortRecord::portFlags, kMapCdToDsr},
    {L"RingEmulate", &PortRecord::portFlags, kRingEmulate},
    {L"TxCloseTime", &PortRecord::txCloseTime, 0},
    {L"Map2StopsTo1", &PortRecord::portFlags, kMap2StopsTo1},
    {L"RS485Override", &PortRecord::portFlags, kRS485Override},
};

void writePortValues(WriteTally& tally, const PortRecord& port, RegKey key) {
  tally.count(writeStringValue(key, L"", L"Name", port.comName, kRegSz));
  for (const PortDword& value : kPortDwords) {
    const uint32_t data = port.*value.field;
    writeDwordOrDrop(tally, key, value.name,
                     value.flag == 0 ? data : ((data & value.flag) ? 1u : 0u));
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
        writeDriverValues(tally_, inventory_, *key);
        break;
      case StoreKeyKind::kBoard:
        writeBoardValues(tally_, inventory_.boards[step.boardIndex], *key);
        break;
      case StoreKeyKind::kPort:
        writePortValues(tally_, inventory_.boards[step.boardIndex].ports[step.portIndex], *key);
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
