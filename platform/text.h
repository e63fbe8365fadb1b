// Fixed-capacity wide text: the program's one set of bounded copy, concatenate, format
// and compare operations. Every capacity is counted in wchar_t units, terminator
// included, and comes from the destination (std::size), never from the source.
//
// Wide text holds UTF-16 code units, one per wchar_t on every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// Length in units up to the terminator.
size_t textLength(const wchar_t* text);

// Copies src into dst, cut to capacity - 1 units, always terminated.
void copyText(wchar_t* dst, size_t capacity, const wchar_t* src);

// Appends src to dst, cut to what still fits, always terminated.
void appendText(wchar_t* dst, size_t capacity, const wchar_t* src);

// Formats into dst. When the result does not fit, dst is left empty and the result is
// false.
bool formatText(wchar_t* dst, size_t capacity, const wchar_t* format, ...);

// Compares two texts without regard to the case of the ASCII letters A to Z; every
// other unit must be equal.
bool equalsIgnoreCase(const wchar_t* a, const wchar_t* b);

// True for the control characters U+0001 to U+001F and U+007F.
bool isControlCharacter(wchar_t c);

// Replaces every control character of a line about to be printed with '?', but the line
// feed that ends it: names from the command line or the machine must neither move the
// terminal's cursor nor start lines of their own.
void maskControlCharacters(wchar_t* line);

// The one rule for text read from the registry or a device property into a buffer of
// `capacity` units of which `units` were filled: data without a terminator counts as
// terminated when it and a terminator fit the buffer (the terminator is then added);
// data that fills the whole buffer with no terminator counts as missing. Returns true
// when the buffer now holds terminated text; false leaves the buffer empty.
bool terminateReadText(wchar_t* buffer, size_t capacity, size_t units);

// UTF-16 surrogates: a high one (U+D800 to U+DBFF) followed by a low one (U+DC00 to
// U+DFFF) is one character of two units.
constexpr bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool isSurrogate(uint32_t unit) { return isHighSurrogate(unit) || isLowSurrogate(unit); }

// True for the ASCII digits 0 to 9, in text of any unit (char, unsigned char, wchar_t).
template <typename Unit>
constexpr bool isDecimalDigit(Unit unit) {
  return unit >= Unit('0') && unit <= Unit('9');
}

// Reads the run of decimal digits at text[*at] (none: 0), stopping before `end` and moving
// *at past the run. The value stays at `ceiling` once it would pass it, so a long run
// never wraps round (`ceiling` below 10^18). Text ended by a terminator may pass SIZE_MAX
// as `end`.
template <typename Unit>
uint64_t scanDecimal(const Unit* text, size_t* at, size_t end, uint64_t ceiling) {
  uint64_t value = 0;
  for (; *at < end && isDecimalDigit(text[*at]); ++*at) {
    value = value * 10 + static_cast<uint64_t>(text[*at] - Unit('0'));
    if (value > ceiling) value = ceiling;
  }
  return value;
}

// Array forms: the capacity comes from the array.
template <size_t N>
void copyText(wchar_t (&dst)[N], const wchar_t* src) {
  copyText(dst, N, src);
}
template <size_t N>
void appendText(wchar_t (&dst)[N], const wchar_t* src) {
  appendText(dst, N, src);
}
template <size_t N, typename... Args>
bool formatText(wchar_t (&dst)[N], const wchar_t* format, Args... args) {
  return formatText(dst, N, format, args...);
}
