#include "app/crc32.h"

#include <array>

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;

// Slices 1 to 8: table k gives what a byte followed by k zero bytes does to the register, so
// that eight bytes go through in one step instead of eight (slicing-by-8). Table 0 is the
// bytewise table.
using CTables = std::array<std::array<uint32_t, 256>, 8>;

const CTables& Tables() {
  static const CTables tables = [] {
    CTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i << 24;
      for (int round = 0; round < 8; ++round)
        value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
      t[0][i] = value;
    }
    for (size_t k = 1; k < t.size(); ++k)
      for (uint32_t i = 0; i < 256; ++i) t[k][i] = t[k - 1][i] << 8 ^ t[0][t[k - 1][i] >> 24];
    return t;
  }();
  return tables;
}

}  // namespace

uint32_t CCRC32::Update(uint32_t crc, const void* data, size_t length) {
  const CTables& t = Tables();
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (; length >= 8; length -= 8, bytes += 8) {
    crc ^= static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    crc = t[7][crc >> 24] ^ t[6][(crc >> 16) & 0xFF] ^ t[5][(crc >> 8) & 0xFF] ^ t[4][crc & 0xFF] ^
          t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
  }
  for (size_t i = 0; i < length; ++i) crc = t[0][(crc >> 24) ^ bytes[i]] ^ (crc << 8);
  return crc;
}
