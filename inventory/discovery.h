// Adapter discovery and the order in which the Inventory is filled.
#pragma once

#include <cstdint>

// Fills gInventory: discovery, key names, loading (with identification), model-name
// fallback, defaults. 0 when at least one board was found, 1 when none was.
int buildInventory();

int discoverBoards();
// 0 read, 1 software key not opened, 2 value not read; *nodeId is 0 on failure.
int readNodeId(uint32_t* nodeId, int boardIndex);
int nameBoardKey(int boardIndex);
