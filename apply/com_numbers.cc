#include "apply/com_numbers.h"

#include <cstring>
#include <iterator>

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

// Until the database is resized it arbitrates fewer numbers than the map covers (256 on a
// fresh machine), and a number above its size would stay unrecorded, free for the next
// device. So it first grows to the smallest multiple of 1024 that holds the number.
void makeRoomFor(ComDb db, int32_t number) {
  uint32_t size = 0;
  if (getComDbSize(db, &size) != kOsSuccess || static_cast<uint32_t>(number) <= size) return;
  const uint32_t steps = (static_cast<uint32_t>(number) + kComDbSizeStep - 1) / kComDbSizeStep;
  const uint32_t newSize = steps * kComDbSizeStep;
  resizeComDb(db, newSize < kComDbMostPorts ? newSize : kComDbMostPorts);
}

void claimNumber(ComDb db, int32_t number) {
  if (db == nullptr || !inDatabaseRange(number)) return;
  makeRoomFor(db, number);
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

// Counts a number as taken from here on, so that no later port of the run gets it again.
void markTaken(ComUsage* usage, int32_t number) {
  if (inDatabaseRange(number)) usage->bytes[number - 1] = 1;
}

// A number a port may take when the numbers from the start on have run out: free in the
// map, not given to a port of this run, and not the former number of a later port (which
// keeps that number when it finds no new one either).
bool spareNumber(const ComUsage& usage, const int32_t* formers, int firstLater, int portCount,
                 int32_t number) {
  if (!inDatabaseRange(number) || usage.bytes[number - 1] != 0) return false;
  for (int j = firstLater; j < portCount; ++j) {
    if (formers[j] == number) return false;
  }
  return true;
}

// The number of a port for which no number from the start on is left: its former one,
// unless an earlier port took it in this run; then the lowest number an earlier port gave
// up, else the lowest spare number at all. A former number outside the map is kept as it
// is. 0 when nothing is spare.
int32_t numberPastTheEnd(const ComUsage& usage, const int32_t* formers, int port, int portCount) {
  const int32_t own = formers[port];
  if (!inDatabaseRange(own) || usage.bytes[own - 1] == 0) return own;
  int32_t givenUp = 0;
  for (int j = 0; j < port; ++j) {
    if ((givenUp == 0 || formers[j] < givenUp) &&
        spareNumber(usage, formers, port + 1, portCount, formers[j])) {
      givenUp = formers[j];
    }
  }
  if (givenUp != 0) return givenUp;
  for (int32_t number = 1; number <= kHighestComNumber; ++number) {
    if (spareNumber(usage, formers, port + 1, portCount, number)) return number;
  }
  return 0;
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

int checkComPortDatabaseReadable() {
  ComDb db = nullptr;
  const uint32_t opened = openComDb(&db);
  if (opened == kOsAccessDenied) return kComDbAccessDenied;
  if (opened != kOsSuccess || db == nullptr) return kComDbUnreadable;
  ComUsage usage;
  std::memset(usage.bytes, 0, sizeof usage.bytes);
  const bool read =
      getComPortUsage(db, usage.bytes, sizeof usage.bytes, kCdbReportBytes) == kOsSuccess;
  closeComDb(db);
  return read ? kComDbReadable : kComDbUnreadable;
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
    int32_t number = nextFreeComNumber(usage.bytes, next);
    if (number != 0) {
      next = static_cast<int64_t>(number) + 1;
    } else {
      next = kHighestComNumber + 1;
      number = numberPastTheEnd(usage, formerNumbers, i, portCount);
      if (number == formerNumbers[i] || number == 0) {
        // The port keeps its name; no command.
        claimNumber(db, number);
        markTaken(&usage, number);
        continue;
      }
    }
    givePortNumber(channel, db, boardIndex, i, number);
    markTaken(&usage, number);
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
