// Numbers kept least significant byte first in byte buffers: the driver's request
// records, registry REG_DWORD data and device resource descriptors all lay them out so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The number in the `size` bytes (at most 8) at `bytes`.
template <typename Byte>
uint64_t readLittleEndian(const Byte* bytes, size_t size) {
  static_assert(sizeof(Byte) == 1);
  uint64_t value = 0;
  for (size_t i = size; i > 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
  return value;
}

// The 32-bit word in the four bytes at `bytes`.
template <typename Byte>
uint32_t readWord32(const Byte* bytes) {
  return static_cast<uint32_t>(readLittleEndian(bytes, 4));
}

// Writes the low `size` bytes (at most 8) of `value` to `bytes`.
template <typename Byte>
void writeLittleEndian(Byte* bytes, size_t size, uint64_t value) {
  static_assert(sizeof(Byte) == 1);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<Byte>((value >> (8 * i)) & 0xFF);
}

// The four bytes of a 32-bit word, as REG_DWORD data holds them.
inline std::string word32Bytes(uint32_t value) {
  std::string bytes(4, '\0');
  writeLittleEndian(bytes.data(), bytes.size(), value);
  return bytes;
}
