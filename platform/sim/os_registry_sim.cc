// The registry boundary on the simulated machine. Every call counts as one registry
// operation of the run.
#include "platform/os_registry.h"
#include "platform/sim/access.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/key_handles.h"
#include "platform/sim/utf.h"

namespace {

// The machine of a registry call, counted; null when there is none.
SimMachine* countedMachine() {
  SimMachine* machine = currentMachine();
  if (machine != nullptr) ++machine->registryCalls;
  return machine;
}

// The path of `sub` beneath an open key and its stored key (null when there is none),
// found from the open key rather than from the top; false when the handle is not open.
bool subKey(SimMachine& machine, RegKey root, const wchar_t* sub, std::u16string* path,
            RegNode** node) {
  OsKey* key = findKeyHandle(machine, root);
  if (key == nullptr) return false;
  const std::u16string units = fromWide(sub);
  *path = joinKeyPath(key->path, units);
  RegNode* base = storedKey(machine, *key);
  *node = base == nullptr ? nullptr : Registry::findKeyBeneath(*base, units);
  return true;
}

// The folded form of a value name, in one buffer that every call reuses (a run makes
// tens of thousands of value calls).
const std::u16string& foldedName(const wchar_t* name) {
  static std::u16string folded;
  folded.clear();
  for (const wchar_t* unit = name; unit != nullptr && *unit != L'\0'; ++unit) {
    if (static_cast<uint32_t>(*unit) > 0xFFFF) {  // needs a surrogate pair
      folded = foldCase(fromWide(name));
      return folded;
    }
    folded.push_back(foldCase(static_cast<char16_t>(*unit)));
  }
  return folded;
}

// The stored key of a handle for a value operation, or the error to return.
uint32_t valueKey(SimMachine* machine, RegKey handle, bool write, RegNode** node) {
  *node = nullptr;
  if (machine == nullptr) return kOsInvalidHandle;
  OsKey* key = findKeyHandle(*machine, handle);
  if (key == nullptr) return kOsInvalidHandle;
  if (write && (!allowsSetValue(key->access) || isReadOnlyKey(machine->registry, key->path))) {
    return kOsAccessDenied;
  }
  if (!write && !allowsQuery(key->access)) return kOsAccessDenied;
  *node = storedKey(*machine, *key);
  return *node == nullptr ? kOsKeyDeleted : kOsSuccess;
}

uint32_t setValue(RegKey key, const wchar_t* name, uint32_t type, const std::string& data) {
  SimMachine* machine = countedMachine();
  RegNode* node = nullptr;
  const uint32_t status = valueKey(machine, key, true, &node);
  if (status != kOsSuccess) return status;
  machine->registry.setValue(node, fromWide(name), type, data);
  return kOsSuccess;
}

// The stored value for a query, or the error to return.
uint32_t queryValue(RegKey key, const wchar_t* name, const RegValue** value) {
  *value = nullptr;
  SimMachine* machine = countedMachine();
  RegNode* node = nullptr;
  const uint32_t status = valueKey(machine, key, false, &node);
  if (status != kOsSuccess) return status;
  auto found = node->values.find(foldedName(name));
  *value = found == node->values.end() ? nullptr : &found->second;
  return *value == nullptr ? kOsFileNotFound : kOsSuccess;
}

}  // namespace

RegKey regLocalMachine() { return localMachineKey(); }

uint32_t regOpenKey(RegKey root, const wchar_t* subKeyText, RegKey* out) {
  *out = nullptr;
  SimMachine* machine = countedMachine();
  if (machine == nullptr || findKeyHandle(*machine, root) == nullptr) return kOsInvalidHandle;
  // As on Windows, an empty sub-key gives back the handle passed in.
  if (subKeyText == nullptr || subKeyText[0] == L'\0') {
    *out = root;
    return kOsSuccess;
  }
  std::u16string path;
  RegNode* node = nullptr;
  subKey(*machine, root, subKeyText, &path, &node);
  return openFoundKey(*machine, path, node, kMaximumAllowed, out);
}

uint32_t regOpenKeyEx(RegKey root, const wchar_t* subKeyText, uint32_t access, RegKey* out) {
  *out = nullptr;
  SimMachine* machine = countedMachine();
  std::u16string path;
  RegNode* node = nullptr;
  if (machine == nullptr || !subKey(*machine, root, subKeyText, &path, &node)) {
    return kOsInvalidHandle;
  }
  return openFoundKey(*machine, path, node, access, out);
}

uint32_t regCreateKeyEx(RegKey root, const wchar_t* subKeyText, uint32_t access, RegKey* out) {
  *out = nullptr;
  SimMachine* machine = countedMachine();
  std::u16string path;
  RegNode* node = nullptr;
  if (machine == nullptr || !subKey(*machine, root, subKeyText, &path, &node)) {
    return kOsInvalidHandle;
  }
  if (node != nullptr) return openFoundKey(*machine, path, node, access, out);
  const bool mayCreate = allowsCreateSubKey(findKeyHandle(*machine, root)->access);
  return createKeyHandle(*machine, path, access, mayCreate, out);
}

uint32_t regCloseKey(RegKey key) {
  SimMachine* machine = countedMachine();
  if (machine == nullptr) return kOsInvalidHandle;
  if (key == localMachineKey()) return kOsSuccess;
  if (machine->keys.erase(key) == 0) return kOsInvalidHandle;
  delete key;
  return kOsSuccess;
}

uint32_t regSetTextValue(RegKey key, const wchar_t* name, uint32_t type, const wchar_t* text,
                         size_t units) {
  if (text == nullptr && units != 0) {
    countedMachine();
    return kOsInvalidParameter;
  }
  return setValue(key, name, type, toUtf16LeBytes(fromWide(text, units)));
}

uint32_t regSetDwordValue(RegKey key, const wchar_t* name, uint32_t value) {
  std::string data;
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return setValue(key, name, kRegDword, data);
}

uint32_t regQueryTextValue(RegKey key, const wchar_t* name, uint32_t* type, wchar_t* buffer,
                           size_t* units) {
  if (units == nullptr) {
    countedMachine();
    return kOsInvalidParameter;
  }
  const RegValue* value = nullptr;
  const uint32_t status = queryValue(key, name, &value);
  if (status != kOsSuccess) return status;
  if (type != nullptr) *type = value->type;
  const std::u16string data = fromUtf16LeBytes(value->data);
  const size_t capacity = *units;
  *units = data.size();
  if (buffer == nullptr) return kOsSuccess;
  if (data.size() > capacity) return kOsMoreData;
  toWide(data, buffer);
  return kOsSuccess;
}

uint32_t regQueryDwordValue(RegKey key, const wchar_t* name, uint32_t* type, uint32_t* value) {
  if (value == nullptr) {
    countedMachine();
    return kOsInvalidParameter;
  }
  const RegValue* stored = nullptr;
  const uint32_t status = queryValue(key, name, &stored);
  if (status != kOsSuccess) return status;
  if (type != nullptr) *type = stored->type;
  if (stored->data.size() > 4) return kOsMoreData;
  for (size_t i = 0; i < stored->data.size(); ++i) {
    const uint32_t shift = static_cast<uint32_t>(8 * i);
    *value = (*value & ~(0xFFu << shift)) |
             (static_cast<uint32_t>(static_cast<unsigned char>(stored->data[i])) << shift);
  }
  return kOsSuccess;
}

uint32_t regDeleteValue(RegKey key, const wchar_t* name) {
  SimMachine* machine = countedMachine();
  RegNode* node = nullptr;
  const uint32_t status = valueKey(machine, key, true, &node);
  if (status != kOsSuccess) return status;
  if (node->values.count(foldedName(name)) == 0) return kOsFileNotFound;
  machine->registry.removeValue(node, fromWide(name));
  return kOsSuccess;
}
