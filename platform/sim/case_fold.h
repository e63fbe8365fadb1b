// The case folding that the simulated registry uses for key paths, value names and device
// instance ids, as Windows compares them.
#pragma once

#include <string>

// The upper-case form of a unit for comparisons that ignore case: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic letters; every other unit is itself.
char16_t foldBeyondAscii(char16_t unit);  // foldCase for units from 0x80 on
inline char16_t foldCase(char16_t unit) {
  // Registry names are nearly all ASCII, and every registry call folds a few of them.
  if (unit < 0x80)
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
  return foldBeyondAscii(unit);
}
std::u16string foldCase(const std::u16string& text);
