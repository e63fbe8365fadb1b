// The slots of the Inventory that are in use, kept inside the fixed lists whatever the
// counts say: no operation of the change application touches a slot beyond them.
#pragma once

#include "inventory/inventory.h"

inline int boardsInUse(const Inventory& inventory) {
  if (inventory.boardCount < 0) return 0;
  return inventory.boardCount > kMaxBoards ? kMaxBoards : inventory.boardCount;
}

inline int portsInUse(const BoardRecord& board) {
  if (board.portCount < 0) return 0;
  return board.portCount > kMaxPorts ? kMaxPorts : board.portCount;
}
