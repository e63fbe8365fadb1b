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

size_t skipBlanks(const std::u16string& text, size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

// Where a value's data may end: the end of the line or a ';' comment, after blanks. A '#'
// there is no comment: Windows drops such a value.
bool atDataEnd(const std::u16string& text, size_t pos) {
  pos = skipBlanks(text, pos);
  return pos == text.size() || text[pos] == u';';
}

bool startsWithRegedit4(const std::string& bytes) {
  const size_t start = bytes.find_first_not_of(" \t");
  return start != std::string::npos && bytes.compare(start, 8, "REGEDIT4") == 0;
}

// hex(2) and hex(7) data are strings: Windows ends one that lacks its terminating NUL.
bool isStringType(uint32_t type) { return type == kRegExpandSz || type == kRegMultiSz; }

std::string terminated(std::string data) {
  const size_t size = data.size();
  if (size > 0 && (data[size - 1] != '\0' || data[size - 2] != '\0')) data.append(2, '\0');
  return data;
}

class RegTextReader {
 public:
  RegTextReader(Registry* registry, RegParseError* error) : registry_(registry), error_(error) {}

  bool read(const std::string& bytes) {
    std::u16string text;
    if (!decode(bytes, &text)) return false;
    splitLines(text);
    if (lines_.empty() || !readHeader(trimLeft(lines_[0].text))) {
      return fail(1, "missing registry header");
    }
    for (next_ = 1; next_ < lines_.size();) {
      const Line& line = lines_[next_++];
      if (!readLine(line)) return false;
    }
    return true;
  }

 private:
  using DataReader = bool (RegTextReader::*)(const std::u16string& name, const std::u16string& data,
                                             int number);
  struct DataForm {
    const char16_t* prefix;  // matched ignoring case
    DataReader read;
  };
  static const DataForm kDataForms[4];

  bool fail(int line, const std::string& reason) {
    error_->line = line;
    error_->reason = reason;
    return false;
  }

  // The file's text: UTF-16LE after its BOM, UTF-8 after its BOM, 1252 when it starts
  // with the REGEDIT4 header (after blanks, as Windows allows), else UTF-8.
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
      if (!wellFormedUtf8(bytes, 3)) return false;
      *text = utf8ToUtf16(bytes.substr(3));
    } else if (startsWithRegedit4(bytes)) {
      *text = decode1252(bytes);
    } else {
      if (!wellFormedUtf8(bytes, 0)) return false;
      *text = utf8ToUtf16(bytes);
    }
    return true;
  }

  // Bytes that are no UTF-8 character are refused at their line (counted as splitLines
  // counts them): decoded, they would become U+FFFD and be written back so.
  bool wellFormedUtf8(const std::string& bytes, size_t at) {
    int line = 1;
    while (at < bytes.size()) {
      const size_t length = utf8SequenceLength(bytes, at);
      if (length == 0) return fail(line, "malformed UTF-8 text");
      const bool crlf = bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n';
      line += (bytes[at] == '\n' || (bytes[at] == '\r' && !crlf)) ? 1 : 0;
      at += length;
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

  // Windows takes any other header that starts with "REGEDIT" for a Windows 3.1 file,
  // which holds no HKEY_LOCAL_MACHINE keys, so those are refused like any other.
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
    if (!noNul(line)) return false;
    // Nearly every line starts in its first column; only an indented one is copied.
    const bool indented = !line.text.empty() && isBlank(line.text[0]);
    const std::u16string trimmed = indented ? trimLeft(line.text) : std::u16string();
    const std::u16string& text = indented ? trimmed : line.text;
    if (text.empty() || text[0] == u';' || text[0] == u'#') return true;
    if (text[0] == u'[') return readSection(trimRight(text), line.number);
    if (text[0] == u'"' || text[0] == u'@') return readValue(text, line.number);
    return fail(line.number, "not a section, value or comment");
  }

  // A NUL character is part of no line form (Windows' own export never writes one) and
  // no key name can hold it: the line is refused, not read into a name or its data.
  bool noNul(const Line& line) {
    return line.text.find(u'\0') == std::u16string::npos ||
           fail(line.number, "NUL character in the line");
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
    // Windows opens [KEY\] and [KEY\\] as KEY.
    while (!path.empty() && path.back() == u'\\') path.pop_back();
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
  // An escape other than \\, \", \n and \r stands for its character alone, as in Windows;
  // \0 is refused, as Windows drops the value that holds it.
  bool readQuoted(const std::u16string& text, size_t* pos, std::u16string* out, int number,
                  const char* unterminated) {
    out->clear();
    for (size_t i = *pos + 1; i < text.size(); ++i) {
      if (text[i] == u'"') {
        *pos = i + 1;
        return true;
      }
      if (text[i] == u'\\' && i + 1 < text.size()) {
        const char16_t escaped = text[++i];
        if (escaped == u'0') return fail(number, "\\0 in a quoted string");
        out->push_back(escaped == u'n' ? u'\n' : escaped == u'r' ? u'\r' : escaped);
        continue;
      }
      out->push_back(text[i]);
    }
    return fail(number, unterminated);
  }

  bool readValue(const std::u16string& text, int number) {
    size_t pos = 0;
    std::u16string name;
    if (text[0] == u'@') {
      pos = 1;
    } else if (!readQuoted(text, &pos, &name, number, "unterminated value name")) {
      return false;
    }
    pos = skipBlanks(text, pos);
    if (pos >= text.size() || text[pos] != u'=')
      return fail(number, "missing '=' after the value name");
    pos = skipBlanks(text, pos + 1);
    if (currentKey_ == nullptr) return fail(number, "value outside a key section");
    const std::u16string data = text.substr(pos);
    for (const DataForm& form : kDataForms) {
      if (startsWithIgnoreCase(data, form.prefix)) return (this->*form.read)(name, data, number);
    }
    return fail(number, "unknown value data");
  }

  bool readDeletion(const std::u16string& name, const std::u16string& data, int number) {
    if (!atDataEnd(data, 1)) return fail(number, "malformed value deletion");
    registry_->removeValue(currentKey_, name);
    return true;
  }

  bool readStringData(const std::u16string& name, const std::u16string& data, int number) {
    size_t pos = 0;
    std::u16string text;
    if (!readQuoted(data, &pos, &text, number, "unterminated string")) return false;
    if (!atDataEnd(data, pos)) return fail(number, "text after the closing quote");
    text.push_back(u'\0');
    registry_->setValue(currentKey_, name, kRegSz, toUtf16LeBytes(text));
    return true;
  }

  bool readDwordData(const std::u16string& name, const std::u16string& data, int number) {
    const size_t start = skipBlanks(data, 6);
    size_t end = start;
    while (end < data.size() && hexDigit(data[end]) >= 0) ++end;
    uint32_t value = 0;
    if (!parseHexNumber(data.substr(start, end - start), &value) || !atDataEnd(data, end)) {
      return fail(number, "malformed dword");
    }
    registry_->setValue(currentKey_, name, kRegDword, word32Bytes(value));
    return true;
  }

  // `data` starts with "hex": either ":" or "(N):" follows, then the bytes.
  bool readHexData(const std::u16string& name, const std::u16string& data, int number) {
    uint32_t type = kRegBinary;
    size_t pos = 3;
    if (pos < data.size() && data[pos] == u'(') {
      const size_t close = data.find(u')', pos);
      if (close == std::u16string::npos ||
          !parseHexNumber(data.substr(pos + 1, close - pos - 1), &type)) {
        return fail(number, "malformed hex type");
      }
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != u':') return fail(number, "missing ':' after hex");
    std::string bytes;
    if (!readHexBytes(data.substr(pos + 1), number, &bytes)) return false;
    // REGEDIT4 files hold these strings in the code page, Version 5.00 files in UTF-16LE.
    if (ansiStrings_ && (type == kRegSz || isStringType(type))) {
      bytes = toUtf16LeBytes(decode1252(bytes));
    }
    if (isStringType(type)) {
      if (bytes.size() % 2 != 0) return fail(number, "string data of an odd number of bytes");
      bytes = terminated(bytes);
    }
    registry_->setValue(currentKey_, name, type, bytes);
    return true;
  }

  // The bytes of the first line's `part`, and of the lines it continues on with a '\'.
  // Blank lines and ';' comment lines between them are skipped, as Windows skips them;
  // anything else that Windows would not read as bytes is refused on its line.
  bool readHexBytes(const std::u16string& part, int number, std::string* bytes) {
    bool continued = false;
    if (!readHexLine(part, false, number, bytes, &continued)) return false;
    while (continued && next_ < lines_.size()) {
      const Line& line = lines_[next_++];
      if (!noNul(line)) return false;
      const std::u16string text = trimLeft(line.text);
      if (text.empty() || text[0] == u';') continue;
      if (text[0] == u'#') return fail(line.number, "'#' comment inside continued hex data");
      if (!readHexLine(text, true, line.number, bytes, &continued)) return false;
    }
    return true;  // data continued past the end of the file ends there, as in Windows
  }

  // One line of comma-separated bytes of one or two hex digits, ending in an optional
  // comma, then optionally a '\' for a continuation, then optionally a ';' comment. A
  // continuation line starts with a byte.
  bool readHexLine(const std::u16string& text, bool continuation, int number, std::string* bytes,
                   bool* continued) {
    if (continuation && hexDigit(text[0]) < 0) return fail(number, "malformed hex data");
    size_t pos = 0;
    bool byteDue = true;  // at the start or after a comma
    for (;;) {
      if (byteDue && pos < text.size() && hexDigit(text[pos]) >= 0) {
        const size_t digits = pos + 1 < text.size() && hexDigit(text[pos + 1]) >= 0 ? 2 : 1;
        uint32_t value = 0;
        parseHexNumber(text.substr(pos, digits), &value);
        bytes->push_back(static_cast<char>(value));
        pos += digits;
        byteDue = false;
      } else if (!byteDue && pos < text.size() && text[pos] == u',') {
        ++pos;
        byteDue = true;
      } else {
        break;
      }
    }
    *continued = false;
    if (atDataEnd(text, pos)) return true;
    pos = skipBlanks(text, pos);
    *continued = byteDue && text[pos] == u'\\' && atDataEnd(text, pos + 1);
    return *continued || fail(number, "malformed hex data");
  }

  Registry* registry_;
  RegParseError* error_;
  std::vector<Line> lines_;
  size_t next_ = 0;
  bool ansiStrings_ = false;
  RegNode* currentKey_ = nullptr;
};

const RegTextReader::DataForm RegTextReader::kDataForms[4] = {
    {u"-", &RegTextReader::readDeletion},
    {u"\"", &RegTextReader::readStringData},
    {u"dword:", &RegTextReader::readDwordData},
    {u"hex", &RegTextReader::readHexData},
};

}  // namespace

bool readRegText(const std::string& bytes, Registry* registry, RegParseError* error) {
  RegTextReader reader(registry, error);
  return reader.read(bytes);
}
