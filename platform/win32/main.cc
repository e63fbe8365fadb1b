// The Windows build's entry.
#include "cli/program.h"

int wmain(int argc, wchar_t** argv) { return runProgram(argc, argv); }
