// The program entry: one run, one command.
#pragma once

// Runs the command line argv[0 .. argc) (argv[0], the program path, is not used) and
// returns the exit status. Callable in-process any number of times: it never exits the
// process and leaves nothing allocated.
int runProgram(int argc, wchar_t** argv);
