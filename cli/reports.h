// The read-only reports: the device report of get and the enumeration report of enum.
#pragma once

#include "cli/device_resolution.h"

// Prints the board report (kBoardDevice) or the port report (kPortDevice) of `ref`, or
// " Unknown device! " for anything else, a board or port outside the Inventory
// included. 1 without printing when there is no Inventory, else 0.
int printDeviceReport(const DeviceRef& ref);

// Prints every board with its ports. 1 without printing when there is no Inventory,
// else 0.
int printEnumReport();
