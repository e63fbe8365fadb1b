#include "inventory/setting_codes.h"

#include <iterator>
#include <type_traits>

#include "cli/set_request.h"
#include "inventory/inventory.h"
#include "platform/os_types.h"
#include "platform/text.h"

namespace {

// The record and the type of a pointer to a member.
template <typename>
struct MemberOf;
template <typename Record, typename Field>
struct MemberOf<Field Record::*> {
  using RecordType = Record;
};

// The record of type Record that (board, port) names in the Inventory; null when the board
// or port is not in use.
template <typename Record, typename Owner>
auto* recordIn(Owner& inventory, int board, int port) {
  if constexpr (std::is_same_v<Record, Inventory>) {
    return &inventory;
  } else if constexpr (std::is_same_v<Record, BoardRecord>) {
    return boardAt(&inventory, board);
  } else {
    static_assert(std::is_same_v<Record, PortRecord>);
    return portAt(boardAt(&inventory, board), port);
  }
}

template <typename Field>
SettingValue valueOf(const Field& field) {
  if constexpr (std::is_array_v<Field>) {
    return {0, field};
  } else {
    return {static_cast<uint32_t>(field), L""};
  }
}

template <typename Field>
void store(Field& field, const SettingValue& value) {
  if constexpr (std::is_array_v<Field>) {
    copyText(field, value.text);
  } else {
    field = static_cast<Field>(value.number);
  }
}

template <auto member>
SettingValue getRequest(const SetRequest& request) {
  return valueOf(request.*member);
}
template <auto member>
void setRequest(SetRequest& request, const SettingValue& value) {
  store(request.*member, value);
}

template <auto member>
SettingValue getRecord(const Inventory& inventory, int board, int port) {
  using Record = typename MemberOf<decltype(member)>::RecordType;
  const Record* record = recordIn<Record>(inventory, board, port);
  return record != nullptr ? valueOf(record->*member) : SettingValue{0, L""};
}
template <auto member>
void setRecord(Inventory& inventory, int board, int port, const SettingValue& value) {
  using Record = typename MemberOf<decltype(member)>::RecordType;
  Record* record = recordIn<Record>(inventory, board, port);
  if (record != nullptr) store(record->*member, value);
}

template <uint32_t bit>
SettingValue getPortFlag(const Inventory& inventory, int board, int port) {
  const PortRecord* record = recordIn<PortRecord>(inventory, board, port);
  return {record != nullptr && (record->portFlags & bit) != 0 ? 1u : 0u, L""};
}
template <uint32_t bit>
void setPortFlag(Inventory& inventory, int board, int port, const SettingValue& value) {
  PortRecord* record = recordIn<PortRecord>(inventory, board, port);
  if (record == nullptr) return;
  record->portFlags =
      (value.number & 1) != 0 ? (record->portFlags | bit) : (record->portFlags & ~bit);
}

// The field a member pointer names, of the request or of a record of the Inventory.
template <auto member>
constexpr RequestField inRequest{getRequest<member>, setRequest<member>};
template <auto member>
constexpr RecordField inRecord{getRecord<member>, setRecord<member>};
// A field the registry value is written from but never read back into.
template <auto member>
constexpr RecordField fromRecord{getRecord<member>, nullptr};
template <uint32_t bit>
constexpr RecordField inPortFlags{getPortFlag<bit>, setPortFlag<bit>};

constexpr RecordField kNotKept{nullptr, nullptr};
constexpr RequestField kNoRequest{nullptr, nullptr};

constexpr SettingOrder order(uint8_t option, uint8_t apply, uint8_t reset, uint8_t load,
                             uint8_t write) {
  return {option, apply, reset, load, write};
}

constexpr uint8_t kBoard = kBoardSetting;
constexpr uint8_t kPort = kPortSetting;
constexpr uint8_t kDriver = kDriverWideSetting;
constexpr uint8_t kRs485Told = kTellsDriver | kNeedsRs485Mode;

// In code order. Each row: code, level; option keyword, value kind, request flag, request
// field; registry value name, type, Inventory field; traits, -default value;
// order(option table, apply, -default, load, write).
const SettingRow kSettings[] = {
    {kSetStartCom, kBoard, L"start", kComNameValue, kFlagStart, inRequest<&SetRequest::start>,
     nullptr, kRegNone, kNotKept, 0, 0, order(2, 2, 0, 0, 0)},
    {kSetDefault, kBoard, L"default", kEmptyValue, kFlagBoardDefault,
     inRequest<&SetRequest::boardDefault>, nullptr, kRegNone, kNotKept, 0, 0, order(6, 6, 0, 0, 0)},
    {kSetDefault, kPort, L"default", kEmptyValue, kFlagPortDefault,
     inRequest<&SetRequest::portDefault>, nullptr, kRegNone, kNotKept, 0, 0,
     order(11, 11, 0, 0, 0)},
    // It only chooses the ports the other options go to.
    {kSetAllPorts, kPort, L"allports", kEmptyValue, kFlagAllports, inRequest<&SetRequest::allports>,
     nullptr, kRegNone, kNotKept, 0, 0, order(12, 0, 0, 0, 0)},
    {kSetVerboseLog, kDriver, L"verbose", kOnOffValue, kFlagVerbose,
     inRequest<&SetRequest::verbose>, L"VerboseLog", kRegDword, inRecord<&Inventory::verboseLog>,
     kTellsDriver, 0, order(3, 5, 1, 1, 3)},
    {kSetNumDevices, kDriver, nullptr, kNoValue, 0, kNoRequest, L"NumDevices", kRegDword,
     fromRecord<&Inventory::boardCount>, 0, 0, order(0, 0, 0, 2, 2)},
    {kSetNoPnpPorts, kDriver, nullptr, kNoValue, 0, kNoRequest, L"NoPnpPorts", kRegDword, kNotKept,
     0, 0, order(0, 0, 0, 3, 0)},
    {kSetScanRate, kDriver, L"scan", kDigitsValue, kFlagScan, inRequest<&SetRequest::scan>,
     L"ScanRate", kRegDword, inRecord<&Inventory::scanRate>, kTellsDriver, 10,
     order(4, 3, 2, 4, 1)},
    {kSetModemCountry, kDriver, nullptr, kNoValue, 0, kNoRequest, L"ModemCountry", kRegDword,
     kNotKept, 0, 0, order(0, 0, 0, 5, 0)},
    {kSetGlobalRS485, kDriver, L"rs485", kOnOffValue, kFlagRs485, inRequest<&SetRequest::rs485>,
     L"GlobalRS485Options", kRegDword, inRecord<&Inventory::globalRS485Options>, kTellsDriver, 0,
     order(5, 4, 3, 6, 4)},
    {kSetNumPorts, kBoard, nullptr, kNoValue, 0, kNoRequest, L"NumPorts", kRegDword,
     inRecord<&BoardRecord::portCount>, 0, 0, order(0, 0, 0, 1, 1)},
    {kSetBoardName, kBoard, L"name", kBoardNameValue, kFlagName, inRequest<&SetRequest::name>,
     L"Name", kRegSz, inRecord<&BoardRecord::displayName>, kTellsDriver, 0, order(1, 1, 0, 2, 4)},
    {kSetModelName, kBoard, nullptr, kNoValue, 0, kNoRequest, L"ModelName", kRegSz,
     inRecord<&BoardRecord::modelName>, 0, 0, order(0, 0, 0, 3, 5)},
    // Never loaded: the bus value always comes from identification and defaults.
    {kSetIoAddress, kBoard, nullptr, kNoValue, 0, kNoRequest, L"IoAddress", kRegDword,
     fromRecord<&BoardRecord::ioAddress>, 0, 0, order(0, 0, 0, 0, 2)},
    {kSetModemDevice, kBoard, nullptr, kNoValue, 0, kNoRequest, L"ModemDevice", kRegDword,
     inRecord<&BoardRecord::modemKind>, 0, 0, order(0, 0, 0, 4, 3)},
    {kSetWaitOnTx, kPort, L"wait", kOnOffValue, kFlagWait, inRequest<&SetRequest::wait>,
     L"WaitOnTx", kRegDword, inPortFlags<kWaitOnTx>, kTellsDriver, 0, order(8, 8, 7, 1, 3)},
    {kSetRS485Override, kPort, L"toggle", kOnOffValue, kFlagToggle, inRequest<&SetRequest::toggle>,
     L"RS485Override", kRegDword, inPortFlags<kRS485Override>, kRs485Told, 0,
     order(2, 2, 1, 2, 10)},
    {kSetRS485Low, kPort, L"low", kOnOffValue, kFlagLow, inRequest<&SetRequest::low>, L"RS485Low",
     kRegDword, inPortFlags<kRS485Low>, kRs485Told, 0, order(3, 3, 2, 3, 4)},
    {kSetTxCloseTime, kPort, L"timeout", kDigitsValue, kFlagTimeout,
     inRequest<&SetRequest::timeout>, L"TxCloseTime", kRegDword, inRecord<&PortRecord::txCloseTime>,
     kTellsDriver, 0, order(5, 5, 4, 4, 8)},
    {kSetLockBaud, kPort, L"baudrate", kNoneOrDigitsValue, kFlagBaudrate,
     inRequest<&SetRequest::baudrate>, L"LockBaud", kRegDword, inRecord<&PortRecord::lockBaud>,
     kTellsDriver, 0, order(4, 4, 3, 5, 2)},
    {kSetMap2StopsTo1, kPort, L"stopbits", kOnOffValue, kFlagStopbits,
     inRequest<&SetRequest::stopbits>, L"Map2StopsTo1", kRegDword, inPortFlags<kMap2StopsTo1>,
     kTellsDriver, 0, order(7, 7, 6, 6, 9)},
    {kSetMapCdToDsr, kPort, L"cd", kOnOffValue, kFlagCd, inRequest<&SetRequest::cd>, L"MapCdToDsr",
     kRegDword, inPortFlags<kMapCdToDsr>, kTellsDriver, 0, order(6, 6, 5, 7, 6)},
    {kSetPortName, kPort, L"portname", kComNameValue, kFlagPortname,
     inRequest<&SetRequest::portname>, L"Name", kRegSz, inRecord<&PortRecord::comName>,
     kTellsDriver, 0, order(1, 1, 0, 8, 1)},
    {kSetRingEmulate, kPort, L"ring", kOnOffValue, kFlagRing, inRequest<&SetRequest::ring>,
     L"RingEmulate", kRegDword, inPortFlags<kRingEmulate>, kTellsDriver, 0, order(9, 9, 8, 9, 7)},
    // The driver learns it only from the settings store at the restart.
    {kSetBlockSerenum, kPort, L"blockpnp", kOnOffValue, kFlagBlockpnp,
     inRequest<&SetRequest::blockpnp>, L"BlockSerenum", kRegDword, inPortFlags<kBlockSerenum>, 0, 0,
     order(10, 10, 9, 10, 5)},
};
static_assert(std::size(kSettings) <= kMaxSettingRows, "kMaxSettingRows must hold every row");

}  // namespace

const SettingRow* findSetting(SettingCode code) {
  for (const SettingRow& row : kSettings) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

SettingList settingsInOrder(uint8_t SettingOrder::*order, uint8_t levels) {
  SettingList list{};
  for (const SettingRow& row : kSettings) {
    const uint8_t position = row.order.*order;
    if (position == 0 || (row.level & levels) == 0) continue;
    int at = list.count++;
    for (; at > 0 && list.rows[at - 1]->order.*order > position; --at) {
      list.rows[at] = list.rows[at - 1];
    }
    list.rows[at] = &row;
  }
  return list;
}
