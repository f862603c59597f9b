// NumPy's .npz archive, written as a stream: a zip of stored (uncompressed) .npy members, each a
// format 1.0 header and the array's raw little-endian data. Members are written one after the
// other, their data in pieces, so that an archive of a whole database never sits in memory.
// Without zip64 an archive stays below 4 GB; a larger one is refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/atomic_output.h"

// The largest archive a zip without zip64 can describe.
constexpr uint64_t kLargestNpz = 0xFFFFFFFFull;

// The bytes an array of `shape` with items of `itemSize` bytes takes as a member, headers
// included, for checking a size before the work that would produce it.
uint64_t NpzMemberSize(const std::string& name, const std::string& descr,
                       const std::vector<uint64_t>& shape, uint64_t itemSize);

// The .npy header of an array (magic, version 1.0, dictionary padded to 64 bytes).
std::string NpyHeader(const std::string& descr, const std::vector<uint64_t>& shape);

// CRC-32 as zip uses it (reflected polynomial 0xEDB88320; the program's own CRC-32 of
// app/crc32.h is the unreflected BZIP2 variant, which zip readers would reject).
uint32_t ZipCrc32(uint32_t crc, std::string_view bytes);

class CNpzWriter {
 public:
  explicit CNpzWriter(const std::string& path) : m_output(path) {}

  // Starts the member NAME.npy: an array of `shape` whose items are `itemSize` bytes of dtype
  // `descr` ("<f8", "<f4", "|i1", "<U12"). Its data follow through Write, in C order. An
  // archive that would pass 4 GB raises.
  void BeginArray(const std::string& name, const std::string& descr,
                  const std::vector<uint64_t>& shape, uint64_t itemSize);
  void Write(std::string_view bytes);
  // Ends the member; the data written must be exactly what its shape announced.
  void EndArray();
  // Writes the central directory and puts the archive in its place.
  void Commit();

 private:
  struct CMember {
    std::string name;
    uint64_t offset = 0;  // of its local header
    uint64_t size = 0;    // of its data, the .npy header included
    uint32_t crc = 0;
  };

  std::string LocalHeader(const CMember& member) const;

  CAtomicOutput m_output;
  std::vector<CMember> m_members;
  uint64_t m_written = 0;  // of the open member's data
  bool m_open = false;
};
