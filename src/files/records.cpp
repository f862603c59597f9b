#include "files/records.h"

#include <algorithm>
#include <cmath>

#include "errors/exceptions.h"

namespace records_detail {

long double ClampForTruncation(long double value, long double lowest, long double highest) {
  if (std::isnan(value)) return 0;
  return std::clamp(std::trunc(value), lowest, highest);
}

}  // namespace records_detail

namespace {

uint32_t ChannelByte(float channel) {
  return static_cast<uint32_t>(records_detail::ClampForTruncation(channel * 255.0f, 0, 255));
}

void WriteRecordHeader(CVHFile& file, uint32_t tag, uint32_t length) {
  file.WriteTag(tag);
  file.WriteValue(length);
}

}  // namespace

size_t CVHFile::CReader<CColor, CColor, CColor>::Read() {
  const float red = m_file.ReadValue<float>();
  const float green = m_file.ReadValue<float>();
  const float blue = m_file.ReadValue<float>();
  const float alpha = m_file.ReadValue<float>();
  *m_destination = ChannelByte(alpha) << 24 | ChannelByte(red) << 16 | ChannelByte(green) << 8 |
                   ChannelByte(blue);
  return 16;
}

void WriteFloatRecord(CVHFile& file, uint32_t tag, double value) {
  WriteRecordHeader(file, tag, 4);
  file.WriteValue(static_cast<float>(value));
}

void WriteBoolRecord(CVHFile& file, uint32_t tag, bool value) {
  WriteByteRecord(file, tag, value ? 0xFF : 0x00);
}

void WriteByteRecord(CVHFile& file, uint32_t tag, uint8_t value) {
  WriteRecordHeader(file, tag, 1);
  file.WriteValue(value);
}

void WriteUInt32Record(CVHFile& file, uint32_t tag, uint32_t value) {
  WriteRecordHeader(file, tag, 4);
  file.WriteValue(value);
}

void WriteTextRecord(CVHFile& file, uint32_t tag, std::string_view utf8) {
  const uint64_t lengthPosition = file.BeginBlock(tag);
  file.WriteUTF8(utf8);
  file.BackPatchLength(lengthPosition);
}

void WriteColorRecord(CVHFile& file, uint32_t tag, uint32_t argb) {
  WriteRecordHeader(file, tag, 16);
  for (const int shift : {16, 8, 0, 24})  // red, green, blue, alpha
    file.WriteValue(static_cast<float>((argb >> shift) & 0xFF) / 255.0f);
}

CRecordHeader ReadRecordHeader(CVHFile& file) {
  CRecordHeader header;
  header.tag = file.ReadTag();
  header.length = file.ReadValue<uint32_t>();
  return header;
}

CRecordMapReader::CRecordMapReader(CVHFile& file) : m_file(file) {}

CRecordMapReader::~CRecordMapReader() = default;

void CRecordMapReader::AddReader(uint32_t tag, std::unique_ptr<CVHFile::CReaderBase> reader) {
  m_readers[tag] = std::move(reader);
}

void CRecordMapReader::AddHandler(uint32_t tag, CHandler handler) {
  m_handlers[tag] = std::move(handler);
}

void CRecordMapReader::ReadBlock(uint64_t length) {
  constexpr uint64_t kHeaderSize = 8;
  uint64_t consumed = 0;
  while (consumed < length) {
    if (length - consumed < kHeaderSize) throw CVHXFileInvalid();
    const CRecordHeader header = ReadRecordHeader(m_file);
    if (header.length > length - consumed - kHeaderSize) throw CVHXFileInvalid();
    const uint64_t start = m_file.GetPosition();
    if (const auto reader = m_readers.find(header.tag); reader != m_readers.end()) {
      reader->second->Read();
    } else if (const auto handler = m_handlers.find(header.tag); handler != m_handlers.end()) {
      handler->second(header.length);
    } else {
      m_file.Skip(header.length);
    }
    if (m_file.GetPosition() - start != header.length) throw CVHXFileInvalid();
    consumed += kHeaderSize + header.length;
  }
}
