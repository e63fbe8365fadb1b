#include "cli/device_resolution.h"

#include "cli/messages.h"
#include "inventory/inventory.h"
#include "platform/text.h"

int usableBoardCount() {
  if (gInventory == nullptr || gInventory->boards == nullptr) return 0;
  return boardsInUse(*gInventory);
}

int usablePortCount(int boardIndex) {
  if (boardIndex < 0 || boardIndex >= usableBoardCount()) return 0;
  const BoardRecord& board = gInventory->boards[boardIndex];
  if (board.ports == nullptr) return 0;
  return portsInUse(board);
}

int resolveDevice(const wchar_t* name, DeviceRef* ref) {
  const int boardCount = usableBoardCount();
  for (int b = 0; b < boardCount; ++b) {
    const BoardRecord& board = gInventory->boards[b];
    if (equalsIgnoreCase(board.deviceId, name)) {
      ref->kind = kBoardDevice;
      ref->boardIndex = b;
      return 0;
    }
    const int portCount = usablePortCount(b);
    for (int p = 0; p < portCount; ++p) {
      if (equalsIgnoreCase(board.ports[p].comName, name)) {
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
