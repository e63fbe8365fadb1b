// Adapter discovery and the order in which the Inventory is filled.
#pragma once

#include <cstdint>

#include "platform/os_devices.h"

// Setup class of multiport serial adapters: {50906CB8-BA12-11D1-BF5D-0000F805F530}.
inline constexpr OsGuid kMultiportSerialClass = {
    0x50906CB8, 0xBA12, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

// Fills gInventory: discovery, key names, loading (with identification), model-name
// fallback, defaults. 0 when at least one board was found, 1 when none was.
int buildInventory();

int discoverBoards();
// 0 read, 1 software key not opened, 2 value not read; *nodeId is 0 on failure.
int readNodeId(uint32_t* nodeId, int boardIndex);
int nameBoardKey(int boardIndex);
