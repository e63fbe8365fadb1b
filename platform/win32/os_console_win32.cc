// Standard output and standard error on Windows: the console's own wide output when the
// stream is a console; otherwise the text in the console's output code page, as the system's own
// console tools write it and as a shell that reads the output decodes it, through the C
// runtime's text-mode streams, which write each line feed as CR LF.
#include "platform/os_console.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <new>

#include "platform/code_pages.h"

namespace {

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != FALSE;
}

// The code page of redirected output: the console's output code page, or the ANSI code
// page when the process has no console (GetConsoleOutputCP then gives 0).
UINT redirectedCodePage() {
  const UINT console = GetConsoleOutputCP();
  return console != 0 ? console : GetACP();
}

// A character the code page lacks becomes its default character, '?'. A code page the
// system cannot convert to gives UTF-8 instead, so that nothing is lost.
void writeInCodePage(UINT codePage, const wchar_t* text, int units, FILE* stream) {
  DWORD flags = ansiConversionFlags(codePage);
  int bytes = WideCharToMultiByte(codePage, flags, text, units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0 && codePage != CP_UTF8) {
    codePage = CP_UTF8;
    flags = 0;
    bytes = WideCharToMultiByte(codePage, flags, text, units, nullptr, 0, nullptr, nullptr);
  }
  if (bytes <= 0) return;
  char* converted = new (std::nothrow) char[bytes];
  if (converted == nullptr) return;
  if (WideCharToMultiByte(codePage, flags, text, units, converted, bytes, nullptr, nullptr) ==
      bytes) {
    std::fwrite(converted, 1, static_cast<size_t>(bytes), stream);
  }
  delete[] converted;
}

// The console's own wide output when the stream is a console, else the text in the code
// page of redirected output through the C runtime's text-mode stream.
void writeTo(DWORD which, FILE* stream, const wchar_t* text) {
  size_t length = std::wcslen(text);
  if (length == 0) return;
  int units = length < 0x10000000 ? static_cast<int>(length) : 0x10000000;
  HANDLE handle = GetStdHandle(which);
  if (isConsole(handle)) {
    DWORD written = 0;
    WriteConsoleW(handle, text, static_cast<DWORD>(units), &written, nullptr);
  } else {
    writeInCodePage(redirectedCodePage(), text, units, stream);
  }
}

}  // namespace

void writeOutput(const wchar_t* text) { writeTo(STD_OUTPUT_HANDLE, stdout, text); }

// The notes on standard error are written as standard output is, so that a name the user
// gave reads the same on both. Redirected standard output is buffered until the program
// ends; it is flushed first, so that both streams sent to one file keep the order in which
// the lines were printed.
void writeErrorOutput(const wchar_t* text) {
  std::fflush(stdout);
  writeTo(STD_ERROR_HANDLE, stderr, text);
  std::fflush(stderr);
}
