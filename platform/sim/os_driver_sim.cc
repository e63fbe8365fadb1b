// The adapter driver's control device on the simulated machine. Its behaviour is set by
// the knobs under SOFTWARE\ZephynSim\Driver; every open, exchange and close is logged.
// Text crosses to and from the driver in the machine's ANSI code page.
#include "platform/os_driver.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/code_pages.h"
#include "platform/little_endian.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/event_log.h"
#include "platform/sim/knobs.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_code_page.h"
#include "platform/sim/utf.h"

namespace {

const char16_t kDriverKnobKey[] = ZP_KNOB_UTF16(ZP_DRIVER_KNOBS);
const char16_t kPortCountsKey[] = ZP_KNOB_UTF16(ZP_DRIVER_PORT_COUNTS);
const char16_t kControlDevicePath[] = u"\\\\.\\zephyn";
constexpr uint32_t kControlCode = 0x1B2010;
constexpr uint32_t kTextCommand = 14;
constexpr uint32_t kPortCountQuery = 20;
constexpr size_t kTextOffset = 16;
constexpr size_t kUiNumberOffset = 12;
constexpr size_t kPortCountOffset = 32;
constexpr uint32_t kOsInvalidFunction = 1;

uint32_t driverKnob(const Registry& registry, const char16_t* name, uint32_t fallback) {
  uint32_t value = fallback;
  storedDword(registry, kDriverKnobKey, name, &value);
  return value;
}

// The NUL-terminated text at `offset`, cut at the end of the bytes.
std::string textAt(const std::vector<unsigned char>& bytes, size_t offset) {
  std::string text;
  for (size_t i = offset; i < bytes.size() && bytes[i] != 0; ++i) {
    text.push_back(static_cast<char>(bytes[i]));
  }
  return text;
}

// What the driver does with a request: the reply it writes into `system` (the buffered
// copy of the request) and the count of bytes to copy back from its start. Neither goes
// past the smaller of the two sizes. False when the driver fails the request.
bool serveRequest(const Registry& registry, std::vector<unsigned char>& system, uint32_t inSize,
                  uint32_t outSize, uint32_t* returned) {
  *returned = 0;
  const uint32_t limit = inSize < outSize ? inSize : outSize;
  const bool failing = driverKnob(registry, ZP_KNOB_UTF16(ZP_KNOB_FAIL_EXCHANGE),
                                  ZP_KNOB_FAIL_EXCHANGE_DEFAULT) != 0;
  if (inSize < kTextOffset || failing) return false;
  const uint32_t type = readWord32(system.data());
  if (type == kTextCommand) {
    const bool silent =
        driverKnob(registry, ZP_KNOB_UTF16(ZP_KNOB_NO_REPLY), ZP_KNOB_NO_REPLY_DEFAULT) != 0;
    if (silent) return true;
    std::u16string reply = ZP_KNOB_UTF16(ZP_KNOB_REPLY_DEFAULT);
    storedText(registry, kDriverKnobKey, ZP_KNOB_UTF16(ZP_KNOB_REPLY), &reply);
    const std::string ansi = toAnsi(reply);
    for (size_t i = 0; i <= ansi.size() && kTextOffset + i < limit; ++i) {
      system[kTextOffset + i] = i < ansi.size() ? static_cast<unsigned char>(ansi[i]) : 0;
    }
    *returned = limit;
    return true;
  }
  if (type == kPortCountQuery) {
    const uint32_t ui = readWord32(system.data() + kUiNumberOffset);
    uint32_t count = 0;
    const std::string name = std::to_string(ui);
    if (limit <= kPortCountOffset ||
        !storedDword(registry, kPortCountsKey, std::u16string(name.begin(), name.end()), &count)) {
      return false;
    }
    system[kPortCountOffset] = static_cast<unsigned char>(count & 0xFF);
    *returned = limit;
    return true;
  }
  return false;
}

std::string requestLogLine(uint32_t code, const std::vector<unsigned char>& request,
                           uint32_t inSize, uint32_t outSize) {
  char head[80];
  std::snprintf(head, sizeof head, "ioctl 0x%X in=%u out=%u", static_cast<unsigned>(code),
                static_cast<unsigned>(inSize), static_cast<unsigned>(outSize));
  std::string line = head;
  if (inSize < 4) return line;
  const std::vector<unsigned char> in(request.begin(), request.begin() + inSize);
  const uint32_t type = readWord32(in.data());
  line += " type=" + std::to_string(type);
  if (type == kTextCommand && inSize >= kTextOffset) {
    line += " text=" + quoteLogText(textAt(in, kTextOffset));
  } else if (type == kPortCountQuery && inSize >= kUiNumberOffset + 4) {
    line += " ui=" + std::to_string(readWord32(in.data() + kUiNumberOffset));
  }
  return line;
}

}  // namespace

OsHandle openControlDevice(const wchar_t* path) {
  SimMachine* machine = currentMachine();
  if (machine == nullptr) {
    setLastOsError(kOsInvalidHandle);
    return kInvalidOsHandle;
  }
  const std::u16string name = fromWide(path);
  const bool exists = foldCase(name) == foldCase(kControlDevicePath) &&
                      driverKnob(machine->registry, ZP_KNOB_UTF16(ZP_KNOB_CONTROL_DEVICE),
                                 ZP_KNOB_CONTROL_DEVICE_DEFAULT) != 0;
  if (!exists) {
    logEvent("open-failed " + utf16ToUtf8(name));
    setLastOsError(kOsFileNotFound);
    return kInvalidOsHandle;
  }
  const OsHandle handle = machine->nextControlHandle;
  machine->nextControlHandle += 4;
  machine->controlHandles[handle] = name;
  logEvent("open " + utf16ToUtf8(name));
  setLastOsError(kOsSuccess);
  return handle;
}

bool deviceIoControl(OsHandle handle, uint32_t code, void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  SimMachine* machine = currentMachine();
  if (machine == nullptr || machine->controlHandles.count(handle) == 0) {
    setLastOsError(kOsInvalidHandle);
    return false;
  }
  if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0) || returned == nullptr) {
    setLastOsError(kOsInvalidParameter);
    return false;
  }
  // Buffered transfer: the driver works on a copy of the request as large as the larger
  // of the two sizes, and what it returns is copied back from offset 0.
  std::vector<unsigned char> system(inSize > outSize ? inSize : outSize, 0);
  if (inSize != 0) std::memcpy(system.data(), in, inSize);
  std::string line = requestLogLine(code, system, inSize, outSize);
  if (inSize >= 4 && readWord32(system.data()) == kTextCommand) machine->actedOnDevices = true;
  uint32_t served = 0;
  const bool ok =
      code == kControlCode && serveRequest(machine->registry, system, inSize, outSize, &served);
  if (!ok) {
    logEvent(line + " failed");
    setLastOsError(code == kControlCode ? kOsGenFailure : kOsInvalidFunction);
    return false;
  }
  logEvent(line);
  if (served != 0) std::memcpy(out, system.data(), served);
  *returned = served;
  setLastOsError(kOsSuccess);
  return true;
}

uint32_t lastOsError() { return lastSimError(); }

bool closeOsHandle(OsHandle handle) {
  SimMachine* machine = currentMachine();
  if (machine == nullptr || machine->controlHandles.count(handle) == 0) {
    setLastOsError(kOsInvalidHandle);
    return false;
  }
  logEvent("close " + utf16ToUtf8(machine->controlHandles[handle]));
  machine->controlHandles.erase(handle);
  return true;
}

size_t toAnsiText(const wchar_t* text, char* out, size_t outSize) {
  if (text == nullptr) return 0;
  const std::string ansi = toAnsi(fromWide(text));
  const size_t needed = ansi.size() + 1;
  // As WideCharToMultiByte: a size of 0 asks for the size needed.
  if (outSize == 0) return needed;
  if (out == nullptr) return 0;
  if (needed > outSize) {
    std::memcpy(out, ansi.data(), outSize);
    return 0;
  }
  std::memcpy(out, ansi.c_str(), needed);
  return needed;
}

uint32_t ansiCodePage() { return currentAnsiCodePage(); }

size_t fromAnsiText(const char* text, wchar_t* out, size_t outUnits) {
  if (out == nullptr || outUnits == 0) return 0;
  out[0] = L'\0';
  if (text == nullptr) return 0;
  const std::string bytes(text);
  const std::u16string units =
      currentAnsiCodePage() == kUtf8CodePage ? utf8ToUtf16(bytes) : decode1252(bytes);
  if (units.size() + 1 > outUnits) return 0;
  toWide(units, out);
  out[units.size()] = L'\0';
  return units.size() + 1;
}
