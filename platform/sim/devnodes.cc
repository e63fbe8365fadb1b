// The configuration-manager side of the device-manager boundary on the simulated
// machine: device-node keys, the child and sibling walk, and device-node properties.
#include "platform/os_devices.h"
#include "platform/sim/access.h"
#include "platform/sim/codepage.h"
#include "platform/sim/device_tree.h"
#include "platform/sim/key_handles.h"
#include "platform/sim/utf.h"

namespace {

constexpr uint32_t kCrInvalidFlag = 0x4;
constexpr uint32_t kCrNoSuchRegistryKey = 0x2E;
constexpr uint32_t kCrInvalidProperty = 0x35;
constexpr uint32_t kDispositionOpenAlways = 0;
constexpr uint32_t kDnDriverLoaded = 0x2;

// Device-node properties that may be written.
const uint32_t kWritableProperties[] = {1, kCmDrpFriendlyName, 0xE};

bool nodeId(DevNode node, SimMachine** machine, std::u16string* id) {
  *machine = currentMachine();
  return *machine != nullptr && nodeInstanceId(**machine, node, id);
}

// A device-node key that does not open, for want of rights too, is CR_NO_SUCH_REGISTRY_KEY,
// as ReactOS answers where Microsoft documents no codes.
uint32_t configResult(uint32_t osError) {
  return osError == kOsSuccess ? kCrSuccess : kCrNoSuchRegistryKey;
}

// The path of a node's software (driver) key or hardware key; false when it has none.
bool nodeKeyOfKind(const Registry& registry, const std::u16string& id, uint32_t kind,
                   std::u16string* path) {
  if (kind == kCmRegistryHardware) {
    *path = hardwareKeyPath(id);
    return true;
  }
  std::u16string driver;
  if (!storedText(registry, nodeKeyPath(id), u"Driver", &driver) || driver.empty()) {
    return false;
  }
  *path = joinKeyPath(kClassKeyPath, driver);
  return true;
}

}  // namespace

uint32_t openDevNodeKey(DevNode node, uint32_t access, uint32_t /*profile*/, uint32_t disposition,
                        RegKey* out, uint32_t flags) {
  *out = nullptr;
  SimMachine* machine = currentMachine();
  if (machine != nullptr) ++machine->registryCalls;
  std::u16string id;
  if (!nodeId(node, &machine, &id)) return kCrNoSuchDevnode;
  if (flags != kCmRegistryHardware && flags != kCmRegistrySoftware) return kCrInvalidFlag;
  std::u16string path;
  if (!nodeKeyOfKind(machine->registry, id, flags, &path)) return kCrNoSuchRegistryKey;
  if (disposition == kRegDispositionOpenExisting) {
    return configResult(openKeyHandle(*machine, path, access, out));
  }
  if (disposition == kDispositionOpenAlways) {
    return configResult(createKeyHandle(*machine, path, access, true, out));
  }
  return kCrInvalidFlag;
}

uint32_t getChildNode(DevNode* out, DevNode node) {
  *out = 0;
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!nodeId(node, &machine, &id)) return kCrNoSuchDevnode;
  const std::vector<std::u16string>& children = childInstanceIds(*machine, id);
  if (children.empty()) return kCrNoSuchDevnode;
  *out = nodeHandle(*machine, children.front());
  return kCrSuccess;
}

uint32_t getSiblingNode(DevNode* out, DevNode node) {
  *out = 0;
  SimMachine* machine = nullptr;
  std::u16string id;
  std::u16string parent;
  if (!nodeId(node, &machine, &id) || !parentInstanceId(*machine, id, &parent)) {
    return kCrNoSuchDevnode;
  }
  const std::vector<std::u16string>& children = childInstanceIds(*machine, parent);
  for (size_t i = 0; i + 1 < children.size(); ++i) {
    if (foldCase(children[i]) == foldCase(id)) {
      *out = nodeHandle(*machine, children[i + 1]);
      return kCrSuccess;
    }
  }
  return kCrNoSuchDevnode;
}

uint32_t getDevNodePropertyText(DevNode node, uint32_t property, wchar_t* buffer, size_t* units) {
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!nodeId(node, &machine, &id)) return kCrNoSuchDevnode;
  const char16_t* name = property == 0 ? nullptr : devicePropertyValueName(property - 1);
  if (name == nullptr) return kCrInvalidProperty;
  const RegValue* value = machine->registry.findValue(nodeKeyPath(id), name);
  if (value == nullptr) return kCrNoSuchValue;
  const std::u16string data = fromUtf16LeBytes(value->data);
  const size_t capacity = *units;
  *units = data.size();
  if (buffer == nullptr || data.size() > capacity) return kCrBufferSmall;
  toWide(data, buffer);
  return kCrSuccess;
}

uint32_t setDevNodePropertyText(DevNode node, uint32_t property, const wchar_t* text,
                                size_t units) {
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!nodeId(node, &machine, &id)) return kCrNoSuchDevnode;
  bool writable = false;
  for (uint32_t candidate : kWritableProperties) writable = writable || candidate == property;
  if (!writable) return kCrInvalidProperty;
  const std::u16string path = nodeKeyPath(id);
  if (isReadOnlyKey(machine->registry, path)) return kCrAccessDenied;
  RegNode* key = machine->registry.findKey(path);
  const char16_t* name = devicePropertyValueName(property - 1);
  if (text == nullptr || units == 0) {
    machine->registry.removeValue(key, name);
  } else {
    machine->registry.setValue(key, name, kRegSz, toUtf16LeBytes(fromWide(text, units)));
  }
  return kCrSuccess;
}

uint32_t osErrorOfConfigResult(uint32_t result) {
  switch (result) {
    case kCrSuccess:
      return kOsSuccess;
    case kCrInvalidFlag:
      return kOsInvalidFlags;
    case kCrInvalidProperty:
      return kOsInvalidData;
    case kCrNoSuchDevnode:
    case kCrNoSuchValue:
      return kOsNotFound;
    case kCrBufferSmall:
      return kOsInsufficientBuffer;
    case kCrNoSuchRegistryKey:
      return kOsFileNotFound;
    case kCrAccessDenied:
      return kOsAccessDenied;
    default:
      return kOsGenFailure;
  }
}

uint32_t getDevNodeStatus(DevNode node, uint32_t* status, uint32_t* problem) {
  *status = 0;
  *problem = 0;
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!nodeId(node, &machine, &id) || !isPresent(machine->registry, id)) return kCrNoSuchDevnode;
  const auto left = machine->startProblems.find(node);
  if (left != machine->startProblems.end()) {
    *status = kDnHasProblem;
    *problem = left->second;
    return kCrSuccess;
  }
  *status = kDnDriverLoaded | kDnStarted;
  return kCrSuccess;
}
