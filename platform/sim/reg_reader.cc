#include "platform/sim/reg_reader.h"

#include <vector>

#include "platform/little_endian.h"
#include "platform/os_types.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/machine_code_page.h"
#include "platform/sim/utf.h"

namespace {

const char16_t kVersion5Header[] = u"Windows Registry Editor Version 5.00";
const char16_t kVersion4Header[] = u"REGEDIT4";
const char16_t kRootName[] = u"HKEY_LOCAL_MACHINE";
// As on Windows, a key path goes at most 512 levels deep; deeper trees would also
// exhaust the stack of everything that walks the tree.
constexpr size_t kMaxKeyDepth = 512;

struct Line {
  std::u16string text;
  int number;
};

bool isBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

std::u16string trimLeft(const std::u16string& text) {
  size_t start = 0;
  while (start < text.size() && isBlank(text[start])) ++start;
  return text.substr(start);
}

std::u16string trimRight(const std::u16string& text) {
  size_t end = text.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

bool startsWithIgnoreCase(const std::u16string& text, const std::u16string& prefix) {
  return text.size() >= prefix.size() &&
         foldCase(text.substr(0, prefix.size())) == foldCase(prefix);
}

int hexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return -1;
}

// Parses 1 to 8 hex digits that make up the whole of `text`.
bool parseHexNumber(const std::u16string& text, uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t number = 0;
  for (char16_t unit : text) {
    const int digit = hexDigit(unit);
    if (digit < 0) return false;
    number = number * 16 + static_cast<uint32_t>(digit);
  }
  *value = number;
  return true;
}

class RegTextReader {
 public:
  RegTextReader(Registry* registry, RegParseError* error) : registry_(registry), error_(error) {}

  bool read(const std::string& bytes) {
    std::u16string text;
    if (!decode(bytes, &text)) return false;
    splitLines(text);
    if (lines_.empty() || !readHeader(trimRight(lines_[0].text))) {
      return fail(1, "missing registry header");
    }
    for (next_ = 1; next_ < lines_.size();) {
      const Line& line = lines_[next_++];
      if (!readLine(line)) return false;
    }
    return true;
  }

 private:
  bool fail(int line, const std::string& reason) {
    error_->line = line;
    error_->reason = reason;
    return false;
  }

  // The file's text: UTF-16LE after its BOM, UTF-8 after its BOM, 1252 when it starts
  // with the REGEDIT4 header, else UTF-8.
  bool decode(const std::string& bytes, std::u16string* text) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
      if (bytes.size() % 2 != 0) {
        // The line of the cut unit: one more than the line feeds before it.
        const std::u16string whole = fromUtf16LeBytes(bytes.substr(2, bytes.size() - 3));
        int line = 1;
        for (char16_t unit : whole) line += unit == u'\n' ? 1 : 0;
        return fail(line, "UTF-16 text cut short in the middle of a character");
      }
      *text = fromUtf16LeBytes(bytes.substr(2));
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      *text = utf8ToUtf16(bytes.substr(3));
    } else if (bytes.compare(0, 8, "REGEDIT4") == 0) {
      *text = decode1252(bytes);
    } else {
      *text = utf8ToUtf16(bytes);
    }
    return true;
  }

  void splitLines(const std::u16string& text) {
    size_t start = 0;
    int number = 1;
    while (start <= text.size()) {
      size_t end = start;
      while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
      if (end == text.size() && start == end) break;  // nothing after the last line end
      lines_.push_back({text.substr(start, end - start), number++});
      if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') ++end;
      start = end + 1;
    }
  }

  bool readHeader(const std::u16string& header) {
    if (header == kVersion5Header) {
      ansiStrings_ = false;
      return true;
    }
    if (header == kVersion4Header) {
      ansiStrings_ = true;
      return true;
    }
    return false;
  }

  bool readLine(const Line& line) {
    // Nearly every line starts in its first column; only an indented one is copied.
    const bool indented = !line.text.empty() && isBlank(line.text[0]);
    const std::u16string trimmed = indented ? trimLeft(line.text) : std::u16string();
    const std::u16string& text = indented ? trimmed : line.text;
    if (text.empty() || text[0] == u';') return true;
    if (text[0] == u'[') return readSection(trimRight(text), line.number);
    if (text[0] == u'"' || text[0] == u'@') return readValue(text, line.number);
    return fail(line.number, "not a section, value or comment");
  }

  bool readSection(const std::u16string& text, int number) {
    if (text.size() < 2 || text.back() != u']') return fail(number, "unterminated key name");
    std::u16string path = text.substr(1, text.size() - 2);
    const bool deletion = !path.empty() && path[0] == u'-';
    if (deletion) path.erase(0, 1);
    const std::u16string root = path.substr(0, path.find(u'\\'));
    if (foldCase(root) != foldCase(kRootName)) {
      return fail(number, "key outside HKEY_LOCAL_MACHINE");
    }
    path.erase(0, root.size());
    if (!path.empty()) path.erase(0, 1);
    size_t depth = 0;
    if (!keyPathDepth(path, &depth)) return fail(number, "empty key name in the key path");
    if (depth > kMaxKeyDepth) return fail(number, "key path deeper than 512 levels");
    if (deletion) {
      registry_->deleteKey(path);
      currentKey_ = nullptr;
      return true;
    }
    currentKey_ = registry_->addKey(path);
    return true;
  }

  // Reads a quoted string starting at text[*pos] == '"'; *pos ends after the closing quote.
  static bool readQuoted(const std::u16string& text, size_t* pos, std::u16string* out) {
    out->clear();
    for (size_t i = *pos + 1; i < text.size(); ++i) {
      if (text[i] == u'"') {
        *pos = i + 1;
        return true;
      }
      if (text[i] == u'\\' && i + 1 < text.size()) {
        const char16_t escaped = text[++i];
        switch (escaped) {
          case u'\\':
          case u'"':
            out->push_back(escaped);
            break;
          case u'n':
            out->push_back(u'\n');
            break;
          case u'r':
            out->push_back(u'\r');
            break;
          case u'0':
            out->push_back(u'\0');
            break;
          default:
            out->push_back(u'\\');
            out->push_back(escaped);
        }
        continue;
      }
      out->push_back(text[i]);
    }
    return false;
  }

  bool readValue(const std::u16string& text, int number) {
    size_t pos = 0;
    std::u16string name;
    if (text[0] == u'@') {
      pos = 1;
    } else if (!readQuoted(text, &pos, &name)) {
      return fail(number, "unterminated value name");
    }
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != u'=')
      return fail(number, "missing '=' after the value name");
    ++pos;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    if (currentKey_ == nullptr) return fail(number, "value outside a key section");
    const std::u16string data = text.substr(pos);
    if (!data.empty() && data[0] == u'-') {
      if (!trimLeft(data.substr(1)).empty()) return fail(number, "malformed value deletion");
      registry_->removeValue(currentKey_, name);
      return true;
    }
    if (!data.empty() && data[0] == u'"') return readStringData(name, data, number);
    if (startsWithIgnoreCase(data, u"dword:")) return readDwordData(name, data.substr(6), number);
    if (startsWithIgnoreCase(data, u"hex")) return readHexData(name, data.substr(3), number);
    return fail(number, "unknown value data");
  }

  bool readStringData(const std::u16string& name, const std::u16string& data, int number) {
    size_t pos = 0;
    std::u16string text;
    if (!readQuoted(data, &pos, &text)) return fail(number, "unterminated string");
    if (!trimLeft(data.substr(pos)).empty()) return fail(number, "text after the closing quote");
    text.push_back(u'\0');
    registry_->setValue(currentKey_, name, kRegSz, toUtf16LeBytes(text));
    return true;
  }

  bool readDwordData(const std::u16string& name, const std::u16string& digits, int number) {
    uint32_t value = 0;
    if (!parseHexNumber(trimRight(digits), &value)) return fail(number, "malformed dword");
    registry_->setValue(currentKey_, name, kRegDword, word32Bytes(value));
    return true;
  }

  // `rest` follows "hex": either ":" or "(N):", then the bytes.
  bool readHexData(const std::u16string& name, const std::u16string& rest, int number) {
    uint32_t type = kRegBinary;
    size_t pos = 0;
    if (!rest.empty() && rest[0] == u'(') {
      const size_t close = rest.find(u')');
      if (close == std::u16string::npos || !parseHexNumber(rest.substr(1, close - 1), &type)) {
        return fail(number, "malformed hex type");
      }
      pos = close + 1;
    }
    if (pos >= rest.size() || rest[pos] != u':') return fail(number, "missing ':' after hex");
    std::string bytes;
    if (!readHexBytes(rest.substr(pos + 1), number, &bytes)) return false;
    if (ansiStrings_ && (type == kRegExpandSz || type == kRegMultiSz))
      bytes = toUtf16LeBytes(decode1252(bytes));
    registry_->setValue(currentKey_, name, type, bytes);
    return true;
  }

  // Comma-separated bytes of one or two hex digits; a part ending in '\' continues on the
  // next line.
  bool readHexBytes(std::u16string part, int number, std::string* bytes) {
    for (;;) {
      part = trimRight(trimLeft(part));
      const bool continued = !part.empty() && part.back() == u'\\';
      if (continued) part.pop_back();
      if (!readHexList(part, number, bytes)) return false;
      if (!continued) return true;
      if (next_ >= lines_.size())
        return fail(number, "hex data continued past the end of the file");
      part = lines_[next_].text;
      number = lines_[next_].number;
      ++next_;
    }
  }

  bool readHexList(const std::u16string& list, int number, std::string* bytes) {
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(u',', start);
      const bool last = end == std::u16string::npos;
      if (last) end = list.size();
      const std::u16string token = trimRight(trimLeft(list.substr(start, end - start)));
      uint32_t value = 0;
      if (token.size() > 2 || !parseHexNumber(token, &value)) {
        return fail(number, "malformed hex data");
      }
      bytes->push_back(static_cast<char>(value));
      start = end + 1;
    }
    return true;
  }

  Registry* registry_;
  RegParseError* error_;
  std::vector<Line> lines_;
  size_t next_ = 0;
  bool ansiStrings_ = false;
  RegNode* currentKey_ = nullptr;
};

}  // namespace

bool readRegText(const std::string& bytes, Registry* registry, RegParseError* error) {
  RegTextReader reader(registry, error);
  return reader.read(bytes);
}
