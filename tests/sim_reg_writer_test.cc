// Writing the machine file: every value reads back byte for byte, keys and values come
// in upper-cased order, and the text is what Windows imports.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/reg_reader.h"
#include "platform/sim/reg_writer.h"
#include "platform/sim/utf.h"

namespace {

std::string utf16(const std::string& utf8) { return toUtf16LeBytes(utf8ToUtf16(utf8)); }

TEST(RegWriter, EveryValueReadsBackByteForByte) {
  const struct {
    const char* what;
    std::string name;
    uint32_t type;
    std::string data;
  } values[] = {
      {"plain text", "Text", 1,
       utf16(std::string("a\"b\\c L\xC3\xA4"
                         "bor") +
             '\0')},
      {"text without terminator", "NoNul", 1, utf16("abc")},
      {"text with two terminators", "TwoNul", 1, utf16(std::string("ab") + '\0' + '\0')},
      {"empty text", "EmptySz", 1, ""},
      {"text of an odd byte count", "OddSz", 1, std::string("a\0b", 3)},
      {"text with a line break", "Lines", 1, utf16(std::string("a\r\nb") + '\0')},
      {"text with a NUL inside", "Inner", 1, utf16(std::string("a") + '\0' + "b" + '\0')},
      {"dword", "Number", 4, std::string("\x78\x56\x34\x12", 4)},
      {"short dword", "Short", 4, std::string("\x01\x02", 2)},
      {"long dword", "Long", 4, std::string("\x01\x02\x03\x04\x05", 5)},
      {"empty binary", "Nothing", 3, ""},
      {"long binary", "Long binary", 3, std::string(300, '\xAB')},
      {"type 0", "None", 0, std::string("\x00\x01", 2)},
      {"qword", "Qword", 0xB, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"type with all bits", "Odd type", 0xFFFFFFFF, "x"},
      {"expandable text", "Expand", 2, utf16(std::string("%A%") + '\0')},
      {"multi-text", "Multi", 7, utf16(std::string("a") + '\0' + "b" + '\0' + '\0')},
      {"default value", "", 1, utf16(std::string("d") + '\0')},
      {"quotes in the name", "a \"quoted\" \\ name", 4, std::string(4, '\0')},
      {"line break in the name", "two\nlines", 4, std::string(4, '\0')},
      {"long name and data", std::string(90, 'n'), 3, std::string(40, '\x01')},
  };
  Registry registry;
  RegNode* key =
      registry.addKey(utf8ToUtf16("Soft\\L\xC3\xA4"
                                  "bor \xCE\xA9"));
  for (const auto& v : values) registry.setValue(key, utf8ToUtf16(v.name), v.type, v.data);

  const std::string file = writeRegFile(registry);
  ASSERT_EQ(file.compare(0, 2, "\xFF\xFE"), 0);
  Registry readBack;
  RegParseError error;
  ASSERT_TRUE(readRegText(file, &readBack, &error)) << error.line << ": " << error.reason;
  for (const auto& v : values) {
    SCOPED_TRACE(v.what);
    const RegValue* stored = readBack.findValue(utf8ToUtf16("Soft\\L\xC3\xA4"
                                                            "bor \xCE\xA9"),
                                                utf8ToUtf16(v.name));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, v.type);
    EXPECT_EQ(stored->data, v.data);
  }
  EXPECT_EQ(writeRegFile(readBack), file) << "a second write gives the same file";

  const std::u16string text = writeRegUnits(registry);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(u"\r\n", start);
    ASSERT_NE(end, std::u16string::npos) << "every line ends in CRLF";
    const std::u16string line = text.substr(start, end - start);
    if (line.find(u"\"nnnn") == std::u16string::npos) {
      EXPECT_LE(line.size(), 80u) << utf16ToUtf8(line);
    }
    start = end + 2;
  }
}

TEST(RegWriter, SectionsAndValuesInUpperCasedOrder) {
  Registry registry;
  registry.addKey(u"a\\c");
  registry.addKey(u"A B");
  RegNode* b = registry.addKey(u"B");
  registry.setValue(b, u"_x", 1, utf16(std::string("u") + '\0'));
  registry.setValue(b, u"b", 4, std::string("\x0A\0\0\0", 4));
  registry.setValue(b, u"A", 3, "\x01");
  registry.setValue(b, u"", 1, utf16(std::string("d") + '\0'));
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\a]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\A B]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\a\\c]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\B]\r\n"
      "@=\"d\"\r\n"
      "\"A\"=hex:01\r\n"
      "\"b\"=dword:0000000a\r\n"
      "\"_x\"=\"u\"\r\n"
      "\r\n";
  EXPECT_EQ(utf16ToUtf8(writeRegUnits(registry)), expected);
}

// Lines of hex data end in '\' at column 80 at the latest.
TEST(RegWriter, LongHexDataWrapsAsAContinuation) {
  Registry registry;
  registry.setValue(registry.addKey(u"K"), u"Bin", 3, std::string(30, '\x11'));
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"Bin\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\\r\n"
      "  11,11,11,11,11,11,11\r\n"
      "\r\n";
  EXPECT_EQ(utf16ToUtf8(writeRegUnits(registry)), expected);
}

}  // namespace
