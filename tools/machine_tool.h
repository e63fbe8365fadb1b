// ZPConfigUtil-machine: writes a simulated machine for the native build from a short
// description of its boards.
#pragma once

#include <string>
#include <vector>

// Runs the tool on its arguments (after the program name, UTF-8): the machine's .reg
// text or the help into *out; on bad arguments one line into *err, "ZPConfigUtil-machine:
// <reason>", and nothing into *out. The exit status: 0, or 2 for bad arguments.
int runMachineTool(const std::vector<std::string>& args, std::string* out, std::string* err);
