#include "inventory/identification.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "driver/driver_channel.h"
#include "inventory/inventory.h"
#include "platform/little_endian.h"
#include "platform/os_devices.h"
#include "platform/text.h"

namespace {

const CatalogEntry kCatalog[] = {
    {0x001, 32, 0, false}, {0x002, 8, 0, false},  {0x003, 16, 0, false}, {0x004, 4, 0, false},
    {0x005, 8, 0, false},  {0x006, 8, 0, false},  {0x007, 4, 0, false},  {0x008, 8, 0, false},
    {0x009, 16, 0, false}, {0x00A, 4, 0, false},  {0x00B, 8, 0, false},  {0x00C, 6, 1, false},
    {0x00D, 4, 1, false},  {0x00E, 2, 0, false},  {0x00F, 2, 0, false},  {0x801, 32, 0, false},
    {0x802, 8, 0, false},  {0x803, 16, 0, false}, {0x805, 8, 0, true},   {0x80B, 8, 0, true},
    {0x80C, 8, 4, false},  {0x80D, 4, 4, false},  {0x80E, 2, 0, false},  {0x80F, 2, 0, false},
    {0x810, 4, 0, false},  {0x811, 8, 0, false},  {0x812, 8, 0, true},   {0x813, 8, 5, false},
    {0x814, 4, 5, false},  {0x903, 16, 0, false},
};

constexpr uint32_t kUnknownPortCount = 8;
constexpr uint32_t kUnknownModemKind = 0;

struct FallbackName {
  uint32_t modelCode;
  const wchar_t* modelName;
};

const wchar_t kPlusName[] = L"ZephynPort Plus";
const wchar_t kModemName[] = L"ZephynModem";
const wchar_t kDefaultModelName[] = L"ZephynPort";

const FallbackName kFallbackNames[] = {
    {0x00A, kPlusName},  {0x00B, kPlusName},  {0x00E, kPlusName},  {0x00F, kPlusName},
    {0x00C, kModemName}, {0x00D, kModemName}, {0x80C, kModemName}, {0x80D, kModemName},
    {0x813, kModemName}, {0x814, kModemName},
};

constexpr uint32_t kModelMask = 0xFFF;
constexpr int32_t kLowestIoBase = 256;
constexpr int32_t kHighestIoBase = 1023;
// The most resource data read for an I/O descriptor (an IO_RESOURCE with one range); the
// allocated base is the 64-bit value at offset 8.
constexpr uint32_t kIoResourceDataSize = 68;
constexpr size_t kIoAllocBaseOffset = 8;
constexpr uint32_t kIoAllocBaseEnd = kIoAllocBaseOffset + 8;

const CatalogEntry* findModel(uint32_t modelCode) {
  for (const CatalogEntry& entry : kCatalog) {
    if (entry.modelCode == modelCode) return &entry;
  }
  return nullptr;
}

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

// The board's port count; a failed query of the driver is kept in the record.
uint32_t boardPortCount(BoardRecord& board, int boardIndex, uint32_t modelCode) {
  board.portCountQuery = 0;
  if (modelAsksDriver(modelCode)) {
    uint32_t reported = 0;
    board.portCountQuery = queryPortCount(boardIndex, &reported);
    if (board.portCountQuery == kDriverOk) return reported;
  }
  return catalogPortCount(modelCode);
}

}  // namespace

int lookupModel(uint32_t modelCode, uint32_t* value, int selector) {
  if (selector != kModelPortCount && selector != kModelModemKind) return 2;
  const CatalogEntry* entry = findModel(modelCode);
  if (selector == kModelPortCount) {
    *value = entry != nullptr ? entry->portCount : kUnknownPortCount;
  } else {
    *value = entry != nullptr ? entry->modemKind : kUnknownModemKind;
  }
  return entry != nullptr ? 0 : 1;
}

const CatalogEntry* modelCatalog(size_t* count) {
  *count = std::size(kCatalog);
  return kCatalog;
}

uint32_t catalogPortCount(uint32_t modelCode) {
  uint32_t value = 0;
  lookupModel(modelCode, &value, kModelPortCount);
  return value;
}

uint32_t catalogModemKind(uint32_t modelCode) {
  uint32_t value = 0;
  lookupModel(modelCode, &value, kModelModemKind);
  return value;
}

bool modelAsksDriver(uint32_t modelCode) {
  const CatalogEntry* entry = findModel(modelCode);
  return entry != nullptr && entry->askDriver;
}

const wchar_t* fallbackModelName(uint32_t modelCode) {
  for (const FallbackName& row : kFallbackNames) {
    if (row.modelCode == modelCode) return row.modelName;
  }
  return kDefaultModelName;
}

int modelNameFallback(int boardIndex) {
  BoardRecord* board = boardSlot(gInventory, boardIndex);
  if (board == nullptr) return 0;
  if (board->modelName[0] == L'\0') copyText(board->modelName, fallbackModelName(board->modelCode));
  return 0;
}

int readHardwareId(wchar_t* buffer, size_t capacity, int boardIndex) {
  if (capacity == 0) return 1;
  // Zeroed whole: odd-sized data fills only half of its last unit.
  std::fill(buffer, buffer + capacity, L'\0');
  BoardRecord* board = boardSlot(gInventory, boardIndex);
  if (board == nullptr || board->deviceInfo == nullptr) return 1;
  uint32_t type = kRegNone;
  size_t units = capacity;
  if (!getDevicePropertyText(gInventory->deviceInfoSet, board->deviceInfo, kSpdrpHardwareId, &type,
                             buffer, &units)) {
    buffer[0] = L'\0';
    return 1;
  }
  if (type != kRegSz && type != kRegMultiSz) {
    buffer[0] = L'\0';
    return 2;
  }
  return terminateReadText(buffer, capacity, units) ? 0 : 1;
}

int parseModelCode(uint32_t* code, const wchar_t* hardwareId) {
  *code = 0;
  const wchar_t* at = hardwareId;
  while (*at != L'\0' && *at != L'D' && *at != L'd') ++at;
  if (*at == L'\0') return 1;
  ++at;
  while (*at != L'\0' && !isDecimalDigit(*at)) ++at;
  if (*at == L'\0') return 1;
  uint32_t value = 0;
  for (int digit = hexDigit(*at); digit >= 0; digit = hexDigit(*++at)) {
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  *code = value;
  return 0;
}

int detectBus(int32_t* bus, const wchar_t* hardwareId) {
  if (std::wcsstr(hardwareId, L"VEN_") != nullptr) {
    *bus = kBusPci;
    return 0;
  }
  *bus = kBusOther;
  return 1;
}

int readIoBase(int boardIndex) {
  BoardRecord* board = boardSlot(gInventory, boardIndex);
  if (board == nullptr || board->deviceInfo == nullptr) return 1;
  LogConfHandle logConf = 0;
  if (getFirstLogConf(&logConf, deviceNodeOf(board->deviceInfo), kAllocLogConf) != kCrSuccess ||
      logConf == 0) {
    return 1;
  }
  ResDesHandle resDes = 0;
  if (getNextResDes(&resDes, logConf, kResTypeIo) != kCrSuccess || resDes == 0) {
    freeLogConfHandle(logConf);
    return 2;
  }
  // The buffer is sized as the descriptor says; data that would not fit here, or that
  // ends before the allocated base, is not read.
  unsigned char data[kIoResourceDataSize] = {};
  uint32_t size = 0;
  uint32_t read = getResDesDataSize(&size, resDes);
  if (read == kCrSuccess) {
    read = size >= kIoAllocBaseEnd && size <= sizeof data ? getResDesData(resDes, data, size)
                                                          : kCrBufferSmall;
  }
  freeResDesHandle(resDes);
  freeLogConfHandle(logConf);
  if (read != kCrSuccess) return 3;

  const int32_t base = static_cast<int32_t>(readWord32(data + kIoAllocBaseOffset));
  board->ioAddress = (base >= kLowestIoBase && base <= kHighestIoBase) ? base : 0;
  return 0;
}

int identifyBoard(int boardIndex) {
  BoardRecord* board = boardSlot(gInventory, boardIndex);
  if (board == nullptr) return 1;
  wchar_t hardwareId[kHardwareIdCapacity];
  if (readHardwareId(hardwareId, std::size(hardwareId), boardIndex) != 0) return 1;

  uint32_t modelCode = 0;
  parseModelCode(&modelCode, hardwareId);
  int32_t bus = kBusOther;
  detectBus(&bus, hardwareId);
  if (bus == kBusPci) {
    if ((modelCode & kModelMask) == 0) board->ioAddress = kPciBus;
  } else if ((modelCode & kIsaBaseBit) != 0) {
    readIoBase(boardIndex);
  }

  board->portCount = static_cast<int32_t>(boardPortCount(*board, boardIndex, modelCode));
  board->portCount = portsInUse(*board);  // a driver may report more than the list holds
  board->modelCode = modelCode;
  board->modemKind = catalogModemKind(modelCode);
  return 0;
}
