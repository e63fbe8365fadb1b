// The simulated machine's ANSI code page, Windows-1252, and the case folding that its
// registry uses for key paths, value names and device instance ids.
#pragma once

#include <string>

// The character of a 1252 byte. The five bytes 1252 leaves undefined map to the C1
// control characters of the same number, as Windows maps them.
char16_t decode1252(unsigned char byte);
std::u16string decode1252(const std::string& bytes);

// The 1252 byte of a UTF-16 unit, or -1 when 1252 has no such character.
int encode1252(char16_t unit);

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
