#include "inventory/setting_codes.h"

#include <iterator>

#include "inventory/inventory.h"
#include "platform/os_types.h"

static const SettingInfo kSettings[] = {
    {kSetStartCom, nullptr, 0, 0},
    {kSetDefault, nullptr, 0, 0},
    {kSetAllPorts, nullptr, 0, 0},
    {kSetVerboseLog, L"VerboseLog", kRegDword, 0},
    {kSetNumDevices, L"NumDevices", kRegDword, 0},
    {kSetNoPnpPorts, L"NoPnpPorts", kRegDword, 0},
    {kSetScanRate, L"ScanRate", kRegDword, 0},
    {kSetModemCountry, L"ModemCountry", kRegDword, 0},
    {kSetGlobalRS485, L"GlobalRS485Options", kRegDword, 0},
    {kSetNumPorts, L"NumPorts", kRegDword, 0},
    {kSetBoardName, L"Name", kRegSz, 0},
    {kSetModelName, L"ModelName", kRegSz, 0},
    {kSetIoAddress, L"IoAddress", kRegDword, 0},
    {kSetModemDevice, L"ModemDevice", kRegDword, 0},
    {kSetWaitOnTx, L"WaitOnTx", kRegDword, kWaitOnTx},
    {kSetRS485Override, L"RS485Override", kRegDword, kRS485Override},
    {kSetRS485Low, L"RS485Low", kRegDword, kRS485Low},
    {kSetTxCloseTime, L"TxCloseTime", kRegDword, 0},
    {kSetLockBaud, L"LockBaud", kRegDword, 0},
    {kSetMap2StopsTo1, L"Map2StopsTo1", kRegDword, kMap2StopsTo1},
    {kSetMapCdToDsr, L"MapCdToDsr", kRegDword, kMapCdToDsr},
    {kSetPortName, L"Name", kRegSz, 0},
    {kSetRingEmulate, L"RingEmulate", kRegDword, kRingEmulate},
    {kSetBlockSerenum, L"BlockSerenum", kRegDword, kBlockSerenum},
};

const SettingInfo* findSetting(SettingCode code) {
  for (const SettingInfo& row : kSettings) {
    if (row.code == code) return &row;
  }
  return nullptr;
}
