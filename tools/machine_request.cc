#include "tools/machine_request.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "apply/com_numbers.h"
#include "inventory/identification.h"
#include "inventory/inventory.h"
#include "platform/sim/utf.h"

namespace {

constexpr uint32_t kDefaultPciModel = 0x805;
constexpr uint32_t kDefaultIsaModel = 0x008;
// The I/O bases the program shows (256 to 1023), the first default one and the range
// each ISA board is given.
constexpr uint32_t kLowestIoBase = 0x100;
constexpr uint32_t kHighestIoBase = 0x3FF;
constexpr uint32_t kFirstIoBase = 0x180;
constexpr uint32_t kIoRangeLength = 8;
constexpr size_t kNameCharacters = 63;  // UTF-16 units: BoardRecord.displayName holds no more
const char kBoardForm[] = "[COUNTx]BUS[-MODEL][:PORTS][@BASE]";

struct ParseState {
  MachineRequest* request;
  size_t lastBoardsFrom;  // the first board of the last --board
  std::string* error;

  bool fail(const std::string& reason) {
    *error = reason;
    return false;
  }
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A whole text of digits of `base` (16 also takes a leading 0x), at most `limit`.
bool parseNumber(std::string text, int base, uint32_t limit, uint32_t* value) {
  if (base == 16 && lower(text.substr(0, 2)) == "0x") text.erase(0, 2);
  if (text.empty() || text.size() > 8) return false;
  uint32_t result = 0;
  for (char c : text) {
    const int lowered = std::tolower(static_cast<unsigned char>(c));
    int digit = -1;
    if (lowered >= '0' && lowered <= '9') digit = lowered - '0';
    if (base == 16 && lowered >= 'a' && lowered <= 'f') digit = lowered - 'a' + 10;
    if (digit < 0) return false;
    result = result * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  *value = result;
  return result <= limit;
}

// "COM<n>", n from 1 to the database's highest number.
bool parseComName(const std::string& text, uint32_t* number) {
  return lower(text.substr(0, 3)) == "com" &&
         parseNumber(text.substr(3), 10, kHighestComNumber, number) && *number >= 1;
}

// Cuts `text` at its first `mark`: *tail gets what follows it. False when there is none.
bool cutAt(std::string* text, char mark, std::string* tail) {
  const size_t at = text->find(mark);
  if (at == std::string::npos) return false;
  *tail = text->substr(at + 1);
  text->erase(at);
  return true;
}

bool addBoards(ParseState& state, const std::string& value) {
  const std::string bad = "bad board '" + value + "' (expected " + kBoardForm + ")";
  std::string rest = value;
  uint32_t count = 1;
  const size_t digits = rest.find_first_not_of("0123456789");
  if (digits != std::string::npos && digits > 0 && (rest[digits] == 'x' || rest[digits] == 'X')) {
    if (!parseNumber(rest.substr(0, digits), 10, UINT32_MAX, &count) || count == 0) {
      return state.fail(bad);
    }
    rest.erase(0, digits + 1);
  }
  BoardRequest board;
  std::string base, ports, model;
  board.baseGiven = cutAt(&rest, '@', &base);
  const bool portsGiven = cutAt(&rest, ':', &ports);
  const bool modelGiven = cutAt(&rest, '-', &model);
  if (lower(rest) == "pci") {
    board.modelCode = kDefaultPciModel;
  } else if (lower(rest) == "isa") {
    board.bus = BoardBus::kIsa;
    board.modelCode = kDefaultIsaModel;
  } else {
    return state.fail(bad);
  }
  uint32_t portCount = 0;
  if (modelGiven && !parseNumber(model, 16, 0xFFF, &board.modelCode)) return state.fail(bad);
  if (lookupModel(board.modelCode, &portCount, kModelPortCount) != 0) {
    return state.fail("no model " + model + " in the catalogue (see --help): '" + value + "'");
  }
  if (portsGiven && (!parseNumber(ports, 10, kMaxPorts, &portCount) || portCount == 0)) {
    return state.fail("a board has 1 to 64 ports: '" + value + "'");
  }
  board.portCount = static_cast<int>(portCount);
  if (board.baseGiven && board.bus == BoardBus::kPci) {
    return state.fail("a PCI board has no I/O base: '" + value + "'");
  }
  if (board.baseGiven &&
      (!parseNumber(base, 16, kHighestIoBase, &board.ioBase) || board.ioBase < kLowestIoBase)) {
    return state.fail("an ISA board's I/O base lies from 0x100 to 0x3FF: '" + value + "'");
  }
  MachineRequest& request = *state.request;
  if (request.boards.size() + count > static_cast<size_t>(kMaxBoards)) {
    return state.fail("a machine holds at most 64 boards");
  }
  state.lastBoardsFrom = request.boards.size();
  for (uint32_t i = 0; i < count; ++i) {
    request.boards.push_back(board);
    board.baseGiven = false;  // the copies take the ranges that follow
  }
  return true;
}

bool nameBoards(ParseState& state, const std::string& value) {
  MachineRequest& request = *state.request;
  if (state.lastBoardsFrom == request.boards.size()) {
    return state.fail("--name names the --board before it");
  }
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7F) return state.fail("a board name holds no control character");
  }
  // Decoding would turn bytes that are not UTF-8 into U+FFFD unnoticed.
  const std::u16string units = utf8ToUtf16(value);
  if (utf16ToUtf8(units) != value) return state.fail("a board name must be UTF-8 text");
  if (units.empty() || units.size() > kNameCharacters) {
    return state.fail("a board name has 1 to 63 characters");
  }
  for (size_t i = state.lastBoardsFrom; i < request.boards.size(); ++i)
    request.boards[i].name = value;
  state.lastBoardsFrom = request.boards.size();  // one name per --board
  return true;
}

bool setStart(ParseState& state, const std::string& value) {
  if (!parseComName(value, &state.request->startCom)) {
    return state.fail("bad COM name '" + value + "' (COM1 to COM4096)");
  }
  return true;
}

bool addHeld(ParseState& state, const std::string& value) {
  std::string first = value, last;
  uint32_t from = 0, to = 0;
  const bool range = cutAt(&first, '-', &last);
  if (!parseComName(first, &from) || !parseComName(range ? last : first, &to) || to < from) {
    return state.fail("bad COM numbers '" + value + "' (COMn or COMn-COMm, up to COM4096)");
  }
  for (uint32_t n = from; n <= to; ++n) state.request->held.push_back(n);
  return true;
}

bool askHelp(ParseState& state, const std::string&) {
  state.request->help = true;
  return true;
}

struct OptionRow {
  const char* word;
  bool takesValue;
  bool (*apply)(ParseState& state, const std::string& value);
};

const OptionRow kOptions[] = {
    {"--board", true, addBoards}, {"--name", true, nameBoards}, {"--start", true, setStart},
    {"--held", true, addHeld},    {"--help", false, askHelp},
};

// PCI boards come first ("PCI\" sorts before "ROOT\"), by model (their ids differ in it).
bool listedBefore(const BoardRequest& a, const BoardRequest& b) {
  if (a.bus != b.bus) return a.bus == BoardBus::kPci;
  return a.bus == BoardBus::kPci && a.modelCode < b.modelCode;
}

bool placeIsaBoards(ParseState& state) {
  uint32_t next = kFirstIoBase;
  std::vector<const BoardRequest*> placed;
  for (BoardRequest& board : state.request->boards) {
    if (board.bus != BoardBus::kIsa) continue;
    if (!board.baseGiven) {
      if (next > kHighestIoBase)
        return state.fail("no I/O base is left for an ISA board: give one");
      board.ioBase = next;
    }
    next = board.ioBase + kIoRangeLength;
    // The bus allocates each board a range of its own.
    for (const BoardRequest* other : placed) {
      if (board.ioBase < other->ioBase + kIoRangeLength &&
          other->ioBase < board.ioBase + kIoRangeLength) {
        char bases[64];
        std::snprintf(bases, sizeof bases, "0x%X and 0x%X", static_cast<unsigned>(other->ioBase),
                      static_cast<unsigned>(board.ioBase));
        return state.fail(std::string("two ISA boards' I/O ranges overlap (") + bases +
                          "): give each its own 8 bytes");
      }
    }
    placed.push_back(&board);
  }
  return true;
}

bool numberPorts(ParseState& state) {
  MachineRequest& request = *state.request;
  std::vector<bool> taken(kHighestComNumber + 1, false);
  for (uint32_t n : request.held) taken[n] = true;
  uint32_t next = request.startCom;
  for (BoardRequest& board : request.boards) {
    for (int j = 0; j < board.portCount; ++j) {
      while (next <= kHighestComNumber && taken[next]) ++next;
      if (next > kHighestComNumber) return state.fail("the ports need COM numbers above COM4096");
      board.comNumbers.push_back(next++);
    }
  }
  return true;
}

}  // namespace

bool parseMachineArgs(const std::vector<std::string>& args, MachineRequest* request,
                      std::string* error) {
  *request = MachineRequest();
  ParseState state{request, 0, error};
  for (size_t i = 0; i < args.size(); ++i) {
    const OptionRow* row = nullptr;
    for (const OptionRow& option : kOptions) {
      if (args[i] == option.word) row = &option;
    }
    if (row == nullptr) return state.fail("unknown argument '" + args[i] + "' (see --help)");
    if (row->takesValue && i + 1 == args.size()) {
      return state.fail(std::string(row->word) + " needs a value");
    }
    if (!row->apply(state, row->takesValue ? args[++i] : std::string())) return false;
  }
  if (request->help) return true;
  std::stable_sort(request->boards.begin(), request->boards.end(), listedBefore);
  return placeIsaBoards(state) && numberPorts(state);
}
