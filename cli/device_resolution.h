// Device names on the command line: a board by its device id ("0", "1", ...), a port by
// its COM name ("COM5"), matched without regard to case.
#pragma once

#include <cstdint>

enum DeviceKind : int32_t {
  kUnresolvedDevice = 0,  // a DeviceRef before resolution
  kBoardDevice = 1,
  kPortDevice = 2,
};

// What a device name resolved to. The set request ends with the same three fields.
struct DeviceRef {
  int32_t kind;        // DeviceKind
  int32_t boardIndex;  // position in gInventory->boards
  int32_t portIndex;   // position in the board's ports; kPortDevice only
};

// Searches gInventory for `name`: board i's device id, then board i's ports, then board
// i + 1. On a match fills `ref` and returns 0; otherwise leaves `ref` alone, prints
// "unknown device!" and returns 2.
int resolveDevice(const wchar_t* name, DeviceRef* ref);

// The get command's device argv[2]: argc (no message, no search) when it is missing,
// else the result of resolveDevice.
int resolveGetDevice(int argc, wchar_t** argv, DeviceRef* ref);
