// Text conversions of the native build: UTF-8 (command line, console, event log),
// UTF-16 (the registry's text and the program's wide text, one unit per wchar_t) and the
// UTF-16LE bytes in which the registry stores text.
#pragma once

#include <cstddef>
#include <string>

// Decodes the UTF-8 arguments argv[0 .. argc) into UTF-16 units (one per wchar_t, a
// terminator after each), runs `run` on them and frees everything before it returns
// run's result. Malformed UTF-8 decodes to U+FFFD.
int runProgramUtf8(int argc, char** argv, int (*run)(int, wchar_t**));

// The length of the well-formed UTF-8 sequence at text[at] (at < text.size()), or 0 when
// none starts there.
size_t utf8SequenceLength(const std::string& text, size_t at);

// UTF-8 bytes to UTF-16 units (characters above U+FFFF as surrogate pairs; each
// malformed sequence as U+FFFD).
std::u16string utf8ToUtf16(const std::string& text);

// UTF-16 units to UTF-8 bytes (pairs combined; a lone surrogate as U+FFFD).
std::string utf16ToUtf8(const char16_t* units, size_t count);
std::string utf16ToUtf8(const std::u16string& text);

// Wide text of the boundary to UTF-16 units. A null pointer is the empty text. A
// wchar_t above U+FFFF (possible where wchar_t is 4 bytes) becomes a surrogate pair.
std::u16string fromWide(const wchar_t* text);
std::u16string fromWide(const wchar_t* text, size_t units);
// Copies units into out[0 .. units.size()), one unit per wchar_t, no terminator added.
void toWide(const std::u16string& units, wchar_t* out);

// UTF-16 units as the little-endian bytes the registry stores.
std::string toUtf16LeBytes(const std::u16string& units);
// Stored bytes as units: an odd byte count rounds up to whole units, the last unit
// taking the odd byte as its low byte.
std::u16string fromUtf16LeBytes(const std::string& bytes);
