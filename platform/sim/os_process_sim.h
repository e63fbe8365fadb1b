// What the simulated machine adds to the process boundary for its tests and harnesses.
#pragma once

// True between beginPlatform and endPlatform, on the machine file or a test machine.
bool platformRunOpen();
