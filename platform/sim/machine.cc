#include "platform/sim/machine.h"

#include <string>

namespace {

SimMachine* gTestMachine = nullptr;
SimMachine* gFileMachine = nullptr;
uint32_t gLastError = 0;

}  // namespace

SimMachine::~SimMachine() { closeAllHandles(); }

size_t SimMachine::openHandleCount() const {
  return keys.size() + deviceSets.size() + comDbs.size() + controlHandles.size();
}

std::string SimMachine::openHandleSummary() const {
  if (openHandleCount() == 0) return {};
  return "keys=" + std::to_string(keys.size()) +
         " device-sets=" + std::to_string(deviceSets.size()) +
         " com-databases=" + std::to_string(comDbs.size()) +
         " control-devices=" + std::to_string(controlHandles.size());
}

void SimMachine::closeAllHandles() {
  for (OsKey* key : keys) delete key;
  for (OsDeviceSet* set : deviceSets) delete set;
  for (OsComDb* db : comDbs) delete db;
  keys.clear();
  deviceSets.clear();
  comDbs.clear();
  controlHandles.clear();
}

SimMachine* currentMachine() { return gTestMachine != nullptr ? gTestMachine : gFileMachine; }

void installTestMachine(SimMachine* machine) { gTestMachine = machine; }

bool testMachineInstalled() { return gTestMachine != nullptr; }

void setFileMachine(SimMachine* machine) { gFileMachine = machine; }

void setLastOsError(uint32_t error) { gLastError = error; }

uint32_t lastSimError() { return gLastError; }
