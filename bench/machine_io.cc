// The machine file's own cost, without the program: takes the lock, reads and parses
// the machine file (ZPCONFIG_MACHINE), and with "write" writes it back and appends the
// closing event-log line, exactly as a run that changed the registry does.
#include <cstdio>
#include <cstring>

#include "platform/os_process.h"
#include "platform/sim/machine.h"

int main(int argc, char** argv) {
  const bool write = argc > 1 && std::strcmp(argv[1], "write") == 0;
  if (argc > 1 && !write && std::strcmp(argv[1], "read") != 0) {
    std::fprintf(stderr, "usage: machine_io [read|write]\n");
    return 2;
  }
  const int status = beginPlatform();
  if (status != 0) return status;
  if (write) {
    // A change and its undoing: the contents stay, but the file is written back.
    Registry& registry = currentMachine()->registry;
    RegNode* key = registry.findKey(u"");  // HKEY_LOCAL_MACHINE itself
    registry.setValue(key, u"MachineIoProbe", 4, std::string(4, '\0'));
    registry.removeValue(key, u"MachineIoProbe");
  }
  return endPlatform();
}
