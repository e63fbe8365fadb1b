#include "cli/device_resolution.h"

#include "cli/messages.h"
#include "inventory/inventory.h"
#include "platform/text.h"

int resolveDevice(const wchar_t* name, DeviceRef* ref) {
  for (int b = 0; const BoardRecord* board = boardAt(gInventory, b); ++b) {
    if (equalsIgnoreCase(board->deviceId, name)) {
      ref->kind = kBoardDevice;
      ref->boardIndex = b;
      return 0;
    }
    for (int p = 0; const PortRecord* port = portAt(board, p); ++p) {
      if (equalsIgnoreCase(port->comName, name)) {
        *ref = DeviceRef{kPortDevice, b, p};
        return 0;
      }
    }
  }
  printMessage(Message::kUnknownDevice);
  return 2;
}

int resolveGetDevice(int argc, wchar_t** argv, DeviceRef* ref) {
  if (argc < 3) return argc;
  return resolveDevice(argv[2], ref);
}
