// Reads a registry export (.reg text) into a Registry.
//
// Accepted: "REGEDIT4" (Windows-1252; hex(2) and hex(7) data are 1252 strings) and
// "Windows Registry Editor Version 5.00" (UTF-16LE with BOM, or UTF-8 with or without
// BOM; hex(2) and hex(7) data are UTF-16LE). Sections [HKEY_LOCAL_MACHINE\...] and
// [-HKEY_LOCAL_MACHINE\...]; values "name" or @ = "text", dword:, hex:, hex(N):, or -
// to delete; hex data continued over lines ending in '\'; ';' comments; blank lines.
// The yardstick is Windows' reg import: what it reads gives the same keys and values
// (comments after the data, '#' comment lines, blanks and continuations included);
// a line it skips, or one of a value it drops, is an error on that line.
#pragma once

#include <string>

#include "platform/sim/registry_store.h"

struct RegParseError {
  int line = 0;  // 1-based; 0 when the error has no line
  std::string reason;
};

// Applies the file's sections to *registry in order. On an error the result is false,
// *error names the line and the reason, and *registry holds what came before it.
bool readRegText(const std::string& bytes, Registry* registry, RegParseError* error);
