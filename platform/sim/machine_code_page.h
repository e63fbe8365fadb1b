// The simulated machine's ANSI code page, and the conversion of the boundary's wide text
// to it, and Windows-1252 itself. Windows keeps the code page in
// SYSTEM\CurrentControlSet\Control\Nls\CodePage, value ACP (REG_SZ); the simulation does as well,
// 1252 when the value is absent, and supports 1252 and 65001 (UTF-8).
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/registry_store.h"

// The character of a 1252 byte. The five bytes 1252 leaves undefined map to the C1
// control characters of the same number, as Windows maps them.
char16_t decode1252(unsigned char byte);
std::u16string decode1252(const std::string& bytes);

// The 1252 byte of a UTF-16 unit, or -1 when 1252 has no such character.
int encode1252(char16_t unit);

// The machine's ANSI code page. False for a value the simulation does not support (of
// another number, or not text): *reason then names it, and *codePage is 1252.
bool readAnsiCodePage(const Registry& registry, uint32_t* codePage, std::string* reason);

// The current machine's ANSI code page (1252 without a machine).
uint32_t currentAnsiCodePage();

// UTF-16 units in the current machine's ANSI code page. In 1252, '?' for each character
// 1252 cannot hold (a surrogate pair is one character, and gives one '?'); in UTF-8,
// every character as itself (a lone surrogate as U+FFFD).
std::string toAnsi(const std::u16string& text);
