// The port device nodes of a board (its children in the device tree): their friendly
// names and PortName values kept in line with the Inventory, and the board's restart.
#pragma once

#include <cstdint>

// What updatePortDeviceNodes sets.
enum PortNodeUpdateMode : int {
  kUpdateFriendlyNameAndPortName = 0,
  kUpdatePortNameOnly = 1,
};

// Records in the board's PortRecords the child node of class "Ports" whose
// MatchingDeviceId is "nrvport<index>", for each index 0 .. portCount - 1; the devNode of
// every other port of the board is cleared.
void mapPortDeviceNodes(int boardIndex);

// Maps the board's port nodes, then for every mapped port with a COM name: with mode 0
// sets the friendly name "Norvane ZephynPort <index> (<comName>)"; rewrites PortName when
// it differs from comName other than in case. A port whose comName is empty keeps its
// node's PortName and friendly name as they are.
void updatePortDeviceNodes(PortNodeUpdateMode mode, int boardIndex);

// Asks the device manager to restart the board's node with a property change; the state
// change is made only when the property-change parameters could be attached.
void restartBoardDevice(int boardIndex);

// The port index in a MatchingDeviceId: the text must hold "nrvport", and a decimal number
// (leading white space and a sign allowed) must begin at its eighth character and be from
// 0 to portCount - 1. -1 otherwise.
int portIndexFromMatchingId(const wchar_t* matchingId, int portCount);
