#include "cli/usage.h"

#include <iterator>

#include "cli/messages.h"

const wchar_t kProgramName[] = L"ZPConfigUtil";

namespace {

// Each line is printed as it stands after its %ls has become kProgramName.
const wchar_t* const kGeneralLines[] = {
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

const wchar_t* const kSetLines[] = {
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

const wchar_t* const kGetLines[] = {
    L"USAGE:\n", L"%ls get <device>\n",
    L"\n",       L"Display the current settings of the board/port. \n",
    L"\n",
};

const wchar_t* const kEnumLines[] = {
    L"USAGE:\n",
    L"%ls enum\n",
    L"\n",
    // "Vexa" is kept as it is: scripts match this line.
    L"Enumerate all Vexa devices on the box.\n",
    L"\n",
};

}  // namespace

const UsageText kGeneralUsage{kGeneralLines, std::size(kGeneralLines)};
const UsageText kSetUsage{kSetLines, std::size(kSetLines)};
const UsageText kGetUsage{kGetLines, std::size(kGetLines)};
const UsageText kEnumUsage{kEnumLines, std::size(kEnumLines)};

void printUsage(const UsageText& usage) {
  for (size_t i = 0; i < usage.count; ++i) printWithText(usage.lines[i], kProgramName);
}
