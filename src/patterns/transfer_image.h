// The transfer image: the byte form in which patterns travel between the pattern lists of one
// running program (copy and paste, drag and drop). Values are written in the machine's own
// byte order and layout, since an image never leaves the process that wrote it; strings are a
// 64-bit byte count followed by their UTF-8 bytes, sequences a 64-bit count followed by the items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>

#include "patterns/profile.h"

class CTSCrystal;

// Writes into a buffer, or only counts the bytes when it has none, so that the size of an image
// comes from the same code that writes it.
class CTransferWriter {
 public:
  CTransferWriter() = default;  // counting only
  explicit CTransferWriter(std::span<std::byte> buffer) : m_buffer(buffer), m_counting(false) {}

  template <class T>
    requires std::is_trivially_copyable_v<T>
  void Write(const T& value) {
    WriteBytes(&value, sizeof value);
  }
  void WriteString(const std::string& text);
  void WriteProfile(const CProfile& profile);

  // Bytes written (or counted) so far.
  size_t Position() const { return m_position; }

 private:
  void WriteBytes(const void* data, size_t count);

  std::span<std::byte> m_buffer;
  bool m_counting = true;
  size_t m_position = 0;
};

// Reads an image back. Reading past its end, or a count larger than the bytes left could hold,
// raises CVHXFileEOF, so a damaged image cannot make the reader allocate without bound.
class CTransferReader {
 public:
  explicit CTransferReader(std::span<const std::byte> image) : m_image(image) {}

  template <class T>
    requires std::is_trivially_copyable_v<T>
  T Read() {
    if constexpr (std::is_same_v<T, bool>) {
      // Any byte other than 0 is true, so a damaged image never yields an invalid bool.
      return Read<uint8_t>() != 0;
    } else {
      T value;
      ReadBytes(&value, sizeof value);
      return value;
    }
  }
  std::string ReadString();
  CProfile ReadProfile();
  // A sequence count whose items take at least `itemSize` bytes each.
  size_t ReadCount(size_t itemSize);

  size_t Position() const { return m_position; }

 private:
  void ReadBytes(void* data, size_t count);

  std::span<const std::byte> m_image;
  size_t m_position = 0;
};

// A crystal with everything it holds: cell, sites with their species, scattering records and
// displacement records, operators, sample settings and the reflexion list.
void WriteCrystal(CTransferWriter& writer, const CTSCrystal& crystal);
void ReadCrystal(CTransferReader& reader, CTSCrystal& crystal);
