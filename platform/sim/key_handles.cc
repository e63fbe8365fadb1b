#include "platform/sim/key_handles.h"

#include "platform/sim/access.h"

namespace {

OsKey gLocalMachine{u"", kKeyAllAccess};

RegKey newHandle(SimMachine& machine, const std::u16string& path, uint32_t access) {
  OsKey* key = new OsKey{path, access};
  machine.keys.insert(key);
  return key;
}

}  // namespace

OsKey* localMachineKey() { return &gLocalMachine; }

OsKey* findKeyHandle(SimMachine& machine, RegKey key) {
  if (key == &gLocalMachine) return key;
  return machine.keys.count(key) != 0 ? key : nullptr;
}

uint32_t openKeyHandle(SimMachine& machine, const std::u16string& path, uint32_t access,
                       RegKey* out) {
  *out = nullptr;
  if (machine.registry.findKey(path) == nullptr) return kOsFileNotFound;
  if ((access & kMaximumAllowed) != 0) {
    access = (access & ~kMaximumAllowed) | maximumAllowedAccess(machine.registry, path);
  }
  if ((access & kWriteAccessBits) != 0 && isReadOnlyKey(machine.registry, path)) {
    return kOsAccessDenied;
  }
  *out = newHandle(machine, path, access);
  return kOsSuccess;
}

uint32_t createKeyHandle(SimMachine& machine, const std::u16string& path, uint32_t access,
                         bool mayCreate, RegKey* out) {
  *out = nullptr;
  if (machine.registry.findKey(path) != nullptr) {
    return openKeyHandle(machine, path, access, out);
  }
  size_t depth = 0;
  if (!keyPathDepth(path, &depth)) return kOsFileNotFound;
  if (!mayCreate || isReadOnlyKey(machine.registry, path)) return kOsAccessDenied;
  machine.registry.addKey(path);
  return openKeyHandle(machine, path, access, out);
}
