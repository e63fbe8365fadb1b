// SettingCode: the 16-bit identifiers that option keywords, registry values and
// Inventory fields share. 0x0100..0x0105 are driver-wide values, 0x0201..0x0208 board
// values, 0x0400..0x0409 port values; 0x0002, 0x000F and 0x0010 exist only as options.
#pragma once

#include <cstdint>

enum SettingCode : uint16_t {
  kSetStartCom = 0x0002,
  kSetDefault = 0x000F,
  kSetAllPorts = 0x0010,
  kSetVerboseLog = 0x0100,
  kSetNumDevices = 0x0101,
  kSetNoPnpPorts = 0x0102,
  kSetScanRate = 0x0103,
  kSetModemCountry = 0x0104,
  kSetGlobalRS485 = 0x0105,
  kSetNumPorts = 0x0201,
  kSetBoardName = 0x0205,
  kSetModelName = 0x0206,
  kSetIoAddress = 0x0207,
  kSetModemDevice = 0x0208,
  kSetWaitOnTx = 0x0400,
  kSetRS485Override = 0x0401,
  kSetRS485Low = 0x0402,
  kSetTxCloseTime = 0x0403,
  kSetLockBaud = 0x0404,
  kSetMap2StopsTo1 = 0x0405,
  kSetMapCdToDsr = 0x0406,
  kSetPortName = 0x0407,
  kSetRingEmulate = 0x0408,
  kSetBlockSerenum = 0x0409,
};

// One row of the SettingCode table: the registry value a code stands for.
struct SettingInfo {
  SettingCode code;
  const wchar_t* valueName;  // registry value name; null for option-only codes
  uint32_t regType;          // kRegDword or kRegSz; 0 for option-only codes
  uint32_t portFlag;         // the PortFlags bit the value maps to; 0 if none
};

// The table row of a code, or null for a code not in the table.
const SettingInfo* findSetting(SettingCode code);
