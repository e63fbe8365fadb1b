#include "platform/sim/resource_list.h"

#include "platform/little_endian.h"

namespace {

constexpr size_t kFullDescriptorHeaderSize = 16;
constexpr size_t kPartialDescriptorSize = 20;
constexpr unsigned char kPortResourceType = 1;

}  // namespace

ResourceListResult findIoResource(const std::string& list, IoResource* resource) {
  if (list.size() < 4) return ResourceListResult::kUnreadable;
  const uint64_t fullCount = readLittleEndian(list.data(), 4);
  uint64_t offset = 4;
  bool found = false;
  for (uint64_t full = 0; full < fullCount; ++full) {
    if (offset + kFullDescriptorHeaderSize > list.size()) return ResourceListResult::kUnreadable;
    const uint64_t partialCount = readLittleEndian(list.data() + offset + 12, 4);
    offset += kFullDescriptorHeaderSize;
    if (offset + partialCount * kPartialDescriptorSize > list.size()) {
      return ResourceListResult::kUnreadable;
    }
    for (uint64_t i = 0; full == 0 && !found && i < partialCount; ++i) {
      const size_t partial = offset + i * kPartialDescriptorSize;
      if (static_cast<unsigned char>(list[partial]) != kPortResourceType) continue;
      resource->flags = static_cast<uint16_t>(readLittleEndian(list.data() + partial + 2, 2));
      resource->start = readLittleEndian(list.data() + partial + 4, 8);
      resource->length = static_cast<uint32_t>(readLittleEndian(list.data() + partial + 12, 4));
      found = true;
    }
    offset += partialCount * kPartialDescriptorSize;
  }
  return found ? ResourceListResult::kIoFound : ResourceListResult::kNoIo;
}
