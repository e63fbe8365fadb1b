#include "platform/sim/ansi.h"

#include <cstring>

#include "platform/os_driver.h"
#include "platform/sim/codepage.h"
#include "platform/sim/utf.h"

std::string toAnsi(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) ++i;
    const int byte = pair ? -1 : encode1252(unit);
    out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
  }
  return out;
}

size_t toAnsiText(const wchar_t* text, char* out, size_t outSize) {
  if (text == nullptr) return 0;
  const std::string ansi = toAnsi(fromWide(text));
  const size_t needed = ansi.size() + 1;
  // As WideCharToMultiByte: a size of 0 asks for the size needed.
  if (outSize == 0) return needed;
  if (out == nullptr) return 0;
  if (needed > outSize) {
    std::memcpy(out, ansi.data(), outSize);
    return 0;
  }
  std::memcpy(out, ansi.c_str(), needed);
  return needed;
}
