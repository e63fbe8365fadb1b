// Registry access for the driver's settings: thin wrappers over the registry boundary
// with the program's conventions, and the builders of the driver's key paths.
//
// Conventions: a null root means HKEY_LOCAL_MACHINE; for the value operations an empty
// sub-key path means the root itself (nothing is opened or closed). Every key a wrapper
// opens it closes before it returns, except the handle openKey hands out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"

enum RegistryStatus : int {
  kRegistryOk = 0,
  kRegistryOpenFailed = 1,   // opening (for createKey: creating) the sub-key failed
  kRegistryValueFailed = 2,  // the key was there, the set, query or delete failed
};

// Capacity of a key-path buffer, in units, terminator included.
constexpr size_t kKeyPathCapacity = 240;

extern const wchar_t kServiceName[];  // "ZephynPort"

// 1 when the sub-key opens with the legacy open (and it is closed at once), else 0.
int keyExists(RegKey root, const wchar_t* subKey);
// Creates (or opens) the sub-key with all access and closes it at once.
RegistryStatus createKey(RegKey root, const wchar_t* subKey);
// Opens the sub-key with `access`; the caller closes *out. *out is null on failure.
RegistryStatus openKey(RegKey root, RegKey* out, const wchar_t* subKey, uint32_t access);

// `type` is kRegSz or kRegExpandSz; the terminator is stored with the text.
RegistryStatus writeStringValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                                const wchar_t* text, uint32_t type);
RegistryStatus writeDwordValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                               uint32_t value);
RegistryStatus deleteValue(RegKey root, const wchar_t* subKey, const wchar_t* name);
// Deletes the value when it equals `defaultValue`, else writes it as a DWORD.
RegistryStatus writeDwordOrDelete(RegKey root, const wchar_t* subKey, const wchar_t* name,
                                  uint32_t value, uint32_t defaultValue);

// Reads a text value, whatever its stored type, into buffer (capacity in units). On a
// failed read the buffer is left empty; when the sub-key does not open it is untouched.
// Text follows terminateReadText: data that fills the buffer unterminated is missing.
RegistryStatus readStringValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                               wchar_t* buffer, size_t capacity);
// Reads a 32-bit value, whatever its stored type; a failed read stores 0.
RegistryStatus readDwordValue(RegKey root, const wchar_t* subKey, const wchar_t* name,
                              uint32_t* value);

// Key paths, relative to HKEY_LOCAL_MACHINE. A path that would not fit leaves the
// buffer empty and gives false; callers never hand an empty path to a value operation.
// SYSTEM\CurrentControlSet\Services[\component]
bool buildServicesPath(wchar_t* buffer, size_t capacity, const wchar_t* component);
// SYSTEM\CurrentControlSet\Services\EventLog\System[\component]
bool buildEventLogPath(wchar_t* buffer, size_t capacity, const wchar_t* component);
// SYSTEM\CurrentControlSet\Services\<service>\<subKey>
bool buildServiceSubkeyPath(wchar_t* buffer, size_t capacity, const wchar_t* service,
                            const wchar_t* subKey);
