// Placeholder until set-request parsing lands.
#include "cli/set_request.h"

int parseSetRequest(int argc, wchar_t**, SetRequest*) { return argc; }
int checkSetRequest(const SetRequest*) { return 1; }
