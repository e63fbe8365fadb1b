// Whole runs of the program on simulated machines: command dispatch, help, the exit
// status and every top-level message, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/notes.h"
#include "tests/support/harness.h"
#include "tools/machine_tool.h"

namespace {

const std::string kGeneralUsage =
    "USAGE:\n"
    "ZPConfigUtil <command> <device> <arg>....\n"
    "<command> :   The command that you want to run (see below).\n"
    "<device>  :   The device name that is managed.\n"
    "<arg>...  :   The arguments for the command.\n"
    "For help on a specific command, type: ZPConfigUtil help <command>.\n"
    "\n"
    "command:\n"
    "  enum   :   Enumerate all Vexa devices in the box.\n"
    "  get    :   Display the current settings of the board/port.\n"
    "  set    :   Set options of device.\n"
    "  help   :   Show the help message.\n"
    "\n";
const std::string kSetUsage =
    "USAGE:\n"
    "ZPConfigUtil set <board device> {[-name][-start]{[-verbose][-scan]\n"
    "                                 [-RS485]|[-default]}}\n"
    "Set a board device. \n"
    "  -name       Board name.\n"
    "              e.g. -name=\"ZN #1\".\n"
    "  -start      Start COM port. \n"
    "              e.g. -start=COM3. \n"
    "              The value must be less than COM4096.\n"
    "  -verbose={on|off}      Verbose event log.\n"
    "  -scan                  Scan Rate(ms).\n"
    "                         e.g. -scan=10.\n"
    "  -RS485={on|off}        Enable RS-485 options for all devices of this adaptor.\n"
    "                         (NOTE: External RS-232 to RS-485 converters may be \n"
    "                         required when standard ports are used in RS-485 mode).\n"
    "  -default               Reset all settings of the board to default values.\n"
    "                         (verbose=off, scan=10, RS485=off).\n"
    "\n"
    "ZPConfigUtil set <port device> {{[-portname][-baudrate][-timeout][-CD]\n"
    "                                 [-stopbits][-wait][-ring][-pnp] \n"
    "                                 [-toggle][-low]}|-default} [-allports]}\n"
    "Set a port device. \n"
    "  -portname   Change port name.\n"
    "              e.g. -portname=\"COM#\".\n"
    "              The value must be less than COM4096.\n"
    "  The following 2 options are only available for -RS485=on.\n"
    "    -toggle={on|off}    Override and lock to RS-485 toggle mode.\n"
    "    -low={on|off}       RS-485 toggle RTS low.\n"
    "  -baudrate             Override and lock baud rate to the fixed value.\n"
    "                        e.g. -baudrate=NONE or -baudrate=115200.\n"
    "  -timeout              Timeout on transmit data on port close (sec).\n"
    "                        e.g. -timeout=0.\n"
    "  -CD={on|off}          Map CD to DSR.\n"
    "  -stopbits={on|off}    Map 2 stop bits to 1.\n"
    "  -wait={on|off}        Wait on physical transmission before completing write.\n"
    "  -ring={on|off}        Emulate modem hardware RING signal.\n"
    "  -blockpnp={on|off}    Block PnP search for attached serial device.\n"
    "  -default              Reset all settings of the port to default values.\n"
    "                        (baudrate=0, timeout=0, CD=off, stopbits=off, wait=off,\n"
    "                        ring=off, blockpnp=off, toggle=off, low=off).\n"
    "                        This option cannot be mixed with the above arguments. \n"
    "  -allports             Apply all the settings to all ports.\n"
    "\n";
const std::string kGetUsage =
    "USAGE:\n"
    "ZPConfigUtil get <device>\n"
    "\n"
    "Display the current settings of the board/port. \n"
    "\n";
const std::string kEnumUsage =
    "USAGE:\n"
    "ZPConfigUtil enum\n"
    "\n"
    "Enumerate all Vexa devices on the box.\n"
    "\n";

const char kLaborOmega[] =
    "L\xC3\xA4"
    "bor \xCE\xA9";

// One PCI board ("0") with four ports, COM3 to COM6, and the RS-485 options on.
const std::string kOneBoardMachine = std::string(R"(
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\PCI\VEN_11FE&DEV_0803\4&1a2b3c&0&00E0]
"ClassGUID"="{50906CB8-BA12-11D1-BF5D-0000F805F530}"
"Service"="ZephynPort"
"HardwareID"="PCI\\VEN_11FE&DEV_0803"
"Driver"="{50906CB8-BA12-11D1-BF5D-0000F805F530}\\0000"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\PCI\VEN_11FE&DEV_0803\4&1a2b3c&0&00E0\Control]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{50906CB8-BA12-11D1-BF5D-0000F805F530}\0000]
"NrvNodeId"=dword:00000000

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters]
"ScanRate"=dword:0000000a
"GlobalRS485Options"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0]
"NumPorts"=dword:00000004
"ModelName"="Model 16P"
"Name"=")") + kLaborOmega + R"("

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0\Port0]
"Name"="COM3"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0\Port1]
"Name"="COM4"
"LockBaud"=dword:0001c200
"WaitOnTx"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0\Port2]
"Name"="COM5"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\ZephynPort\Parameters\Device0\Port3]
"Name"="COM6"
)";

struct RunCase {
  std::vector<std::string> args;
  std::string out;
  int status;
};

void expectRuns(TestMachine& machine, const std::vector<RunCase>& cases) {
  for (const RunCase& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += " [" + arg + "]";
    SCOPED_TRACE("ZPConfigUtil" + line);
    const RunResult result = machine.run(c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, c.status);
  }
}

TEST(Dispatch, UsageAndHelpNeverReachTheMachine) {
  const std::string longTopic(5000, 'x');
  TestMachine machine("");
  expectRuns(
      machine,
      {
          {{}, kGeneralUsage, 0},
          {{"bogus"}, "Invalid command! \n" + kGeneralUsage, 0},
          {{"sets", "0"}, "Invalid command! \n" + kGeneralUsage, 0},
          {{""}, "Invalid command! \n" + kGeneralUsage, 0},
          {{"help"}, kGeneralUsage, 0},
          {{"HELP"}, kGeneralUsage, 0},
          {{"help", "set"}, kSetUsage, 0},
          {{"Help", "SET"}, kSetUsage, 0},
          {{"help", "Get"}, kGetUsage, 0},
          {{"help", "eNuM"}, kEnumUsage, 0},
          {{"help", "help"}, "Invalid command help! \n" + kGeneralUsage, 0},
          {{"help", "bogus"}, "Invalid command bogus! \n" + kGeneralUsage, 0},
          {{"help", kLaborOmega},
           "Invalid command " + std::string(kLaborOmega) + "! \n" + kGeneralUsage,
           0},
          {{"help", longTopic}, "Invalid command " + longTopic + "! \n" + kGeneralUsage, 0},
          {{"help", "set", "x"}, "ZPConfigUtil help [get|set|enum]: \n" + kGeneralUsage, 0},
          {{"help", "a", "b", "c"}, "ZPConfigUtil help [get|set|enum]: \n" + kGeneralUsage, 0},
      });
  EXPECT_TRUE(machine.log().empty());
}

TEST(Dispatch, NoAdapterEndsEveryCommandWithStatusOne) {
  TestMachine machine("");
  const std::string noDevice = "No device is attached to this mechine! \n";
  expectRuns(machine, {
                          {{"enum"}, noDevice, 1},
                          {{"ENUM", "extra"}, noDevice, 1},
                          {{"get"}, noDevice, 1},
                          {{"get", "COM3"}, noDevice, 1},
                          {{"set"}, noDevice, 1},
                          {{"set", "0", "-name=x"}, noDevice, 1},
                          {{"help"}, kGeneralUsage, 0},
                      });
  EXPECT_FALSE(machine.log().empty());  // unlike help, these reached the machine
}

const std::string kBoardReport =
    std::string(
        "Board settins:\n"
        "    Summary                                : Model 16P - 4  PCI\n"
        "    Display Name                           : ") +
    kLaborOmega +
    "\n"
    "    Starting COM Port                      : COM3\n"
    "    Scan Rate (ms)                         : 10\n"
    "    Verbose Event Log                      : off\n"
    "    Enable RS-485 Options for All Devices  : on\n"
    "\n";

const std::string kCom4Report =
    "COM name                                               : COM4\n"
    "  Override and lock to RS-485 toggle mode              : off\n"
    "  RS-485 Toggle RTS Low                                : off\n"
    "Override and lock baud rate to                         : 115200\n"
    "Timeout on transmit data on port close                 : 0 sec\n"
    "Map CD to DSR                                          : off\n"
    "Map 2 stop bits to 1                                   : off\n"
    "Wait on physical transmission before completing write  : on\n"
    "Emulate modem hardware RING signal                     : off\n"
    "Block Plug-N-Play search for attached serial device    : off\n"
    "\n";

const std::string kEnumReport = std::string(
                                    "==========================================\n"
                                    "device ID    : 0\n"
                                    "display name : ") +
                                kLaborOmega +
                                "\n"
                                "  Norvane ZephynPort 00        COM3 \n"
                                "  Norvane ZephynPort 01        COM4 \n"
                                "  Norvane ZephynPort 02        COM5 \n"
                                "  Norvane ZephynPort 03        COM6 \n"
                                "\n";

TEST(Dispatch, GetAndEnumReports) {
  TestMachine machine(kOneBoardMachine);
  const std::string getFailed = "Invalid argument(s)! \n" + kGetUsage;
  expectRuns(machine, {
                          {{"get"}, getFailed, 0},
                          {{"get", "nosuch"}, "unknown device!\n" + getFailed, 0},
                          {{"get", "00"}, "unknown device!\n" + getFailed, 0},
                          {{"get", "0", "anything"}, kBoardReport, 0},
                          {{"Get", "com4"}, kCom4Report, 0},
                          {{"enum", "extra", "words"}, kEnumReport, 0},
                      });
}

// A machine written by ZPConfigUtil-machine shows as asked: PCI boards listed first, the
// held number passed over, the ISA board named and at its I/O base.
TEST(Dispatch, GeneratedMachineShowsAsAsked) {
  std::string text, err;
  ASSERT_EQ(runMachineTool(
                {"--board", "isa:2@0x300", "--name", "Line", "--board", "pci:2", "--held", "COM4"},
                &text, &err),
            0);
  TestMachine machine(text, false);
  expectRuns(machine, {{{"enum"},
                        "==========================================\n"
                        "device ID    : 0\n"
                        "display name : ZN #1\n"
                        "  Norvane ZephynPort 00        COM3 \n"
                        "  Norvane ZephynPort 01        COM5 \n"
                        "\n"
                        "==========================================\n"
                        "device ID    : 1\n"
                        "display name : Line\n"
                        "  Norvane ZephynPort 00        COM6 \n"
                        "  Norvane ZephynPort 01        COM7 \n"
                        "\n",
                        0},
                       {{"get", "1"},
                        "Board settins:\n"
                        "    Summary                                : ZephynPort - 2  ISA\n"
                        "    Display Name                           : Line\n"
                        "    I/O Base Address                       : 0x300\n"
                        "    Starting COM Port                      : COM6\n"
                        "    Scan Rate (ms)                         : 10\n"
                        "    Verbose Event Log                      : off\n"
                        "    Enable RS-485 Options for All Devices  : off\n"
                        "\n",
                        0}});
  // The driver answered the PCI board's port-count query, once a run.
  EXPECT_EQ(linesStarting(machine.log(), "ioctl"),
            std::vector<std::string>(2, "ioctl 0x1B2010 in=40 out=40 type=20 ui=1"));
}

TEST(Dispatch, RefusedSetRequestsChangeNothing) {
  TestMachine machine(kOneBoardMachine);
  const std::string before = machine.exportText();
  const std::string boardConflict =
      "There are one or more board arguments conflict with -default.\n";
  expectRuns(machine,
             {
                 {{"set"}, "Invalid argument! \n" + kSetUsage, 0},
                 {{"set", "0"}, "Invalid argument! \n" + kSetUsage, 0},
                 {{"set", "nosuch"}, "Invalid argument! \n" + kSetUsage, 0},
                 {{"set", "COM99", "-wait=on"},
                  "unknown device!\nInvalid argument at COM99! \n" + kSetUsage,
                  0},
                 {{"set", "COM3", "-pnp=on"}, "Invalid argument at -pnp=on! \n" + kSetUsage, 0},
                 {{"set", "COM3", "-wait=on", "-wait=off"},
                  "Invalid argument at -wait=off! \n" + kSetUsage,
                  0},
                 {{"set", "0", "-name=" + std::string(kLaborOmega) + "|"},
                  "Invalid argument at -name=" + std::string(kLaborOmega) + "|! \n" + kSetUsage,
                  0},
                 {{"set", "0", "-scan=4294967296", "-verbose=on"},
                  "Invalid argument at -scan=4294967296! \n" + kSetUsage,
                  0},
                 {{"set", "COM3", "-allports"}, kSetUsage, 0},
                 {{"set", "0", "-default", "-scan=5"}, boardConflict + kSetUsage, 0},
             });
  EXPECT_EQ(machine.exportText(), before);
}

TEST(Dispatch, SetCarriedOut) {
  TestMachine machine(kOneBoardMachine);
  expectRuns(machine, {{{"SET", "com5", "-wait=on"}, "setting is changed.\n", 0}});
}

TEST(Dispatch, SetThatCannotReachTheDriverPrintsTheUsage) {
  TestMachine machine(kOneBoardMachine + R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\ZephynSim\Driver]
"ControlDevice"=dword:00000000
)");
  expectRuns(machine, {{{"set", "COM3", "-wait=on"}, kSetUsage, 0}});
}

// The 32-bit build's refusal under WOW64 has its scenario row, which needs 32-bit Wine;
// where no machine can run that row, its line is still pinned here.
TEST(Dispatch, RefusalUnderWow64NamesThe64BitBuild) {
  testing::internal::CaptureStderr();
  printNote(Note::kUse64BitBuild);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ZPConfigUtil: this 32-bit build cannot manage the boards of 64-bit Windows; use "
            "ZPConfigUtil.exe, the 64-bit build.\n");
}

}  // namespace
