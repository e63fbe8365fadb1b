// The program entry: one run, one command.
#pragma once

// Command codes of the command table.
enum CommandCode : int {
  kNoCommand = 0,
  kSetCommand = 1,
  kGetCommand = 2,
  kEnumCommand = 3,
  kHelpCommand = 4,
};

// Runs the command line argv[0 .. argc) (argv[0], the program path, is not used) and
// returns the exit status. Callable in-process any number of times: it never exits the
// process and leaves nothing allocated.
int runProgram(int argc, wchar_t** argv);

// The command code of argv[1], or kNoCommand.
int lookupCommand(wchar_t** argv);
