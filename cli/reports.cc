#include "cli/reports.h"

#include "cli/messages.h"
#include "inventory/inventory.h"
#include "platform/os_console.h"
#include "platform/text.h"

namespace {

// Report formats, each printed exactly as it stands.
const wchar_t kBoardHeading[] = L"Board settins:\n";  // "settins" kept: scripts match it
const wchar_t kBoardSummary[] = L"    Summary                                : %ls - %d  %ls\n";
const wchar_t kBoardDisplayName[] = L"    Display Name                           : %ls\n";
const wchar_t kBoardIoBase[] = L"    I/O Base Address                       : 0x%x\n";
const wchar_t kBoardStartCom[] = L"    Starting COM Port                      : %ls\n";
const wchar_t kBoardScanRate[] = L"    Scan Rate (ms)                         : %d\n";
const wchar_t kBoardVerbose[] = L"    Verbose Event Log                      : %ls\n";
const wchar_t kBoardRs485[] = L"    Enable RS-485 Options for All Devices  : %ls\n";

const wchar_t kPortComName[] = L"COM name                                               : %ls\n";
const wchar_t kPortToggle[] = L"  Override and lock to RS-485 toggle mode              : %ls\n";
const wchar_t kPortRtsLow[] = L"  RS-485 Toggle RTS Low                                : %ls\n";
const wchar_t kPortLockBaud[] = L"Override and lock baud rate to                         : %lu\n";
const wchar_t kPortNoLockBaud[] =
    L"Override and lock baud rate to                         : none\n";
const wchar_t kPortCloseTime[] =
    L"Timeout on transmit data on port close                 : %lu sec\n";
const wchar_t kPortCdToDsr[] = L"Map CD to DSR                                          : %ls\n";
const wchar_t kPortStopBits[] = L"Map 2 stop bits to 1                                   : %ls\n";
const wchar_t kPortWaitOnTx[] = L"Wait on physical transmission before completing write  : %ls\n";
const wchar_t kPortRing[] = L"Emulate modem hardware RING signal                     : %ls\n";
const wchar_t kPortBlockPnp[] = L"Block Plug-N-Play search for attached serial device    : %ls\n";

const wchar_t kEnumRule[] = L"==========================================\n";
const wchar_t kEnumDeviceId[] = L"device ID    : %ls\n";
const wchar_t kEnumDisplayName[] = L"display name : %ls\n";
const wchar_t kEnumPort[] = L"  Norvane ZephynPort %.2d        %.7ls \n";

const wchar_t kEndOfReport[] = L"\n";

// Every report line fits: the longest field is a 255-character device id.
constexpr size_t kLineCapacity = 512;

template <typename... Args>
void printLine(const wchar_t* format, Args... args) {
  wchar_t line[kLineCapacity];
  if (formatText(line, format, args...)) {
    maskControlCharacters(line);
    writeOutput(line);
  }
}

const wchar_t* onOff(uint32_t value) { return value != 0 ? L"on" : L"off"; }

void printBoardReport(const BoardRecord& board) {
  writeOutput(kBoardHeading);
  printLine(kBoardSummary, board.modelName, static_cast<int>(board.portCount),
            board.ioAddress == kPciBus ? L"PCI" : L"ISA");
  printLine(kBoardDisplayName, board.displayName);
  if (board.ioAddress >= 256) printLine(kBoardIoBase, static_cast<unsigned>(board.ioAddress));
  // The first port's record, in use or not: a board without ports shows an empty name.
  const PortRecord* first = portSlot(&board, 0);
  printLine(kBoardStartCom, first != nullptr ? first->comName : L"");
  printLine(kBoardScanRate, static_cast<int>(static_cast<int32_t>(gInventory->scanRate)));
  printLine(kBoardVerbose, onOff(gInventory->verboseLog));
  printLine(kBoardRs485, onOff(gInventory->globalRS485Options));
  writeOutput(kEndOfReport);
}

void printPortReport(const PortRecord& port) {
  printLine(kPortComName, port.comName);
  if (gInventory->globalRS485Options != 0) {
    printLine(kPortToggle, onOff(port.portFlags & kRS485Override));
    printLine(kPortRtsLow, onOff(port.portFlags & kRS485Low));
  }
  if (port.lockBaud != 0) {
    printLine(kPortLockBaud, static_cast<unsigned long>(port.lockBaud));
  } else {
    writeOutput(kPortNoLockBaud);
  }
  printLine(kPortCloseTime, static_cast<unsigned long>(port.txCloseTime));
  printLine(kPortCdToDsr, onOff(port.portFlags & kMapCdToDsr));
  printLine(kPortStopBits, onOff(port.portFlags & kMap2StopsTo1));
  printLine(kPortWaitOnTx, onOff(port.portFlags & kWaitOnTx));
  printLine(kPortRing, onOff(port.portFlags & kRingEmulate));
  printLine(kPortBlockPnp, onOff(port.portFlags & kBlockSerenum));
  writeOutput(kEndOfReport);
}

}  // namespace

int printDeviceReport(const DeviceRef& ref) {
  if (gInventory == nullptr) return 1;
  const BoardRecord* board = boardAt(gInventory, ref.boardIndex);
  const PortRecord* port = portAt(board, ref.portIndex);
  if (ref.kind == kBoardDevice && board != nullptr) {
    printBoardReport(*board);
  } else if (ref.kind == kPortDevice && port != nullptr) {
    printPortReport(*port);
  } else {
    printMessage(Message::kReportUnknownDevice);
  }
  return 0;
}

int printEnumReport() {
  if (gInventory == nullptr) return 1;
  for (int b = 0; const BoardRecord* board = boardAt(gInventory, b); ++b) {
    writeOutput(kEnumRule);
    printLine(kEnumDeviceId, board->deviceId);
    printLine(kEnumDisplayName, board->displayName);
    for (int p = 0; const PortRecord* port = portAt(board, p); ++p) {
      printLine(kEnumPort, p, port->comName);
    }
    writeOutput(kEndOfReport);
  }
  return 0;
}
