#include "platform/sim/machine_code_page.h"

#include <cstring>

#include "platform/code_pages.h"
#include "platform/sim/machine.h"
#include "platform/sim/utf.h"

namespace {

// Bytes 0x80 to 0x9F; the rest of 1252 is Latin-1.
const char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

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

char16_t decode1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

std::u16string decode1252(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char byte : bytes) out.push_back(decode1252(static_cast<unsigned char>(byte)));
  return out;
}

int encode1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == unit) return 0x80 + i;
  }
  return -1;
}

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
