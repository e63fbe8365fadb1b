// Conversions between the boundary's opaque handles and the Windows types they stand for.
#pragma once

#include <windows.h>

#include "platform/os_types.h"

inline HKEY toHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
inline RegKey fromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

// Byte size of `units` UTF-16 units, cut to what a DWORD byte count can describe.
inline DWORD unitsToBytes(size_t units) {
  constexpr size_t kMaxUnits = 0x7FFFFFFF;
  return static_cast<DWORD>((units < kMaxUnits ? units : kMaxUnits) * sizeof(wchar_t));
}

// Whole units a byte count fills, a trailing odd byte counting as one.
inline size_t bytesToUnits(DWORD bytes) {
  return (static_cast<size_t>(bytes) + 1) / sizeof(wchar_t);
}

static_assert(sizeof(wchar_t) == 2, "the Windows build holds one UTF-16 unit per wchar_t");
