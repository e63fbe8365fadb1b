// Types and result codes shared by the operating-system boundaries.
//
// The program reaches the operating system only through the platform/os_*.h headers.
// Each names one surface (registry, device manager, COM port database, driver control
// device, console, process) in the program's own terms; the native build links the
// simulated machine behind them, the Windows build thin calls of the Windows API.
#pragma once

#include <cstddef>
#include <cstdint>

// System error numbers that boundary calls return (0 is success). They are the
// Windows numbers, so the Windows side passes them through unchanged.
enum OsError : uint32_t {
  kOsSuccess = 0,
  kOsFileNotFound = 2,
  kOsAccessDenied = 5,
  kOsInvalidHandle = 6,
  kOsNotEnoughMemory = 8,
  kOsInvalidData = 13,
  kOsGenFailure = 31,
  kOsSharingViolation = 32,
  kOsInvalidParameter = 87,
  kOsInsufficientBuffer = 122,
  kOsMoreData = 234,
  kOsNoMoreItems = 259,
  kOsInvalidFlags = 1004,
  kOsNotFound = 1168,
};

// Registry value types.
enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
  kRegResourceList = 8,
};

// Registry access masks.
enum RegAccess : uint32_t {
  kKeyRead = 0x20019,
  kKeyWrite = 0x20006,
  kKeyAllAccess = 0xF003F,
};

// An open registry key. Null is no key.
struct OsKey;
using RegKey = OsKey*;

// A configuration-manager device instance (DEVINST). 0 is no device node.
using DevNode = uint32_t;
