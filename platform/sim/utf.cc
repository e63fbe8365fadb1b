#include "platform/sim/utf.h"

#include <cstdint>
#include <vector>

namespace {

struct Utf8Lead {
  unsigned char mask;
  unsigned char pattern;
  size_t extra;
  uint32_t minimum;
};

const Utf8Lead kLeads[] = {
    {0x80, 0x00, 0, 0},
    {0xE0, 0xC0, 1, 0x80},
    {0xF0, 0xE0, 2, 0x800},
    {0xF8, 0xF0, 3, 0x10000},
};

void appendUnits(std::u16string& out, uint32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(code));
  }
}

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const Utf8Lead* form = nullptr;
    for (const Utf8Lead& candidate : kLeads) {
      if ((lead & candidate.mask) == candidate.pattern) form = &candidate;
    }
    if (form == nullptr) {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    uint32_t code = lead & static_cast<unsigned char>(~form->mask);
    size_t taken = 1;
    while (taken <= form->extra && i + taken < text.size() &&
           (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
      ++taken;
    }
    i += taken;
    const bool complete = taken == form->extra + 1;
    if (!complete || code < form->minimum || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      out.push_back(u'\xFFFD');
    } else {
      appendUnits(out, code);
    }
  }
  return out;
}

std::string utf16ToUtf8(const char16_t* units, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = units[i];
    if (isHighSurrogate(code) && i + 1 < count && isLowSurrogate(units[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
      ++i;
    } else if (isHighSurrogate(code) || isLowSurrogate(code)) {
      code = 0xFFFD;
    }
    appendUtf8(out, code);
  }
  return out;
}

std::string utf16ToUtf8(const std::u16string& text) {
  return utf16ToUtf8(text.data(), text.size());
}

std::u16string fromWide(const wchar_t* text, size_t units) {
  std::u16string out;
  if (text == nullptr) return out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    const uint32_t unit = static_cast<uint32_t>(text[i]);
    appendUnits(out, unit > 0x10FFFF ? 0xFFFD : unit);
  }
  return out;
}

std::u16string fromWide(const wchar_t* text) {
  if (text == nullptr) return {};
  size_t units = 0;
  while (text[units] != L'\0') ++units;
  return fromWide(text, units);
}

void toWide(const std::u16string& units, wchar_t* out) {
  for (size_t i = 0; i < units.size(); ++i) out[i] = static_cast<wchar_t>(units[i]);
}

std::string toUtf16LeBytes(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string fromUtf16LeBytes(const std::string& bytes) {
  std::u16string units;
  units.reserve((bytes.size() + 1) / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const unsigned low = static_cast<unsigned char>(bytes[i]);
    const unsigned high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    units.push_back(static_cast<char16_t>(low | (high << 8)));
  }
  return units;
}

int runProgramUtf8(int argc, char** argv, int (*run)(int, wchar_t**)) {
  std::vector<std::vector<wchar_t>> texts;
  for (int i = 0; i < argc; ++i) {
    const std::u16string units = utf8ToUtf16(argv[i] != nullptr ? argv[i] : "");
    std::vector<wchar_t> text(units.size() + 1, L'\0');
    toWide(units, text.data());
    texts.push_back(std::move(text));
  }
  std::vector<wchar_t*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return run(argc, pointers.data());
}
