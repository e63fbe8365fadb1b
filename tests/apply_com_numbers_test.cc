// The number readers of the change application: COM numbers in names and port indexes
// in the matching ids of port nodes.
#include <gtest/gtest.h>

#include <cstdint>

#include "apply/com_numbers.h"
#include "apply/port_nodes.h"

TEST(FirstNumberInText, ReadsTheFirstRunOfDigitsAndSaturates) {
  const struct {
    const wchar_t* text;
    int32_t number;
  } cases[] = {
      {L"COM12", 12},
      {L"COM", 0},
      {L"", 0},
      {L"12AB3", 12},
      {L"COM-5", 5},
      {L"COM2147483647", INT32_MAX},
      {L"COM2147483648", INT32_MAX},
      {L"COM99999999999", INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(firstNumberInText(c.text), c.number) << c.text;
}

// The index stands at the eighth character wherever "nrvport" is found.
TEST(PortIndexFromMatchingId, OnlyIndexesOfTheBoardMap) {
  const struct {
    const wchar_t* id;
    int portCount;
    int index;
  } cases[] = {
      {L"nrvport3", 8, 3},           {L"nrvport7", 8, 7},
      {L"nrvport8", 8, -1},          {L"nrvport  +5x", 8, 5},
      {L"nrvport-1", 8, -1},         {L"nrvport", 8, -1},
      {L"NRVPORT3", 8, -1},          {L"serialport3", 8, -1},
      {L"nrvport4294967296", 8, -1}, {L"nrvport18446744073709551619", 8, -1},
      {L"nrvport64", 200, -1},       {L"abcdefg5nrvport", 8, 5},
      {L"x-nrvport3", 8, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(portIndexFromMatchingId(c.id, c.portCount), c.index) << c.id;
  }
}
