#include "platform/registry.h"

#include <algorithm>

#include "platform/os_registry.h"
#include "platform/text.h"

const wchar_t kServiceName[] = L"ZephynPort";

namespace {

// The fixed components every key path of the program is made of.
const wchar_t kSeparator[] = L"\\";
const wchar_t kRootKeyName[] = L"SYSTEM";
const wchar_t kControlSet[] = L"CurrentControlSet";
const wchar_t kServices[] = L"Services";
const wchar_t kEventLog[] = L"EventLog";
const wchar_t kEventLogChannel[] = L"System";

RegKey rootOrLocalMachine(RegKey root) { return root != nullptr ? root : regLocalMachine(); }

bool isEmptyPath(const wchar_t* subKey) { return subKey == nullptr || subKey[0] == L'\0'; }

// How a value operation opens its sub-key.
enum class SubKeyOpen { kRead, kWrite, kLegacy };

// The key a value operation works on: the root itself for an empty sub-key path (left
// open for the caller), else the sub-key opened beneath it (closed by the destructor).
class ValueKey {
 public:
  ValueKey(RegKey root, const wchar_t* subKey, SubKeyOpen how) {
    root = rootOrLocalMachine(root);
    if (isEmptyPath(subKey)) {
      key_ = root;
      return;
    }
    RegKey opened = nullptr;
    uint32_t error = kOsSuccess;
    switch (how) {
      case SubKeyOpen::kRead:
        error = regOpenKeyEx(root, subKey, kKeyRead, &opened);
        break;
      case SubKeyOpen::kWrite:
        error = regOpenKeyEx(root, subKey, kKeyWrite, &opened);
        break;
      case SubKeyOpen::kLegacy:
        error = regOpenKey(root, subKey, &opened);
        break;
    }
    if (error == kOsSuccess && opened != nullptr) {
      key_ = opened;
      owned_ = true;
    }
  }
  ~ValueKey() {
    if (owned_) regCloseKey(key_);
  }
  ValueKey(const ValueKey&) = delete;
  ValueKey& operator=(const ValueKey&) = delete;

  RegKey get() const { return key_; }

 private:
  RegKey key_ = nullptr;
  bool owned_ = false;
};

// Appends one path component; a path that would not fit empties the buffer.
bool appendComponent(wchar_t* buffer, size_t capacity, const wchar_t* component) {
  if (capacity == 0) return false;
  if (textLength(buffer) + textLength(component) + 1 > capacity) {
    buffer[0] = L'\0';
    return false;
  }
  appendText(buffer, capacity, component);
  return true;
}

bool buildPath(wchar_t* buffer, size_t capacity, const wchar_t* const* components, size_t count) {
  if (capacity == 0) return false;
  buffer[0] = L'\0';
  for (size_t i = 0; i < count; ++i) {
    if (components[i] == nullptr) continue;
    if (!appendComponent(buffer, capacity, components[i])) return false;
  }
  return true;
}

}  // namespace

int keyExists(RegKey root, const wchar_t* subKey) {
  const RegKey base = rootOrLocalMachine(root);
  RegKey key = nullptr;
  if (regOpenKey(base, subKey, &key) != kOsSuccess || key == nullptr) return 0;
  // For an empty path RegOpenKeyW hands back `base` itself, which stays the caller's.
  if (key != base) regCloseKey(key);
  return 1;
}

RegistryStatus createKey(RegKey root, const wchar_t* subKey) {
  RegKey key = nullptr;
  if (regCreateKeyEx(rootOrLocalMachine(root), subKey, kKeyAllAccess, &key) != kOsSuccess ||
      key == nullptr) {
    return kRegistryOpenFailed;
  }
  regCloseKey(key);
  return kRegistryOk;
}

RegistryStatus openKey(RegKey root, RegKey* out, const wchar_t* subKey, uint32_t access) {
  RegKey key = nullptr;
  if (regOpenKeyEx(rootOrLocalMachine(root), subKey, access, &key) != kOsSuccess ||
      key == nullptr) {
    *out = nullptr;
    return kRegistryOpenFailed;
  }
  *out = key;
  return kRegistryOk;
}

RegistryStatus writeStringValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                                const wchar_t* text, uint32_t type) {
  ValueKey key(root, subKey, SubKeyOpen::kWrite);
  if (key.get() == nullptr) return kRegistryOpenFailed;
  if (regSetTextValue(key.get(), name, type, text, textLength(text) + 1) != kOsSuccess) {
    return kRegistryValueFailed;
  }
  return kRegistryOk;
}

RegistryStatus writeDwordValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                               uint32_t value) {
  ValueKey key(root, subKey, SubKeyOpen::kWrite);
  if (key.get() == nullptr) return kRegistryOpenFailed;
  if (regSetDwordValue(key.get(), name, value) != kOsSuccess) return kRegistryValueFailed;
  return kRegistryOk;
}

RegistryStatus deleteValue(RegKey root, const wchar_t* subKey, const wchar_t* name) {
  ValueKey key(root, subKey, SubKeyOpen::kWrite);
  if (key.get() == nullptr) return kRegistryOpenFailed;
  if (regDeleteValue(key.get(), name) != kOsSuccess) return kRegistryValueFailed;
  return kRegistryOk;
}

RegistryStatus writeDwordOrDelete(RegKey root, const wchar_t* subKey, const wchar_t* name,
                                  uint32_t value, uint32_t defaultValue) {
  root = rootOrLocalMachine(root);
  if (value == defaultValue) return deleteValue(root, subKey, name);
  return writeDwordValue(root, subKey, name, value);
}

RegistryStatus readStringValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                               wchar_t* buffer, size_t capacity) {
  ValueKey key(root, subKey, SubKeyOpen::kRead);
  if (key.get() == nullptr) return kRegistryOpenFailed;
  if (capacity == 0) return kRegistryValueFailed;
  // Zeroed first: odd-sized data fills only half of its last unit.
  std::fill(buffer, buffer + capacity, L'\0');
  uint32_t type = kRegNone;
  size_t units = capacity;
  if (regQueryTextValue(key.get(), name, &type, buffer, &units) != kOsSuccess) {
    buffer[0] = L'\0';
    return kRegistryValueFailed;
  }
  return terminateReadText(buffer, capacity, units) ? kRegistryOk : kRegistryValueFailed;
}

RegistryStatus readDwordValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                              uint32_t* value) {
  ValueKey key(root, subKey, SubKeyOpen::kLegacy);
  if (key.get() == nullptr) return kRegistryOpenFailed;
  uint32_t type = kRegNone;
  uint32_t data = 0;
  if (regQueryDwordValue(key.get(), name, &type, &data) != kOsSuccess) {
    *value = 0;
    return kRegistryValueFailed;
  }
  *value = data;
  return kRegistryOk;
}

bool buildServicesPath(wchar_t* buffer, size_t capacity, const wchar_t* component) {
  const wchar_t* parts[] = {kRootKeyName, kSeparator, kControlSet,
                            kSeparator,   kServices,  component != nullptr ? kSeparator : nullptr,
                            component};
  return buildPath(buffer, capacity, parts, std::size(parts));
}

bool buildEventLogPath(wchar_t* buffer, size_t capacity, const wchar_t* component) {
  const wchar_t* parts[] = {kRootKeyName,     kSeparator,
                            kControlSet,      kSeparator,
                            kServices,        kSeparator,
                            kEventLog,        kSeparator,
                            kEventLogChannel, component != nullptr ? kSeparator : nullptr,
                            component};
  return buildPath(buffer, capacity, parts, std::size(parts));
}

bool buildServiceSubkeyPath(wchar_t* buffer, size_t capacity, const wchar_t* service,
                            const wchar_t* subKey) {
  if (!buildServicesPath(buffer, capacity, service)) return false;
  if (!appendComponent(buffer, capacity, kSeparator)) return false;
  return appendComponent(buffer, capacity, subKey);
}
