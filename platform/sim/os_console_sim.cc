// writeOutput and writeErrorOutput on the native build: UTF-16 text out as UTF-8,
// whatever the locale.
#include "platform/sim/os_console_sim.h"

#include <cstdio>

#include "platform/os_console.h"
#include "platform/sim/utf.h"

namespace {

std::string* gSink = nullptr;

}  // namespace

std::string* setOutputSink(std::string* sink) {
  std::string* previous = gSink;
  gSink = sink;
  return previous;
}

void writeOutput(const wchar_t* text) {
  const std::string utf8 = utf16ToUtf8(fromWide(text));
  if (gSink != nullptr) {
    *gSink += utf8;
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}

void writeErrorOutput(const wchar_t* text) {
  const std::string utf8 = utf16ToUtf8(fromWide(text));
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}
