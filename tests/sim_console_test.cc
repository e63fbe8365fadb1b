// Console text of the native build: UTF-16 out as UTF-8 whatever the locale, and UTF-8
// command-line arguments in as UTF-16 units.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/os_console.h"
#include "platform/sim/utf.h"
#include "tests/support/harness.h"

namespace {

std::wstring units(std::initializer_list<uint32_t> list) {
  std::wstring text;
  for (uint32_t unit : list) text.push_back(static_cast<wchar_t>(unit));
  return text;
}

// What writeOutput sends to file descriptor 1.
std::string writtenToStdout(const std::wstring& text) {
  char path[] = "/tmp/zp-console-XXXXXX";
  const int file = mkstemp(path);
  std::fflush(stdout);
  const int saved = dup(1);
  dup2(file, 1);
  writeOutput(text.c_str());
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(file);
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  unlink(path);
  return bytes.str();
}

TEST(SimConsole, OutputIsUtf8WhateverTheLocale) {
  const struct {
    const char* what;
    std::wstring text;
    std::string utf8;
  } cases[] = {
      {"Latin and Greek", L"L\u00E4bor \u03A9\n",
       "L\xC3\xA4"
       "bor \xCE\xA9\n"},
      {"a surrogate pair", units({'<', 0xD834, 0xDD1E, '>'}), "<\xF0\x9D\x84\x9E>"},
      {"a lone high surrogate", units({0xD834, 'x'}), "\xEF\xBF\xBDx"},
      {"a lone low surrogate", units({'x', 0xDD1E}), "x\xEF\xBF\xBD"},
      {"a character above U+FFFF in one wchar_t", units({0x1D11E}), "\xF0\x9D\x84\x9E"},
  };
  std::setlocale(LC_ALL, "C");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    {
      OutputCapture capture;
      writeOutput(c.text.c_str());
      EXPECT_EQ(capture.text(), c.utf8);
    }
    EXPECT_EQ(writtenToStdout(c.text), c.utf8);
  }
}

std::vector<std::u16string> gArguments;

int recordArguments(int argc, wchar_t** argv) {
  gArguments.clear();
  for (int i = 0; i < argc; ++i) gArguments.push_back(fromWide(argv[i]));
  return argv[argc] == nullptr ? 7 : -1;
}

TEST(SimConsole, ArgumentsDecodeToUtf16Units) {
  std::string args[] = {"ZPConfigUtil",
                        "set",
                        "0",
                        "-name=L\xC3\xA4"
                        "bor \xCE\xA9",
                        "\xF0\x9D\x84\x9E",
                        "bad\xFF\xC3",
                        ""};
  char* argv[std::size(args) + 1] = {};
  for (size_t i = 0; i < std::size(args); ++i) argv[i] = args[i].data();
  EXPECT_EQ(runProgramUtf8(static_cast<int>(std::size(args)), argv, recordArguments), 7);
  const std::vector<std::u16string> expected = {
      u"ZPConfigUtil",    u"set", u"0", u"-name=L\u00E4bor \u03A9", u"\xD834\xDD1E",
      u"bad\xFFFD\xFFFD", u""};
  EXPECT_EQ(gArguments, expected);
}

}  // namespace
