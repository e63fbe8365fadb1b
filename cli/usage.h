// The usage texts of the commands, each line written as it is printed. Messages stand in
// cli/messages.h, notes on standard error in cli/notes.h.
#pragma once

#include <cstddef>

// The name the usage texts and messages print, whatever the program was started as.
extern const wchar_t kProgramName[];

// A usage text: its lines in order, each with at most one %ls for kProgramName.
struct UsageText {
  const wchar_t* const* lines;
  size_t count;
};

extern const UsageText kGeneralUsage;
extern const UsageText kSetUsage;
extern const UsageText kGetUsage;
extern const UsageText kEnumUsage;

// Prints a usage text on standard output.
void printUsage(const UsageText& usage);
