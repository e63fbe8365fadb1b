// Standard output on Windows: the console's own wide output when standard output is a
// console; otherwise UTF-8 through the C runtime's text-mode stdout, which writes each
// line feed as CR LF.
#include "platform/os_console.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <new>

namespace {

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != FALSE;
}

void writeUtf8(const wchar_t* text, int units) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  char* utf8 = new (std::nothrow) char[bytes];
  if (utf8 == nullptr) return;
  if (WideCharToMultiByte(CP_UTF8, 0, text, units, utf8, bytes, nullptr, nullptr) == bytes) {
    std::fwrite(utf8, 1, static_cast<size_t>(bytes), stdout);
  }
  delete[] utf8;
}

}  // namespace

void writeOutput(const wchar_t* text) {
  size_t length = std::wcslen(text);
  if (length == 0) return;
  int units = length < 0x10000000 ? static_cast<int>(length) : 0x10000000;
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (isConsole(handle)) {
    DWORD written = 0;
    WriteConsoleW(handle, text, static_cast<DWORD>(units), &written, nullptr);
  } else {
    writeUtf8(text, units);
  }
}

// The notes on standard error are plain ASCII: the console's wide output, else each unit
// as one byte through the C runtime's text-mode stderr ('?' for any other character).
void writeErrorOutput(const wchar_t* text) {
  size_t length = std::wcslen(text);
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (length == 0 || length > 0x10000) return;
  if (isConsole(handle)) {
    DWORD written = 0;
    WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr);
    return;
  }
  for (size_t i = 0; i < length; ++i) {
    std::fputc(text[i] < 0x80 ? static_cast<int>(text[i]) : '?', stderr);
  }
  std::fflush(stderr);
}
