#include "platform/text.h"

#include <cstdarg>
#include <cwchar>

size_t textLength(const wchar_t* text) {
  size_t n = 0;
  while (text[n] != L'\0') ++n;
  return n;
}

void copyText(wchar_t* dst, size_t capacity, const wchar_t* src) {
  if (capacity == 0) return;
  size_t i = 0;
  for (; i + 1 < capacity && src[i] != L'\0'; ++i) dst[i] = src[i];
  dst[i] = L'\0';
}

void appendText(wchar_t* dst, size_t capacity, const wchar_t* src) {
  if (capacity == 0) return;
  size_t used = 0;
  while (used < capacity && dst[used] != L'\0') ++used;
  if (used == capacity) {
    dst[capacity - 1] = L'\0';
    return;
  }
  copyText(dst + used, capacity - used, src);
}

bool formatText(wchar_t* dst, size_t capacity, const wchar_t* format, ...) {
  if (capacity == 0) return false;
  va_list args;
  va_start(args, format);
  int written = vswprintf(dst, capacity, format, args);
  va_end(args);
  if (written < 0 || static_cast<size_t>(written) >= capacity) {
    dst[0] = L'\0';
    return false;
  }
  return true;
}

static wchar_t asciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }

bool equalsIgnoreCase(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    if (asciiLower(*a) != asciiLower(*b)) return false;
    if (*a == L'\0') return true;
  }
}

bool isControlCharacter(wchar_t c) { return (c >= 0x01 && c <= 0x1F) || c == 0x7F; }

void maskControlCharacters(wchar_t* line) {
  const size_t length = textLength(line);
  const size_t end = length > 0 && line[length - 1] == L'\n' ? length - 1 : length;
  for (size_t i = 0; i < end; ++i) {
    if (isControlCharacter(line[i])) line[i] = L'?';
  }
}

bool terminateReadText(wchar_t* buffer, size_t capacity, size_t units) {
  if (capacity == 0) return false;
  if (units > capacity) {
    buffer[0] = L'\0';
    return false;
  }
  for (size_t i = 0; i < units; ++i) {
    if (buffer[i] == L'\0') return true;
  }
  if (units < capacity) {
    buffer[units] = L'\0';
    return true;
  }
  buffer[0] = L'\0';
  return false;
}
