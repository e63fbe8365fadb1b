// Registry key handles of the simulated machine, shared by the registry calls and the
// device-node key calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os_types.h"
#include "platform/sim/machine.h"

// Error numbers the simulated registry returns beyond OsError.
constexpr uint32_t kOsKeyDeleted = 1018;

// HKEY_LOCAL_MACHINE: a handle that is never opened or closed.
OsKey* localMachineKey();

// The key behind a handle, or null when the handle is neither HKEY_LOCAL_MACHINE nor
// open on `machine`.
OsKey* findKeyHandle(SimMachine& machine, RegKey key);

// Opens the existing key at `path` with `access` (MAXIMUM_ALLOWED gives what the key
// allows). kOsFileNotFound when it does not exist, kOsAccessDenied when write access is
// asked of a read-only key.
uint32_t openKeyHandle(SimMachine& machine, const std::u16string& path, uint32_t access,
                       RegKey* out);

// Opens the key at `path`, creating it and its missing parents first when needed.
// Creating is refused (kOsAccessDenied) beneath a read-only key or when `mayCreate` is
// false.
uint32_t createKeyHandle(SimMachine& machine, const std::u16string& path, uint32_t access,
                         bool mayCreate, RegKey* out);
