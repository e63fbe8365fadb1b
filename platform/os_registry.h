// The registry, as the program calls it. Each call is one Windows registry function
// (named beside it) with the arguments the program passes; results are OsError codes.
//
// Text data crosses this boundary as UTF-16 code units held in wchar_t (one unit per
// wchar_t, also where wchar_t is 4 bytes wide), so that lengths and capacities are the
// same on every build. Sizes of text data are counted in those units.
#pragma once

#include "platform/os_types.h"

// HKEY_LOCAL_MACHINE.
RegKey regLocalMachine();

// RegOpenKeyW: the legacy open with the maximum access allowed. *out is null on failure.
uint32_t regOpenKey(RegKey root, const wchar_t* subKey, RegKey* out);

// RegOpenKeyExW(root, subKey, 0, access, out). *out is null on failure.
uint32_t regOpenKeyEx(RegKey root, const wchar_t* subKey, uint32_t access, RegKey* out);

// RegCreateKeyExW(root, subKey, 0, "", 0, access, NULL, out, NULL). *out is null on failure.
uint32_t regCreateKeyEx(RegKey root, const wchar_t* subKey, uint32_t access, RegKey* out);

// RegCloseKey.
uint32_t regCloseKey(RegKey key);

// RegSetValueExW with a text type (kRegSz, kRegExpandSz, kRegMultiSz): stores `units`
// UTF-16 units of `text` (the caller counts the terminator in when it wants it stored).
uint32_t regSetTextValue(RegKey key, const wchar_t* name, uint32_t type, const wchar_t* text,
                         size_t units);

// RegSetValueExW with kRegDword and 4 bytes.
uint32_t regSetDwordValue(RegKey key, const wchar_t* name, uint32_t value);

// RegQueryValueExW into a text buffer, whatever the stored type. On entry *units is the
// buffer's capacity in units; on success it is the data's size in units (a byte count
// rounded up to whole units) and the data is in buffer[0 .. *units), with no terminator
// added. Data larger than the buffer gives kOsMoreData. *type receives the stored type.
uint32_t regQueryTextValue(RegKey key, const wchar_t* name, uint32_t* type, wchar_t* buffer,
                           size_t* units);

// RegQueryValueExW into a 4-byte buffer, whatever the stored type. Data larger than 4
// bytes gives kOsMoreData; shorter data fills the low bytes of *value and leaves the
// others as they were.
uint32_t regQueryDwordValue(RegKey key, const wchar_t* name, uint32_t* type, uint32_t* value);

// RegDeleteValueW.
uint32_t regDeleteValue(RegKey key, const wchar_t* name);
