#include "cli/notes.h"

#include <cstdint>
#include <new>

#include "apply/com_numbers.h"
#include "inventory/inventory.h"
#include "platform/os_console.h"
#include "platform/text.h"

namespace {

// Room for the longest note: 64 COM names, or 63 device ids, in a list.
constexpr size_t kNoteCapacity = 2048;

template <typename... Args>
void printErrorLine(const wchar_t* format, Args... args) {
  wchar_t* line = new (std::nothrow) wchar_t[kNoteCapacity];
  if (line == nullptr) return;
  if (formatText(line, kNoteCapacity, format, args...)) {
    maskControlCharacters(line);
    writeErrorOutput(line);
  }
  delete[] line;
}

// The number of a name of the form COM<n> exactly, else 0.
int32_t comNumber(const wchar_t* name) {
  wchar_t canonical[16] = {};
  const int32_t number = firstNumberInText(name);
  formatText(canonical, L"COM%d", static_cast<int>(number));
  return number > 0 && equalsIgnoreCase(name, canonical) ? number : 0;
}

// The board's COM names in port order, each run of two or more consecutive numbers as
// a range: "COM7, COM9-COM11".
struct NoteList {
  wchar_t text[kNoteCapacity];
};

// Whether the board's port `portIndex` is in use and named COM<number>.
bool namedCom(const BoardRecord* board, int portIndex, int32_t number) {
  const PortRecord* port = portAt(board, portIndex);
  return port != nullptr && comNumber(port->comName) == number;
}

void listComNames(const BoardRecord* board, NoteList* into) {
  wchar_t(&list)[kNoteCapacity] = into->text;
  list[0] = L'\0';
  for (int i = 0; const PortRecord* port = portAt(board, i);) {
    int last = i;
    const int32_t number = comNumber(port->comName);
    while (number != 0 && namedCom(board, last + 1, number + (last + 1 - i))) ++last;
    if (i > 0) appendText(list, L", ");
    appendText(list, port->comName);
    if (last > i) {
      appendText(list, L"-");
      appendText(list, portAt(board, last)->comName);
    }
    i = last + 1;
  }
}

// The device ids of every board but `except`: "1, 2".
void listOtherBoards(int except, NoteList* into) {
  wchar_t(&list)[kNoteCapacity] = into->text;
  list[0] = L'\0';
  for (int i = 0; const BoardRecord* board = boardAt(gInventory, i); ++i) {
    if (i == except) continue;
    if (list[0] != L'\0') appendText(list, L", ");
    appendText(list, board->deviceId);
  }
}

// What fills a note's format, in order.
enum class NoteFill {
  kNothing,
  kCode,             // %lu: code
  kFirst,            // %d: numbers[0]
  kFirstCode,        // %d %lu
  kTwoNumbersCode,   // %d %d %lu
  kThreeNumbers,     // %d %d %d
  kFirstText,        // %d %ls
  kFirstTextSecond,  // %d %ls %d
  kTextCode,         // %ls %lu
  kBoardComNames,    // %ls: the COM names of board numbers[0]
  kOtherBoards,      // %ls: the device ids of every board but numbers[0]
};

struct NoticeRow {
  NoticeKind kind;
  NoteFill fill;
  const wchar_t* format;
};

const NoticeRow kNotices[] = {
    {NoticeKind::kNeedsRights, NoteFill::kNothing,
     L"ZPConfigUtil: access denied: the change needs administrator rights; run it from an "
     L"elevated prompt.\n"},
    {NoticeKind::kStoreRefused, NoteFill::kCode,
     L"ZPConfigUtil: the driver's settings in the registry cannot be written (error %lu): "
     L"nothing was changed.\n"},
    {NoticeKind::kComDbUnreadable, NoteFill::kCode,
     L"ZPConfigUtil: the COM port database cannot be read (error %lu): nothing was changed.\n"},
    {NoticeKind::kNoDriver, NoteFill::kCode,
     L"ZPConfigUtil: the driver's control device \\\\.\\zephyn cannot be opened (error %lu): "
     L"nothing was changed.\n"},
    {NoticeKind::kCommandsRefused, NoteFill::kThreeNumbers,
     L"ZPConfigUtil: the driver did not accept %d of %d commands (last result %d); the board "
     L"reads the settings from the registry when it restarts.\n"},
    {NoticeKind::kComNumberInUse, NoteFill::kFirstTextSecond,
     L"ZPConfigUtil: COM%d is in use, so %ls is now COM%d.\n"},
    {NoticeKind::kComNumberInUseKept, NoteFill::kFirstText,
     L"ZPConfigUtil: COM%d is in use, so %ls keeps its name.\n"},
    {NoticeKind::kComNumbersRunOut, NoteFill::kFirstText,
     L"ZPConfigUtil: COM%d and every number above it are in use, so %ls keeps its name.\n"},
    {NoticeKind::kStartSkipped, NoteFill::kBoardComNames,
     L"ZPConfigUtil: COM numbers in use were skipped: the board's ports are now %ls.\n"},
    {NoticeKind::kComDbCannotHold, NoteFill::kFirstCode,
     L"ZPConfigUtil: the COM port database cannot hold COM%d (error %lu): the port names were "
     L"not changed.\n"},
    {NoticeKind::kComNotRecorded, NoteFill::kFirstCode,
     L"ZPConfigUtil: the COM port database did not record COM%d (error %lu).\n"},
    {NoticeKind::kSharedSettings, NoteFill::kOtherBoards,
     L"ZPConfigUtil: the scan rate, verbose log and RS-485 mode are shared by every board; "
     L"board(s) %ls take the new values when they restart.\n"},
    {NoticeKind::kNameReceivedAs, NoteFill::kTextCode,
     L"ZPConfigUtil: the driver received the board name as \"%ls\" (code page %lu).\n"},
    {NoticeKind::kStoreIncomplete, NoteFill::kFirst,
     L"ZPConfigUtil: %d of the driver's settings could not be written to the registry; the "
     L"board starts with what the registry holds.\n"},
    {NoticeKind::kPortNodeNotUpdated, NoteFill::kTwoNumbersCode,
     L"ZPConfigUtil: the device node of port %d of board %d was not updated (error %lu).\n"},
    {NoticeKind::kRebootNeeded, NoteFill::kNothing,
     L"ZPConfigUtil: the change takes full effect after the computer restarts.\n"},
    {NoticeKind::kRestartFailed, NoteFill::kNothing,
     L"ZPConfigUtil: the board could not be restarted; the change takes full effect when the "
     L"board next starts.\n"},
    {NoticeKind::kRestartUnknown, NoteFill::kCode,
     L"ZPConfigUtil: whether the board restarted cannot be told (error %lu); check Device "
     L"Manager.\n"},
    {NoticeKind::kBoardNotStarted, NoteFill::kCode,
     L"ZPConfigUtil: the board did not start again after the restart (problem %lu); check its "
     L"settings and Device Manager.\n"},
};

void printFilled(const NoticeRow& row, const Notice& notice) {
  const int32_t* n = notice.numbers;
  const unsigned long code = notice.code;
  switch (row.fill) {
    case NoteFill::kNothing:
      return printErrorLine(row.format);
    case NoteFill::kCode:
      return printErrorLine(row.format, code);
    case NoteFill::kFirst:
      return printErrorLine(row.format, n[0]);
    case NoteFill::kFirstCode:
      return printErrorLine(row.format, n[0], code);
    case NoteFill::kTwoNumbersCode:
      return printErrorLine(row.format, n[0], n[1], code);
    case NoteFill::kThreeNumbers:
      return printErrorLine(row.format, n[0], n[1], n[2]);
    case NoteFill::kFirstText:
      return printErrorLine(row.format, n[0], notice.text);
    case NoteFill::kFirstTextSecond:
      return printErrorLine(row.format, n[0], notice.text, n[1]);
    case NoteFill::kTextCode:
      return printErrorLine(row.format, notice.text, code);
    case NoteFill::kBoardComNames:
    case NoteFill::kOtherBoards: {
      NoteList* list = new (std::nothrow) NoteList;
      if (list == nullptr) return;
      if (row.fill == NoteFill::kBoardComNames) {
        listComNames(boardAt(gInventory, n[0]), list);
      } else {
        listOtherBoards(n[0], list);
      }
      printErrorLine(row.format, static_cast<const wchar_t*>(list->text));
      delete list;
      return;
    }
  }
}

}  // namespace

void printNotice(const Notice& notice) {
  for (const NoticeRow& row : kNotices) {
    if (row.kind == notice.kind) return printFilled(row, notice);
  }
}

namespace {

struct NoteRow {
  Note note;
  const wchar_t* format;  // numbers: first, second
};

const NoteRow kNotes[] = {
    {Note::kUse64BitBuild,
     L"ZPConfigUtil: this 32-bit build cannot manage the boards of 64-bit Windows; use "
     L"ZPConfigUtil.exe, the 64-bit build.\n"},
    {Note::kPortCountUnreported,
     L"ZPConfigUtil: the driver did not report the port count of board %d; %d ports are "
     L"shown.\n"},
};

}  // namespace

void printNote(Note note, int first, int second) {
  for (const NoteRow& row : kNotes) {
    if (row.note == note) return printErrorLine(row.format, first, second);
  }
}
