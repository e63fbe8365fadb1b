// Placeholder until the registry wrappers land.
#include "platform/registry.h"

const wchar_t kServiceName[] = L"ZephynPort";

int keyExists(RegKey, const wchar_t*) { return 0; }
RegistryStatus createKey(RegKey, const wchar_t*) { return kRegistryOpenFailed; }
RegistryStatus openKey(RegKey, RegKey* out, const wchar_t*, uint32_t) {
  *out = nullptr;
  return kRegistryOpenFailed;
}
RegistryStatus writeStringValue(RegKey, const wchar_t*, const wchar_t*, const wchar_t*, uint32_t) {
  return kRegistryOpenFailed;
}
RegistryStatus writeDwordValue(RegKey, const wchar_t*, const wchar_t*, uint32_t) {
  return kRegistryOpenFailed;
}
RegistryStatus deleteValue(RegKey, const wchar_t*, const wchar_t*) { return kRegistryOpenFailed; }
RegistryStatus writeDwordOrDelete(RegKey, const wchar_t*, const wchar_t*, uint32_t, uint32_t) {
  return kRegistryOpenFailed;
}
RegistryStatus readStringValue(RegKey, const wchar_t*, const wchar_t*, wchar_t*, size_t) {
  return kRegistryOpenFailed;
}
RegistryStatus readDwordValue(RegKey, const wchar_t*, const wchar_t*, uint32_t* value) {
  *value = 0;
  return kRegistryOpenFailed;
}
bool buildServicesPath(wchar_t* buffer, size_t, const wchar_t*) {
  buffer[0] = L'\0';
  return false;
}
bool buildEventLogPath(wchar_t* buffer, size_t, const wchar_t*) {
  buffer[0] = L'\0';
  return false;
}
bool buildServiceSubkeyPath(wchar_t* buffer, size_t, const wchar_t*, const wchar_t*) {
  buffer[0] = L'\0';
  return false;
}
