// The driver control device and ANSI conversion on Windows: one call each.
#include "platform/os_driver.h"

#include <windows.h>

#include <climits>

#include "platform/code_pages.h"

static_assert(kNoBestFitChars == WC_NO_BEST_FIT_CHARS, "the flag's value as windows.h has it");

OsHandle openControlDevice(const wchar_t* path) {
  HANDLE handle =
      CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<OsHandle>(handle);
}

bool deviceIoControl(OsHandle handle, uint32_t code, void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned) {
  DWORD count = 0;
  BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, in, inSize, out, outSize,
                            &count, nullptr);
  *returned = count;
  return ok != FALSE;
}

uint32_t lastOsError() { return GetLastError(); }

bool closeOsHandle(OsHandle handle) {
  return CloseHandle(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

size_t toAnsiText(const wchar_t* text, char* out, size_t outSize) {
  int size = outSize < static_cast<size_t>(INT_MAX) ? static_cast<int>(outSize) : INT_MAX;
  // The flags follow the ANSI code page the machine runs with: a machine set to UTF-8
  // refuses WC_NO_BEST_FIT_CHARS, and the whole text would go out empty.
  const DWORD flags = ansiConversionFlags(GetACP());
  int written = WideCharToMultiByte(CP_ACP, flags, text, -1, out, size, nullptr, nullptr);
  return written > 0 ? static_cast<size_t>(written) : 0;
}

uint32_t ansiCodePage() { return GetACP(); }

size_t fromAnsiText(const char* text, wchar_t* out, size_t outUnits) {
  if (out == nullptr || outUnits == 0) return 0;
  int size = outUnits < static_cast<size_t>(INT_MAX) ? static_cast<int>(outUnits) : INT_MAX;
  int written = MultiByteToWideChar(CP_ACP, 0, text, -1, out, size);
  if (written <= 0) {
    out[0] = L'\0';
    return 0;
  }
  return static_cast<size_t>(written);
}
