// Placeholder until the command dispatcher lands.
#include "cli/program.h"

int runProgram(int, wchar_t**) { return 0; }
