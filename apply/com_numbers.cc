#include "apply/com_numbers.h"

#include <cstring>
#include <iterator>

#include "apply/apply.h"
#include "apply/board_ports.h"
#include "inventory/inventory.h"
#include "platform/os_comdb.h"
#include "platform/text.h"

namespace {

const wchar_t kNameValue[] = L"Name";

// The usage map as the database reports it, one byte per COM number; all free when the
// database is not open or does not answer.
struct ComUsage {
  uint8_t bytes[kHighestComNumber];
};

void readUsage(ComDb db, ComUsage* usage) {
  std::memset(usage->bytes, 0, sizeof usage->bytes);
  if (db != nullptr) getComPortUsage(db, usage->bytes, sizeof usage->bytes, kCdbReportBytes);
}

bool inDatabaseRange(int64_t number) { return number >= 1 && number <= kHighestComNumber; }

void releaseNumber(ComDb db, int32_t number) {
  if (db != nullptr) releaseComPort(db, static_cast<uint32_t>(number < 0 ? 0 : number));
}

void claimNumber(ComDb db, int32_t number) {
  if (db != nullptr && inDatabaseRange(number))
    claimComPort(db, static_cast<uint32_t>(number), true);
}

// Claims `number` for the port, tells the driver and stores the name.
void givePortNumber(DriverChannel* channel, ComDb db, int boardIndex, int portIndex,
                    int32_t number) {
  claimNumber(db, number);
  wchar_t comName[16] = {};
  formatText(comName, L"COM%d", static_cast<int>(number));
  sendSettingCommand(channel, kPortCommand, boardIndex, portIndex, kNameValue, comName);
  copyText(gInventory->boards[boardIndex].ports[portIndex].comName, comName);
}

ComDb openDatabase() {
  ComDb db = nullptr;
  openComDb(&db);
  return db;
}

void closeDatabase(ComDb db) {
  if (db != nullptr) closeComDb(db);
}

}  // namespace

int32_t firstNumberInText(const wchar_t* text) {
  if (text == nullptr) return 0;
  while (*text != L'\0' && !(*text >= L'0' && *text <= L'9')) ++text;
  int64_t value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    value = value * 10 + (*text - L'0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(value);
}

int32_t nextFreeComNumber(const uint8_t (&usage)[kHighestComNumber], int64_t from) {
  for (int64_t number = from < 1 ? 1 : from; number <= kHighestComNumber; ++number) {
    if (usage[number - 1] == 0) return static_cast<int32_t>(number);
  }
  return 0;
}

void renumberBoardPorts(DriverChannel* channel, int boardIndex, const wchar_t* start) {
  BoardRecord& board = gInventory->boards[boardIndex];
  const int portCount = portsInUse(board);
  int64_t next = firstNumberInText(start);
  if (!inDatabaseRange(next)) return;

  ComDb db = openDatabase();
  int32_t formerNumbers[kMaxPorts] = {};
  for (int i = 0; i < portCount; ++i) {
    formerNumbers[i] = firstNumberInText(board.ports[i].comName);
    releaseNumber(db, formerNumbers[i]);
  }
  // Read after the release, so the board's own numbers count as free.
  ComUsage usage;
  readUsage(db, &usage);

  for (int i = 0; i < portCount; ++i) {
    const int32_t number = nextFreeComNumber(usage.bytes, next);
    if (number == 0) {
      claimNumber(db, formerNumbers[i]);
      next = kHighestComNumber + 1;
      continue;
    }
    givePortNumber(channel, db, boardIndex, i, number);
    next = static_cast<int64_t>(number) + 1;
  }
  closeDatabase(db);
}

void renamePort(DriverChannel* channel, int boardIndex, int portIndex, const wchar_t* portname) {
  const int32_t requested = firstNumberInText(portname);
  if (requested < 1 || requested > kHighestComNumber - 1) return;

  PortRecord& port = gInventory->boards[boardIndex].ports[portIndex];
  ComDb db = openDatabase();
  // Released before the map is read, so a request for the port's own name keeps it.
  const int32_t former = firstNumberInText(port.comName);
  releaseNumber(db, former);
  ComUsage usage;
  readUsage(db, &usage);

  const int32_t number = nextFreeComNumber(usage.bytes, requested);
  if (number == 0) {
    claimNumber(db, former);
  } else {
    givePortNumber(channel, db, boardIndex, portIndex, number);
  }
  closeDatabase(db);
}
