// The messages the command line answers with on standard output, each written as it is
// printed. Usage texts stand in cli/usage.h, notes on standard error in cli/notes.h and
// report formats in cli/reports.cc.
#pragma once

enum class Message {
  kInvalidCommand,         // unknown command word
  kInvalidHelpTopic,       // %ls: the help topic
  kHelpArguments,          // help given more than one topic
  kNoBoardAttached,        // no adapter board found
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

// Prints `format` on standard output with `text` for its one %ls, whatever the length of
// either, each control character but the closing line feed shown as '?'.
void printWithText(const wchar_t* format, const wchar_t* text);
