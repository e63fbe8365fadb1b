#include "apply/apply.h"

#include <cstring>
#include <iterator>

#include "apply/apply_run.h"
#include "apply/com_numbers.h"
#include "apply/port_nodes.h"
#include "apply/settings_writer.h"
#include "driver/driver_channel.h"
#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "platform/little_endian.h"
#include "platform/os_driver.h"
#include "platform/text.h"

namespace {

// Sends one command whose value is a number, as the unsigned decimal text of its 32 bits.
void sendNumber(ApplyRun& run, int form, int portIndex, const wchar_t* valueName, uint32_t value) {
  wchar_t valueText[100] = {};
  formatText(valueText, L"%u", static_cast<unsigned>(value));
  sendCommand(run, form, portIndex, valueName, valueText);
}

// The driver command form that addresses a setting of each level.
struct CommandForm {
  uint8_t level;  // SettingLevel
  int form;
};
const CommandForm kCommandForms[] = {
    {kDriverWideSetting, kGlobalCommand},
    {kBoardSetting, kBoardCommand},
    {kPortSetting, kPortCommand},
};

int commandForm(uint8_t level) {
  for (const CommandForm& row : kCommandForms) {
    if (row.level == level) return row.form;
  }
  return 0;
}

// Gives a numeric setting `value` for the request's board and, for a port setting, its
// port `portIndex`: its driver command, if it has one, then the Inventory change.
void applyNumber(ApplyRun& run, const SettingRow& setting, uint32_t value, int portIndex) {
  if ((setting.traits & kTellsDriver) != 0) {
    sendNumber(run, commandForm(setting.level), portIndex, setting.valueName, value);
  }
  setting.field.set(*gInventory, run.request->boardIndex, portIndex, {value, L""});
}

// The ports an option goes to: every port of the board with allports, else the one named.
// A driver-wide or board setting has one target.
struct Targets {
  int first;
  int end;
};

Targets targetsOf(const ApplyRun& run, const SettingRow& setting) {
  const SetRequest& request = *run.request;
  if (setting.level != kPortSetting) return {0, 1};
  if (request.allports == 0) return {request.portIndex, request.portIndex + 1};
  const BoardRecord* board = boardAt(gInventory, request.boardIndex);
  return {0, board != nullptr ? portsInUse(*board) : 0};
}

// --- Options ----------------------------------------------------------------------------

void applyRequestNumber(ApplyRun& run, const SettingRow& option) {
  const uint32_t value = option.request.get(*run.request).number;
  const Targets targets = targetsOf(run, option);
  for (int j = targets.first; j < targets.end; ++j) applyNumber(run, option, value, j);
}

void applyBoardName(ApplyRun& run, const SettingRow& option) {
  const wchar_t* name = option.request.get(*run.request).text;
  sendCommand(run, commandForm(option.level), 0, option.valueName, name);
  // A character the ANSI code page lacks, or a name cut to fit, reaches the driver other
  // than it was given.
  wchar_t received[kReceivedTextCapacity] = {};
  if (!textReachesDriverWhole(name, received)) {
    notify(run, {NoticeKind::kNameReceivedAs, {0, 0, 0}, ansiCodePage(), received});
  }
  option.field.set(*gInventory, run.request->boardIndex, 0, {0, name});
}

void applyStart(ApplyRun& run, const SettingRow& option) {
  renumberBoardPorts(run, option.request.get(*run.request).text);
}

void applyPortName(ApplyRun& run, const SettingRow& option) {
  renamePort(run, option.request.get(*run.request).text);
}

// -default: every setting of the option's table that it resets, in its order, for each
// target. The RS-485 options are left alone while the RS-485 options are off.
void applyDefault(ApplyRun& run, const SettingRow& option) {
  const SettingList resets = settingsInOrder(
      &SettingOrder::reset, option.level == kPortSetting ? kPortOptions : kBoardOptions);
  const Targets targets = targetsOf(run, option);
  for (int j = targets.first; j < targets.end; ++j) {
    for (int i = 0; i < resets.count; ++i) {
      const SettingRow& setting = *resets.rows[i];
      if ((setting.traits & kNeedsRs485Mode) != 0 && gInventory->globalRS485Options == 0) continue;
      applyNumber(run, setting, setting.resetValue, j);
    }
  }
}

// The options carried out otherwise than by a number for every target.
struct OwnWay {
  SettingCode code;
  void (*apply)(ApplyRun& run, const SettingRow& option);
};
const OwnWay kOwnWays[] = {
    {kSetBoardName, applyBoardName},
    {kSetStartCom, applyStart},
    {kSetPortName, applyPortName},
    {kSetDefault, applyDefault},
};

void applyOption(ApplyRun& run, const SettingRow& option) {
  for (const OwnWay& way : kOwnWays) {
    if (way.code == option.code) return way.apply(run, option);
  }
  applyRequestNumber(run, option);
}

// The driver-wide values the board options change, as the Inventory holds them.
struct DriverWide {
  uint32_t values[kMaxSettingRows];
};

DriverWide driverWide(const SettingList& settings) {
  DriverWide values{};
  for (int i = 0; i < settings.count; ++i) {
    values.values[i] = settings.rows[i]->field.get(*gInventory, 0, 0).number;
  }
  return values;
}

// The request's options in the order they are carried out. Before each board option the
// text area of the command buffer is cleared; between port commands it is not.
void applyOptions(ApplyRun& run) {
  const bool board = run.request->kind == kBoardDevice;
  const SettingList options =
      settingsInOrder(&SettingOrder::apply, board ? kBoardOptions : kPortOptions);
  const SettingList shared = settingsInOrder(&SettingOrder::apply, kDriverWideSetting);
  const DriverWide before = driverWide(shared);
  for (int i = 0; i < options.count; ++i) {
    const SettingRow& option = *options.rows[i];
    if ((run.request->flags & option.requestFlag) == 0) continue;
    if (board) {
      std::memset(run.commandBuffer + kRequestHeaderSize, 0,
                  sizeof run.commandBuffer - kRequestHeaderSize);
    }
    applyOption(run, option);
  }
  // Only the request's board restarts; the others run on with the values they started
  // with until they restart too.
  const DriverWide after = driverWide(shared);
  const bool changed =
      std::memcmp(before.values, after.values, sizeof(uint32_t) * shared.count) != 0;
  if (changed && boardsInUse(*gInventory) > 1) {
    notify(run, {NoticeKind::kSharedSettings, {run.request->boardIndex, 0, 0}, 0, L""});
  }
}

// --- The run --------------------------------------------------------------------------

bool requestFitsInventory(const SetRequest* request) {
  if (request == nullptr || gInventory == nullptr) return false;
  BoardRecord* board = boardAt(gInventory, request->boardIndex);
  if (board == nullptr) return false;
  if (request->kind == kBoardDevice) return true;
  return request->kind == kPortDevice && portAt(board, request->portIndex) != nullptr;
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
  writeLittleEndian(run.commandBuffer, 4, kTextCommandType);  // header word 0

  applyOptions(run);
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
