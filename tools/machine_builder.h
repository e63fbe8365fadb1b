// The simulated machine of a MachineRequest, laid out as default_machine.reg lays out its
// boards: the driver's service, settings store and event-log source; for each board its
// device node (with its allocated I/O range on ISA), its software key and one port
// device node per port; the COM port database; the driver's port counts.
#pragma once

#include <string>

#include "platform/sim/registry_store.h"
#include "tools/machine_request.h"

// Adds the machine of `request` to `registry`.
void buildMachine(const MachineRequest& request, Registry* registry);

// The machine of `request` as a .reg text: "Windows Registry Editor Version 5.00", UTF-8
// without BOM, in the order and forms the machine file is written back in.
std::string machineRegText(const MachineRequest& request);
