#include "app/crc32.h"

#include <array>

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;

const std::array<uint32_t, 256>& Table() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> entries{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i << 24;
      for (int round = 0; round < 8; ++round)
        value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
      entries[i] = value;
    }
    return entries;
  }();
  return table;
}

}  // namespace

uint32_t CCRC32::Update(uint32_t crc, const void* data, size_t length) {
  const auto& table = Table();
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < length; ++i) crc = table[(crc >> 24) ^ bytes[i]] ^ (crc << 8);
  return crc;
}
