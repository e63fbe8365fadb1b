// The usage texts of the commands, each line written as it is printed. Messages stand in
// cli/messages.h, notes on standard error in cli/notes.h.
#pragma once

// The name the usage texts and messages print, whatever the program was started as.
extern const wchar_t kProgramName[];

// Command codes of the command table.
enum CommandCode : int {
  kNoCommand = 0,
  kSetCommand = 1,
  kGetCommand = 2,
  kEnumCommand = 3,
  kHelpCommand = 4,
};

// Prints the usage of a command code: set, get or enum; any other code (kNoCommand)
// prints the general usage. Returns 0.
int printUsage(int code);
