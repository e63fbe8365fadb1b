// The run's hold on the machine: on Windows there is nothing to take or give back.
#include "platform/os_process.h"

#include <windows.h>

bool runsUnderWow64() {
#if defined(_WIN64)
  return false;
#else
  // FALSE on 32-bit Windows; TRUE for a 32-bit process on x64 Windows. Should the
  // question itself fail, the run goes on as on 32-bit Windows.
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
#endif
}

int beginPlatform() { return 0; }

int endPlatform() { return 0; }
