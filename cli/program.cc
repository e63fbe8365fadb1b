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

struct Command {
  const wchar_t* keyword;
  int code;                // CommandCode
  const UsageText* usage;  // the usage text `help <keyword>` prints; null: none of its own
  void (*run)(int argc, wchar_t** argv);
  bool onInventory;  // runs on the Inventory; else answered without the machine
};

enum CommandSearch { kAnyCommand, kTopicsOnly };

// The first row of the command table (among the help topics only, or among all) whose
// keyword equals `word` without regard to case; null for none.
const Command* findCommand(const wchar_t* word, CommandSearch search);

void runHelp(int argc, wchar_t** argv) {
  if (argc == 2) {
    printUsage(kGeneralUsage);
  } else if (argc == 3) {
    const Command* topic = findCommand(argv[2], kTopicsOnly);
    if (topic == nullptr) printMessage(Message::kInvalidHelpTopic, argv[2]);
    printUsage(topic != nullptr ? *topic->usage : kGeneralUsage);
  } else {
    printMessage(Message::kHelpArguments, kProgramName);
    printUsage(kGeneralUsage);
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
  printUsage(kSetUsage);
}

void runGet(int argc, wchar_t** argv) {
  DeviceRef device{};
  if (resolveGetDevice(argc, argv, &device) != 0) {
    printMessage(Message::kInvalidArguments);
    printUsage(kGetUsage);
    return;
  }
  printDeviceReport(device);
}

void runEnum(int, wchar_t**) {
  if (printEnumReport() != 0) printMessage(Message::kNoHardwareInformation);
}

// Searched from the first row; the first keyword equal to the command word wins. The help
// topics are the rows with a usage text of their own, in this order: help is none.
const Command kCommands[] = {
    {L"help", kHelpCommand, nullptr, runHelp, false},
    {L"set", kSetCommand, &kSetUsage, runSet, true},
    {L"get", kGetCommand, &kGetUsage, runGet, true},
    {L"enum", kEnumCommand, &kEnumUsage, runEnum, true},
};

const Command* findCommand(const wchar_t* word, CommandSearch search) {
  for (const Command& command : kCommands) {
    if (search == kTopicsOnly && command.usage == nullptr) continue;
    if (equalsIgnoreCase(command.keyword, word)) return &command;
  }
  return nullptr;
}

// Builds the Inventory and runs one command against it. The exit status: 1 when no
// adapter board was found, else 0.
int runOnInventory(const Command& command, int argc, wchar_t** argv) {
  if (buildInventory() != 0 && gInventory->boardCount == 0) {
    printMessage(Message::kNoBoardAttached);
    return 1;
  }
  // A board the driver did not count shows the stored or catalogued count, which may not
  // be the board's.
  for (int i = 0; const BoardRecord* board = boardAt(gInventory, i); ++i) {
    if (board->portCountQuery != 0) printNote(Note::kPortCountUnreported, i, board->portCount);
  }
  command.run(argc, argv);
  return 0;
}

}  // namespace

int lookupCommand(wchar_t** argv) {
  const Command* command = findCommand(argv[1], kAnyCommand);
  return command != nullptr ? command->code : kNoCommand;
}

int runProgram(int argc, wchar_t** argv) {
  if (argc < 2) {
    printUsage(kGeneralUsage);
    return 0;
  }
  const Command* command = findCommand(argv[1], kAnyCommand);
  if (command == nullptr) {
    printMessage(Message::kInvalidCommand);
    printUsage(kGeneralUsage);
    return 0;
  }
  if (!command->onInventory) {
    command->run(argc, argv);
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
    status = runOnInventory(*command, argc, argv);
    releaseInventory();
    releasePortCountRecord();
  }
  const int endStatus = endPlatform();
  return endStatus != 0 ? endStatus : status;
}
