// The simulated machine of the process: its registry, its event log and the handles
// that boundary calls have handed out.
//
// A machine is reached through currentMachine(): the test machine while one is
// installed, else the machine file's machine between beginPlatform and endPlatform,
// else none (every boundary call then fails cleanly).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/os_comdb.h"
#include "platform/os_devices.h"
#include "platform/os_driver.h"
#include "platform/os_types.h"
#include "platform/sim/registry_store.h"

// An open registry key: its path and the access it was opened with.
struct OsKey {
  std::u16string path;
  uint32_t access = 0;
};

// A device information set: its members in enumeration order, the property-change
// parameters attached to them and the installation flags a restart left on them.
struct OsDeviceSet {
  std::vector<DevNode> members;
  std::map<DevNode, uint32_t> propertyChange;  // node -> state change
  std::map<DevNode, uint32_t> installFlags;    // node -> device installation flags
};

// An open COM port database: nothing but its identity, which comDbs records.
struct OsComDb {};

// SP_DEVINFO_DATA as the program sees it: opaque, zero-filled when made.
struct DeviceElement {
  uint32_t size = 0;
  DevNode node = 0;
};

struct SimMachine {
  SimMachine() = default;
  ~SimMachine();  // frees every handle still open
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  Registry registry;
  std::vector<std::string> log;  // event-log lines not yet handed on
  uint64_t registryCalls = 0;
  // A text command reached the driver or a device was restarted: the run did more than
  // read, even when the registry is as it was, so it may not go on unlogged.
  bool actedOnDevices = false;

  // Device node handles: node n is the instance id nodeIds[n - 1].
  std::vector<std::u16string> nodeIds;
  std::map<std::u16string, DevNode> nodeByFoldedId;
  std::map<DevNode, uint32_t> startProblems;  // node -> the problem a restart left it with

  std::set<OsKey*> keys;
  std::set<OsDeviceSet*> deviceSets;
  std::set<OsComDb*> comDbs;
  std::map<OsHandle, std::u16string> controlHandles;  // handle -> path opened
  OsHandle nextControlHandle = 0x100;

  // Handles still open: their number, and by kind as "keys=1 device-sets=0 ..." (empty
  // when none is).
  size_t openHandleCount() const;
  std::string openHandleSummary() const;
  void closeAllHandles();
};

SimMachine* currentMachine();

// Installs `machine` (owned by the caller) as the test machine; null removes it.
void installTestMachine(SimMachine* machine);
bool testMachineInstalled();

// The machine file's machine, set by beginPlatform and cleared by endPlatform.
void setFileMachine(SimMachine* machine);

// GetLastError / SetLastError of the simulated machine.
void setLastOsError(uint32_t error);
uint32_t lastSimError();
