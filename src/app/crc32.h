// CRC-32/BZIP2: polynomial 0x04C11DB7, most significant bit first, initial value 0xFFFFFFFF,
// result complemented. The trailer of the program's binary files carries it, and the preferences
// store tells with it whether a group has changed since it was saved.
#pragma once

#include <cstddef>
#include <cstdint>

class CCRC32 {
 public:
  static constexpr uint32_t kInitial = 0xFFFFFFFF;

  // Continues a running value over `length` more bytes.
  static uint32_t Update(uint32_t crc, const void* data, size_t length);
  // The finished value of one buffer: Update from kInitial, complemented.
  static uint32_t Of(const void* data, size_t length) { return ~Update(kInitial, data, length); }
};
