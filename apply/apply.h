// Carrying out a checked set request.
#pragma once

#include <cstdint>

#include "cli/set_request.h"

enum ApplyStatus : int {
  kApplyDone = 0,
  kApplyNoDriver = 1,          // the driver control channel did not open
  kApplyStoreNotWritable = 2,  // a key the settings store writer needs cannot be written
  kApplyBadRequest = 3,        // no Inventory, or the request names no board or port of it
  kApplyComDbUnreadable = 4,   // a request for COM names finds the COM port database unreadable
};

// What the user should also learn about a request, whatever its status (bits).
enum ApplyNotice : uint32_t {
  kNoticeNone = 0,
  kNoticeRebootNeeded = 0x1,   // the change takes full effect after the computer restarts
  kNoticeRestartFailed = 0x2,  // the board could not be restarted
  kNoticeNeedsRights = 0x4,    // a key the change needs was refused for want of rights
};

// Carries out a request that passed checkSetRequest: for each option a driver command
// per target, the Inventory change and, for COM names, the COM port database; then the
// settings store, the port device nodes and the restart of the request's board. The
// driver's answers do not change the course. 0 when the request was carried out and
// saved; any other result (ApplyStatus) means nothing was sent and nothing changed.
// *notices (when given) receives the ApplyNotice bits of the run.
int applySetRequest(const SetRequest* request, uint32_t* notices = nullptr);
