#include "driver/driver_channel.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>

#include "inventory/inventory.h"
#include "platform/little_endian.h"
#include "platform/os_devices.h"
#include "platform/text.h"

namespace {

const wchar_t kControlDevicePath[] = L"\\\\.\\zephyn";

constexpr uint32_t kPortCountRecordSize = 40;
constexpr size_t kPortCountReplyOffset = 32;
constexpr int kReplyAccepted = 52;

// The port-count request record, made by the first query and kept for the process.
unsigned char* gPortCountRecord = nullptr;

// The text and its terminator in the ANSI code page, in a field of kAnsiFieldSize bytes.
// A text whose ANSI form does not fit is cut to its longest prefix of whole characters
// that does, so the field always ends terminated.
void toAnsiField(const wchar_t* text, char (&field)[kAnsiFieldSize]) {
  std::memset(field, 0, sizeof field);
  if (text == nullptr || toAnsiText(text, field, sizeof field) != 0) return;
  // Each character takes at least one byte, so a prefix that fits has at most
  // kAnsiFieldSize - 1 characters; a surrogate pair is one character of two units.
  constexpr size_t kMaxCharacters = kAnsiFieldSize - 1;
  size_t ends[kMaxCharacters + 1] = {};  // ends[n]: units in the first n characters
  size_t characters = 0;
  for (size_t at = 0; characters < kMaxCharacters && text[at] != L'\0'; ++characters) {
    at += (isHighSurrogate(text[at]) && isLowSurrogate(text[at + 1])) ? 2 : 1;
    ends[characters + 1] = at;
  }
  wchar_t prefix[2 * kMaxCharacters + 1];
  for (; characters > 0; --characters) {
    const size_t length = ends[characters];
    std::memcpy(prefix, text, length * sizeof(wchar_t));
    prefix[length] = L'\0';
    std::memset(field, 0, sizeof field);
    if (toAnsiText(prefix, field, sizeof field) != 0) return;
  }
  std::memset(field, 0, sizeof field);
}

const wchar_t* boardKeyName(int boardIndex) {
  const BoardRecord* board = boardSlot(gInventory, boardIndex);
  return board != nullptr ? board->keyName : L"";
}

// Reads the signed decimal reply code that starts at text[at], within text[0 .. end).
int parseReplyCode(const unsigned char* text, size_t at, size_t end) {
  while (at < end && text[at] == ' ') ++at;
  bool negative = false;
  if (at < end && text[at] == '-') {
    negative = true;
    ++at;
  }
  // The code is a 32-bit number; longer digit runs stay at the limit rather than wrap
  // round to a code that means something.
  const int64_t magnitude = static_cast<int64_t>(scanDecimal(text, &at, end, INT64_C(2147483648)));
  int64_t code = negative ? -magnitude : magnitude;
  if (code > INT32_MAX) code = INT32_MAX;
  return static_cast<int>(code);
}

bool readUiNumber(int boardIndex, uint32_t* uiNumber) {
  *uiNumber = 0;
  const BoardRecord* board = boardAt(gInventory, boardIndex);
  if (board == nullptr || board->deviceInfo == nullptr) return false;
  uint32_t type = kRegNone;
  uint32_t value = 0;
  if (!getDevicePropertyDword(gInventory->deviceInfoSet, board->deviceInfo, kSpdrpUiNumber, &type,
                              &value)) {
    return false;
  }
  if (type != kRegDword) return false;
  *uiNumber = value;
  return true;
}

}  // namespace

int openDriverChannel(DriverChannel* channel) {
  channel->controlCode = kDriverControlCode;
  channel->devicePath = kControlDevicePath;
  if (channel->handle == 0) {
    channel->handle = openControlDevice(channel->devicePath);
    if (channel->handle == kInvalidOsHandle) return kDriverOpenFailed;
  }
  if (channel->handle != 0 && channel->handle != kInvalidOsHandle) return kDriverOk;
  return kDriverBadHandle;
}

int exchangeDriverBuffer(DriverChannel* channel) {
  uint32_t returned = 0;
  bool done = deviceIoControl(channel->handle, channel->controlCode, channel->buffer,
                              channel->bufferSize, channel->buffer, channel->bufferSize, &returned);
  channel->bytesReturned = returned;
  return done ? kDriverOk : kDriverExchangeFailed;
}

int readReplyCode(DriverChannel* channel) {
  if (exchangeDriverBuffer(channel) != kDriverOk) return kDriverReplyExchangeFailed;
  const unsigned char* bytes = channel->buffer;
  const size_t end = channel->bufferSize;
  for (size_t at = kRequestHeaderSize; at < end && bytes[at] != 0; ++at) {
    if (bytes[at] == ':') return parseReplyCode(bytes, at + 1, end);
  }
  return kDriverReplyNoColon;
}

int sendSettingCommand(DriverChannel* channel, int selector, int boardIndex, int portIndex,
                       const wchar_t* valueName, const wchar_t* valueText) {
  if (channel->buffer == nullptr || channel->bufferSize == 0) return kDriverReplyExchangeFailed;
  char keyName[kAnsiFieldSize];
  char name[kAnsiFieldSize];
  char value[kAnsiFieldSize];
  toAnsiField(boardKeyName(boardIndex), keyName);
  toAnsiField(valueName, name);
  toAnsiField(valueText, value);

  char* text = reinterpret_cast<char*>(channel->buffer + kRequestHeaderSize);
  const size_t limit = channel->bufferSize;
  int written = -1;
  switch (selector) {
    case kGlobalCommand:
      written = std::snprintf(text, limit, "%s=%s", name, value);
      break;
    case kBoardCommand:
      written = std::snprintf(text, limit, "device[%s].%s=%s", keyName, name, value);
      break;
    case kPortCommand:
      written =
          std::snprintf(text, limit, "device[%s].port[%d].%s=%s", keyName, portIndex, name, value);
      break;
    default:
      return kDriverUnknownForm;
  }
  if (written < 0 || static_cast<size_t>(written) >= limit) text[0] = '\0';

  int code = readReplyCode(channel);
  return code == kReplyAccepted ? kDriverOk : code;
}

bool textReachesDriverWhole(const wchar_t* text, wchar_t (&received)[kReceivedTextCapacity]) {
  char field[kAnsiFieldSize];
  toAnsiField(text, field);
  received[0] = L'\0';
  if (fromAnsiText(field, received, std::size(received)) == 0) received[0] = L'\0';
  return std::wcscmp(received, text) == 0;
}

int queryPortCount(int boardIndex, uint32_t* portCount) {
  *portCount = 0;
  uint32_t uiNumber = 0;
  if (!readUiNumber(boardIndex, &uiNumber)) return kDriverNoUiNumber;
  if (gPortCountRecord == nullptr) {
    gPortCountRecord = new (std::nothrow) unsigned char[kPortCountRecordSize];
    if (gPortCountRecord == nullptr) return kDriverNoMemory;
  }
  DriverChannel channel{};
  std::memset(gPortCountRecord, 0, kPortCountRecordSize);
  if (openDriverChannel(&channel) != kDriverOk) return kDriverQueryOpenFailed;

  channel.buffer = gPortCountRecord;
  channel.bufferSize = kPortCountRecordSize;
  writeLittleEndian(gPortCountRecord + 0, 4, kPortCountType);
  writeLittleEndian(gPortCountRecord + 4, 4, kPortCountRecordSize - kRequestHeaderSize);
  writeLittleEndian(gPortCountRecord + 8, 4, 0);
  writeLittleEndian(gPortCountRecord + 12, 4, uiNumber);

  int exchanged = exchangeDriverBuffer(&channel);
  if (channel.handle != 0) closeOsHandle(channel.handle);
  if (exchanged != kDriverOk) return kDriverQueryExchangeFailed;
  *portCount = gPortCountRecord[kPortCountReplyOffset];
  return kDriverOk;
}

void releasePortCountRecord() {
  delete[] gPortCountRecord;
  gPortCountRecord = nullptr;
}
