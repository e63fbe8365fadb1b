// The SetupAPI side of the device-manager boundary on the simulated machine: device
// information sets of a setup class, their elements, device registry properties and the
// property-change restart.
#include "platform/os_devices.h"
#include "platform/sim/codepage.h"
#include "platform/sim/device_tree.h"
#include "platform/sim/event_log.h"
#include "platform/sim/machine.h"
#include "platform/sim/utf.h"

namespace {

const char16_t kDeviceManagerKnobKey[] = u"SOFTWARE\\ZephynSim\\DeviceManager";
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
    const unsigned high = byte + 1 < data.size() ? static_cast<unsigned char>(data[byte + 1]) : 0;
    const char16_t unit =
        static_cast<char16_t>(static_cast<unsigned char>(data[byte]) | (high << 8));
    if (unit == u'\0') break;
    if (i == folded.size() || foldCase(unit) != folded[i]) return false;
  }
  return i == folded.size();
}

}  // namespace

DeviceSet getClassDevices(const OsGuid& classGuid, uint32_t flags) {
  SimMachine* machine = currentMachine();
  if (machine == nullptr) {
    setLastOsError(kOsInvalidHandle);
    return nullptr;
  }
  const std::u16string wanted = foldCase(formatGuid(classGuid));
  static const std::u16string kClassGuid = foldCase(u"ClassGUID");
  auto* set = new OsDeviceSet;
  const std::vector<std::u16string>& ids = allInstanceIds(*machine);
  const std::vector<const RegNode*>& keys = allInstanceKeys(*machine);
  for (size_t i = 0; i < ids.size(); ++i) {
    auto value = keys[i]->values.find(kClassGuid);
    if (value == keys[i]->values.end() ||
        (value->second.type != kRegSz && value->second.type != kRegExpandSz)) {
      continue;
    }
    if (!equalsFolded(value->second.data, wanted)) continue;
    if ((flags & kDigcfPresent) != 0 && !isPresent(machine->registry, ids[i])) continue;
    set->members.push_back(nodeHandle(*machine, ids[i]));
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
  for (size_t i = 0; i < stored->data.size(); ++i) {
    const uint32_t shift = static_cast<uint32_t>(8 * i);
    *value = (*value & ~(0xFFu << shift)) |
             (static_cast<uint32_t>(static_cast<unsigned char>(stored->data[i])) << shift);
  }
  return true;
}

bool setPropertyChangeParams(DeviceSet set, DeviceElement* element, uint32_t stateChange,
                             uint32_t /*scope*/, uint32_t /*hwProfile*/) {
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!memberOf(set, element, &machine, &id) || stateChange != kDicsPropChange) {
    return fail(kOsInvalidParameter);
  }
  uint32_t allowed = 1;
  storedDword(machine->registry, kDeviceManagerKnobKey, u"PropertyChange", &allowed);
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
  // A device whose driver cannot be stopped leaves DI_NEEDREBOOT set, as Windows does.
  uint32_t needsReboot = 0;
  storedDword(machine->registry, kDeviceManagerKnobKey, u"NeedsReboot", &needsReboot);
  if (needsReboot == 1) set->installFlags[element->node] |= kDiNeedReboot;
  // A driver that fails to start leaves the board with a problem code, not started.
  uint32_t problem = 0;
  storedDword(machine->registry, kDeviceManagerKnobKey, u"StartProblem", &problem);
  if (problem != 0) machine->startProblems[element->node] = problem;
  return true;
}

bool getDeviceInstallFlags(DeviceSet set, DeviceElement* element, uint32_t* flags) {
  *flags = 0;
  SimMachine* machine = nullptr;
  std::u16string id;
  if (!memberOf(set, element, &machine, &id)) return fail(kOsInvalidParameter);
  uint32_t readable = 1;
  storedDword(machine->registry, kDeviceManagerKnobKey, u"InstallParams", &readable);
  if (readable == 0) return fail(kOsInvalidData);
  const auto found = set->installFlags.find(element->node);
  if (found != set->installFlags.end()) *flags = found->second;
  return true;
}
