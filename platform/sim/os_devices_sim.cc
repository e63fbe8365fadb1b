// The device-manager boundary on the simulated machine, in three parts: the SetupAPI side
// (device information sets of a setup class, their elements, device registry properties
// and the property-change restart); the configuration-manager side (device-node keys,
// the child and sibling walk, device-node properties and status); and the logical
// configurations and resource descriptors of device nodes.
#include "platform/os_devices.h"

#include <algorithm>

#include "platform/little_endian.h"
#include "platform/sim/access.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/device_tree.h"
#include "platform/sim/event_log.h"
#include "platform/sim/key_handles.h"
#include "platform/sim/knobs.h"
#include "platform/sim/machine.h"
#include "platform/sim/resource_list.h"
#include "platform/sim/utf.h"

namespace {

const char16_t kDeviceManagerKnobKey[] = ZP_KNOB_UTF16(ZP_DEVICE_MANAGER_KNOBS);
constexpr uint32_t kSpDevinfoDataSize = 32;  // sizeof(SP_DEVINFO_DATA) on x64

bool fail(uint32_t error) {
  setLastOsError(error);
  return false;
}

// The machine and instance id of an element of an open set; false when either is not.
bool memberOf(DeviceSet set, const DeviceElement* element, SimMachine** machine,
              std::u16string* instanceId) {
  *machine = currentMachine();
  if (*machine == nullptr || (*machine)->deviceSets.count(set) == 0 || element == nullptr) {
    return false;
  }
  bool member = false;
  for (DevNode node : set->members) member = member || node == element->node;
  return member && nodeInstanceId(**machine, element->node, instanceId);
}

// The stored data of a device registry property; false (last error set) when missing.
bool readProperty(DeviceSet set, const DeviceElement* element, uint32_t property,
                  const RegValue** value) {
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!memberOf(set, element, &machine, &id)) return fail(kOsInvalidParameter);
  const char16_t* name = devicePropertyValueName(property);
  *value = name == nullptr ? nullptr : machine->registry.findValue(nodeKeyPath(id), name);
  return *value != nullptr || fail(kOsInvalidData);
}

// Whether stored text (UTF-16LE up to its first NUL; an odd last byte is a unit of its
// own) equals `folded` without regard to case; asked of every device node, so without
// copies.
bool equalsFolded(const std::string& data, const std::u16string& folded) {
  size_t i = 0;
  for (size_t byte = 0; byte < data.size(); byte += 2, ++i) {
    const char16_t unit =
        static_cast<char16_t>(readLittleEndian(data.data() + byte, byte + 1 < data.size() ? 2 : 1));
    if (unit == u'\0') break;
    if (i == folded.size() || foldCase(unit) != folded[i]) return false;
  }
  return i == folded.size();
}

// Device nodes.
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

// Resources. Only the allocated configuration and its first I/O port range exist. The
// handles name the node they belong to and hold nothing, so one left unfreed costs nothing.
constexpr uint32_t kCrInvalidPointer = 0x3;
constexpr uint32_t kCrInvalidLogConf = 0x7;
constexpr uint32_t kCrInvalidResDes = 0x6;
constexpr uint32_t kCrNoMoreLogConf = 0xE;
constexpr uint32_t kCrNoMoreResDes = 0xF;
constexpr uintptr_t kLogConfTag = 0x4C;
constexpr uintptr_t kResDesTag = 0x52;
constexpr uint32_t kIoDesSize = 28;    // IO_DES: count, type, base, end, flags (packed)
constexpr uint32_t kIoTypeRange = 40;  // IOType_Range: the packed size of IO_RANGE
// An I/O descriptor's data is an IO_RESOURCE: the IO_DES header (a count of 0 ranges, as
// for an allocated configuration) and the one range of its array, left zero.
constexpr uint32_t kIoResourceSize = kIoDesSize + kIoTypeRange;

uintptr_t makeHandle(DevNode node, uintptr_t tag) {
  return (static_cast<uintptr_t>(node) << 8) | tag;
}

DevNode handleNode(uintptr_t handle, uintptr_t tag) {
  return (handle & 0xFF) == tag ? static_cast<DevNode>(handle >> 8) : 0;
}

// The node's allocated configuration; false when it has none.
bool allocConfig(DevNode node, std::string* list) {
  SimMachine* machine = currentMachine();
  std::u16string id;
  if (machine == nullptr || !nodeInstanceId(*machine, node, &id)) return false;
  const RegValue* value =
      machine->registry.findValue(nodeKeyPath(id) + u"\\Control", u"AllocConfig");
  if (value == nullptr) return false;
  *list = value->data;
  return true;
}

// The I/O port range a descriptor handle stands for; false for no descriptor.
bool describedRange(ResDesHandle resDes, IoResource* resource) {
  const DevNode node = handleNode(resDes, kResDesTag);
  std::string list;
  return node != 0 && allocConfig(node, &list) &&
         findIoResource(list, resource) == ResourceListResult::kIoFound;
}

}  // namespace

// Device information sets.

DeviceSet getClassDevices(const OsGuid& classGuid, uint32_t flags) {
  SimMachine* machine = currentMachine();
  if (machine == nullptr) {
    setLastOsError(kOsInvalidHandle);
    return nullptr;
  }
  const std::u16string wanted = foldCase(formatGuid(classGuid));
  static const std::u16string kClassGuid = foldCase(u"ClassGUID");
  auto* set = new OsDeviceSet;
  for (const InstanceNode& node : allInstances(machine->registry)) {
    auto value = node.key->values.find(kClassGuid);
    if (value == node.key->values.end() ||
        (value->second.type != kRegSz && value->second.type != kRegExpandSz)) {
      continue;
    }
    if (!equalsFolded(value->second.data, wanted)) continue;
    if ((flags & kDigcfPresent) != 0 && !isPresent(machine->registry, node.id)) continue;
    set->members.push_back(nodeHandle(*machine, node.id));
  }
  machine->deviceSets.insert(set);
  return set;
}

void destroyDeviceSet(DeviceSet set) {
  SimMachine* machine = currentMachine();
  if (machine == nullptr || machine->deviceSets.erase(set) == 0) return;
  delete set;
}

DeviceElement* newDeviceElement() {
  auto* element = new DeviceElement{};
  element->size = kSpDevinfoDataSize;
  return element;
}

void freeDeviceElement(DeviceElement* element) { delete element; }

bool enumDeviceInfo(DeviceSet set, uint32_t index, DeviceElement* element) {
  SimMachine* machine = currentMachine();
  if (machine == nullptr || machine->deviceSets.count(set) == 0 || element == nullptr) {
    return fail(kOsInvalidHandle);
  }
  if (index >= set->members.size()) return fail(kOsNoMoreItems);
  element->node = set->members[index];
  return true;
}

DevNode deviceNodeOf(const DeviceElement* element) {
  return element == nullptr ? 0 : element->node;
}

bool getDevicePropertyText(DeviceSet set, const DeviceElement* element, uint32_t property,
                           uint32_t* type, wchar_t* buffer, size_t* units) {
  const RegValue* value = nullptr;
  if (!readProperty(set, element, property, &value)) return false;
  const std::u16string data = fromUtf16LeBytes(value->data);
  const size_t capacity = *units;
  *units = data.size();
  if (type != nullptr) *type = value->type;
  if (buffer == nullptr || data.size() > capacity) return fail(kOsInsufficientBuffer);
  toWide(data, buffer);
  return true;
}

bool getDevicePropertyDword(DeviceSet set, const DeviceElement* element, uint32_t property,
                            uint32_t* type, uint32_t* value) {
  const RegValue* stored = nullptr;
  if (!readProperty(set, element, property, &stored)) return false;
  if (type != nullptr) *type = stored->type;
  if (stored->data.size() > 4) return fail(kOsInsufficientBuffer);
  // Like the system, only the bytes the data has are written.
  unsigned char bytes[4];
  writeLittleEndian(bytes, 4, *value);
  std::copy(stored->data.begin(), stored->data.end(), bytes);
  *value = readWord32(bytes);
  return true;
}

bool setPropertyChangeParams(DeviceSet set, DeviceElement* element, uint32_t stateChange,
                             uint32_t /*scope*/, uint32_t /*hwProfile*/) {
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!memberOf(set, element, &machine, &id) || stateChange != kDicsPropChange) {
    return fail(kOsInvalidParameter);
  }
  uint32_t allowed = ZP_KNOB_PROPERTY_CHANGE_DEFAULT;
  storedDword(machine->registry, kDeviceManagerKnobKey, ZP_KNOB_UTF16(ZP_KNOB_PROPERTY_CHANGE),
              &allowed);
  if (allowed == 0) return fail(kOsAccessDenied);
  set->propertyChange[element->node] = stateChange;
  return true;
}

bool changeDeviceState(DeviceSet set, DeviceElement* element) {
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!memberOf(set, element, &machine, &id) || set->propertyChange.count(element->node) == 0) {
    return fail(kOsInvalidParameter);
  }
  logEvent("restart " + utf16ToUtf8(id));
  machine->actedOnDevices = true;
  // A device whose driver cannot be stopped leaves DI_NEEDREBOOT set, as Windows does.
  uint32_t needsReboot = ZP_KNOB_NEEDS_REBOOT_DEFAULT;
  storedDword(machine->registry, kDeviceManagerKnobKey, ZP_KNOB_UTF16(ZP_KNOB_NEEDS_REBOOT),
              &needsReboot);
  if (needsReboot == 1) set->installFlags[element->node] |= kDiNeedReboot;
  // A driver that fails to start leaves the board with a problem code, not started.
  uint32_t problem = ZP_KNOB_START_PROBLEM_DEFAULT;
  storedDword(machine->registry, kDeviceManagerKnobKey, ZP_KNOB_UTF16(ZP_KNOB_START_PROBLEM),
              &problem);
  if (problem != 0) machine->startProblems[element->node] = problem;
  return true;
}

bool getDeviceInstallFlags(DeviceSet set, DeviceElement* element, uint32_t* flags) {
  *flags = 0;
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!memberOf(set, element, &machine, &id)) return fail(kOsInvalidParameter);
  uint32_t readable = ZP_KNOB_INSTALL_PARAMS_DEFAULT;
  storedDword(machine->registry, kDeviceManagerKnobKey, ZP_KNOB_UTF16(ZP_KNOB_INSTALL_PARAMS),
              &readable);
  if (readable == 0) return fail(kOsInvalidData);
  const auto found = set->installFlags.find(element->node);
  if (found != set->installFlags.end()) *flags = found->second;
  return true;
}

// Device nodes.

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
  const std::vector<std::u16string> children = childInstanceIds(machine->registry, id);
  if (children.empty()) return kCrNoSuchDevnode;
  *out = nodeHandle(*machine, children.front());
  return kCrSuccess;
}

uint32_t getSiblingNode(DevNode* out, DevNode node) {
  *out = 0;
  SimMachine* machine = nullptr;
  std::u16string id;
  std::u16string parent;
  if (!nodeId(node, &machine, &id) || !parentInstanceId(machine->registry, id, &parent)) {
    return kCrNoSuchDevnode;
  }
  const std::vector<std::u16string> children = childInstanceIds(machine->registry, parent);
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

// Logical configurations and resource descriptors.

uint32_t getFirstLogConf(LogConfHandle* out, DevNode node, uint32_t flags) {
  *out = 0;
  SimMachine* machine = currentMachine();
  std::u16string id;
  if (machine == nullptr || !nodeInstanceId(*machine, node, &id)) return kCrNoSuchDevnode;
  std::string list;
  if (flags != kAllocLogConf || !allocConfig(node, &list)) return kCrNoMoreLogConf;
  *out = makeHandle(node, kLogConfTag);
  return kCrSuccess;
}

uint32_t freeLogConfHandle(LogConfHandle logConf) {
  return handleNode(logConf, kLogConfTag) != 0 ? kCrSuccess : kCrInvalidLogConf;
}

uint32_t getNextResDes(ResDesHandle* out, LogConfHandle logConf, uint32_t resourceType) {
  *out = 0;
  const DevNode node = handleNode(logConf, kLogConfTag);
  if (node == 0) return kCrInvalidLogConf;
  std::string list;
  IoResource resource;
  if (resourceType != kResTypeIo || !allocConfig(node, &list) ||
      findIoResource(list, &resource) != ResourceListResult::kIoFound) {
    return kCrNoMoreResDes;
  }
  *out = makeHandle(node, kResDesTag);
  return kCrSuccess;
}

uint32_t getResDesDataSize(uint32_t* out, ResDesHandle resDes) {
  IoResource resource;
  *out = describedRange(resDes, &resource) ? kIoResourceSize : 0;
  return *out != 0 ? kCrSuccess : kCrInvalidResDes;
}

uint32_t getResDesData(ResDesHandle resDes, void* buffer, uint32_t size) {
  IoResource resource;
  if (!describedRange(resDes, &resource)) return kCrInvalidResDes;
  if (buffer == nullptr) return kCrInvalidPointer;
  if (size < kIoResourceSize) return kCrBufferSmall;
  auto* out = static_cast<unsigned char*>(buffer);
  const uint64_t end = resource.start + (resource.length == 0 ? 0 : resource.length - 1);
  std::fill(out, out + kIoResourceSize, 0);
  writeLittleEndian(out, 4, 0);
  writeLittleEndian(out + 4, 4, kIoTypeRange);
  writeLittleEndian(out + 8, 8, resource.start);
  writeLittleEndian(out + 16, 8, end);
  writeLittleEndian(out + 24, 4, resource.flags);
  return kCrSuccess;
}

uint32_t freeResDesHandle(ResDesHandle resDes) {
  return handleNode(resDes, kResDesTag) != 0 ? kCrSuccess : kCrInvalidResDes;
}
