// Logical configurations and resource descriptors of device nodes on the simulated
// machine. Only the allocated configuration and its first I/O port range exist. The
// handles name the node they belong to and hold nothing, so one left unfreed costs
// nothing.
#include "platform/os_devices.h"

#include <algorithm>

#include "platform/sim/device_tree.h"
#include "platform/sim/resource_list.h"

namespace {

constexpr uint32_t kCrInvalidPointer = 0x3;
constexpr uint32_t kCrInvalidLogConf = 0x7;
constexpr uint32_t kCrInvalidResDes = 0x6;
constexpr uint32_t kCrNoMoreLogConf = 0xE;
constexpr uint32_t kCrNoMoreResDes = 0xF;
constexpr uintptr_t kLogConfTag = 0x4C;
constexpr uintptr_t kResDesTag = 0x52;
constexpr uint32_t kIoDesSize = 28;    // IO_DES: count, type, base, end, flags (packed)
constexpr uint32_t kIoTypeRange = 40;  // IOType_Range: the packed size of IO_RANGE
// An I/O descriptor's data is an IO_RESOURCE: the IO_DES header (a count of 0 ranges, as
// for an allocated configuration) and the one range of its array, left zero.
constexpr uint32_t kIoResourceSize = kIoDesSize + kIoTypeRange;

uintptr_t makeHandle(DevNode node, uintptr_t tag) {
  return (static_cast<uintptr_t>(node) << 8) | tag;
}

DevNode handleNode(uintptr_t handle, uintptr_t tag) {
  return (handle & 0xFF) == tag ? static_cast<DevNode>(handle >> 8) : 0;
}

// The node's allocated configuration; false when it has none.
bool allocConfig(DevNode node, std::string* list) {
  SimMachine* machine = currentMachine();
  std::u16string id;
  if (machine == nullptr || !nodeInstanceId(*machine, node, &id)) return false;
  const RegValue* value =
      machine->registry.findValue(nodeKeyPath(id) + u"\\Control", u"AllocConfig");
  if (value == nullptr) return false;
  *list = value->data;
  return true;
}

void putLittleEndian(unsigned char* out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The I/O port range a descriptor handle stands for; false for no descriptor.
bool describedRange(ResDesHandle resDes, IoResource* resource) {
  const DevNode node = handleNode(resDes, kResDesTag);
  std::string list;
  return node != 0 && allocConfig(node, &list) &&
         findIoResource(list, resource) == ResourceListResult::kIoFound;
}

}  // namespace

uint32_t getFirstLogConf(LogConfHandle* out, DevNode node, uint32_t flags) {
  *out = 0;
  SimMachine* machine = currentMachine();
  std::u16string id;
  if (machine == nullptr || !nodeInstanceId(*machine, node, &id)) return kCrNoSuchDevnode;
  std::string list;
  if (flags != kAllocLogConf || !allocConfig(node, &list)) return kCrNoMoreLogConf;
  *out = makeHandle(node, kLogConfTag);
  return kCrSuccess;
}

uint32_t freeLogConfHandle(LogConfHandle logConf) {
  return handleNode(logConf, kLogConfTag) != 0 ? kCrSuccess : kCrInvalidLogConf;
}

uint32_t getNextResDes(ResDesHandle* out, LogConfHandle logConf, uint32_t resourceType) {
  *out = 0;
  const DevNode node = handleNode(logConf, kLogConfTag);
  if (node == 0) return kCrInvalidLogConf;
  std::string list;
  IoResource resource;
  if (resourceType != kResTypeIo || !allocConfig(node, &list) ||
      findIoResource(list, &resource) != ResourceListResult::kIoFound) {
    return kCrNoMoreResDes;
  }
  *out = makeHandle(node, kResDesTag);
  return kCrSuccess;
}

uint32_t getResDesDataSize(uint32_t* out, ResDesHandle resDes) {
  IoResource resource;
  *out = describedRange(resDes, &resource) ? kIoResourceSize : 0;
  return *out != 0 ? kCrSuccess : kCrInvalidResDes;
}

uint32_t getResDesData(ResDesHandle resDes, void* buffer, uint32_t size) {
  IoResource resource;
  if (!describedRange(resDes, &resource)) return kCrInvalidResDes;
  if (buffer == nullptr) return kCrInvalidPointer;
  if (size < kIoResourceSize) return kCrBufferSmall;
  auto* out = static_cast<unsigned char*>(buffer);
  const uint64_t end = resource.start + (resource.length == 0 ? 0 : resource.length - 1);
  std::fill(out, out + kIoResourceSize, 0);
  putLittleEndian(out, 0, 4);
  putLittleEndian(out + 4, kIoTypeRange, 4);
  putLittleEndian(out + 8, resource.start, 8);
  putLittleEndian(out + 16, end, 8);
  putLittleEndian(out + 24, resource.flags, 4);
  return kCrSuccess;
}

uint32_t freeResDesHandle(ResDesHandle resDes) {
  return handleNode(resDes, kResDesTag) != 0 ? kCrSuccess : kCrInvalidResDes;
}
