// The driver reply reader and the text command builder. Two ways in, chosen by the first
// byte:
// - a reply buffer of any size and content, read with readReplyCode over a driver that
//   writes nothing back;
// - sendSettingCommand with any selector, board and port index, names and values of any
//   UTF-16 units, any buffer size, through the simulated driver answering with any
//   reply text (or failing, or not answering).
// Each result is compared with the reply rule worked out here independently, and each
// command text the driver saw with the one the rule for command texts gives.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver_channel.h"
#include "inventory/inventory.h"
#include "platform/sim/event_log.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_code_page.h"
#include "platform/sim/utf.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t kTextOffset = 16;
constexpr size_t kFieldCharacters = 79;
const char kDriverKnobs[] =
    "Windows Registry Editor Version "
    "5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim\\Driver]\r\n";

// The reply code of the bytes at 16 .. size (see the reply rule): the first ':' before a
// zero byte, then spaces, an optional '-' and decimal digits. *exact is false when the
// digits are too many for the code to be compared exactly.
int expectedReplyCode(const std::vector<unsigned char>& buffer, size_t size, bool* exact) {
  *exact = true;
  size_t at = kTextOffset;
  while (at < size && buffer[at] != 0 && buffer[at] != ':') ++at;
  if (at >= size || buffer[at] != ':') return kDriverReplyNoColon;
  ++at;
  while (at < size && buffer[at] == ' ') ++at;
  const bool negative = at < size && buffer[at] == '-';
  if (negative) ++at;
  int64_t value = 0;
  int digits = 0;
  for (; at < size && buffer[at] >= '0' && buffer[at] <= '9'; ++at, ++digits) {
    if (digits < 9) value = value * 10 + (buffer[at] - '0');
  }
  *exact = digits <= 9;
  return static_cast<int>(negative ? -value : value);
}

// Wide text of up to `maxUnits` UTF-16 units from the input (a zero unit ends it early).
std::vector<wchar_t> wideText(FuzzInput& input, size_t maxUnits) {
  const size_t units = input.byte() % (maxUnits + 1);
  std::vector<wchar_t> text;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t low = input.byte();
    text.push_back(static_cast<wchar_t>(low | (static_cast<uint32_t>(input.byte()) << 8)));
  }
  text.push_back(L'\0');
  return text;
}

// A text as its 80-byte ANSI field holds it: the ANSI form of its first 79 characters
// (a surrogate pair is one character; every character is one byte in 1252).
std::string ansiField(const wchar_t* text) {
  std::u16string units = fromWide(text);
  size_t characters = 0;
  size_t at = 0;
  while (at < units.size() && characters < kFieldCharacters) {
    const bool pair = units[at] >= 0xD800 && units[at] <= 0xDBFF && at + 1 < units.size() &&
                      units[at + 1] >= 0xDC00 && units[at + 1] <= 0xDFFF;
    at += pair ? 2 : 1;
    ++characters;
  }
  return toAnsi(units.substr(0, at));
}

// The command text the rule gives, or empty when it and its terminator do not fit.
std::string expectedCommand(int selector, const std::string& key, int portIndex,
                            const std::string& name, const std::string& value, size_t limit) {
  std::string text;
  if (selector == kGlobalCommand) {
    text = name + "=" + value;
  } else if (selector == kBoardCommand) {
    text = "device[" + key + "]." + name + "=" + value;
  } else {
    text = "device[" + key + "].port[" + std::to_string(portIndex) + "]." + name + "=" + value;
  }
  return text.size() + 1 <= limit ? text : std::string();
}

// The text= part of the exchange's log line, or nullptr when there was no exchange.
const std::string* exchangeLine(const SimMachine& machine) {
  for (const std::string& line : machine.log) {
    if (line.rfind("ioctl ", 0) == 0) return &line;
  }
  return nullptr;
}

void readArbitraryReply(FuzzInput& input) {
  FuzzMachine machine(std::string(kDriverKnobs) + "\"NoReply\"=dword:00000001\r\n");
  const bool commandHeader = (input.byte() & 1) != 0;
  const std::string bytes = input.rest();
  // Exactly as large as the channel says, so that a read past it is caught.
  std::vector<unsigned char> buffer(bytes.begin(), bytes.end());
  if (commandHeader && buffer.size() >= 4) {
    buffer[0] = kTextCommandType;
    buffer[1] = buffer[2] = buffer[3] = 0;
  }
  DriverChannel channel{};
  fuzzCheck(openDriverChannel(&channel) == kDriverOk, "the control device opens");
  channel.buffer = buffer.empty() ? nullptr : buffer.data();
  channel.bufferSize = static_cast<uint32_t>(buffer.size());
  const std::vector<unsigned char> sent = buffer;
  const int code = readReplyCode(&channel);
  closeOsHandle(channel.handle);

  const bool served = sent.size() >= kTextOffset && sent[0] == kTextCommandType && sent[1] == 0 &&
                      sent[2] == 0 && sent[3] == 0;
  if (!served) {
    fuzzCheck(code == kDriverReplyExchangeFailed, "a request the driver refuses gives 256");
    return;
  }
  fuzzCheck(buffer == sent, "a driver that does not answer leaves the buffer as it was");
  bool exact = true;
  const int expected = expectedReplyCode(buffer, buffer.size(), &exact);
  if (exact) {
    fuzzCheck(code == expected, "the reply code follows the reply rule",
              std::to_string(code) + " != " + std::to_string(expected));
  }
}

void sendArbitraryCommand(FuzzInput& input) {
  const uint8_t knobs = input.byte();
  const int selector = input.byte() % 5;
  const int boardIndex = static_cast<int8_t>(input.byte());
  const int portIndex = static_cast<int32_t>(input.word());
  const uint32_t bufferSize = input.byte() % (kCommandExchangeSize + 1);

  std::string knobText = kDriverKnobs;
  if (knobs & 1) knobText += "\"FailExchange\"=dword:00000001\r\n";
  if (knobs & 2) knobText += "\"NoReply\"=dword:00000001\r\n";
  FuzzMachine machine(knobText);
  if (knobs & 4) {  // any reply bytes, as a REG_SZ of any length
    const std::string reply = input.bytes(input.byte());
    machine.registry().setValue(machine.registry().addKey(u"SOFTWARE\\ZephynSim\\Driver"), u"Reply",
                                1, reply);
  }

  fuzzCheck(createInventory() == 0, "an Inventory is made");
  const std::vector<wchar_t> keyName = wideText(input, 60);
  if (boardIndex >= 0 && boardIndex < kMaxBoards) {
    copyText(gInventory->boards[boardIndex].keyName, keyName.data());
  }
  const std::vector<wchar_t> valueName = wideText(input, 100);
  const std::vector<wchar_t> valueText = wideText(input, 100);

  // The text area lies at offset 16 and holds bufferSize bytes.
  std::vector<unsigned char> buffer(kTextOffset + bufferSize, 0);
  buffer[0] = kTextCommandType;
  DriverChannel channel{};
  fuzzCheck(openDriverChannel(&channel) == kDriverOk, "the control device opens");
  channel.buffer = buffer.data();
  channel.bufferSize = bufferSize;
  const int code = sendSettingCommand(&channel, selector, boardIndex, portIndex, valueName.data(),
                                      valueText.data());
  closeOsHandle(channel.handle);

  const std::string key = (boardIndex >= 0 && boardIndex < kMaxBoards)
                              ? ansiField(gInventory->boards[boardIndex].keyName)
                              : std::string();
  releaseInventory();

  const std::string* line = exchangeLine(machine.machine());
  if (bufferSize == 0) {
    fuzzCheck(code == kDriverReplyExchangeFailed, "no text area gives 256");
    fuzzCheck(line == nullptr, "no text area sends nothing");
    return;
  }
  if (selector < kGlobalCommand || selector > kPortCommand) {
    fuzzCheck(code == kDriverUnknownForm, "an unknown form gives 258");
    fuzzCheck(line == nullptr, "an unknown form sends nothing");
    return;
  }
  fuzzCheck(line != nullptr, "a command is sent");

  const std::string command = expectedCommand(selector, key, portIndex, ansiField(valueName.data()),
                                              ansiField(valueText.data()), bufferSize);
  if (bufferSize > kTextOffset) {
    // The driver sees the first bufferSize bytes of the buffer: the text cut there.
    const std::string seen = command.substr(0, bufferSize - kTextOffset);
    const std::string text = " text=" + quoteLogText(seen);
    fuzzCheck(line->find(text) != std::string::npos, "the driver sees the command text",
              *line + "\nexpected" + text);
  }

  const bool failed = (knobs & 1) != 0 || bufferSize < kTextOffset;
  if (failed) {
    fuzzCheck(code == kDriverReplyExchangeFailed, "a failed exchange gives 256");
    return;
  }
  bool exact = true;
  const int reply = expectedReplyCode(buffer, bufferSize, &exact);
  if (exact) {
    fuzzCheck(code == (reply == 52 ? 0 : reply), "the result follows the reply code",
              std::to_string(code) + " for reply code " + std::to_string(reply));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  if ((input.byte() & 1) == 0) {
    readArbitraryReply(input);
  } else {
    sendArbitraryCommand(input);
  }
  return 0;
}
