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

// A way in which the machine got something other than what the request asked for, or
// could not be told to have got it. The front end tells the user one line for each.
enum class NoticeKind {
  kNeedsRights,         // a key the change needs was refused for want of rights
  kStoreRefused,        // code: why a key of the settings store cannot be written
  kComDbUnreadable,     // code: why the COM port database cannot be read
  kNoDriver,            // code: the error of the control device's open
  kCommandsRefused,     // numbers: commands refused, commands sent, the last refusal
  kComNumberInUse,      // numbers: requested, claimed; text: the port's former name
  kComNumberInUseKept,  // numbers: requested; text: the port's name, its own number claimed
  kComNumbersRunOut,    // numbers: requested; text: the port's name, which it keeps
  kStartSkipped,        // numbers: the board, whose ports' comNames are the new names
  kComDbCannotHold,     // numbers: the highest number needed; code: the resize's error
  kComNotRecorded,      // numbers: the number given to a port; code: the claim's error
  kSharedSettings,      // numbers: the board restarted; the Inventory's others are not
  kNameReceivedAs,      // text: the board name as the driver received it; code: code page
  kStoreIncomplete,     // numbers: the keys and values of the store not written
  kPortNodeNotUpdated,  // numbers: port, board; code: why its device node was not updated
  kRebootNeeded,        // the change takes full effect after the computer restarts
  kRestartFailed,       // the board could not be restarted
  kRestartUnknown,      // code: why the outcome of the restart could not be read
  kBoardNotStarted,     // code: the board's problem code after the restart
};

struct Notice {
  NoticeKind kind;
  int32_t numbers[3];
  uint32_t code;
  const wchar_t* text;  // valid while the notice is handed on; never null
};

// Receives each notice as the run finds it, in that order.
using NoticeSink = void (*)(const Notice& notice);

// Carries out a request that passed checkSetRequest: for each option a driver command
// per target, the Inventory change and, for COM names, the COM port database; then the
// settings store, the port device nodes and the restart of the request's board. The
// driver's answers do not change the course. 0 when the request was carried out and
// saved; any other result (ApplyStatus) means nothing was sent and nothing changed.
// `notices` (when given) receives every notice of the run, refusals included.
int applySetRequest(const SetRequest* request, NoticeSink notices = nullptr);
