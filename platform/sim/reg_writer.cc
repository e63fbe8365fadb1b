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
    collectKeys(*child, path + u"\\" + child->name, keys);
  }
}

std::u16string quoted(const std::u16string& text) {
  std::u16string out = u"\"";
  for (char16_t unit : text) {
    switch (unit) {
      case u'\\':
        out += u"\\\\";
        break;
      case u'"':
        out += u"\\\"";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'\r':
        out += u"\\r";
        break;
      default:
        out.push_back(unit);
    }
  }
  out.push_back(u'"');
  return out;
}

std::u16string hexText(uint32_t value, int minimumDigits) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  while (digits.size() < static_cast<size_t>(minimumDigits)) digits.insert(digits.begin(), u'0');
  return digits;
}

// A REG_SZ that reads back from "text": one terminating NUL, no other NUL, no line break.
bool isPlainText(const RegValue& value, std::u16string* text) {
  if (value.type != kRegSz || value.data.size() < 2 || value.data.size() % 2 != 0) return false;
  std::u16string units = fromUtf16LeBytes(value.data);
  if (units.back() != u'\0') return false;
  units.pop_back();
  for (char16_t unit : units) {
    if (unit == u'\0' || unit == u'\r' || unit == u'\n') return false;
  }
  *text = units;
  return true;
}

void writeHexData(const RegValue& value, std::u16string* line, std::u16string* out) {
  *line += value.type == kRegBinary ? u"hex:" : u"hex(" + hexText(value.type, 1) + u"):";
  size_t column = line->size();
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::u16string token = hexText(static_cast<unsigned char>(value.data[i]), 2);
    if (i + 1 < value.data.size()) token.push_back(u',');
    if (column + token.size() > kLineWidth - 1) {
      *line += u"\\\r\n  ";
      column = 2;
    }
    *line += token;
    column += token.size();
  }
  *out += *line;
}

void writeValue(const RegValue& value, std::u16string* out) {
  std::u16string line = value.name.empty() ? u"@=" : quoted(value.name) + u"=";
  std::u16string text;
  if (isPlainText(value, &text)) {
    *out += line + quoted(text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    *out += line + u"dword:" + hexText(readWord32(value.data.data()), 8);
  } else {
    writeHexData(value, &line, out);
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
    out += u"[" + key.path + u"]\r\n";
    // The values map is ordered by upper-cased name; the default value's is empty.
    for (const auto& [folded, value] : key.node->values) writeValue(value, &out);
    out += u"\r\n";
  }
  return out;
}

std::string writeRegFile(const Registry& registry) {
  return "\xFF\xFE" + toUtf16LeBytes(writeRegUnits(registry));
}
