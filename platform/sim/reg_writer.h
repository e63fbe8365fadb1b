// Writes a Registry as the machine file: a "Windows Registry Editor Version 5.00" export
// in UTF-16LE with BOM and CRLF line ends, importable by Windows unchanged.
//
// Every key has a section, intermediate keys included (HKEY_LOCAL_MACHINE itself only
// when it holds values), in the order of the full paths compared upper-cased; in a key
// the default value comes first, then the values in the order of their upper-cased
// names. "text" is written for a REG_SZ with exactly one terminating NUL and no line
// break, dword: for a 4-byte REG_DWORD, hex: or hex(N): for everything else, so that
// reading the file back gives every value byte for byte. Long hex data is continued
// over lines with '\' to keep lines within 80 columns.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/registry_store.h"

// The file's text as UTF-16 units (BOM not included).
std::u16string writeRegUnits(const Registry& registry);
// The file's bytes: BOM and text in UTF-16LE.
std::string writeRegFile(const Registry& registry);

// The bytes writeRegFile gives to section lines alone ("[path]" and the blank line after
// the key), summed over the key tree without writing anything: a lower bound of the
// file's size that key paths repeated in full can make far larger than the file read.
uint64_t regFileSectionBytes(const Registry& registry);
