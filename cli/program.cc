#include "cli/program.h"

#include "apply/apply.h"
#include "cli/device_resolution.h"
#include "cli/messages.h"
#include "cli/notes.h"
#include "cli/reports.h"
#include "cli/set_request.h"
#include "cli/usage.h"
#include "driver/driver_channel.h"
#include "inventory/discovery.h"
#include "inventory/inventory.h"
#include "platform/os_process.h"
#include "platform/text.h"

namespace {

struct CommandRow {
  const wchar_t* keyword;
  int code;
};

// Searched from the first row; the first keyword equal to the command word wins.
const CommandRow kCommands[] = {
    {L"help", kHelpCommand}, {L"set", kSetCommand}, {L"get", kGetCommand},
    {L"enum", kEnumCommand}, {nullptr, kNoCommand},
};

// The topics `help <topic>` knows, in the order they are tried.
const CommandRow kHelpTopics[] = {
    {L"set", kSetCommand},
    {L"get", kGetCommand},
    {L"enum", kEnumCommand},
    {nullptr, kNoCommand},
};

int findCommand(const CommandRow* table, const wchar_t* word) {
  for (const CommandRow* row = table; row->keyword != nullptr; ++row) {
    if (equalsIgnoreCase(row->keyword, word)) return row->code;
  }
  return kNoCommand;
}

void runHelp(int argc, wchar_t** argv) {
  if (argc == 2) {
    printUsage(kNoCommand);
  } else if (argc == 3) {
    const int topic = findCommand(kHelpTopics, argv[2]);
    if (topic == kNoCommand) printMessage(Message::kInvalidHelpTopic, argv[2]);
    printUsage(topic);
  } else {
    printMessage(Message::kHelpArguments, kProgramName);
    printUsage(kNoCommand);
  }
}

void runSet(int argc, wchar_t** argv) {
  SetRequest request{};
  const int parsed = parseSetRequest(argc, argv, &request);
  if (parsed == argc) {
    printMessage(Message::kInvalidArgument);
  } else if (parsed != 0) {
    printMessage(Message::kInvalidArgumentAt, argv[parsed]);
  } else if (checkSetRequest(&request) == 0) {
    if (applySetRequest(&request, printNotice) == 0) {
      printMessage(Message::kSettingChanged);
      return;
    }
  }
  printUsage(kSetCommand);
}

void runGet(int argc, wchar_t** argv) {
  DeviceRef device{};
  if (resolveGetDevice(argc, argv, &device) != 0) {
    printMessage(Message::kInvalidArguments);
    printUsage(kGetCommand);
    return;
  }
  printDeviceReport(device);
}

void runEnum() {
  if (printEnumReport() != 0) printMessage(Message::kNoHardwareInformation);
}

// Builds the Inventory and runs one command against it. The exit status: 1 when no
// adapter board was found, else 0.
int runOnInventory(int command, int argc, wchar_t** argv) {
  if (buildInventory() != 0 && gInventory->boardCount == 0) {
    printMessage(Message::kNoBoardAttached);
    return 1;
  }
  // A board the driver did not count shows the stored or catalogued count, which may not
  // be the board's.
  const int boardCount = boardsInUse(*gInventory);
  for (int i = 0; i < boardCount; ++i) {
    const BoardRecord& board = gInventory->boards[i];
    if (board.portCountQuery != 0) printNote(Note::kPortCountUnreported, i, board.portCount);
  }
  switch (command) {
    case kSetCommand:
      runSet(argc, argv);
      break;
    case kGetCommand:
      runGet(argc, argv);
      break;
    default:
      runEnum();
      break;
  }
  return 0;
}

}  // namespace

int lookupCommand(wchar_t** argv) { return findCommand(kCommands, argv[1]); }

int runProgram(int argc, wchar_t** argv) {
  if (argc < 2) {
    printUsage(kNoCommand);
    return 0;
  }
  const int command = lookupCommand(argv);
  if (command == kNoCommand) {
    printMessage(Message::kInvalidCommand);
    printUsage(kNoCommand);
    return 0;
  }
  if (command == kHelpCommand) {
    runHelp(argc, argv);
    return 0;
  }

  if (runsUnderWow64()) {
    printNote(Note::kUse64BitBuild);
    return 2;
  }
  const int platformStatus = beginPlatform();
  if (platformStatus != 0) return platformStatus;
  int status = 1;  // a run without an Inventory cannot report
  if (createInventory() == 0) {
    status = runOnInventory(command, argc, argv);
    releaseInventory();
    releasePortCountRecord();
  }
  const int endStatus = endPlatform();
  return endStatus != 0 ? endStatus : status;
}
