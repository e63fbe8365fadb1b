#include "inventory/inventory.h"

#include <new>

#include "platform/text.h"

Inventory* gInventory = nullptr;

namespace {

int countInRange(int32_t count, int listSize) {
  if (count < 0) return 0;
  return count > listSize ? listSize : count;
}

bool indexBelow(int index, int end) { return index >= 0 && index < end; }

}  // namespace

int boardsInUse(const Inventory& inventory) {
  return countInRange(inventory.boardCount, kMaxBoards);
}

int portsInUse(const BoardRecord& board) { return countInRange(board.portCount, kMaxPorts); }

BoardRecord* boardSlot(Inventory* inventory, int boardIndex) {
  if (inventory == nullptr || inventory->boards == nullptr) return nullptr;
  return indexBelow(boardIndex, kMaxBoards) ? &inventory->boards[boardIndex] : nullptr;
}

BoardRecord* boardAt(Inventory* inventory, int boardIndex) {
  return const_cast<BoardRecord*>(boardAt(static_cast<const Inventory*>(inventory), boardIndex));
}

const BoardRecord* boardAt(const Inventory* inventory, int boardIndex) {
  if (inventory == nullptr || inventory->boards == nullptr) return nullptr;
  return indexBelow(boardIndex, boardsInUse(*inventory)) ? &inventory->boards[boardIndex] : nullptr;
}

const PortRecord* portSlot(const BoardRecord* board, int portIndex) {
  if (board == nullptr || board->ports == nullptr) return nullptr;
  return indexBelow(portIndex, kMaxPorts) ? &board->ports[portIndex] : nullptr;
}

PortRecord* portAt(BoardRecord* board, int portIndex) {
  return const_cast<PortRecord*>(portAt(static_cast<const BoardRecord*>(board), portIndex));
}

const PortRecord* portAt(const BoardRecord* board, int portIndex) {
  if (board == nullptr || board->ports == nullptr) return nullptr;
  return indexBelow(portIndex, portsInUse(*board)) ? &board->ports[portIndex] : nullptr;
}

int createInventory() {
  Inventory* inventory = new (std::nothrow) Inventory();
  if (inventory == nullptr) return 1;
  inventory->boards = new (std::nothrow) BoardRecord[kMaxBoards]();
  if (inventory->boards == nullptr) {
    delete inventory;
    return 1;
  }
  for (int i = 0; i < kMaxBoards; ++i) {
    inventory->boards[i].ports = new (std::nothrow) PortRecord[kMaxPorts]();
    if (inventory->boards[i].ports == nullptr) {
      for (int j = 0; j < i; ++j) delete[] inventory->boards[j].ports;
      delete[] inventory->boards;
      delete inventory;
      return 1;
    }
  }
  copyText(inventory->driverFile, L"zephyn.sys");
  gInventory = inventory;
  return 0;
}

int releaseInventory() {
  Inventory* inventory = gInventory;
  if (inventory == nullptr) return 0;
  // Every slot is visited, not only the first boardCount: discovery gives up elements of
  // slots it does not keep, but a slot beyond the count must never leak one.
  for (int i = 0; i < kMaxBoards; ++i) {
    freeDeviceElement(inventory->boards[i].deviceInfo);
    inventory->boards[i].deviceInfo = nullptr;
  }
  destroyDeviceSet(inventory->deviceInfoSet);
  inventory->deviceInfoSet = nullptr;
  for (int i = 0; i < kMaxBoards; ++i) delete[] inventory->boards[i].ports;
  delete[] inventory->boards;
  delete inventory;
  gInventory = nullptr;
  return 0;
}
