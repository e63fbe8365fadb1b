#include "inventory/discovery.h"

#include "inventory/identification.h"
#include "inventory/inventory.h"
#include "inventory/settings_loader.h"
#include "platform/os_devices.h"
#include "platform/os_registry.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

const wchar_t kNodeIdValue[] = L"NrvNodeId";

// Capacity of the service-name buffer (128 bytes of UTF-16).
constexpr size_t kServiceNameCapacity = 64;

bool servedByDriver(DeviceSet set, const DeviceElement* element) {
  wchar_t service[kServiceNameCapacity] = {};
  uint32_t type = kRegNone;
  size_t units = std::size(service);
  if (!getDevicePropertyText(set, element, kSpdrpService, &type, service, &units)) return false;
  if (!terminateReadText(service, std::size(service), units)) return false;
  return equalsIgnoreCase(service, kServiceName);
}

}  // namespace

int discoverBoards() {
  Inventory* inventory = gInventory;
  if (inventory == nullptr) return 0;
  inventory->deviceInfoSet = getClassDevices(kMultiportSerialClass, kDigcfPresent);
  uint32_t member = 0;
  int found = 0;
  while (BoardRecord* slot = boardSlot(inventory, found)) {
    slot->deviceInfo = newDeviceElement();
    if (slot->deviceInfo == nullptr) break;
    if (!enumDeviceInfo(inventory->deviceInfoSet, member, slot->deviceInfo)) {
      freeDeviceElement(slot->deviceInfo);
      slot->deviceInfo = nullptr;
      break;
    }
    if (servedByDriver(inventory->deviceInfoSet, slot->deviceInfo)) {
      formatText(slot->deviceId, L"%u", static_cast<unsigned>(found));
      ++found;
      ++inventory->boardCount;
    } else {
      freeDeviceElement(slot->deviceInfo);
      slot->deviceInfo = nullptr;
    }
    ++member;
  }
  return 0;
}

int readNodeId(uint32_t* nodeId, int boardIndex) {
  *nodeId = 0;
  const BoardRecord* board = boardSlot(gInventory, boardIndex);
  if (board == nullptr || board->deviceInfo == nullptr) return 1;
  const DeviceElement* element = board->deviceInfo;
  // Read access is enough, and a user without administrator rights has no more.
  RegKey key = nullptr;
  if (openDevNodeKey(deviceNodeOf(element), kKeyRead, 0, kRegDispositionOpenExisting, &key,
                     kCmRegistrySoftware) != kCrSuccess ||
      key == nullptr) {
    return 1;
  }
  uint32_t value = 0;
  RegistryStatus status = readDwordValue(key, L"", kNodeIdValue, &value);
  regCloseKey(key);
  if (status != kRegistryOk) return 2;
  *nodeId = value;
  return 0;
}

int nameBoardKey(int boardIndex) {
  BoardRecord* board = boardSlot(gInventory, boardIndex);
  if (board == nullptr) return 0;
  uint32_t nodeId = 0;
  readNodeId(&nodeId, boardIndex);
  formatText(board->keyName, L"Device%d", static_cast<int32_t>(nodeId));
  return 0;
}

int buildInventory() {
  Inventory* inventory = gInventory;
  if (inventory == nullptr) return 1;
  discoverBoards();
  const int boardCount = boardsInUse(*inventory);
  if (boardCount == 0) return 1;
  for (int i = 0; i < boardCount; ++i) nameBoardKey(i);
  loadSettings(inventory);
  for (int i = 0; i < boardCount; ++i) modelNameFallback(i);
  applyDefaults();
  return 0;
}
