#include "apply/apply.h"

#include <cstring>
#include <iterator>

#include "apply/apply_run.h"
#include "apply/com_numbers.h"
#include "apply/port_nodes.h"
#include "apply/settings_writer.h"
#include "driver/driver_channel.h"
#include "inventory/inventory.h"
#include "platform/os_driver.h"
#include "platform/text.h"

namespace {

constexpr size_t kTextAreaOffset = 16;

// Sends one command whose value is a request number, as the unsigned decimal text of
// its 32 bits.
void sendNumber(ApplyRun& run, int form, int portIndex, const wchar_t* valueName, uint32_t value) {
  wchar_t valueText[100] = {};
  formatText(valueText, L"%u", static_cast<unsigned>(value));
  sendCommand(run, form, portIndex, valueName, valueText);
}

void setFlag(PortRecord& port, uint32_t flag, bool on) {
  port.portFlags = on ? (port.portFlags | flag) : (port.portFlags & ~flag);
}

// --- Board options --------------------------------------------------------------------

void applyBoardName(ApplyRun& run) {
  sendCommand(run, kBoardCommand, 0, L"Name", run.request->name);
  // A character the ANSI code page lacks, or a name cut to fit, reaches the driver other
  // than it was given.
  wchar_t received[kReceivedTextCapacity] = {};
  if (!textReachesDriverWhole(run.request->name, received)) {
    notify(run, {NoticeKind::kNameReceivedAs, {0, 0, 0}, ansiCodePage(), received});
  }
  copyText(gInventory->boards[run.request->boardIndex].displayName, run.request->name);
}

void applyStart(ApplyRun& run) { renumberBoardPorts(run, run.request->start); }

// A driver-wide setting: one global command and its Inventory field.
struct DriverSetting {
  const wchar_t* valueName;
  uint32_t Inventory::*field;
};
const DriverSetting kScanRate{L"ScanRate", &Inventory::scanRate};
const DriverSetting kVerboseLog{L"VerboseLog", &Inventory::verboseLog};
const DriverSetting kGlobalRS485{L"GlobalRS485Options", &Inventory::globalRS485Options};

void applyDriverSetting(ApplyRun& run, const DriverSetting& setting, uint32_t value) {
  sendNumber(run, kGlobalCommand, 0, setting.valueName, value);
  gInventory->*setting.field = value;
}

void applyScan(ApplyRun& run) {
  applyDriverSetting(run, kScanRate, static_cast<uint32_t>(run.request->scan));
}
void applyRs485(ApplyRun& run) {
  applyDriverSetting(run, kGlobalRS485, static_cast<uint32_t>(run.request->rs485));
}
void applyVerbose(ApplyRun& run) {
  applyDriverSetting(run, kVerboseLog, static_cast<uint32_t>(run.request->verbose));
}
void applyBoardDefault(ApplyRun& run) {
  applyDriverSetting(run, kVerboseLog, 0);
  applyDriverSetting(run, kScanRate, 10);
  applyDriverSetting(run, kGlobalRS485, 0);
}

struct BoardOption {
  uint32_t flag;
  void (*apply)(ApplyRun&);
};

// In the order they are carried out.
const BoardOption kBoardOptions[] = {
    {kFlagName, applyBoardName},  {kFlagStart, applyStart},
    {kFlagScan, applyScan},       {kFlagRs485, applyRs485},
    {kFlagVerbose, applyVerbose}, {kFlagBoardDefault, applyBoardDefault},
};

// The driver-wide settings, as the Inventory holds them.
struct DriverWide {
  uint32_t scanRate;
  uint32_t verboseLog;
  uint32_t globalRS485Options;
};

DriverWide driverWide() {
  return {gInventory->scanRate, gInventory->verboseLog, gInventory->globalRS485Options};
}

void applyBoardOptions(ApplyRun& run) {
  const DriverWide before = driverWide();
  for (const BoardOption& option : kBoardOptions) {
    if ((run.request->flags & option.flag) == 0) continue;
    std::memset(run.commandBuffer + kTextAreaOffset, 0, sizeof run.commandBuffer - kTextAreaOffset);
    option.apply(run);
  }
  // Only the request's board restarts; the others run on with the values they started
  // with until they restart too.
  const DriverWide after = driverWide();
  const bool changed = after.scanRate != before.scanRate || after.verboseLog != before.verboseLog ||
                       after.globalRS485Options != before.globalRS485Options;
  if (changed && boardsInUse(*gInventory) > 1) {
    notify(run, {NoticeKind::kSharedSettings, {run.request->boardIndex, 0, 0}, 0, L""});
  }
}

// --- Port options ---------------------------------------------------------------------

// A port option with a request value: its driver command (none for a null value name)
// and the PortRecord change, a PortFlags bit following bit 0 of the value, or a field.
struct PortOption {
  uint32_t requestFlag;
  const wchar_t* valueName;
  int32_t SetRequest::*value;
  uint32_t portFlag;            // 0: the value goes into `field`
  uint32_t PortRecord::*field;  // used when portFlag is 0
};

// In the order they are carried out; portname comes before them and default after.
const PortOption kPortOptions[] = {
    {kFlagToggle, L"RS485Override", &SetRequest::toggle, kRS485Override, nullptr},
    {kFlagLow, L"RS485Low", &SetRequest::low, kRS485Low, nullptr},
    {kFlagBaudrate, L"LockBaud", &SetRequest::baudrate, 0, &PortRecord::lockBaud},
    {kFlagTimeout, L"TxCloseTime", &SetRequest::timeout, 0, &PortRecord::txCloseTime},
    {kFlagCd, L"MapCdToDsr", &SetRequest::cd, kMapCdToDsr, nullptr},
    {kFlagStopbits, L"Map2StopsTo1", &SetRequest::stopbits, kMap2StopsTo1, nullptr},
    {kFlagWait, L"WaitOnTx", &SetRequest::wait, kWaitOnTx, nullptr},
    {kFlagRing, L"RingEmulate", &SetRequest::ring, kRingEmulate, nullptr},
    // The driver learns it only from the settings store at the restart.
    {kFlagBlockpnp, nullptr, &SetRequest::blockpnp, kBlockSerenum, nullptr},
};

void applyPortOption(ApplyRun& run, const PortOption& option, int portIndex) {
  const uint32_t value = static_cast<uint32_t>(run.request->*option.value);
  if (option.valueName != nullptr)
    sendNumber(run, kPortCommand, portIndex, option.valueName, value);
  PortRecord& port = gInventory->boards[run.request->boardIndex].ports[portIndex];
  if (option.portFlag != 0) {
    setFlag(port, option.portFlag, (value & 1) != 0);
  } else {
    port.*option.field = value;
  }
}

// Commands of the port default sequence, after the two RS-485 ones.
const wchar_t* const kPortDefaultCommands[] = {L"LockBaud",     L"TxCloseTime", L"MapCdToDsr",
                                               L"Map2StopsTo1", L"WaitOnTx",    L"RingEmulate"};

void applyPortDefault(ApplyRun& run, int portIndex) {
  PortRecord& port = gInventory->boards[run.request->boardIndex].ports[portIndex];
  if (gInventory->globalRS485Options != 0) {
    sendNumber(run, kPortCommand, portIndex, L"RS485Override", 0);
    sendNumber(run, kPortCommand, portIndex, L"RS485Low", 0);
    port.portFlags &= ~static_cast<uint32_t>(kRS485Override | kRS485Low);
  }
  for (const wchar_t* valueName : kPortDefaultCommands) {
    sendNumber(run, kPortCommand, portIndex, valueName, 0);
  }
  port.lockBaud = 0;
  port.txCloseTime = 0;
  port.portFlags &= ~static_cast<uint32_t>(kMapCdToDsr | kMap2StopsTo1 | kWaitOnTx | kRingEmulate |
                                           kBlockSerenum);
}

// The ports an option goes to: every port of the board with allports, else the one named.
struct PortTargets {
  int first;
  int end;
};

PortTargets portTargets(const SetRequest& request) {
  if (request.allports == 0) return {request.portIndex, request.portIndex + 1};
  return {0, portsInUse(gInventory->boards[request.boardIndex])};
}

void applyPortOptions(ApplyRun& run) {
  const SetRequest& request = *run.request;
  if (request.flags & kFlagPortname) renamePort(run, request.portname);
  const PortTargets targets = portTargets(request);
  for (const PortOption& option : kPortOptions) {
    if ((request.flags & option.requestFlag) == 0) continue;
    for (int j = targets.first; j < targets.end; ++j) applyPortOption(run, option, j);
  }
  if (request.flags & kFlagPortDefault) {
    for (int j = targets.first; j < targets.end; ++j) applyPortDefault(run, j);
  }
}

// --- The run --------------------------------------------------------------------------

bool requestFitsInventory(const SetRequest* request) {
  if (request == nullptr || gInventory == nullptr) return false;
  if (request->boardIndex < 0 || request->boardIndex >= boardsInUse(*gInventory)) return false;
  if (request->kind == kBoardDevice) return true;
  return request->kind == kPortDevice && request->portIndex >= 0 &&
         request->portIndex < portsInUse(gInventory->boards[request->boardIndex]);
}

void persistAndRestart(ApplyRun& run) {
  const int boardIndex = run.request->boardIndex;
  int failures = 0;
  writeSettingsStore(gInventory, &failures);
  if (failures != 0) notify(run, {NoticeKind::kStoreIncomplete, {failures, 0, 0}, 0, L""});
  PortNodeTrouble trouble{};
  updatePortDeviceNodes(kUpdatePortNameOnly, boardIndex, &trouble);
  updatePortDeviceNodes(kUpdateFriendlyNameAndPortName, boardIndex, &trouble);
  if (trouble.accessDenied) notify(run, {NoticeKind::kNeedsRights, {0, 0, 0}, 0, L""});
  for (int j = 0; j < kMaxPorts; ++j) {
    if (trouble.errors[j] != 0) {
      notify(run, {NoticeKind::kPortNodeNotUpdated, {j, boardIndex, 0}, trouble.errors[j], L""});
    }
  }
  uint32_t detail = 0;
  switch (restartBoardDevice(boardIndex, &detail)) {
    case kRestarted:
      break;
    case kRestartNeedsReboot:
      notify(run, {NoticeKind::kRebootNeeded, {0, 0, 0}, 0, L""});
      break;
    case kRestartFailed:
      notify(run, {NoticeKind::kRestartFailed, {0, 0, 0}, 0, L""});
      break;
    case kRestartUnknown:
      notify(run, {NoticeKind::kRestartUnknown, {0, 0, 0}, detail, L""});
      break;
    case kRestartNotStarted:
      notify(run, {NoticeKind::kBoardNotStarted, {0, 0, 0}, detail, L""});
      break;
  }
}

}  // namespace

int sendCommand(ApplyRun& run, int form, int portIndex, const wchar_t* valueName,
                const wchar_t* valueText) {
  const int result = sendSettingCommand(&run.channel, form, run.request->boardIndex, portIndex,
                                        valueName, valueText);
  ++run.commandsSent;
  if (result != kDriverOk) {
    ++run.commandsRefused;
    run.lastRefusal = result;
  }
  return result;
}

void notify(ApplyRun& run, const Notice& notice) {
  if (notice.kind == NoticeKind::kNeedsRights) {
    if (run.rightsNoticed) return;
    run.rightsNoticed = true;
  }
  if (run.notices != nullptr) run.notices(notice);
}

int applySetRequest(const SetRequest* request, NoticeSink notices) {
  if (!requestFitsInventory(request)) return kApplyBadRequest;

  ApplyRun run{};  // channel, command buffer, tally: all zero
  run.request = request;
  run.notices = notices;
  // Nothing may reach the driver unless the settings store can take it all afterwards.
  uint32_t error = kOsSuccess;
  const int writable = checkSettingsStoreWritable(*gInventory, &error);
  if (writable != kStoreWritable) {
    notify(run,
           {writable == kStoreAccessDenied ? NoticeKind::kNeedsRights : NoticeKind::kStoreRefused,
            {0, 0, 0},
            error,
            L""});
    return kApplyStoreNotWritable;
  }
  // Nor may COM numbers be handed out without the database showing which are held.
  if ((request->flags & (kFlagStart | kFlagPortname)) != 0) {
    const int readable = checkComPortDatabaseReadable(&error);
    if (readable != kComDbReadable) {
      notify(run, {readable == kComDbAccessDenied ? NoticeKind::kNeedsRights
                                                  : NoticeKind::kComDbUnreadable,
                   {0, 0, 0},
                   error,
                   L""});
      return kApplyComDbUnreadable;
    }
  }
  if (openDriverChannel(&run.channel) != kDriverOk) {
    notify(run, {NoticeKind::kNoDriver, {0, 0, 0}, lastOsError(), L""});
    return kApplyNoDriver;
  }

  run.channel.buffer = run.commandBuffer;
  run.channel.bufferSize = kCommandExchangeSize;
  for (int i = 0; i < 4; ++i) {  // header word 0, little-endian
    run.commandBuffer[i] = static_cast<unsigned char>(kTextCommandType >> (8 * i));
  }

  if (request->kind == kBoardDevice) {
    applyBoardOptions(run);
  } else {
    applyPortOptions(run);
  }
  closeOsHandle(run.channel.handle);
  if (run.commandsRefused > 0) {
    notify(run, {NoticeKind::kCommandsRefused,
                 {run.commandsRefused, run.commandsSent, run.lastRefusal},
                 0,
                 L""});
  }

  persistAndRestart(run);
  return kApplyDone;
}
