#include "cli/usage.h"

#include <cstdio>
#include <iterator>
#include <new>

#include "apply/apply.h"
#include "platform/os_console.h"
#include "platform/text.h"

const wchar_t kProgramName[] = L"ZPConfigUtil";

namespace {

// Each line is printed as it stands after its %ls has become kProgramName.
const wchar_t* const kGeneralUsage[] = {
    L"USAGE:\n",
    L"%ls <command> <device> <arg>....\n",
    L"<command> :   The command that you want to run (see below).\n",
    L"<device>  :   The device name that is managed.\n",
    L"<arg>...  :   The arguments for the command.\n",
    L"For help on a specific command, type: %ls help <command>.\n",
    L"\n",
    L"command:\n",
    // "Vexa" is kept as it is: scripts match this line.
    L"  enum   :   Enumerate all Vexa devices in the box.\n",
    L"  get    :   Display the current settings of the board/port.\n",
    L"  set    :   Set options of device.\n",
    L"  help   :   Show the help message.\n",
    L"\n",
};

const wchar_t* const kSetUsage[] = {
    L"USAGE:\n",
    L"%ls set <board device> {[-name][-start]{[-verbose][-scan]\n",
    L"                                 [-RS485]|[-default]}}\n",
    L"Set a board device. \n",
    L"  -name       Board name.\n",
    L"              e.g. -name=\"ZN #1\".\n",
    L"  -start      Start COM port. \n",
    L"              e.g. -start=COM3. \n",
    L"              The value must be less than COM4096.\n",
    L"  -verbose={on|off}      Verbose event log.\n",
    L"  -scan                  Scan Rate(ms).\n",
    L"                         e.g. -scan=10.\n",
    L"  -RS485={on|off}        Enable RS-485 options for all devices of this adaptor.\n",
    L"                         (NOTE: External RS-232 to RS-485 converters may be \n",
    L"                         required when standard ports are used in RS-485 mode).\n",
    L"  -default               Reset all settings of the board to default values.\n",
    L"                         (verbose=off, scan=10, RS485=off).\n",
    L"\n",
    L"%ls set <port device> {{[-portname][-baudrate][-timeout][-CD]\n",
    // -pnp is kept as it is, though the parser takes only -blockpnp: scripts match this line.
    L"                                 [-stopbits][-wait][-ring][-pnp] \n",
    L"                                 [-toggle][-low]}|-default} [-allports]}\n",
    L"Set a port device. \n",
    L"  -portname   Change port name.\n",
    L"              e.g. -portname=\"COM#\".\n",
    L"              The value must be less than COM4096.\n",
    L"  The following 2 options are only available for -RS485=on.\n",
    L"    -toggle={on|off}    Override and lock to RS-485 toggle mode.\n",
    L"    -low={on|off}       RS-485 toggle RTS low.\n",
    L"  -baudrate             Override and lock baud rate to the fixed value.\n",
    L"                        e.g. -baudrate=NONE or -baudrate=115200.\n",
    L"  -timeout              Timeout on transmit data on port close (sec).\n",
    L"                        e.g. -timeout=0.\n",
    L"  -CD={on|off}          Map CD to DSR.\n",
    L"  -stopbits={on|off}    Map 2 stop bits to 1.\n",
    L"  -wait={on|off}        Wait on physical transmission before completing write.\n",
    L"  -ring={on|off}        Emulate modem hardware RING signal.\n",
    L"  -blockpnp={on|off}    Block PnP search for attached serial device.\n",
    L"  -default              Reset all settings of the port to default values.\n",
    L"                        (baudrate=0, timeout=0, CD=off, stopbits=off, wait=off,\n",
    L"                        ring=off, blockpnp=off, toggle=off, low=off).\n",
    L"                        This option cannot be mixed with the above arguments. \n",
    L"  -allports             Apply all the settings to all ports.\n",
    L"\n",
};

const wchar_t* const kGetUsage[] = {
    L"USAGE:\n", L"%ls get <device>\n",
    L"\n",       L"Display the current settings of the board/port. \n",
    L"\n",
};

const wchar_t* const kEnumUsage[] = {
    L"USAGE:\n",
    L"%ls enum\n",
    L"\n",
    // "Vexa" is kept as it is: scripts match this line.
    L"Enumerate all Vexa devices on the box.\n",
    L"\n",
};

struct MessageRow {
  Message message;
  const wchar_t* text;
};

const MessageRow kMessages[] = {
    {Message::kInvalidCommand, L"Invalid command! \n"},
    {Message::kInvalidHelpTopic, L"Invalid command %ls! \n"},
    {Message::kHelpArguments, L"%ls help [get|set|enum]: \n"},
    // "mechine" is kept as it is: scripts match this message.
    {Message::kNoDevice, L"No device is attached to this mechine! \n"},
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

struct NoticeRow {
  uint32_t notice;
  const wchar_t* text;
};

const NoticeRow kNotices[] = {
    {kNoticeNeedsRights,
     L"ZPConfigUtil: access denied: the change needs administrator rights; "
     L"run it from an elevated prompt.\n"},
    {kNoticeRebootNeeded,
     L"ZPConfigUtil: the change takes full effect after the computer "
     L"restarts.\n"},
    {kNoticeRestartFailed,
     L"ZPConfigUtil: the board could not be restarted; the change takes "
     L"full effect when the board next starts.\n"},
    {kNoticeUse64BitBuild,
     L"ZPConfigUtil: this 32-bit build cannot manage the boards of 64-bit Windows; use "
     L"ZPConfigUtil.exe, the 64-bit build.\n"},
};

// Formats `format` with `text` for its one %ls into a buffer sized for both, so that an
// argument of any length prints whole.
void printWithText(const wchar_t* format, const wchar_t* text) {
  const size_t capacity = textLength(format) + textLength(text) + 1;
  wchar_t* buffer = new (std::nothrow) wchar_t[capacity];
  if (buffer == nullptr) return;
  if (formatText(buffer, capacity, format, text)) writeOutput(buffer);
  delete[] buffer;
}

template <size_t N>
void printLines(const wchar_t* const (&lines)[N]) {
  for (const wchar_t* line : lines) printWithText(line, kProgramName);
}

}  // namespace

int printUsage(int code) {
  switch (code) {
    case kSetCommand:
      printLines(kSetUsage);
      break;
    case kGetCommand:
      printLines(kGetUsage);
      break;
    case kEnumCommand:
      printLines(kEnumUsage);
      break;
    default:
      printLines(kGeneralUsage);
      break;
  }
  return 0;
}

void printMessage(Message message, const wchar_t* text) {
  for (const MessageRow& row : kMessages) {
    if (row.message == message) {
      printWithText(row.text, text);
      return;
    }
  }
}

void printNotices(uint32_t notices) {
  for (const NoticeRow& row : kNotices) {
    if ((notices & row.notice) != 0) writeErrorOutput(row.text);
  }
}
