// SettingCode: the 16-bit identifiers that option keywords, registry values and
// Inventory fields share. 0x0100..0x0105 are driver-wide values, 0x0201..0x0208 board
// values, 0x0400..0x0409 port values; 0x0002, 0x000F and 0x0010 exist only as options.
//
// The SettingCode table holds one row per setting with everything about it: its option
// (keyword, value kind, request flag and field), its registry value (name and type), where
// the Inventory keeps it, what the apply engine does with it, and its place in the order
// of each consumer that takes the rows in an order of its own. The option parser and
// checker, the loader, the apply engine and the writer all read these rows. Adding a
// setting is adding its row and the names the row refers to: its SettingCode below, its
// RequestFlags bit and SetRequest field (cli/set_request.h), and the record field or
// PortFlags bit that keeps it (inventory/inventory.h). What `get` shows of it and what
// `help set` says of it are the report's (cli/reports.cc) and the usage text's.
#pragma once

#include <cstddef>
#include <cstdint>

struct Inventory;
struct SetRequest;

// The subkey of the driver's service key that holds the settings store: driver-wide
// values in it, one subkey per board, one per port beneath that.
inline constexpr wchar_t kSettingsStoreKey[] = L"Parameters";
// The name of port n's subkey of its board's key, formatted with n from 0.
inline constexpr wchar_t kPortKeyFormat[] = L"Port%d";

enum SettingCode : uint16_t {
  kSetStartCom = 0x0002,
  kSetDefault = 0x000F,
  kSetAllPorts = 0x0010,
  kSetVerboseLog = 0x0100,
  kSetNumDevices = 0x0101,
  kSetNoPnpPorts = 0x0102,
  kSetScanRate = 0x0103,
  kSetModemCountry = 0x0104,
  kSetGlobalRS485 = 0x0105,
  kSetNumPorts = 0x0201,
  kSetBoardName = 0x0205,
  kSetModelName = 0x0206,
  kSetIoAddress = 0x0207,
  kSetModemDevice = 0x0208,
  kSetWaitOnTx = 0x0400,
  kSetRS485Override = 0x0401,
  kSetRS485Low = 0x0402,
  kSetTxCloseTime = 0x0403,
  kSetLockBaud = 0x0404,
  kSetMap2StopsTo1 = 0x0405,
  kSetMapCdToDsr = 0x0406,
  kSetPortName = 0x0407,
  kSetRingEmulate = 0x0408,
  kSetBlockSerenum = 0x0409,
};

// Where a setting belongs, one bit each so that a consumer can take several levels.
enum SettingLevel : uint8_t {
  kDriverWideSetting = 0x1,  // a value in Parameters itself; a field of the Inventory
  kBoardSetting = 0x2,       // a value in a board's key; a field of its BoardRecord
  kPortSetting = 0x4,        // a value in a port's key; a field or PortFlags bit of its PortRecord
};

// The levels whose options a board takes (driver-wide and board settings), and a port.
constexpr uint8_t kBoardOptions = kDriverWideSetting | kBoardSetting;
constexpr uint8_t kPortOptions = kPortSetting;

// What an option's value may be (the validators of cli/set_request.h).
enum ValueKind : uint8_t {
  kNoValue = 0,  // not an option
  kComNameValue,
  kBoardNameValue,
  kOnOffValue,
  kDigitsValue,
  kNoneOrDigitsValue,
  kEmptyValue,
};

// What the apply engine does with a setting besides changing the Inventory.
enum SettingTraits : uint8_t {
  kTellsDriver = 0x1,     // a driver command named by the registry value carries the value
  kNeedsRs485Mode = 0x2,  // an option only while the RS-485 options are on
};

// A setting's value on its way between the command line, the records and the registry:
// a number (its 32-bit pattern) or a text.
struct SettingValue {
  uint32_t number = 0;
  const wchar_t* text = L"";
};

// Reads and stores a setting's field of the request.
struct RequestField {
  SettingValue (*get)(const SetRequest& request);
  void (*set)(SetRequest& request, const SettingValue& value);
};

// Reads and stores a setting's field in the Inventory: the Inventory's own for a
// driver-wide setting, board `board`'s for a board setting, port `port` of that board's
// for a port setting (indexes the level does not use are ignored). A text is stored cut
// to the field's capacity; a PortFlags bit follows bit 0 of the number and reads as 0 or 1.
// `get` is null where the Inventory keeps nothing of the setting; `set` is null where a
// value read from the registry is not kept.
struct RecordField {
  SettingValue (*get)(const Inventory& inventory, int board, int port);
  void (*set)(Inventory& inventory, int board, int port, const SettingValue& value);
};

// A row's place in each consumer that takes rows in an order of its own, counted from 1
// within the rows that consumer takes together; 0 leaves the row out of that consumer.
struct SettingOrder {
  uint8_t option;  // the search order of its option table (board or port)
  uint8_t apply;   // the order in which the apply engine carries out a request's options
  uint8_t reset;   // the order in which -default of its option table resets it
  uint8_t load;    // the loader's read order among the values of its key
  uint8_t write;   // the writer's write order among the values of its key
};

struct SettingRow {
  SettingCode code;
  uint8_t level;             // SettingLevel
  const wchar_t* keyword;    // option keyword; null when it is no option
  uint8_t valueKind;         // ValueKind of the option's value
  uint32_t requestFlag;      // RequestFlags bit of the option
  RequestField request;      // the option's field of the request
  const wchar_t* valueName;  // registry value name, also the driver command's; null if none
  uint32_t regType;          // kRegDword or kRegSz; kRegNone without a registry value
  RecordField field;         // where the Inventory keeps it
  uint8_t traits;            // SettingTraits
  uint32_t resetValue;       // what -default gives it
  SettingOrder order;
};

// The first row of a code, or null for a code not in the table.
const SettingRow* findSetting(SettingCode code);

// Room for every row of the table.
constexpr size_t kMaxSettingRows = 48;

// Rows of the table in one consumer's order.
struct SettingList {
  const SettingRow* rows[kMaxSettingRows];
  int count;
};

// The rows of the levels in `levels` whose `order` is not 0, ascending by it.
SettingList settingsInOrder(uint8_t SettingOrder::*order, uint8_t levels);
