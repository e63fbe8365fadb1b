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
