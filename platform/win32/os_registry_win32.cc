// The registry boundary on Windows: one registry call each.
#include "platform/os_registry.h"

#include "platform/win32/handles.h"

RegKey regLocalMachine() { return fromHkey(HKEY_LOCAL_MACHINE); }

uint32_t regOpenKey(RegKey root, const wchar_t* subKey, RegKey* out) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyW(toHkey(root), subKey, &key);
  *out = result == ERROR_SUCCESS ? fromHkey(key) : nullptr;
  return static_cast<uint32_t>(result);
}

uint32_t regOpenKeyEx(RegKey root, const wchar_t* subKey, uint32_t access, RegKey* out) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(toHkey(root), subKey, 0, access, &key);
  *out = result == ERROR_SUCCESS ? fromHkey(key) : nullptr;
  return static_cast<uint32_t>(result);
}

uint32_t regCreateKeyEx(RegKey root, const wchar_t* subKey, uint32_t access, RegKey* out) {
  wchar_t noClass[] = L"";
  HKEY key = nullptr;
  LONG result =
      RegCreateKeyExW(toHkey(root), subKey, 0, noClass, 0, access, nullptr, &key, nullptr);
  *out = result == ERROR_SUCCESS ? fromHkey(key) : nullptr;
  return static_cast<uint32_t>(result);
}

uint32_t regCloseKey(RegKey key) { return static_cast<uint32_t>(RegCloseKey(toHkey(key))); }

uint32_t regSetTextValue(RegKey key, const wchar_t* name, uint32_t type, const wchar_t* text,
                         size_t units) {
  return static_cast<uint32_t>(RegSetValueExW(
      toHkey(key), name, 0, type, reinterpret_cast<const BYTE*>(text), unitsToBytes(units)));
}

uint32_t regSetDwordValue(RegKey key, const wchar_t* name, uint32_t value) {
  DWORD data = value;
  return static_cast<uint32_t>(RegSetValueExW(toHkey(key), name, 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&data), sizeof data));
}

uint32_t regQueryTextValue(RegKey key, const wchar_t* name, uint32_t* type, wchar_t* buffer,
                           size_t* units) {
  DWORD storedType = REG_NONE;
  DWORD bytes = unitsToBytes(*units);
  LONG result = RegQueryValueExW(toHkey(key), name, nullptr, &storedType,
                                 reinterpret_cast<BYTE*>(buffer), &bytes);
  *type = storedType;
  if (result == ERROR_SUCCESS) *units = bytesToUnits(bytes);
  return static_cast<uint32_t>(result);
}

uint32_t regQueryDwordValue(RegKey key, const wchar_t* name, uint32_t* type, uint32_t* value) {
  static_assert(sizeof *value == sizeof(DWORD), "a DWORD is 4 bytes");
  DWORD storedType = REG_NONE;
  DWORD bytes = sizeof *value;
  // Into *value itself: shorter data leaves its upper bytes as they were.
  LONG result = RegQueryValueExW(toHkey(key), name, nullptr, &storedType,
                                 reinterpret_cast<BYTE*>(value), &bytes);
  *type = storedType;
  return static_cast<uint32_t>(result);
}

uint32_t regDeleteValue(RegKey key, const wchar_t* name) {
  return static_cast<uint32_t>(RegDeleteValueW(toHkey(key), name));
}
