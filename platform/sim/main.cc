// The native build's entry: decodes the UTF-8 arguments into UTF-16 wide text and runs
// the program on the simulated machine.
#include "cli/program.h"
#include "platform/sim/utf.h"

int main(int argc, char** argv) { return runProgramUtf8(argc, argv, runProgram); }
