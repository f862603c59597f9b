#include "cli/npz_writer.h"

#include <array>
#include <stdexcept>

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kVersion = 20;    // 2.0: the oldest version that has folders and stored data
constexpr uint16_t kDosDate = 0x21;  // 1 January 1980: archives do not change with the clock
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kNpyAlignment = 64;

void Put16(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, uint64_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

std::string MemberName(const std::string& name) {
  return name + ".npy";
}

}  // namespace

uint32_t ZipCrc32(uint32_t crc, std::string_view bytes) {
  const std::array<uint32_t, 256>& table = CrcTable();
  crc = ~crc;
  for (const char byte : bytes) crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string NpyHeader(const std::string& descr, const std::vector<uint64_t>& shape) {
  std::string dimensions;
  for (const uint64_t n : shape) dimensions += std::to_string(n) + ", ";
  if (shape.size() > 1)
    dimensions.resize(dimensions.size() - 2);
  else if (shape.size() == 1)
    dimensions.pop_back();  // "(n,)"
  std::string dictionary =
      "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (" + dimensions + "), }";
  const size_t prefix = 10;  // magic, version, header length
  const size_t unpadded = prefix + dictionary.size() + 1;
  dictionary.append((kNpyAlignment - unpadded % kNpyAlignment) % kNpyAlignment, ' ');
  dictionary += '\n';
  std::string header("\x93NUMPY\x01\x00", 8);
  Put16(header, static_cast<uint16_t>(dictionary.size()));
  return header + dictionary;
}

uint64_t NpzMemberSize(const std::string& name, const std::string& descr,
                       const std::vector<uint64_t>& shape, uint64_t itemSize) {
  uint64_t data = itemSize;
  for (const uint64_t n : shape) data *= n;
  const uint64_t file = NpyHeader(descr, shape).size() + data;
  return file + kLocalHeaderSize + kCentralHeaderSize + 2 * MemberName(name).size();
}

std::string CNpzWriter::LocalHeader(const CMember& member) const {
  std::string header;
  Put32(header, kLocalHeaderSignature);
  Put16(header, kVersion);
  Put16(header, 0);  // flags: sizes and CRC stand here, not after the data
  Put16(header, 0);  // stored
  Put16(header, 0);  // time
  Put16(header, kDosDate);
  Put32(header, member.crc);
  Put32(header, member.size);
  Put32(header, member.size);
  Put16(header, static_cast<uint16_t>(member.name.size()));
  Put16(header, 0);
  return header + member.name;
}

void CNpzWriter::BeginArray(const std::string& name, const std::string& descr,
                            const std::vector<uint64_t>& shape, uint64_t itemSize) {
  if (m_open) throw std::logic_error("an .npz member is still open");
  if (m_output.Size() + NpzMemberSize(name, descr, shape, itemSize) + 22 > kLargestNpz)
    throw std::runtime_error(
        "the .npz archive would pass 4 GB, which needs zip64; split the run "
        "with --shard");
  CMember member{MemberName(name), m_output.Size(), 0, 0};
  const std::string npy = NpyHeader(descr, shape);
  uint64_t data = itemSize;
  for (const uint64_t n : shape) data *= n;
  member.size = npy.size() + data;
  // The CRC is known only once the data are written; EndArray puts it into this header.
  m_output.Write(LocalHeader(member));
  m_members.push_back(member);
  m_open = true;
  m_written = 0;
  Write(npy);
}

void CNpzWriter::Write(std::string_view bytes) {
  CMember& member = m_members.back();
  member.crc = ZipCrc32(member.crc, bytes);
  m_output.Write(bytes);
  m_written += bytes.size();
}

void CNpzWriter::EndArray() {
  const CMember& member = m_members.back();
  if (m_written != member.size)
    throw std::logic_error("the .npz member " + member.name + " got " + std::to_string(m_written) +
                           " bytes for " + std::to_string(member.size));
  m_output.WriteAt(member.offset, LocalHeader(member));
  m_open = false;
}

void CNpzWriter::Commit() {
  const uint64_t start = m_output.Size();
  std::string directory;
  for (const CMember& member : m_members) {
    Put32(directory, kCentralHeaderSignature);
    Put16(directory, kVersion);  // made by
    Put16(directory, kVersion);  // needed
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, kDosDate);
    Put32(directory, member.crc);
    Put32(directory, member.size);
    Put32(directory, member.size);
    Put16(directory, static_cast<uint16_t>(member.name.size()));
    Put16(directory, 0);  // extra
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disc
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, member.offset);
    directory += member.name;
  }
  const uint64_t directorySize = directory.size();
  Put32(directory, kEndSignature);
  Put16(directory, 0);
  Put16(directory, 0);
  Put16(directory, static_cast<uint16_t>(m_members.size()));
  Put16(directory, static_cast<uint16_t>(m_members.size()));
  Put32(directory, directorySize);
  Put32(directory, start);
  Put16(directory, 0);
  m_output.Write(directory);
  m_output.Commit();
}
