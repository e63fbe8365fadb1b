#include "platform/sim/utf.h"

#include <cstdint>
#include <vector>

#include "platform/little_endian.h"
#include "platform/text.h"

namespace {

// The continuation bytes a lead byte's form announces; 0 for ASCII and for bytes that
// lead no form.
size_t continuationsAnnounced(unsigned char lead) {
  if (lead >= 0xC0 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF7) return 3;
  return 0;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

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

}  // namespace

size_t utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

std::u16string utf8ToUtf16(const std::string& text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = utf8SequenceLength(text, i);
    if (length == 0) {
      // The lead byte and as many of the continuation bytes its form announces as follow
      // it make one malformed sequence.
      const size_t announced = continuationsAnnounced(byte(i));
      size_t taken = 1;
      while (taken <= announced && i + taken < text.size() && isContinuation(byte(i + taken))) {
        ++taken;
      }
      i += taken;
      out.push_back(u'\xFFFD');
      continue;
    }
    uint32_t code = length == 1 ? byte(i) : byte(i) & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) code = (code << 6) | (byte(i + k) & 0x3Fu);
    appendUnits(out, code);
    i += length;
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
    units.push_back(
        static_cast<char16_t>(readLittleEndian(bytes.data() + i, i + 1 < bytes.size() ? 2 : 1)));
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
