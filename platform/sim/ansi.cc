#include "platform/sim/ansi.h"

#include <cstring>

#include "platform/code_pages.h"
#include "platform/os_driver.h"
#include "platform/sim/codepage.h"
#include "platform/sim/machine.h"
#include "platform/sim/utf.h"

namespace {

const char16_t kCodePageKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
constexpr uint32_t kWindows1252 = 1252;

struct SupportedCodePage {
  const char16_t* text;
  uint32_t codePage;
};
const SupportedCodePage kSupportedCodePages[] = {
    {u"1252", kWindows1252},
    {u"65001", kUtf8CodePage},
};

std::string to1252(const std::u16string& text) {
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

}  // namespace

bool readAnsiCodePage(const Registry& registry, uint32_t* codePage, std::string* reason) {
  *codePage = kWindows1252;
  const RegValue* value = registry.findValue(kCodePageKey, u"ACP");
  if (value == nullptr) return true;
  std::u16string text;
  if (!storedText(registry, kCodePageKey, u"ACP", &text)) {
    *reason = "the ANSI code page (Nls\\CodePage, ACP) is not text";
    return false;
  }
  for (const SupportedCodePage& supported : kSupportedCodePages) {
    if (text == supported.text) {
      *codePage = supported.codePage;
      return true;
    }
  }
  *reason = "the ANSI code page (Nls\\CodePage, ACP) \"" + utf16ToUtf8(text) +
            "\" is not simulated: only \"1252\" and \"65001\" are";
  return false;
}

uint32_t currentAnsiCodePage() {
  const SimMachine* machine = currentMachine();
  uint32_t codePage = kWindows1252;
  std::string reason;
  if (machine != nullptr) readAnsiCodePage(machine->registry, &codePage, &reason);
  return codePage;
}

std::string toAnsi(const std::u16string& text) {
  return currentAnsiCodePage() == kUtf8CodePage ? utf16ToUtf8(text) : to1252(text);
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

uint32_t ansiCodePage() { return currentAnsiCodePage(); }

size_t fromAnsiText(const char* text, wchar_t* out, size_t outUnits) {
  if (out == nullptr || outUnits == 0) return 0;
  out[0] = L'\0';
  if (text == nullptr) return 0;
  const std::string bytes(text);
  const std::u16string units =
      currentAnsiCodePage() == kUtf8CodePage ? utf8ToUtf16(bytes) : decode1252(bytes);
  if (units.size() + 1 > outUnits) return 0;
  toWide(units, out);
  out[units.size()] = L'\0';
  return units.size() + 1;
}
