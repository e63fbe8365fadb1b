#include "platform/sim/reg_writer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/little_endian.h"
#include "platform/os_types.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/utf.h"

namespace {

constexpr size_t kLineWidth = 80;

struct KeyEntry {
  std::u16string sortKey;
  std::u16string path;
  const RegNode* node;
};

void collectKeys(const RegNode& node, const std::u16string& path, std::vector<KeyEntry>* keys) {
  keys->push_back({foldCase(path), path, &node});
  for (const auto& [folded, child] : node.subkeys) {
    std::u16string childPath;
    childPath.reserve(path.size() + 1 + child->name.size());
    childPath.append(path).append(1, u'\\').append(child->name);
    collectKeys(*child, childPath, keys);
  }
}

// Appends `units` in quotes, with '\', '"' and line breaks escaped.
void appendQuoted(const std::u16string& units, std::u16string* out) {
  out->push_back(u'"');
  for (char16_t unit : units) {
    switch (unit) {
      case u'\\':
        *out += u"\\\\";
        break;
      case u'"':
        *out += u"\\\"";
        break;
      case u'\n':
        *out += u"\\n";
        break;
      case u'\r':
        *out += u"\\r";
        break;
      default:
        out->push_back(unit);
    }
  }
  out->push_back(u'"');
}

// Appends `value` in lower-case hex, at least `minimumDigits` digits (at most 8).
void appendHex(uint32_t value, int minimumDigits, std::u16string* out) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  char16_t digits[8];
  int count = 0;
  do {
    digits[count++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count < minimumDigits) digits[count++] = u'0';
  while (count > 0) out->push_back(digits[--count]);
}

// The units of a REG_SZ that reads back from "text" (one terminating NUL, no other NUL, no
// line break), the NUL left out; empty when the value is not one.
std::u16string plainText(const RegValue& value, bool* plain) {
  *plain = false;
  if (value.type != kRegSz || value.data.size() < 2 || value.data.size() % 2 != 0) return {};
  std::u16string units = fromUtf16LeBytes(value.data);
  if (units.back() != u'\0') return {};
  units.pop_back();
  for (char16_t unit : units) {
    if (unit == u'\0' || unit == u'\r' || unit == u'\n') return {};
  }
  *plain = true;
  return units;
}

// Appends the hex data of `value` to the line that starts at out[lineStart].
void writeHexData(const RegValue& value, size_t lineStart, std::u16string* out) {
  if (value.type == kRegBinary) {
    *out += u"hex:";
  } else {
    *out += u"hex(";
    appendHex(value.type, 1, out);
    *out += u"):";
  }
  size_t column = out->size() - lineStart;
  for (size_t i = 0; i < value.data.size(); ++i) {
    const size_t tokenSize = i + 1 < value.data.size() ? 3 : 2;
    if (column + tokenSize > kLineWidth - 1) {
      *out += u"\\\r\n  ";
      column = 2;
    }
    appendHex(static_cast<unsigned char>(value.data[i]), 2, out);
    if (tokenSize == 3) out->push_back(u',');
    column += tokenSize;
  }
}

void writeValue(const RegValue& value, std::u16string* out) {
  const size_t lineStart = out->size();
  if (value.name.empty()) {
    *out += u"@=";
  } else {
    appendQuoted(value.name, out);
    out->push_back(u'=');
  }
  bool plain = false;
  const std::u16string text = plainText(value, &plain);
  if (plain) {
    appendQuoted(text, out);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    *out += u"dword:";
    appendHex(readWord32(value.data.data()), 8, out);
  } else {
    writeHexData(value, lineStart, out);
  }
  *out += u"\r\n";
}

// The section-line units of the keys below `node`, whose path has `pathUnits` units.
uint64_t sectionUnitsBelow(const RegNode& node, uint64_t pathUnits) {
  uint64_t units = 0;
  for (const auto& [folded, child] : node.subkeys) {
    const uint64_t path = pathUnits + 1 + child->name.size();
    units +=
        path + std::char_traits<char16_t>::length(u"[]\r\n\r\n") + sectionUnitsBelow(*child, path);
  }
  return units;
}

}  // namespace

uint64_t regFileSectionBytes(const Registry& registry) {
  return 2 * sectionUnitsBelow(registry.root(), registry.root().name.size());
}

std::u16string writeRegUnits(const Registry& registry) {
  std::vector<KeyEntry> keys;
  collectKeys(registry.root(), registry.root().name, &keys);
  std::sort(keys.begin(), keys.end(),
            [](const KeyEntry& a, const KeyEntry& b) { return a.sortKey < b.sortKey; });
  std::u16string out = u"Windows Registry Editor Version 5.00\r\n\r\n";
  for (const KeyEntry& key : keys) {
    if (key.node == &registry.root() && key.node->values.empty()) continue;
    out.push_back(u'[');
    out += key.path;
    out += u"]\r\n";
    // The values map is ordered by upper-cased name; the default value's is empty.
    for (const auto& [folded, value] : key.node->values) writeValue(value, &out);
    out += u"\r\n";
  }
  return out;
}

std::string writeRegFile(const Registry& registry) {
  return "\xFF\xFE" + toUtf16LeBytes(writeRegUnits(registry));
}
