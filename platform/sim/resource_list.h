// The allocated configuration of a device node (its Control\AllocConfig value): the
// 64-bit CM_RESOURCE_LIST, of which the simulation reads the first I/O port resource of
// the first full descriptor.
#pragma once

#include <cstdint>
#include <string>

struct IoResource {
  uint64_t start = 0;
  uint32_t length = 0;
  uint16_t flags = 0;
};

enum class ResourceListResult {
  kIoFound,     // *resource holds the first I/O port resource
  kNoIo,        // a well-formed list without an I/O port resource in its first descriptor
  kUnreadable,  // the data is too short for the counts it declares
};

// Layout: ULONG count of full descriptors; each full descriptor is ULONG interface type,
// ULONG bus number, USHORT version, USHORT revision, ULONG count of partial descriptors
// and the partial descriptors of 20 bytes: UCHAR type (1 for I/O ports), UCHAR share
// disposition, USHORT flags, 16 bytes of data (I/O: 64-bit start, then ULONG length).
ResourceListResult findIoResource(const std::string& list, IoResource* resource);
