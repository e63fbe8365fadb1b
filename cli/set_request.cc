#include "cli/set_request.h"

#include "cli/device_resolution.h"
#include "cli/messages.h"
#include "inventory/inventory.h"
#include "platform/text.h"

namespace {

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

// The value of a text of decimal digits; false for any other character or a value above
// 4294967295. The empty text is 0.
bool parseUnsigned32(const wchar_t* text, uint32_t* result) {
  size_t at = 0;
  const uint64_t value = scanDecimal(text, &at, SIZE_MAX, 0x100000000ull);
  if (text[at] != L'\0' || value > 0xFFFFFFFFull) return false;
  *result = static_cast<uint32_t>(value);
  return true;
}

// What a value of each kind must be, and what it stores.
struct ValueRule {
  uint8_t kind;  // ValueKind
  int (*validate)(const wchar_t* text);
  SettingValue (*convert)(const wchar_t* text);
};

SettingValue asText(const wchar_t* text) { return {0, text}; }
SettingValue asOnOff(const wchar_t* text) { return {static_cast<uint32_t>(onOffValue(text)), L""}; }
// "none" is 0; a digit text is known to fit 32 bits, kept as its bit pattern.
SettingValue asNumber(const wchar_t* text) {
  uint32_t number = 0;
  if (!equalsIgnoreCase(text, L"none")) parseUnsigned32(text, &number);
  return {number, L""};
}
SettingValue asGiven(const wchar_t*) { return {1, L""}; }

const ValueRule kValueRules[] = {
    {kComNameValue, isComName, asText},
    {kBoardNameValue, isBoardName, asText},
    {kOnOffValue, isOnOff, asOnOff},
    {kDigitsValue, isDigits, asNumber},
    {kNoneOrDigitsValue, isNoneOrDigits, asNumber},
    {kEmptyValue, isEmptyValue, asGiven},
};

const ValueRule* findValueRule(uint8_t kind) {
  for (const ValueRule& rule : kValueRules) {
    if (rule.kind == kind) return &rule;
  }
  return nullptr;
}

// The option of the request's option table whose keyword is `key`.
const SettingRow* findOption(uint8_t options, const wchar_t* key) {
  const SettingList table = settingsInOrder(&SettingOrder::option, options);
  for (int i = 0; i < table.count; ++i) {
    if (equalsIgnoreCase(table.rows[i]->keyword, key)) return table.rows[i];
  }
  return nullptr;
}

uint8_t optionsOf(int32_t deviceKind) {
  return deviceKind == kBoardDevice ? kBoardOptions : deviceKind == kPortDevice ? kPortOptions : 0;
}

// The request flags of the options in `options` that `takes` accepts.
uint32_t flagsOf(uint8_t options, bool (*takes)(const SettingRow& row)) {
  const SettingList table = settingsInOrder(&SettingOrder::option, options);
  uint32_t flags = 0;
  for (int i = 0; i < table.count; ++i) {
    if (takes(*table.rows[i])) flags |= table.rows[i]->requestFlag;
  }
  return flags;
}

bool anyOption(const SettingRow&) { return true; }
// What -default resets may not stand beside it.
bool resetByDefault(const SettingRow& row) { return row.order.reset != 0; }
bool needsRs485Mode(const SettingRow& row) { return (row.traits & kNeedsRs485Mode) != 0; }

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

int storeSetting(const SettingRow& setting, const wchar_t* value, SetRequest* request) {
  const ValueRule* rule = findValueRule(setting.valueKind);
  if (rule == nullptr || setting.request.set == nullptr) return 1;
  if (rule->validate(value) != 0) return 1;
  if ((request->flags & setting.requestFlag) != 0) return 1;
  setting.request.set(*request, rule->convert(value));
  request->flags |= setting.requestFlag;
  return 0;
}

int parseSetRequest(int argc, wchar_t** argv, SetRequest* request) {
  if (argc < 4) return argc;
  DeviceRef device{};
  if (resolveDevice(argv[2], &device) != 0) return 2;
  request->kind = device.kind;
  request->boardIndex = device.boardIndex;
  request->portIndex = device.portIndex;

  const uint8_t options = optionsOf(request->kind);
  for (int i = 3; i < argc; ++i) {
    wchar_t key[kOptionKeyCapacity] = {};
    wchar_t value[kOptionValueCapacity] = {};
    if (splitOption(argv[i], key, value) != 0) return i;
    const SettingRow* option = findOption(options, key);
    if (option == nullptr) return i;
    if (storeSetting(*option, value, request) != 0) return i;
  }
  return 0;
}

int checkSetRequest(const SetRequest* request) {
  const uint32_t flags = request->flags;
  const bool board = request->kind == kBoardDevice;
  const bool port = request->kind == kPortDevice;
  // A request of no known device kind may hold no option at all.
  const uint8_t options = optionsOf(request->kind);
  const uint32_t allowed = flagsOf(options, anyOption);
  if ((flags & ~allowed) != 0) return static_cast<int>(flags & ~allowed);

  const uint32_t conflicts = flagsOf(options, resetByDefault);
  if (board && (flags & kFlagBoardDefault) != 0 && (flags & conflicts) != 0) {
    printMessage(Message::kBoardDefaultConflict);
    return static_cast<int>(flags & (kFlagBoardDefault | conflicts));
  }
  if (port && (flags & kFlagPortDefault) != 0 && (flags & conflicts) != 0) {
    printMessage(Message::kPortDefaultConflict);
    return static_cast<int>(flags & (kFlagPortDefault | conflicts));
  }
  const uint32_t rs485Only = flagsOf(options, needsRs485Mode);
  if (port && (flags & rs485Only) != 0 &&
      (gInventory == nullptr || gInventory->globalRS485Options != 1)) {
    printMessage(Message::kRs485Unavailable);
    return static_cast<int>(flags & rs485Only);
  }
  if ((flags & ~static_cast<uint32_t>(kFlagAllports)) == 0) return kFlagAllports;
  return 0;
}
