// The front end's fixed texts: the four usage texts and every message the command line
// answers with. Reports keep their own formats (cli/reports.cc).
#pragma once

#include <cstdint>

#include "apply/apply.h"

// The name the usage texts and messages print, whatever the program was started as.
extern const wchar_t kProgramName[];

// Command codes of the command table.
enum CommandCode : int {
  kNoCommand = 0,
  kSetCommand = 1,
  kGetCommand = 2,
  kEnumCommand = 3,
  kHelpCommand = 4,
};

// Prints the usage of a command code: set, get or enum; any other code (kNoCommand)
// prints the general usage. Returns 0.
int printUsage(int code);

enum class Message {
  kInvalidCommand,         // unknown command word
  kInvalidHelpTopic,       // %ls: the help topic
  kHelpArguments,          // help given more than one topic
  kNoDevice,               // no adapter board found
  kInvalidArgument,        // set with too few arguments
  kInvalidArgumentAt,      // %ls: the offending argument of set
  kSettingChanged,         // set carried out
  kInvalidArguments,       // get without a device that resolves
  kNoHardwareInformation,  // the enumeration report failed
  kUnknownDevice,          // device name matched nothing
  kReportUnknownDevice,    // device report asked for neither a board nor a port
  kBoardDefaultConflict,   // board -default with scan, rs485 or verbose
  kPortDefaultConflict,    // port -default with another port setting
  kRs485Unavailable,       // toggle or low while the RS-485 options are not on
};

// Prints a message; `text` fills its %ls where it has one (any length).
void printMessage(Message message, const wchar_t* text = L"");

// Prints on standard error the line that tells a notice of the apply engine,
// "ZPConfigUtil: ...", so that standard output stays as scripts know it.
void printNotice(const Notice& notice);

// The front end's own notes on standard error.
enum class Note {
  kUse64BitBuild,        // the 32-bit build started on 64-bit Windows
  kPortCountUnreported,  // numbers: the board, the ports shown
};
void printNote(Note note, int first = 0, int second = 0);
