#include "cli/messages.h"

#include <new>

#include "platform/os_console.h"
#include "platform/text.h"

namespace {

struct MessageRow {
  Message message;
  const wchar_t* text;
};

const MessageRow kMessages[] = {
    {Message::kInvalidCommand, L"Invalid command! \n"},
    {Message::kInvalidHelpTopic, L"Invalid command %ls! \n"},
    {Message::kHelpArguments, L"%ls help [get|set|enum]: \n"},
    // "mechine" is kept as it is: scripts match this message.
    {Message::kNoBoardAttached, L"No device is attached to this mechine! \n"},
    {Message::kInvalidArgument, L"Invalid argument! \n"},
    {Message::kInvalidArgumentAt, L"Invalid argument at %ls! \n"},
    {Message::kSettingChanged, L"setting is changed.\n"},
    {Message::kInvalidArguments, L"Invalid argument(s)! \n"},
    {Message::kNoHardwareInformation, L"Failed to get hardware information! \n"},
    {Message::kUnknownDevice, L"unknown device!\n"},
    {Message::kReportUnknownDevice, L" Unknown device! \n"},
    {Message::kBoardDefaultConflict,
     L"There are one or more board arguments conflict with -default.\n"},
    {Message::kPortDefaultConflict,
     L"There are one or more port arguments conflict with -default.\n"},
    {Message::kRs485Unavailable, L"The RS-485 mode is not available.\n"},
};

}  // namespace

void printWithText(const wchar_t* format, const wchar_t* text) {
  const size_t capacity = textLength(format) + textLength(text) + 1;
  wchar_t* buffer = new (std::nothrow) wchar_t[capacity];
  if (buffer == nullptr) return;
  if (formatText(buffer, capacity, format, text)) {
    maskControlCharacters(buffer);
    writeOutput(buffer);
  }
  delete[] buffer;
}

void printMessage(Message message, const wchar_t* text) {
  for (const MessageRow& row : kMessages) {
    if (row.message == message) {
      printWithText(row.text, text);
      return;
    }
  }
}
