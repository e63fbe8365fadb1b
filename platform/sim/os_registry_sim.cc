// The registry boundary on the simulated machine. Every call counts as one registry
// operation of the run.
#include "platform/os_registry.h"

#include <algorithm>
#include <string_view>

#include "platform/little_endian.h"
#include "platform/sim/access.h"
#include "platform/sim/key_handles.h"
#include "platform/sim/utf.h"

namespace {

// The machine of a registry call, counted; null when there is none.
SimMachine* countedMachine() {
  SimMachine* machine = currentMachine();
  if (machine != nullptr) ++machine->registryCalls;
  return machine;
}

// A name or sub-key path given to a registry call, as UTF-16 units: held in place when it
// is short and has no unit beyond U+FFFF (every name the program passes), so that looking
// it up allocates nothing; else converted by fromWide.
class CallText {
 public:
  explicit CallText(const wchar_t* text) {
    size_t length = 0;
    bool inPlace = true;
    if (text != nullptr) {
      for (; text[length] != L'\0'; ++length) {
        if (static_cast<uint32_t>(text[length]) > 0xFFFF || length >= kInPlace) inPlace = false;
      }
    }
    if (!inPlace) {
      spilled_ = fromWide(text, length);
      view_ = spilled_;
      return;
    }
    for (size_t i = 0; i < length; ++i) units_[i] = static_cast<char16_t>(text[i]);
    view_ = std::u16string_view(units_, length);
  }
  CallText(const CallText&) = delete;
  CallText& operator=(const CallText&) = delete;

  std::u16string_view view() const { return view_; }

 private:
  static constexpr size_t kInPlace = 96;
  char16_t units_[kInPlace];
  std::u16string spilled_;
  std::u16string_view view_;
};

// The path of `sub` beneath an open key; false when the handle is not open.
bool subKeyPath(SimMachine& machine, RegKey root, const wchar_t* sub, std::u16string* path) {
  const OsKey* key = findKeyHandle(machine, root);
  if (key == nullptr) return false;
  *path = joinKeyPath(key->path, CallText(sub).view());
  return true;
}

// The stored key of a handle for a value operation, or the error to return.
uint32_t valueKey(SimMachine* machine, RegKey handle, bool write, RegNode** node) {
  *node = nullptr;
  if (machine == nullptr) return kOsInvalidHandle;
  const OsKey* key = findKeyHandle(*machine, handle);
  if (key == nullptr) return kOsInvalidHandle;
  if (write && (!allowsSetValue(key->access) || isReadOnlyKey(machine->registry, key->path))) {
    return kOsAccessDenied;
  }
  if (!write && !allowsQuery(key->access)) return kOsAccessDenied;
  *node = machine->registry.findKey(key->path);
  return *node == nullptr ? kOsKeyDeleted : kOsSuccess;
}

uint32_t setValue(RegKey key, const wchar_t* name, uint32_t type, const std::string& data) {
  SimMachine* machine = countedMachine();
  RegNode* node = nullptr;
  const uint32_t status = valueKey(machine, key, true, &node);
  if (status != kOsSuccess) return status;
  machine->registry.setValue(node, CallText(name).view(), type, data);
  return kOsSuccess;
}

// The stored value for a query, or the error to return.
uint32_t queryValue(RegKey key, const wchar_t* name, const RegValue** value) {
  *value = nullptr;
  SimMachine* machine = countedMachine();
  RegNode* node = nullptr;
  const uint32_t status = valueKey(machine, key, false, &node);
  if (status != kOsSuccess) return status;
  *value = Registry::findValue(*node, CallText(name).view());
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
  subKeyPath(*machine, root, subKeyText, &path);
  return openKeyHandle(*machine, path, kMaximumAllowed, out);
}

uint32_t regOpenKeyEx(RegKey root, const wchar_t* subKeyText, uint32_t access, RegKey* out) {
  *out = nullptr;
  SimMachine* machine = countedMachine();
  std::u16string path;
  if (machine == nullptr || !subKeyPath(*machine, root, subKeyText, &path)) {
    return kOsInvalidHandle;
  }
  return openKeyHandle(*machine, path, access, out);
}

uint32_t regCreateKeyEx(RegKey root, const wchar_t* subKeyText, uint32_t access, RegKey* out) {
  *out = nullptr;
  SimMachine* machine = countedMachine();
  std::u16string path;
  if (machine == nullptr || !subKeyPath(*machine, root, subKeyText, &path)) {
    return kOsInvalidHandle;
  }
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
  return setValue(key, name, kRegDword, word32Bytes(value));
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
  // The stored bytes as units, as fromUtf16LeBytes reads them (an odd last byte is the low
  // byte of a last unit), copied straight into the caller's buffer.
  const std::string& bytes = value->data;
  const size_t count = (bytes.size() + 1) / 2;
  const size_t capacity = *units;
  *units = count;
  if (buffer == nullptr) return kOsSuccess;
  if (count > capacity) return kOsMoreData;
  for (size_t i = 0; i < count; ++i) {
    const unsigned low = static_cast<unsigned char>(bytes[2 * i]);
    const unsigned high =
        2 * i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[2 * i + 1]) : 0;
    buffer[i] = static_cast<wchar_t>(static_cast<char16_t>(low | (high << 8)));
  }
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
  // Like the system, only the bytes the data has are written.
  unsigned char bytes[4];
  writeLittleEndian(bytes, 4, *value);
  std::copy(stored->data.begin(), stored->data.end(), bytes);
  *value = readWord32(bytes);
  return kOsSuccess;
}

uint32_t regDeleteValue(RegKey key, const wchar_t* name) {
  SimMachine* machine = countedMachine();
  RegNode* node = nullptr;
  const uint32_t status = valueKey(machine, key, true, &node);
  if (status != kOsSuccess) return status;
  const CallText valueName(name);
  if (Registry::findValue(*node, valueName.view()) == nullptr) return kOsFileNotFound;
  machine->registry.removeValue(node, valueName.view());
  return kOsSuccess;
}
