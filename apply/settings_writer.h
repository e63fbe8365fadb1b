// Writing the Inventory back to the registry: the driver's event-log source, its service
// key and the whole settings store (Parameters, one key per board, one per port).
#pragma once

#include "inventory/inventory.h"
#include "platform/os_types.h"

// The keys of the walk, in the order the permission check and the writer reach them: the
// event-log source (nothing beneath it); the service key; Parameters beneath it; beneath
// Parameters each board's key (named by keyName) in board order, and beneath each board
// key Port0 .. Port<portCount - 1>. A key whose name is empty or whose path would not fit
// a key-path buffer is left out with everything beneath it.

enum StoreWritability : int {
  kStoreWritable = 0,
  kStoreNotWritable = 1,
  kStoreAccessDenied = 2,  // not writable for want of rights
};

// kStoreWritable when every key of the walk opens with all access or, where it is
// missing, can be created (the nearest key above it that exists opens with all access);
// otherwise why the first key that does not failed, and *error (when given) its system
// error. Reads only: nothing is created or written.
int checkSettingsStoreWritable(const Inventory& inventory, uint32_t* error = nullptr);

// Rewrites the event-log source, the service values and the settings store from the
// Inventory. A key that does not open is skipped with everything beneath it; values of
// 0 are deleted instead of written. Board keys of other boards and port keys at or
// beyond a board's portCount are left as they are. Always 0; *failures (when given)
// counts the keys and values that could not be created, opened or written.
int writeSettingsStore(const Inventory* inventory, int* failures = nullptr);
