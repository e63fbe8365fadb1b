// The port device nodes of a board (its children in the device tree): their friendly
// names and PortName values kept in line with the Inventory, and the board's restart.
#pragma once

#include <cstdint>

#include "inventory/inventory.h"

// What updatePortDeviceNodes sets.
enum PortNodeUpdateMode : int {
  kUpdateFriendlyNameAndPortName = 0,
  kUpdatePortNameOnly = 1,
};

// Records in the board's PortRecords the child node of class "Ports" whose
// MatchingDeviceId is "nrvport<index>", for each index 0 .. portCount - 1; the devNode of
// every other port of the board is cleared.
void mapPortDeviceNodes(int boardIndex);

// Why port device nodes were not (all) updated: refused for want of rights, and by port of
// the board the system error of any other failure (0 where the update went through).
struct PortNodeTrouble {
  bool accessDenied;
  uint32_t errors[kMaxPorts];
};

// Maps the board's port nodes, then for every mapped port with a COM name: with mode 0
// sets the friendly name "Norvane ZephynPort <index> (<comName>)"; rewrites PortName when
// it differs from comName other than in case. A port whose comName is empty keeps its
// node's PortName and friendly name as they are. True when a port's friendly name or
// hardware key was refused for want of rights (the node reads but does not take the
// write); *trouble (when given) gathers what failed.
bool updatePortDeviceNodes(PortNodeUpdateMode mode, int boardIndex,
                           PortNodeTrouble* trouble = nullptr);

enum RestartOutcome : int {
  kRestarted = 0,
  kRestartNeedsReboot = 1,  // done, but the device manager asks for the computer to restart
  kRestartFailed = 2,       // the property-change request was refused
  kRestartUnknown = 3,      // done, but its outcome cannot be read (*detail: the error)
  kRestartNotStarted = 4,   // done, and the board has not started again (*detail: its problem)
};

// Asks the device manager to restart the board's node with a property change; the state
// change is made only when the property-change parameters could be attached. Afterwards
// the board's installation flags tell whether the computer must restart as well, and
// when it need not, the board's node status whether it started again. *detail (when
// given) receives the error or the problem code the outcome names, else 0.
RestartOutcome restartBoardDevice(int boardIndex, uint32_t* detail = nullptr);

// The port index in a MatchingDeviceId: the text must hold "nrvport", and a decimal number
// (leading white space and a sign allowed) must begin at its eighth character and be from
// 0 to portCount - 1. -1 otherwise.
int portIndexFromMatchingId(const wchar_t* matchingId, int portCount);
