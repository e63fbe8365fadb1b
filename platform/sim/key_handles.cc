#include "platform/sim/key_handles.h"

#include "platform/sim/access.h"

namespace {

OsKey gLocalMachine{u"", kKeyAllAccess};

RegKey newHandle(SimMachine& machine, const std::u16string& path, uint32_t access, RegNode* node) {
  OsKey* key = new OsKey{path, access, node, machine.registry.keyLayout()};
  machine.keys.insert(key);
  return key;
}

}  // namespace

OsKey* localMachineKey() { return &gLocalMachine; }

RegNode* storedKey(SimMachine& machine, OsKey& key) {
  // Every value call on a handle asks; walking the path each time would dominate a run.
  if (key.node == nullptr || key.layout != machine.registry.keyLayout()) {
    key.node = machine.registry.findKey(key.path);
    key.layout = machine.registry.keyLayout();
  }
  return key.node;
}

OsKey* findKeyHandle(SimMachine& machine, RegKey key) {
  if (key == &gLocalMachine) return key;
  return machine.keys.count(key) != 0 ? key : nullptr;
}

uint32_t openKeyHandle(SimMachine& machine, const std::u16string& path, uint32_t access,
                       RegKey* out) {
  return openFoundKey(machine, path, machine.registry.findKey(path), access, out);
}

uint32_t openFoundKey(SimMachine& machine, const std::u16string& path, RegNode* node,
                      uint32_t access, RegKey* out) {
  *out = nullptr;
  if (node == nullptr) return kOsFileNotFound;
  if ((access & kMaximumAllowed) != 0) {
    access = (access & ~kMaximumAllowed) | maximumAllowedAccess(machine.registry, path);
  }
  if ((access & kWriteAccessBits) != 0 && isReadOnlyKey(machine.registry, path)) {
    return kOsAccessDenied;
  }
  *out = newHandle(machine, path, access, node);
  return kOsSuccess;
}

uint32_t createKeyHandle(SimMachine& machine, const std::u16string& path, uint32_t access,
                         bool mayCreate, RegKey* out) {
  *out = nullptr;
  if (machine.registry.findKey(path) != nullptr) {
    return openKeyHandle(machine, path, access, out);
  }
  std::vector<std::u16string> parts;
  if (!splitKeyPath(path, &parts)) return kOsFileNotFound;
  if (!mayCreate || isReadOnlyKey(machine.registry, path)) return kOsAccessDenied;
  machine.registry.addKey(path);
  return openKeyHandle(machine, path, access, out);
}
