// The COM port database on the simulated machine: the bitmap in the ComDB value of
// Control\COM Name Arbiter, COM n in use when bit (n-1) % 8 of byte (n-1) / 8 is set.
// The database arbitrates 8 numbers per byte of the value, at least 256 (a fresh
// machine's value is 32 bytes); numbers above that are refused until it is resized.
#include "platform/os_comdb.h"
#include "platform/sim/access.h"
#include "platform/sim/machine.h"

namespace {

const char16_t kArbiterKey[] = u"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char16_t kComDbValue[] = u"ComDB";
const char16_t kComDbKnobKey[] = u"SOFTWARE\\ZephynSim\\ComDatabase";
constexpr uint32_t kHighestPort = kComDbMostPorts;
constexpr uint32_t kLeastSize = 256;
constexpr uint32_t kCdbReportBits = 0;

SimMachine* machineOf(ComDb db) {
  SimMachine* machine = currentMachine();
  return machine != nullptr && machine->comDbs.count(db) != 0 ? machine : nullptr;
}

std::string readBitmap(const Registry& registry) {
  const RegValue* value = registry.findValue(kArbiterKey, kComDbValue);
  return value == nullptr ? std::string() : value->data;
}

void writeBitmap(Registry* registry, const std::string& bitmap) {
  registry->setValue(registry->addKey(kArbiterKey), kComDbValue, kRegBinary, bitmap);
}

// How many numbers the database arbitrates.
uint32_t sizeOf(const std::string& bitmap) {
  const size_t size = bitmap.size() * 8;
  return size < kLeastSize     ? kLeastSize
         : size > kHighestPort ? kHighestPort
                               : static_cast<uint32_t>(size);
}

bool arbitrated(const std::string& bitmap, uint32_t number) {
  return number >= 1 && number <= sizeOf(bitmap);
}

// A value shorter than the size it stands for is filled out with zero bytes when written.
void fillOut(std::string* bitmap) {
  if (bitmap->size() < sizeOf(*bitmap) / 8) bitmap->resize(sizeOf(*bitmap) / 8, '\0');
}

bool inUse(const std::string& bitmap, uint32_t number) {
  const size_t byte = (number - 1) / 8;
  return byte < bitmap.size() &&
         (static_cast<unsigned char>(bitmap[byte]) >> ((number - 1) % 8)) & 1;
}

}  // namespace

uint32_t openComDb(ComDb* out) {
  *out = nullptr;
  SimMachine* machine = currentMachine();
  if (machine == nullptr) return kOsInvalidHandle;
  if (isReadOnlyKey(machine->registry, kArbiterKey)) return kOsAccessDenied;
  *out = new OsComDb;
  machine->comDbs.insert(*out);
  return kOsSuccess;
}

uint32_t closeComDb(ComDb db) {
  SimMachine* machine = machineOf(db);
  if (machine == nullptr) return kOsInvalidHandle;
  machine->comDbs.erase(db);
  delete db;
  return kOsSuccess;
}

uint32_t claimComPort(ComDb db, uint32_t number, bool force) {
  SimMachine* machine = machineOf(db);
  if (machine == nullptr) return kOsInvalidHandle;
  std::string bitmap = readBitmap(machine->registry);
  if (!arbitrated(bitmap, number)) return kOsInvalidParameter;
  if (inUse(bitmap, number)) return force ? kOsSuccess : kOsSharingViolation;
  const size_t byte = (number - 1) / 8;
  fillOut(&bitmap);
  bitmap[byte] = static_cast<char>(bitmap[byte] | (1 << ((number - 1) % 8)));
  writeBitmap(&machine->registry, bitmap);
  // The knob's number is taken by another program just before this claim of it: it stays
  // in use, and the claim finds it so.
  uint32_t takenBefore = 0;
  storedDword(machine->registry, kComDbKnobKey, u"TakenBeforeClaim", &takenBefore);
  if (takenBefore == number && !force) return kOsSharingViolation;
  return kOsSuccess;
}

uint32_t releaseComPort(ComDb db, uint32_t number) {
  SimMachine* machine = machineOf(db);
  if (machine == nullptr) return kOsInvalidHandle;
  std::string bitmap = readBitmap(machine->registry);
  if (!arbitrated(bitmap, number)) return kOsInvalidParameter;
  if (!inUse(bitmap, number)) return kOsSuccess;
  const size_t byte = (number - 1) / 8;
  bitmap[byte] = static_cast<char>(bitmap[byte] & ~(1 << ((number - 1) % 8)));
  writeBitmap(&machine->registry, bitmap);
  return kOsSuccess;
}

uint32_t getComPortUsage(ComDb db, uint8_t* buffer, uint32_t size, uint32_t reportType) {
  SimMachine* machine = machineOf(db);
  if (machine == nullptr) return kOsInvalidHandle;
  if (buffer == nullptr) return kOsInvalidParameter;
  const std::string bitmap = readBitmap(machine->registry);
  const uint32_t ports = sizeOf(bitmap);
  if (reportType == kCdbReportBytes) {
    for (uint32_t i = 0; i < size && i < ports; ++i) buffer[i] = inUse(bitmap, i + 1) ? 1 : 0;
    return kOsSuccess;
  }
  if (reportType == kCdbReportBits) {
    for (uint32_t i = 0; i < size && i < ports / 8; ++i) {
      buffer[i] = i < bitmap.size() ? static_cast<uint8_t>(bitmap[i]) : 0;
    }
    return kOsSuccess;
  }
  return kOsInvalidParameter;
}

uint32_t getComDbSize(ComDb db, uint32_t* size) {
  SimMachine* machine = machineOf(db);
  if (machine == nullptr || size == nullptr) return kOsInvalidParameter;
  *size = sizeOf(readBitmap(machine->registry));
  return kOsSuccess;
}

uint32_t resizeComDb(ComDb db, uint32_t newSize) {
  SimMachine* machine = machineOf(db);
  if (machine == nullptr || newSize % kComDbSizeStep != 0) return kOsInvalidParameter;
  uint32_t fails = 0;
  storedDword(machine->registry, kComDbKnobKey, u"ResizeFails", &fails);
  if (fails == 1) return kOsAccessDenied;
  std::string bitmap = readBitmap(machine->registry);
  if (newSize <= sizeOf(bitmap) || newSize > kHighestPort) return kOsBadLength;
  bitmap.resize(newSize / 8, '\0');
  writeBitmap(&machine->registry, bitmap);
  return kOsSuccess;
}
