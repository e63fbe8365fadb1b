// The set request: `set <device> -option=value ...` parsed and checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/device_resolution.h"
#include "inventory/setting_codes.h"

// RequestFlags: one bit per option stored in the request. Which flags belong to a board's or
// a port's options, conflict with -default or need the RS-485 options, the rows of the
// SettingCode table say.
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
};

// One run's request, cleared to zero before parsing. A value field means something only
// when its flag is set in `flags`. The numbers of scan, baudrate and timeout hold the
// 32-bit pattern of a value from 0 to 4294967295.
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
  uint32_t flags;  // RequestFlags
  int32_t kind;    // DeviceKind: kBoardDevice or kPortDevice (as DeviceRef)
  int32_t boardIndex;
  int32_t portIndex;
};

// Capacities of the two halves of an option argument (31 and 63 characters).
constexpr size_t kOptionKeyCapacity = 32;
constexpr size_t kOptionValueCapacity = 64;

// Resolves argv[2] and stores argv[3 ..) into `request`. 0 when every option was
// stored; argc when there are fewer than four arguments (nothing looked up); 2 when the
// device is unknown ("unknown device!" printed); else the index of the first option
// that failed (options before it stay stored).
int parseSetRequest(int argc, wchar_t** argv, SetRequest* request);

// The rules on the options together. 0 when the request may be applied, else a non-zero
// mask of the offending flags (after the rule's message, where it has one).
int checkSetRequest(const SetRequest* request);

// Splits "-key=value" (the first character is skipped whatever it is; the value is
// everything after the first '='). A key longer than 31 characters comes back empty.
// 0, or non-zero when the value is longer than 63 characters.
int splitOption(const wchar_t* argument, wchar_t (&key)[kOptionKeyCapacity],
                wchar_t (&value)[kOptionValueCapacity]);

// Validates `value` for the option of `setting` (a row of the request's option table),
// refuses an option already stored, stores the value and sets its flag. 0, or non-zero
// with the request unchanged.
int storeSetting(const SettingRow& setting, const wchar_t* value, SetRequest* request);

// 1 for "on", 0 for "off" (any case), 2 for anything else.
int onOffValue(const wchar_t* text);

// Value validators: 0 for a value of their kind, non-zero otherwise. Lengths count
// UTF-16 units, so a character above U+FFFF counts two.
int isComName(const wchar_t* text);       // COM1 .. COM1023, "COM" any case, 1-4 digits
int isBoardName(const wchar_t* text);     // at most 59 characters, none of \/:*?"<>| and no
                                          // control character
int isOnOff(const wchar_t* text);         // on or off, any case
int isDigits(const wchar_t* text);        // decimal digits worth at most 4294967295
int isNoneOrDigits(const wchar_t* text);  // none (any case) or isDigits
int isEmptyValue(const wchar_t* text);    // the empty text only
