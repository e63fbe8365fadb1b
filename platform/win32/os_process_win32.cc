// The run's hold on the machine: on Windows there is nothing to take or give back.
#include "platform/os_process.h"

int beginPlatform() { return 0; }

int endPlatform() { return 0; }
