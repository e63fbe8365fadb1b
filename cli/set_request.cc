#include "cli/set_request.h"

#include "cli/device_resolution.h"
#include "cli/usage.h"
#include "inventory/inventory.h"
#include "platform/text.h"

namespace {

struct OptionRow {
  const wchar_t* keyword;
  SettingCode code;
};

const OptionRow kBoardOptions[] = {
    {L"name", kSetBoardName}, {L"start", kSetStartCom},    {L"verbose", kSetVerboseLog},
    {L"scan", kSetScanRate},  {L"rs485", kSetGlobalRS485}, {L"default", kSetDefault},
    {nullptr, SettingCode{}},
};

const OptionRow kPortOptions[] = {
    {L"portname", kSetPortName},     {L"toggle", kSetRS485Override}, {L"low", kSetRS485Low},
    {L"baudrate", kSetLockBaud},     {L"timeout", kSetTxCloseTime},  {L"cd", kSetMapCdToDsr},
    {L"stopbits", kSetMap2StopsTo1}, {L"wait", kSetWaitOnTx},        {L"ring", kSetRingEmulate},
    {L"blockpnp", kSetBlockSerenum}, {L"default", kSetDefault},      {L"allports", kSetAllPorts},
    {nullptr, SettingCode{}},
};

enum class ValueKind { kComName, kBoardName, kOnOff, kDigits, kNoneOrDigits, kEmpty };

// Where a SettingCode's value goes. A row with a device kind applies only to requests of
// that kind; the first row that applies wins.
struct SettingRule {
  SettingCode code;
  int32_t deviceKind;  // 0 any
  ValueKind valueKind;
  uint32_t flag;
  int32_t SetRequest::*number;         // on/off, numeric and empty kinds
  wchar_t (SetRequest::*comName)[16];  // COM name kinds
};

const SettingRule kSettingRules[] = {
    {kSetBoardName, 0, ValueKind::kBoardName, kFlagName, nullptr, nullptr},
    {kSetStartCom, 0, ValueKind::kComName, kFlagStart, nullptr, &SetRequest::start},
    {kSetVerboseLog, 0, ValueKind::kOnOff, kFlagVerbose, &SetRequest::verbose, nullptr},
    {kSetScanRate, 0, ValueKind::kDigits, kFlagScan, &SetRequest::scan, nullptr},
    {kSetGlobalRS485, 0, ValueKind::kOnOff, kFlagRs485, &SetRequest::rs485, nullptr},
    {kSetDefault, kBoardDevice, ValueKind::kEmpty, kFlagBoardDefault, &SetRequest::boardDefault,
     nullptr},
    {kSetDefault, 0, ValueKind::kEmpty, kFlagPortDefault, &SetRequest::portDefault, nullptr},
    {kSetPortName, 0, ValueKind::kComName, kFlagPortname, nullptr, &SetRequest::portname},
    {kSetRS485Override, 0, ValueKind::kOnOff, kFlagToggle, &SetRequest::toggle, nullptr},
    {kSetRS485Low, 0, ValueKind::kOnOff, kFlagLow, &SetRequest::low, nullptr},
    {kSetLockBaud, 0, ValueKind::kNoneOrDigits, kFlagBaudrate, &SetRequest::baudrate, nullptr},
    {kSetTxCloseTime, 0, ValueKind::kDigits, kFlagTimeout, &SetRequest::timeout, nullptr},
    {kSetMapCdToDsr, 0, ValueKind::kOnOff, kFlagCd, &SetRequest::cd, nullptr},
    {kSetMap2StopsTo1, 0, ValueKind::kOnOff, kFlagStopbits, &SetRequest::stopbits, nullptr},
    {kSetWaitOnTx, 0, ValueKind::kOnOff, kFlagWait, &SetRequest::wait, nullptr},
    {kSetRingEmulate, 0, ValueKind::kOnOff, kFlagRing, &SetRequest::ring, nullptr},
    {kSetBlockSerenum, 0, ValueKind::kOnOff, kFlagBlockpnp, &SetRequest::blockpnp, nullptr},
    {kSetAllPorts, 0, ValueKind::kEmpty, kFlagAllports, &SetRequest::allports, nullptr},
};

constexpr size_t kMaxKeyUnits = kOptionKeyCapacity - 1;
constexpr size_t kMaxValueUnits = kOptionValueCapacity - 1;
constexpr size_t kMaxBoardNameUnits = 59;
constexpr uint32_t kMaxComNumber = 1023;
const wchar_t kForbiddenInBoardName[] = L"\\/:*?\"<>|";

// UTF-16 units of one wchar_t: a unit above U+FFFF (where wchar_t is wider than 16 bits)
// counts as the surrogate pair it would be on Windows.
template <typename Char>
size_t utf16Units(Char c) {
  if constexpr (sizeof(Char) > 2) {
    return static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
  } else {
    return 1;
  }
}

size_t utf16Length(const wchar_t* text, size_t count) {
  size_t units = 0;
  for (size_t i = 0; i < count; ++i) units += utf16Units(text[i]);
  return units;
}

bool isDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The value of a text of decimal digits; false for any other character or a value above
// 4294967295. The empty text is 0.
bool parseUnsigned32(const wchar_t* text, uint32_t* result) {
  uint64_t value = 0;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    if (!isDecimalDigit(*p)) return false;
    value = value * 10 + static_cast<uint64_t>(*p - L'0');
    if (value > 0xFFFFFFFFull) return false;
  }
  *result = static_cast<uint32_t>(value);
  return true;
}

int validate(ValueKind kind, const wchar_t* value) {
  switch (kind) {
    case ValueKind::kComName:
      return isComName(value);
    case ValueKind::kBoardName:
      return isBoardName(value);
    case ValueKind::kOnOff:
      return isOnOff(value);
    case ValueKind::kDigits:
      return isDigits(value);
    case ValueKind::kNoneOrDigits:
      return isNoneOrDigits(value);
    case ValueKind::kEmpty:
      return isEmptyValue(value);
  }
  return 1;
}

const SettingRule* findRule(SettingCode code, int32_t deviceKind) {
  for (const SettingRule& rule : kSettingRules) {
    if (rule.code == code && (rule.deviceKind == 0 || rule.deviceKind == deviceKind)) {
      return &rule;
    }
  }
  return nullptr;
}

const OptionRow* findOption(const OptionRow* table, const wchar_t* key) {
  for (const OptionRow* row = table; row->keyword != nullptr; ++row) {
    if (equalsIgnoreCase(row->keyword, key)) return row;
  }
  return nullptr;
}

}  // namespace

int isComName(const wchar_t* text) {
  const size_t length = textLength(text);
  if (length < 4 || length > 7) return 1;
  wchar_t prefix[4];
  copyText(prefix, text);
  if (!equalsIgnoreCase(prefix, L"COM")) return 1;
  uint32_t number = 0;
  if (!parseUnsigned32(text + 3, &number)) return 1;
  return (number >= 1 && number <= kMaxComNumber) ? 0 : 1;
}

int isBoardName(const wchar_t* text) {
  const size_t length = textLength(text);
  if (utf16Length(text, length) > kMaxBoardNameUnits) return 1;
  for (size_t i = 0; i < length; ++i) {
    // A control character would reach the driver and every report that shows the name.
    if (isControlCharacter(text[i])) return 1;
    for (const wchar_t* f = kForbiddenInBoardName; *f != L'\0'; ++f) {
      if (text[i] == *f) return 1;
    }
  }
  return 0;
}

int onOffValue(const wchar_t* text) {
  if (equalsIgnoreCase(text, L"on")) return 1;
  if (equalsIgnoreCase(text, L"off")) return 0;
  return 2;
}

int isOnOff(const wchar_t* text) { return onOffValue(text) == 2 ? 1 : 0; }

int isDigits(const wchar_t* text) {
  uint32_t unused = 0;
  return parseUnsigned32(text, &unused) ? 0 : 1;
}

int isNoneOrDigits(const wchar_t* text) {
  return equalsIgnoreCase(text, L"none") ? 0 : isDigits(text);
}

int isEmptyValue(const wchar_t* text) { return text[0] == L'\0' ? 0 : 1; }

int splitOption(const wchar_t* argument, wchar_t (&key)[kOptionKeyCapacity],
                wchar_t (&value)[kOptionValueCapacity]) {
  key[0] = L'\0';
  value[0] = L'\0';
  if (argument[0] == L'\0') return 0;
  const size_t length = textLength(argument);
  size_t equals = 0;
  while (equals < length && argument[equals] != L'=') ++equals;

  // The key runs from the second character to the first '=' (or the end); an '=' in
  // first place leaves no key.
  const size_t keyStart = 1;
  const size_t keyUnits = equals > keyStart ? equals - keyStart : 0;
  if (utf16Length(argument + keyStart, keyUnits) <= kMaxKeyUnits) {
    copyText(key, keyUnits + 1, argument + keyStart);  // keyUnits + 1 <= the key's capacity
  }
  if (equals == length) return 0;

  const wchar_t* valueText = argument + equals + 1;
  if (utf16Length(valueText, length - equals - 1) > kMaxValueUnits) return 1;
  copyText(value, valueText);
  return 0;
}

int storeSetting(SettingCode code, const wchar_t* value, SetRequest* request) {
  const SettingRule* rule = findRule(code, request->kind);
  if (rule == nullptr) return 1;
  if (validate(rule->valueKind, value) != 0) return 1;
  if ((request->flags & rule->flag) != 0) return 1;

  uint32_t number = 0;
  switch (rule->valueKind) {
    case ValueKind::kBoardName:
      copyText(request->name, value);
      break;
    case ValueKind::kComName:
      copyText(request->*rule->comName, value);
      break;
    case ValueKind::kOnOff:
      request->*rule->number = onOffValue(value);
      break;
    case ValueKind::kNoneOrDigits:
    case ValueKind::kDigits:
      // "none" leaves 0; a digit text is known to fit 32 bits, kept as its bit pattern.
      if (!equalsIgnoreCase(value, L"none")) parseUnsigned32(value, &number);
      request->*rule->number = static_cast<int32_t>(number);
      break;
    case ValueKind::kEmpty:
      request->*rule->number = 1;
      break;
  }
  request->flags |= rule->flag;
  return 0;
}

int parseSetRequest(int argc, wchar_t** argv, SetRequest* request) {
  if (argc < 4) return argc;
  DeviceRef device{};
  if (resolveDevice(argv[2], &device) != 0) return 2;
  request->kind = device.kind;
  request->boardIndex = device.boardIndex;
  request->portIndex = device.portIndex;

  const OptionRow* table = request->kind == kBoardDevice ? kBoardOptions : kPortOptions;
  for (int i = 3; i < argc; ++i) {
    wchar_t key[kOptionKeyCapacity] = {};
    wchar_t value[kOptionValueCapacity] = {};
    if (splitOption(argv[i], key, value) != 0) return i;
    const OptionRow* row = findOption(table, key);
    if (row == nullptr) return i;
    if (storeSetting(row->code, value, request) != 0) return i;
  }
  return 0;
}

int checkSetRequest(const SetRequest* request) {
  const uint32_t flags = request->flags;
  const bool board = request->kind == kBoardDevice;
  const bool port = request->kind == kPortDevice;
  // A request of no known device kind may hold no option at all.
  const uint32_t allowed = board  ? uint32_t{kBoardOptionMask}
                           : port ? uint32_t{kPortOptionMask}
                                  : 0u;
  if ((flags & ~allowed) != 0) return static_cast<int>(flags & ~allowed);

  if (board && (flags & kFlagBoardDefault) != 0 && (flags & kBoardDefaultConflicts) != 0) {
    printMessage(Message::kBoardDefaultConflict);
    return static_cast<int>(flags & (kFlagBoardDefault | kBoardDefaultConflicts));
  }
  if (port && (flags & kFlagPortDefault) != 0 && (flags & kPortDefaultConflicts) != 0) {
    printMessage(Message::kPortDefaultConflict);
    return static_cast<int>(flags & (kFlagPortDefault | kPortDefaultConflicts));
  }
  if (port && (flags & kRs485OnlyOptions) != 0 &&
      (gInventory == nullptr || gInventory->globalRS485Options != 1)) {
    printMessage(Message::kRs485Unavailable);
    return static_cast<int>(flags & kRs485OnlyOptions);
  }
  if ((flags & ~static_cast<uint32_t>(kFlagAllports)) == 0) return kFlagAllports;
  return 0;
}
