#include "apply/com_numbers.h"

#include <cstring>
#include <iterator>

#include "inventory/inventory.h"
#include "inventory/setting_codes.h"
#include "platform/os_comdb.h"
#include "platform/text.h"

namespace {

// The usage map, one byte per COM number (all free when the database does not answer),
// with the numbers this option has given to ports marked too: a number whose claim
// failed is not in the database but must still not be given twice.
struct NumberSearch {
  uint8_t bytes[kHighestComNumber];
  int32_t given[kMaxPorts];
  int givenCount;
};

// The open database, or the error of its open.
struct Database {
  ComDb db;
  uint32_t openError;
};

bool inDatabaseRange(int64_t number) { return number >= 1 && number <= kHighestComNumber; }

void markTaken(uint8_t (&bytes)[kHighestComNumber], int32_t number) {
  if (inDatabaseRange(number)) bytes[number - 1] = 1;
}

// Reads the map afresh, with the numbers given so far marked.
void readUsage(const Database& db, NumberSearch* search) {
  std::memset(search->bytes, 0, sizeof search->bytes);
  if (db.db != nullptr)
    getComPortUsage(db.db, search->bytes, sizeof search->bytes, kCdbReportBytes);
  for (int i = 0; i < search->givenCount; ++i) markTaken(search->bytes, search->given[i]);
}

void give(NumberSearch* search, int32_t number) {
  markTaken(search->bytes, number);
  if (search->givenCount < kMaxPorts) search->given[search->givenCount++] = number;
}

void releaseNumber(const Database& db, int32_t number) {
  if (db.db != nullptr) releaseComPort(db.db, static_cast<uint32_t>(number < 0 ? 0 : number));
}

// Until the database is resized it arbitrates fewer numbers than the map covers (256 on a
// fresh machine), and a number above its size would stay unrecorded, free for the next
// device. So it grows to the smallest multiple of 1024 that holds the number. kOsSuccess
// when it holds the number, or its size cannot be read (the claim then tells); else the
// error of the resize.
uint32_t makeRoomFor(const Database& db, int32_t number) {
  uint32_t size = 0;
  if (db.db == nullptr || getComDbSize(db.db, &size) != kOsSuccess ||
      static_cast<uint32_t>(number) <= size) {
    return kOsSuccess;
  }
  const uint32_t steps = (static_cast<uint32_t>(number) + kComDbSizeStep - 1) / kComDbSizeStep;
  const uint32_t newSize = steps * kComDbSizeStep;
  return resizeComDb(db.db, newSize < kComDbMostPorts ? newSize : kComDbMostPorts);
}

// ComDBClaimPort with ForceClaim FALSE (the flag is reserved), after making room; its
// result, or the open's error when there is no database.
uint32_t claimNumber(const Database& db, int32_t number) {
  if (db.db == nullptr) return db.openError;
  makeRoomFor(db, number);
  return claimComPort(db.db, static_cast<uint32_t>(number), false);
}

void tellNotRecorded(ApplyRun& run, int32_t number, uint32_t error) {
  notify(run, {NoticeKind::kComNotRecorded, {number, 0, 0}, error, L""});
}

// Claims the number a port keeps.
void claimKept(ApplyRun& run, const Database& db, NumberSearch* search, int32_t number) {
  if (!inDatabaseRange(number)) return;
  const uint32_t claimed = claimNumber(db, number);
  if (claimed != kOsSuccess) tellNotRecorded(run, number, claimed);
  give(search, number);
}

// Claims `number` for a port. When another program took it after the map was read, the
// map is read again and the claim moves on to the next number free above it. The number
// the port gets (one whose claim failed otherwise too: the run is told), or 0 when
// nothing from `number` on is free any more.
int32_t claimFree(ApplyRun& run, const Database& db, NumberSearch* search, int32_t number) {
  while (number != 0) {
    const uint32_t claimed = claimNumber(db, number);
    if (claimed == kOsSharingViolation) {
      readUsage(db, search);
      number = nextFreeComNumber(search->bytes, static_cast<int64_t>(number) + 1);
      continue;
    }
    if (claimed != kOsSuccess) tellNotRecorded(run, number, claimed);
    give(search, number);
    return number;
  }
  return 0;
}

// Tells the driver the port's new name and stores it.
void givePortNumber(ApplyRun& run, int portIndex, int32_t number) {
  wchar_t comName[16] = {};
  formatText(comName, L"COM%d", static_cast<int>(number));
  sendCommand(run, kPortCommand, portIndex, findSetting(kSetPortName)->valueName, comName);
  PortRecord* port = portAt(boardAt(gInventory, run.request->boardIndex), portIndex);
  if (port != nullptr) copyText(port->comName, comName);
}

// A number a port may take when the numbers from the start on have run out: free in the
// map, not given to a port of this run, and not the former number of a later port (which
// keeps that number when it finds no new one either).
bool spareNumber(const uint8_t (&usage)[kHighestComNumber], const int32_t* formers, int firstLater,
                 int portCount, int32_t number) {
  if (!inDatabaseRange(number) || usage[number - 1] != 0) return false;
  for (int j = firstLater; j < portCount; ++j) {
    if (formers[j] == number) return false;
  }
  return true;
}

// The number of a port for which no number from the start on is left: its former one,
// unless an earlier port took it in this run; then the lowest number an earlier port gave
// up, else the lowest spare number at all. A former number outside the map is kept as it
// is. 0 when nothing is spare.
int32_t numberPastTheEnd(const uint8_t (&usage)[kHighestComNumber], const int32_t* formers,
                         int port, int portCount) {
  const int32_t own = formers[port];
  if (!inDatabaseRange(own) || usage[own - 1] == 0) return own;
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

// The number port `port` is due: the first free one from *next on, which moves past it;
// once none is left, numberPastTheEnd, and *keeps tells whether the port keeps its name
// (its former number, or none at all).
int32_t numberDue(const uint8_t (&usage)[kHighestComNumber], const int32_t* formers, int port,
                  int portCount, int64_t* next, bool* keeps) {
  *keeps = false;
  const int32_t number = nextFreeComNumber(usage, *next);
  if (number != 0) {
    *next = static_cast<int64_t>(number) + 1;
    return number;
  }
  *next = kHighestComNumber + 1;
  const int32_t spare = numberPastTheEnd(usage, formers, port, portCount);
  *keeps = spare == formers[port] || spare == 0;
  return spare;
}

// The highest number the board's ports will be due from `first` on, on a map in which
// the board's own numbers are free.
int32_t highestNumberDue(const NumberSearch& before, const int32_t* formers, int portCount,
                         int64_t first) {
  uint8_t usage[kHighestComNumber];
  std::memcpy(usage, before.bytes, sizeof usage);
  for (int i = 0; i < portCount; ++i) {
    if (inDatabaseRange(formers[i])) usage[formers[i] - 1] = 0;
  }
  int32_t highest = 0;
  for (int i = 0; i < portCount; ++i) {
    bool keeps = false;
    const int32_t number = numberDue(usage, formers, i, portCount, &first, &keeps);
    markTaken(usage, number);
    if (number > highest) highest = number;
  }
  return highest;
}

// Whether the board's ports are named COM<first>, COM<first + 1>, ... in order.
bool namedConsecutively(const BoardRecord& board, int64_t first) {
  for (int i = 0; const PortRecord* port = portAt(&board, i); ++i) {
    wchar_t expected[16] = {};
    formatText(expected, L"COM%lld", static_cast<long long>(first + i));
    if (!equalsIgnoreCase(port->comName, expected)) return false;
  }
  return true;
}

Database openDatabase() {
  Database db{nullptr, kOsSuccess};
  db.openError = openComDb(&db.db);
  if (db.openError == kOsSuccess && db.db == nullptr) db.openError = kOsInvalidHandle;
  return db;
}

void closeDatabase(const Database& db) {
  if (db.db != nullptr) closeComDb(db.db);
}

void tellCannotHold(ApplyRun& run, int32_t number, uint32_t error) {
  notify(run, {NoticeKind::kComDbCannotHold, {number, 0, 0}, error, L""});
}

}  // namespace

int32_t firstNumberInText(const wchar_t* text) {
  if (text == nullptr) return 0;
  while (*text != L'\0' && !isDecimalDigit(*text)) ++text;
  size_t at = 0;
  return static_cast<int32_t>(scanDecimal(text, &at, SIZE_MAX, INT32_MAX));
}

int32_t nextFreeComNumber(const uint8_t (&usage)[kHighestComNumber], int64_t from) {
  for (int64_t number = from < 1 ? 1 : from; number <= kHighestComNumber; ++number) {
    if (usage[number - 1] == 0) return static_cast<int32_t>(number);
  }
  return 0;
}

int checkComPortDatabaseReadable(uint32_t* error) {
  uint32_t unused = kOsSuccess;
  if (error == nullptr) error = &unused;
  ComDb db = nullptr;
  *error = openComDb(&db);
  if (*error == kOsAccessDenied) return kComDbAccessDenied;
  if (*error != kOsSuccess || db == nullptr) {
    if (*error == kOsSuccess) *error = kOsInvalidHandle;
    return kComDbUnreadable;
  }
  uint8_t usage[kHighestComNumber] = {};
  *error = getComPortUsage(db, usage, sizeof usage, kCdbReportBytes);
  closeComDb(db);
  return *error == kOsSuccess ? kComDbReadable : kComDbUnreadable;
}

void renumberBoardPorts(ApplyRun& run, const wchar_t* start) {
  const BoardRecord* board = boardAt(gInventory, run.request->boardIndex);
  const int64_t first = firstNumberInText(start);
  if (board == nullptr || !inDatabaseRange(first)) return;
  const int portCount = portsInUse(*board);

  Database db = openDatabase();
  int32_t formerNumbers[kMaxPorts] = {};
  for (int i = 0; i < portCount; ++i) {
    formerNumbers[i] = firstNumberInText(portAt(board, i)->comName);
  }
  NumberSearch search{};
  readUsage(db, &search);
  // Nothing is released before the database can hold every number the ports will get.
  const int32_t highest = highestNumberDue(search, formerNumbers, portCount, first);
  const uint32_t room = makeRoomFor(db, highest);
  if (room != kOsSuccess) {
    tellCannotHold(run, highest, room);
    closeDatabase(db);
    return;
  }

  for (int i = 0; i < portCount; ++i) releaseNumber(db, formerNumbers[i]);
  // Read after the release, so the board's own numbers count as free.
  readUsage(db, &search);
  int64_t next = first;
  for (int i = 0; i < portCount; ++i) {
    bool keeps = false;
    const int32_t due = numberDue(search.bytes, formerNumbers, i, portCount, &next, &keeps);
    if (keeps) {
      // The port keeps its name; no command.
      claimKept(run, db, &search, due);
      continue;
    }
    const int32_t number = claimFree(run, db, &search, due);
    if (number == 0) {
      // Other programs took every number above: the port takes one as when the numbers run
      // out, on the map as it now is.
      const int32_t spare = numberPastTheEnd(search.bytes, formerNumbers, i, portCount);
      claimKept(run, db, &search, spare);
      if (spare != formerNumbers[i] && spare != 0) givePortNumber(run, i, spare);
      continue;
    }
    if (number >= next) next = static_cast<int64_t>(number) + 1;
    givePortNumber(run, i, number);
  }
  closeDatabase(db);
  if (!namedConsecutively(*board, first)) {
    notify(run, {NoticeKind::kStartSkipped, {run.request->boardIndex, 0, 0}, 0, L""});
  }
}

void renamePort(ApplyRun& run, const wchar_t* portname) {
  const int32_t requested = firstNumberInText(portname);
  if (requested < 1 || requested > kHighestComNumber - 1) return;

  const PortRecord* port =
      portAt(boardAt(gInventory, run.request->boardIndex), run.request->portIndex);
  if (port == nullptr) return;
  wchar_t formerName[16] = {};
  copyText(formerName, port->comName);
  const int32_t former = firstNumberInText(port->comName);
  Database db = openDatabase();
  NumberSearch search{};
  readUsage(db, &search);
  // The port's own number counts as free, so a request for its own name keeps it.
  uint8_t usage[kHighestComNumber];
  std::memcpy(usage, search.bytes, sizeof usage);
  if (inDatabaseRange(former)) usage[former - 1] = 0;
  const int32_t due = nextFreeComNumber(usage, requested);
  if (due == 0) {
    notify(run, {NoticeKind::kComNumbersRunOut, {requested, 0, 0}, 0, formerName});
    closeDatabase(db);
    return;
  }
  const uint32_t room = makeRoomFor(db, due);
  if (room != kOsSuccess) {
    tellCannotHold(run, due, room);
    closeDatabase(db);
    return;
  }

  releaseNumber(db, former);
  readUsage(db, &search);
  const int32_t number = claimFree(run, db, &search, due);
  if (number == 0) {
    claimKept(run, db, &search, former);
    notify(run, {NoticeKind::kComNumbersRunOut, {requested, 0, 0}, 0, formerName});
  } else {
    givePortNumber(run, run.request->portIndex, number);
    if (number == former && number != requested) {
      notify(run, {NoticeKind::kComNumberInUseKept, {requested, 0, 0}, 0, formerName});
    } else if (number != requested) {
      notify(run, {NoticeKind::kComNumberInUse, {requested, number, 0}, 0, formerName});
    }
  }
  closeDatabase(db);
}
