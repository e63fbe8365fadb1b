#include "apply/port_nodes.h"

#include <cwchar>
#include <iterator>

#include "inventory/inventory.h"
#include "platform/os_devices.h"
#include "platform/os_driver.h"
#include "platform/os_registry.h"
#include "platform/text.h"

namespace {

// 240-byte and 80-byte buffers of UTF-16 text.
constexpr size_t kIdUnits = 120;
constexpr size_t kPortNameUnits = 40;

bool isWhiteSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// The node's device class name; empty when it cannot be read.
void readClassName(DevNode node, wchar_t (&className)[kIdUnits]) {
  className[0] = L'\0';
  size_t units = std::size(className);
  if (getDevNodePropertyText(node, kCmDrpClass, className, &units) != kCrSuccess ||
      !terminateReadText(className, std::size(className), units)) {
    className[0] = L'\0';
  }
}

// A text value of an open key; empty when it cannot be read.
template <size_t N>
void readKeyText(RegKey key, const wchar_t* name, wchar_t (&text)[N]) {
  text[0] = L'\0';
  uint32_t type = 0;
  size_t units = N;
  if (regQueryTextValue(key, name, &type, text, &units) != kOsSuccess ||
      !terminateReadText(text, N, units)) {
    text[0] = L'\0';
  }
}

// The port a child node stands for, or -1 when it is no port of this board.
int portOfChild(DevNode child, int portCount) {
  wchar_t text[kIdUnits] = {};
  readClassName(child, text);
  if (std::wcscmp(text, L"Ports") != 0) return -1;

  RegKey key = nullptr;
  if (openDevNodeKey(child, kKeyRead, 0, kRegDispositionOpenExisting, &key, kCmRegistrySoftware) !=
          kCrSuccess ||
      key == nullptr) {
    return -1;
  }
  readKeyText(key, L"MatchingDeviceId", text);
  regCloseKey(key);
  return portIndexFromMatchingId(text, portCount);
}

// Whether a write to the node that was refused was refused for want of rights. The code
// does not tell (a key refused for rights is CR_NO_SUCH_REGISTRY_KEY, like one that is not
// there): a node whose hardware key still opens for reading is there and only unwritable.
bool refusedForRights(DevNode node) {
  RegKey key = nullptr;
  if (openDevNodeKey(node, kKeyRead, 0, kRegDispositionOpenExisting, &key, kCmRegistryHardware) !=
          kCrSuccess ||
      key == nullptr) {
    return false;
  }
  regCloseKey(key);
  return true;
}

// The system error a refused configuration-manager call on the node stands for:
// kOsAccessDenied when it was refused for want of rights.
uint32_t refusal(DevNode node, uint32_t result) {
  return refusedForRights(node) ? kOsAccessDenied
                                : osErrorOfConfigResult(result != kCrSuccess ? result : kCrFailure);
}

// kOsSuccess, or the system error of the first part of the node's update that failed
// (the friendly name, the hardware key's open, the PortName write).
uint32_t updatePortNode(PortNodeUpdateMode mode, int portIndex, const PortRecord& port) {
  uint32_t failure = kOsSuccess;
  if (mode == kUpdateFriendlyNameAndPortName) {
    wchar_t friendlyName[120] = {};
    if (formatText(friendlyName, L"Norvane ZephynPort %d (%ls)", portIndex, port.comName)) {
      const uint32_t set = setDevNodePropertyText(port.devNode, kCmDrpFriendlyName, friendlyName,
                                                  textLength(friendlyName) + 1);
      if (set != kCrSuccess) failure = refusal(port.devNode, set);
    }
  }
  RegKey key = nullptr;
  const uint32_t opened = openDevNodeKey(port.devNode, kKeyAllAccess, 0,
                                         kRegDispositionOpenExisting, &key, kCmRegistryHardware);
  if (opened != kCrSuccess || key == nullptr) {
    return failure != kOsSuccess ? failure : refusal(port.devNode, opened);
  }
  wchar_t current[kPortNameUnits] = {};
  readKeyText(key, L"PortName", current);
  if (!equalsIgnoreCase(current, port.comName)) {
    const uint32_t written =
        regSetTextValue(key, L"PortName", kRegSz, port.comName, textLength(port.comName) + 1);
    if (failure == kOsSuccess) failure = written;
  }
  regCloseKey(key);
  return failure;
}

}  // namespace

int portIndexFromMatchingId(const wchar_t* matchingId, int portCount) {
  if (std::wcsstr(matchingId, L"nrvport") == nullptr) return -1;
  // The text holds "nrvport", so it has at least seven characters before index 7.
  const wchar_t* p = matchingId + 7;
  while (isWhiteSpace(*p)) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') negative = (*p++ == L'-');
  if (!isDecimalDigit(*p)) return -1;
  size_t digits = 0;
  int64_t value = static_cast<int64_t>(scanDecimal(p, &digits, SIZE_MAX, kMaxPorts + 1));
  if (value > kMaxPorts) return -1;  // beyond every port
  if (negative) value = -value;
  const int limit = portCount > kMaxPorts ? kMaxPorts : portCount;
  return (value >= 0 && value < limit) ? static_cast<int>(value) : -1;
}

void mapPortDeviceNodes(int boardIndex) {
  BoardRecord* board = boardAt(gInventory, boardIndex);
  if (board == nullptr) return;
  const int portCount = portsInUse(*board);
  for (int j = 0; PortRecord* port = portAt(board, j); ++j) port->devNode = 0;

  const DevNode boardNode = deviceNodeOf(board->deviceInfo);
  if (boardNode == 0) return;

  DevNode child = 0;
  if (getChildNode(&child, boardNode) != kCrSuccess) return;
  while (child != 0) {
    const int portIndex = portOfChild(child, portCount);
    if (PortRecord* port = portAt(board, portIndex)) port->devNode = child;
    DevNode sibling = 0;
    if (getSiblingNode(&sibling, child) != kCrSuccess) break;
    child = sibling;
  }
}

bool updatePortDeviceNodes(PortNodeUpdateMode mode, int boardIndex, PortNodeTrouble* trouble) {
  mapPortDeviceNodes(boardIndex);
  bool accessDenied = false;
  // devNode, not the board index, decides which nodes are updated; only this board's are mapped.
  for (int i = 0; const BoardRecord* board = boardAt(gInventory, i); ++i) {
    for (int j = 0; const PortRecord* port = portAt(board, j); ++j) {
      // A port without a COM name (its board has no settings stored) leaves its node's
      // names to the system: writing them would wipe the COM name the system gave it.
      if (port->devNode == 0 || port->comName[0] == L'\0') continue;
      const uint32_t failure = updatePortNode(mode, j, *port);
      if (failure == kOsAccessDenied) {
        accessDenied = true;
      } else if (failure != kOsSuccess && trouble != nullptr && i == boardIndex) {
        trouble->errors[j] = failure;
      }
    }
  }
  if (trouble != nullptr && accessDenied) trouble->accessDenied = true;
  return accessDenied;
}

RestartOutcome restartBoardDevice(int boardIndex, uint32_t* detail) {
  uint32_t unused = 0;
  if (detail == nullptr) detail = &unused;
  *detail = 0;
  const BoardRecord* board = boardAt(gInventory, boardIndex);
  if (board == nullptr || board->deviceInfo == nullptr) return kRestartFailed;
  if (!setPropertyChangeParams(gInventory->deviceInfoSet, board->deviceInfo, kDicsPropChange,
                               kDicsFlagGlobal, 0) ||
      !changeDeviceState(gInventory->deviceInfoSet, board->deviceInfo)) {
    return kRestartFailed;
  }
  uint32_t flags = 0;
  if (!getDeviceInstallFlags(gInventory->deviceInfoSet, board->deviceInfo, &flags)) {
    *detail = lastOsError();
    return kRestartUnknown;
  }
  if ((flags & (kDiNeedReboot | kDiNeedRestart)) != 0) return kRestartNeedsReboot;
  uint32_t status = 0;
  uint32_t problem = 0;
  const uint32_t read = getDevNodeStatus(deviceNodeOf(board->deviceInfo), &status, &problem);
  if (read != kCrSuccess) {
    *detail = osErrorOfConfigResult(read);
    return kRestartUnknown;
  }
  if ((status & kDnStarted) == 0 || (status & kDnHasProblem) != 0) {
    *detail = (status & kDnHasProblem) != 0 ? problem : 0;
    return kRestartNotStarted;
  }
  return kRestarted;
}
