// Placeholder until the apply engine lands.
#include "apply/apply.h"

int applySetRequest(const SetRequest*) { return 1; }
int32_t firstNumberInText(const wchar_t*) { return 0; }
