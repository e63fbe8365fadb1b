// Registry access rules of the simulated machine: which keys are read-only (the
// ReadOnly knob under SOFTWARE\ZephynSim\Registry) and what an access mask allows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/registry_store.h"

// The access bits that ask for any kind of write.
constexpr uint32_t kWriteAccessBits =
    0x2 | 0x4 | 0x20 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000;
constexpr uint32_t kMaximumAllowed = 0x02000000;

// True when `path` (relative to HKEY_LOCAL_MACHINE) is one of the ReadOnly knob's keys or
// lies beneath one, compared without regard to case.
bool isReadOnlyKey(const Registry& registry, const std::u16string& path);

// What an access mask granted on a key allows.
bool allowsQuery(uint32_t access);
bool allowsSetValue(uint32_t access);
bool allowsCreateSubKey(uint32_t access);

// The access a key is opened with when `requested` includes MAXIMUM_ALLOWED (or for the
// legacy open): all access, or reading only when the key is read-only.
uint32_t maximumAllowedAccess(const Registry& registry, const std::u16string& path);
