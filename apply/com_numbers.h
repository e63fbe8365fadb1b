// COM names of a board's ports: the starting-number renumbering of a whole board and the
// rename of one port, each told to the driver, kept in the Inventory and in the system's
// COM port database.
#pragma once

#include <cstddef>
#include <cstdint>

#include "apply/apply_run.h"

// Numbers the COM port database's usage map covers: COM1 to COM4096.
constexpr int32_t kHighestComNumber = 4096;

// The value of the first run of decimal digits in the text, saturated at INT32_MAX;
// 0 when the text holds no digit.
int32_t firstNumberInText(const wchar_t* text);

// The first number from `from` on (at least 1) whose byte in the usage map is zero; 0 when
// every number from there to kHighestComNumber is in use. Never reads past the map.
int32_t nextFreeComNumber(const uint8_t (&usage)[kHighestComNumber], int64_t from);

enum ComDbReadability : int {
  kComDbReadable = 0,
  kComDbUnreadable = 1,
  kComDbAccessDenied = 2,  // the database refused to open for want of rights
};

// kComDbReadable when the COM port database opens and its usage map reads; it is closed
// again and nothing in it changes. Without the map every number would look free, and
// numbers other devices hold would be handed out. *error (when given) receives the system
// error of the call that failed.
int checkComPortDatabaseReadable(uint32_t* error = nullptr);

// Gives the ports of the request's board ascending numbers from firstNumberInText(start)
// on, each the next number the database shows free once the board's own numbers are
// released; sends a Name command for each port and stores the new comName. A port for
// which no number up to COM4096 is left keeps its name and number (claimed again, no
// command), unless an earlier port of the board has just taken that number: then it
// takes the lowest number an earlier port gave up, or else the lowest one still spare,
// so that no two ports end with the same name. Before anything is released, the database
// is grown to hold the highest number the ports will get; when it cannot grow, nothing
// changes and the run is told. A claim another program beat is tried on the next free
// number above; every other failed claim, and names other than the consecutive ones
// asked for, are told too. A start number outside 1..4096 changes nothing.
void renumberBoardPorts(ApplyRun& run, const wchar_t* start);

// Gives the request's port the first free number from firstNumberInText(portname) on, its
// own current number counting as free; sends its Name command and stores the new
// comName. A requested number outside 1..4095 changes nothing. When no number up to
// COM4096 is free, or the database cannot grow to hold the number, nothing changes and
// the run is told; so it is when the port gets another number than the one asked for.
void renamePort(ApplyRun& run, const wchar_t* portname);
