// The Inventory: the one in-memory picture, for one run, of every adapter board the
// driver serves, of each board's serial ports and of the driver-wide settings.
//
// There is one Inventory per process, reached through gInventory (set by
// createInventory, cleared by releaseInventory). Boards are addressed by their index in
// the board list, ports by (board index, port index).
#pragma once

#include <cstdint>

#include "platform/os_devices.h"

constexpr int kMaxBoards = 64;
constexpr int kMaxPorts = 64;

// BoardRecord.ioAddress of a PCI board, and the default of a board left without an I/O base.
constexpr int32_t kPciBus = 1;

// PortRecord.portFlags bits; each follows the registry value of the same name.
enum PortFlags : uint32_t {
  kWaitOnTx = 0x01,
  kRS485Override = 0x02,
  kRS485Low = 0x04,
  kMap2StopsTo1 = 0x08,
  kMapCdToDsr = 0x10,
  kRingEmulate = 0x20,
  kBlockSerenum = 0x40,
  kAllPortFlags = 0x7F,
};

struct PortRecord {
  wchar_t comName[16];   // COM name, e.g. COM5 (registry Name of the port)
  uint32_t lockBaud;     // baud rate the port is locked to; 0 not locked
  uint32_t portFlags;    // PortFlags
  uint32_t txCloseTime;  // seconds to wait for transmit data on close; 0 none
  DevNode devNode;       // the port's device node; 0 until mapped
};

struct BoardRecord {
  wchar_t displayName[64];    // registry Name; default "ZN #<index + 1>"
  wchar_t keyName[50];        // "Device<node id>": Parameters subkey and driver selector
  wchar_t deviceId[256];      // decimal index in the board list: the command-line name
  wchar_t modelName[50];      // registry ModelName, else the model-name fallback
  int32_t portCount;          // ports in use, 0 to kMaxPorts
  uint32_t modemKind;         // modem kind from the catalogue or registry ModemDevice
  int32_t ioAddress;          // kPciBus; 256..1023 an ISA I/O base; 0 until defaulted
  PortRecord* ports;          // kMaxPorts records, owned
  uint32_t modelCode;         // ModelCode from the hardware id; 0 when none
  DeviceElement* deviceInfo;  // the board's element in deviceInfoSet; null in free slots
  int32_t portCountQuery;     // the driver's port-count query: its failure status; 0 when
                              // it answered or was not asked
};

struct Inventory {
  int32_t boardCount;           // boards in use, 0 to kMaxBoards
  uint32_t scanRate;            // ScanRate, milliseconds
  uint32_t verboseLog;          // VerboseLog: 0 off
  uint32_t globalRS485Options;  // GlobalRS485Options: 1 enables the per-port RS-485 options
  BoardRecord* boards;          // kMaxBoards records, owned
  wchar_t driverFile[50];       // the driver's image file name, "zephyn.sys"
  DeviceSet deviceInfoSet;      // present multiport-serial devices, owned
};

// The boards in use and a board's ports in use: boardCount and portCount kept within the
// fixed lists (0 to kMaxBoards, 0 to kMaxPorts) whatever the records hold. Counts are read,
// and brought into range where they are filled, through these alone.
int boardsInUse(const Inventory& inventory);
int portsInUse(const BoardRecord& board);

// The records by index, each bound checked here alone. A slot is any entry of a fixed list,
// in use or not (board 0 to kMaxBoards - 1, port 0 to kMaxPorts - 1): discovery fills board
// slots before they count, and the driver's board selector and a board's first port are
// read whatever the counts say. boardAt and portAt give only the records in use (below
// boardsInUse and portsInUse). Each gives null outside its bound, without an Inventory
// (or board) and without the list.
BoardRecord* boardSlot(Inventory* inventory, int boardIndex);
BoardRecord* boardAt(Inventory* inventory, int boardIndex);
const BoardRecord* boardAt(const Inventory* inventory, int boardIndex);
const PortRecord* portSlot(const BoardRecord* board, int portIndex);
PortRecord* portAt(BoardRecord* board, int portIndex);
const PortRecord* portAt(const BoardRecord* board, int portIndex);

// The process-wide Inventory; null outside createInventory .. releaseInventory.
extern Inventory* gInventory;

// Builds an empty Inventory (64 zero-filled board slots of 64 zero-filled ports each,
// driverFile set) and makes it gInventory. 0, or 1 when memory ran out (nothing is then
// left allocated and gInventory stays null).
int createInventory();

// Frees gInventory: every board's element, the device information set, the port lists,
// the board list and the record. 0. Does nothing when there is no Inventory.
int releaseInventory();
