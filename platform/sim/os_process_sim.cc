// The process boundary on the simulated machine: a run holds the machine file from
// beginPlatform to endPlatform. While a test machine is installed, no file is used:
// beginPlatform starts a run on the test machine and endPlatform only adds
// "end registry-calls=N" to its log.
#include "platform/sim/os_process_sim.h"
#include "platform/os_process.h"

#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/machine_file.h"

namespace {

bool gTestRunOpen = false;

}  // namespace

bool platformRunOpen() { return fileRunOpen() || gTestRunOpen; }

// The simulated machine runs the program as a native process.
bool runsUnderWow64() { return false; }

int beginPlatform() {
  if (platformRunOpen()) return 0;
  setLastOsError(kOsSuccess);
  if (testMachineInstalled()) {
    currentMachine()->registryCalls = 0;
    gTestRunOpen = true;
    return 0;
  }
  return beginFileRun();
}

int endPlatform() {
  if (gTestRunOpen) {
    gTestRunOpen = false;
    SimMachine* machine = currentMachine();
    if (machine != nullptr) {
      machine->log.push_back("end registry-calls=" + std::to_string(machine->registryCalls));
    }
    return 0;
  }
  if (!fileRunOpen()) return 0;
  return endFileRun();
}
