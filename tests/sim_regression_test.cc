// Faults of the simulated machine found while fuzzing it, each pinned by a test named
// after the fault.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/reg_reader.h"

namespace {

std::string nestedKey(const char* prefix, size_t depth) {
  std::string path = prefix;
  for (size_t i = 0; i < depth; ++i) path += "\\a";
  return path + "]\r\n";
}

// A section nested a million levels deep built a key tree whose destruction (and every
// walk of it) recursed once per level and overflowed the stack. Key paths now stop at
// 512 levels, as on Windows; a deeper one is a parse error of its line.
TEST(SimRegression, KeyNestedTooDeepOverflowedTheStack) {
  const struct {
    const char* prefix;
    size_t depth;
    bool parses;
  } cases[] = {
      {"[HKEY_LOCAL_MACHINE", 512, true},
      {"[HKEY_LOCAL_MACHINE", 513, false},
      {"[-HKEY_LOCAL_MACHINE", 513, false},
      {"[HKEY_LOCAL_MACHINE", 100000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.prefix) + " " + std::to_string(c.depth));
    const std::string text = "REGEDIT4\r\n\r\n" + nestedKey(c.prefix, c.depth);
    Registry registry;
    RegParseError error;
    EXPECT_EQ(readRegText(text, &registry, &error), c.parses);
    if (!c.parses) {
      EXPECT_EQ(error.line, 3);
      EXPECT_EQ(error.reason, "key path deeper than 512 levels");
    }
  }
}

}  // namespace
