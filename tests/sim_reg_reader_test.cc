// Reading .reg text: every encoding and value form gives the same registry, and every
// malformed line is refused with its line number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/reg_reader.h"
#include "platform/sim/utf.h"

namespace {

std::string bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out.push_back(static_cast<char>(b));
  return out;
}

std::string utf16(const std::string& utf8) { return toUtf16LeBytes(utf8ToUtf16(utf8)); }

// The same content in every encoding: only hex(2)/hex(7) data differ (1252 bytes in
// REGEDIT4, UTF-16LE in Version 5.00).
std::string body(bool ansiStrings) {
  const std::string expand = ansiStrings ? "25,00" : "25,00,00,00";  // "%"
  const std::string multi = ansiStrings ? "e4,00,62,00,00" : "e4,00,00,00,62,00,00,00,00,00";
  const std::string unended = ansiStrings ? "4c,69" : "4c,00,69,00";  // Windows adds the NUL
  const std::string text = ansiStrings ? "e4,00" : "e4,00,00,00";     // hex(1): code-page text
  return "; a comment\r\n"
         "# a comment too\r\n"
         "\r\n"
         "[HKEY_LOCAL_MACHINE\\Soft\\Läbor]\r\n"
         "@=\"default\"\r\n"
         "\"Text\"=\"L\xC3\xA4"
         "bor \\\"q\\\" \\\\x\"\r\n"
         "\"Number\"=dword:0001C200\r\n"
         "\"Short\"=dword:7\r\n"
         "\"Bin\"=hex:00,FF,1\r\n"
         "\"Empty\"=hex:\r\n"
         "\"Expand\"=hex(2):" +
         expand +
         "\r\n"
         "\"Multi\"=hex(7):" +
         multi +
         "\r\n"
         "\"Qword\"=hex(b):01,02,03,04,\t\\ ;comment\r\n"
         " \r\n"
         "  ;comment\r\n"
         "    05,06,07,08\r\n"
         "\"Unended\"=hex(7):" +
         unended + "\r\n\"Ansi\"=hex(1):" + text +
         "\r\n"
         "\"Commented\"=\"x\\qy\";comment\r\n"
         "\"Dword\"=dword:\t4 ;comment\r\n"
         "  \"Spaced\" = dword:00000001\r\n"
         "\"Dropped\"=\"x\"\r\n"
         "\"Dropped\"=- ;comment\r\n"
         " \t[hkey_local_machine\\SOFT\\läbor\\Gone]\r\n"
         "[-HKEY_LOCAL_MACHINE\\Soft\\Läbor\\Gone]\r\n"
         "[HKEY_LOCAL_MACHINE\\Soft\\Kept\\\\]\r\n"
         "\"Tail\"=hex:0a,\\";
}

std::string to1252(const std::string& utf8) {
  std::string out;
  for (char16_t unit : utf8ToUtf16(utf8)) out.push_back(static_cast<char>(unit));
  return out;
}

struct Expected {
  const char* name;
  uint32_t type;
  std::string data;
};

TEST(RegReader, EveryEncodingReadsTheSameValues) {
  const std::string v5 = "Windows Registry Editor Version 5.00\r\n\r\n" + body(false);
  const struct {
    const char* encoding;
    std::string file;
  } files[] = {
      {"REGEDIT4 in 1252", to1252("REGEDIT4\r\n\r\n" + body(true))},
      {"REGEDIT4 after blanks", to1252(" \tREGEDIT4\r\n\r\n" + body(true))},
      {"5.00 UTF-16LE with BOM", "\xFF\xFE" + utf16(v5)},
      {"5.00 UTF-8 with BOM", "\xEF\xBB\xBF" + v5},
      {"5.00 UTF-8", v5},
      {"5.00 UTF-8 with LF line ends",
       [&] {
         std::string text;
         for (char c : v5)
           if (c != '\r') text.push_back(c);
         return text;
       }()},
  };
  const Expected expected[] = {
      {"", 1, utf16(std::string("default") + '\0')},
      {"TEXT", 1,
       utf16(std::string("L\xC3\xA4"
                         "bor \"q\" \\x") +
             '\0')},
      {"Number", 4, bytes({0x00, 0xC2, 0x01, 0x00})},
      {"Short", 4, bytes({7, 0, 0, 0})},
      {"Bin", 3, bytes({0x00, 0xFF, 0x01})},
      {"Empty", 3, ""},
      {"Expand", 2, bytes({0x25, 0, 0, 0})},
      {"Multi", 7, bytes({0xE4, 0, 0, 0, 0x62, 0, 0, 0, 0, 0})},
      {"Qword", 0xB, bytes({1, 2, 3, 4, 5, 6, 7, 8})},
      {"Spaced", 4, bytes({1, 0, 0, 0})},
      {"Unended", 7, bytes({0x4C, 0, 0x69, 0, 0, 0})},
      {"Ansi", 1, bytes({0xE4, 0, 0, 0})},
      {"Commented", 1, utf16(std::string("xqy") + '\0')},
      {"Dword", 4, bytes({4, 0, 0, 0})},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.encoding);
    Registry registry;
    RegParseError error;
    ASSERT_TRUE(readRegText(file.file, &registry, &error)) << error.line << ": " << error.reason;
    const RegNode* key =
        registry.findKey(utf8ToUtf16("SOFT\\L\xC3\x84"
                                     "BOR"));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->name, utf8ToUtf16("L\xC3\xA4"
                                     "bor"));
    EXPECT_EQ(key->values.size(), std::size(expected));
    for (const Expected& value : expected) {
      const RegValue* stored = Registry::findValue(*key, utf8ToUtf16(value.name));
      ASSERT_NE(stored, nullptr) << value.name;
      EXPECT_EQ(stored->type, value.type) << value.name;
      EXPECT_EQ(stored->data, value.data) << value.name;
    }
    EXPECT_TRUE(key->subkeys.empty()) << "the deleted key is gone";
    EXPECT_NE(registry.findKey(u"Soft\\Kept"), nullptr);
    const RegValue* tail = registry.findValue(u"Soft\\Kept", u"Tail");
    ASSERT_NE(tail, nullptr) << "hex data continued at the end of the file";
    EXPECT_EQ(tail->data, "\n");
  }
}

TEST(RegReader, MalformedTextNamesLineAndReason) {
  const std::string h = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string k = h + "[HKEY_LOCAL_MACHINE\\A]\r\n";
  const struct {
    std::string text;
    int line;
    const char* reason;
  } cases[] = {
      {"", 1, "missing registry header"},
      {"Windows Registry Editor Version 4.00\r\n", 1, "missing registry header"},
      {"[HKEY_LOCAL_MACHINE\\A]\r\n", 1, "missing registry header"},
      {h + "[HKEY_CURRENT_USER\\A]\r\n", 3, "key outside HKEY_LOCAL_MACHINE"},
      {h + "[HKLM\\A]\r\n", 3, "key outside HKEY_LOCAL_MACHINE"},
      {h + "[HKEY_LOCAL_MACHINE\\A\r\n", 3, "unterminated key name"},
      {h + "[HKEY_LOCAL_MACHINE\\A\\\\B]\r\n", 3, "empty key name in the key path"},
      {h + "\"a\"=dword:1\r\n", 3, "value outside a key section"},
      {k + "\"a\"=\"open\r\n", 4, "unterminated string"},
      {k + "\"a\"=\"x\" y\r\n", 4, "text after the closing quote"},
      {k + "\"a=\"x\"\r\n", 4, "missing '=' after the value name"},
      {k + "\"a\r\n", 4, "unterminated value name"},
      {k + "\"a\"=dword:123456789\r\n", 4, "malformed dword"},
      {k + "\"a\"=dword:\r\n", 4, "malformed dword"},
      {k + "\"a\"=dword:12g4\r\n", 4, "malformed dword"},
      {k + "\"a\"=hex:0g\r\n", 4, "malformed hex data"},
      {k + "\"a\"=hex:123\r\n", 4, "malformed hex data"},
      {k + "\"a\"=hex:01,,02\r\n", 4, "malformed hex data"},
      {k + "\"a\"=hex(x):00\r\n", 4, "malformed hex type"},
      {k + "\"a\"=hex(2:00\r\n", 4, "malformed hex type"},
      {k + "\"a\"=hex 00\r\n", 4, "missing ':' after hex"},
      {k + "\"a\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n", 6, "malformed hex data"},
      {k + "\"a\"=hex:11,22,33,4\\\r\n4,55\r\n", 4, "malformed hex data"},
      {k + "\"a\"=hex:11,22\\\r\n33\r\n", 4, "malformed hex data"},
      {k + "\"a\"=hex:01,\\\r\n\r\n\"b\"=dword:1\r\n", 6, "malformed hex data"},
      {k + "\"a\"=hex:01,\\\r\n \\\r\n", 5, "malformed hex data"},
      {k + "\"a\"=hex:01,\\\r\n  #c\r\n  02\r\n", 5, "'#' comment inside continued hex data"},
      {k + "\"a\"=hex:01 #c\r\n", 4, "malformed hex data"},
      {k + "\"a\"=hex:01,\r\n  02\r\n", 5, "not a section, value or comment"},
      {k + "\"a\"=dword:1 #c\r\n", 4, "malformed dword"},
      {k + "\"a\"=\"x\\0\"\r\n", 4, "\\0 in a quoted string"},
      {k + "\"a\"=hex(2):41\r\n", 4, "string data of an odd number of bytes"},
      {k + std::string("\"a\"=\"b\0c\"\r\n", 11), 4, "NUL character in the line"},
      {"REGEDIT4 x\r\n", 1, "missing registry header"},
      {k + "\"a\"=str\r\n", 4, "unknown value data"},
      {k + "\"a\"=- x\r\n", 4, "malformed value deletion"},
      {k + "junk\r\n", 4, "not a section, value or comment"},
      {"\xFF\xFE" + utf16(k) + "x", 4, "UTF-16 text cut short in the middle of a character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Registry registry;
    RegParseError error;
    EXPECT_FALSE(readRegText(c.text, &registry, &error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.reason, c.reason);
  }
}

}  // namespace
