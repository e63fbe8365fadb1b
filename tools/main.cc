// ZPConfigUtil-machine's entry: the arguments in, the machine (or the help) to standard
// output, a bad argument's line to standard error.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/machine_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  const int status = runMachineTool(args, &out, &err);
  std::fputs(err.c_str(), stderr);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fputs("ZPConfigUtil-machine: standard output cannot be written\n", stderr);
    return 2;
  }
  return status;
}
