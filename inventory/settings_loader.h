// Loading the driver's settings store (the Parameters key of its service, one subkey
// per board named by keyName, one "Port<n>" subkey per port) into the Inventory, and the
// defaults for what the store left empty.
#pragma once

#include <cstdint>

struct Inventory;

// The display name of a board the store names not, with its index + 1.
inline constexpr wchar_t kDefaultDisplayName[] = L"ZN #%d";

// Reads the driver-wide values, then for each board identifies it and reads its board
// and port values. Only reads; every key it opens it closes. Port counts end within
// 0..64 (a stored NumPorts that is negative as a signed number counts as 0, one above 64
// as 64), and no port beyond the board's count is touched. Always 0.
int loadSettings(Inventory* inventory);

// For every board in use: an empty displayName becomes "ZN #<index + 1>", a portCount
// of 0 becomes 8, an ioAddress of 0 becomes 1.
void applyDefaults();
