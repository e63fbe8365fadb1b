// The set request: `set <device> -option=value ...` parsed and checked.
#pragma once

#include <cstdint>

// RequestFlags: one bit per option stored in the request.
enum RequestFlags : uint32_t {
  kFlagName = 0x1,
  kFlagStart = 0x2,
  kFlagScan = 0x4,
  kFlagRs485 = 0x8,
  kFlagVerbose = 0x10,
  kFlagBoardDefault = 0x20,
  kFlagPortname = 0x40,
  kFlagToggle = 0x80,
  kFlagLow = 0x100,
  kFlagBaudrate = 0x200,
  kFlagTimeout = 0x400,
  kFlagCd = 0x800,
  kFlagStopbits = 0x1000,
  kFlagWait = 0x2000,
  kFlagRing = 0x4000,
  kFlagBlockpnp = 0x8000,
  kFlagPortDefault = 0x10000,
  kFlagAllports = 0x20000,
  kBoardOptionMask = 0x3F,
  kPortOptionMask = 0x3FFC0,
  kBoardDefaultConflicts = 0x1C,
  kPortDefaultConflicts = 0xFF80,
  kRs485OnlyOptions = 0x180,
};

struct SetRequest {
  wchar_t name[64];
  wchar_t start[16];
  int32_t scan;
  int32_t rs485;
  int32_t verbose;
  int32_t boardDefault;
  wchar_t portname[16];
  int32_t toggle;
  int32_t low;
  int32_t baudrate;
  int32_t timeout;
  int32_t cd;
  int32_t stopbits;
  int32_t wait;
  int32_t ring;
  int32_t blockpnp;
  int32_t portDefault;
  int32_t allports;
  uint32_t flags;
  int32_t kind;  // 1 board, 2 port
  int32_t boardIndex;
  int32_t portIndex;
};

int parseSetRequest(int argc, wchar_t** argv, SetRequest* request);
int checkSetRequest(const SetRequest* request);
