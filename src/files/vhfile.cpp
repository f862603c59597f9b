#include "files/vhfile.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "app/crc32.h"
#include "errors/exceptions.h"
#include "files/encoding.h"

namespace {

// Pieces in which a file that is not mapped is read back for its CRC.
constexpr size_t kCRCPieceSize = 0x100000;

size_t RoundUp(size_t size, size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

}  // namespace

std::string TagText(uint32_t tag) {
  return {static_cast<char>(tag >> 24), static_cast<char>(tag >> 16), static_cast<char>(tag >> 8),
          static_cast<char>(tag)};
}

CVHFile::~CVHFile() { ReleaseBuffer(); }

void CVHFile::ThrowEndOfFile() { throw CVHXFileEOF(); }

void CVHFile::BeginOpen(unsigned flags) {
  m_littleEndian = !IsBigEndian();
  m_openFlags = flags;
}

bool CVHFile::Open(const std::string& path, unsigned flags, CFileError* error) {
  Abort();
  BeginOpen(flags);
  if (!CFile::Open(path, flags, error)) return false;
  try {
    SetUpBuffer();
  } catch (...) {
    Abort();
    throw;
  }
  return true;
}

void CVHFile::SetUpBuffer() {
  size_t size = m_bufferLimit;
  if ((m_openFlags & kModeAccessMask) == kModeRead) {
    const uint64_t length = CFile::GetLength();
    if (length == 0) return;
    if (m_mappingAllowed && MapWhole(length)) return;
    size = static_cast<size_t>(std::min<uint64_t>(length, m_bufferLimit));
  }
  AllocateBuffer(size);
}

bool CVHFile::MapWhole(uint64_t length) {
  if (length > std::numeric_limits<size_t>::max()) return false;
  void* view = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_PRIVATE, Descriptor(), 0);
  if (view == MAP_FAILED) return false;
  m_buffer = static_cast<uint8_t*>(view);
  m_capacity = m_valid = static_cast<size_t>(length);
  m_mapped = true;
  return true;
}

void CVHFile::AllocateBuffer(size_t size) {
  // Aligned to the volume's block size so that whole-buffer transfers stay block-aligned.
  size_t alignment = kDefaultAlignment;
  struct stat status {};
  if (::fstat(Descriptor(), &status) == 0 && status.st_blksize > 0 &&
      std::has_single_bit(static_cast<size_t>(status.st_blksize)))
    alignment = std::max(static_cast<size_t>(status.st_blksize), sizeof(void*));
  size = RoundUp(std::max<size_t>(size, 1), alignment);
  while (true) {
    void* memory = nullptr;
    if (::posix_memalign(&memory, alignment, size) == 0) {
      m_buffer = static_cast<uint8_t*>(memory);
      m_capacity = size;
      return;
    }
    size /= 2;
    if (size < kMinBufferSize) return;  // unbuffered
    size = RoundUp(size, alignment);
  }
}

void CVHFile::ReleaseBuffer() {
  if (m_mapped) {
    ::munmap(m_buffer, m_capacity);
  } else {
    std::free(m_buffer);
  }
  m_buffer = nullptr;
  m_capacity = m_valid = m_cursor = 0;
  m_windowStart = 0;
  m_mapped = m_dirty = false;
}

void CVHFile::FlushBuffer() {
  if (!m_dirty) return;
  CFile::Seek(static_cast<int64_t>(m_windowStart), kBegin);
  CFile::Write(m_buffer, m_valid);
  m_dirty = false;
}

void CVHFile::Close() {
  try {
    FlushBuffer();
  } catch (...) {
    Abort();
    throw;
  }
  ReleaseBuffer();
  CFile::Close();
}

void CVHFile::Abort() {
  ReleaseBuffer();
  CFile::Abort();
}

void CVHFile::Flush() {
  FlushBuffer();
  CFile::Flush();
}

uint64_t CVHFile::GetLength() const {
  if (m_mapped) return m_capacity;
  const uint64_t length = CFile::GetLength();
  return m_buffer ? std::max<uint64_t>(length, m_windowStart + m_valid) : length;
}

uint64_t CVHFile::GetPosition() const {
  return m_buffer ? m_windowStart + m_cursor : CFile::GetPosition();
}

uint64_t CVHFile::Seek(int64_t offset, SeekOrigin origin) {
  if (!m_buffer) return CFile::Seek(offset, origin);
  int64_t base = 0;
  if (origin == kCurrent) base = static_cast<int64_t>(GetPosition());
  if (origin == kEnd) base = static_cast<int64_t>(GetLength());
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0)
    throw CVHXFile(kSeverityMessage, EINVAL);
  const auto position = static_cast<uint64_t>(target);
  if (m_mapped ||
      (position >= m_windowStart && position - m_windowStart <= m_valid)) {
    m_cursor = static_cast<size_t>(position - m_windowStart);
    return position;
  }
  FlushBuffer();
  CFile::Seek(target, kBegin);
  m_windowStart = position;
  m_valid = m_cursor = 0;
  return position;
}

size_t CVHFile::Read(void* buffer, size_t count) {
  if (!m_buffer) return CFile::Read(buffer, count);
  auto* out = static_cast<uint8_t*>(buffer);
  const size_t available = m_cursor < m_valid ? m_valid - m_cursor : 0;
  const size_t taken = std::min(count, available);
  if (taken > 0) std::memcpy(out, m_buffer + m_cursor, taken);
  m_cursor += taken;
  if (taken == count || m_mapped) return taken;

  FlushBuffer();
  const uint64_t position = m_windowStart + m_cursor;
  CFile::Seek(static_cast<int64_t>(position), kBegin);
  const size_t remainder = count - taken;
  if (remainder <= m_capacity) {
    m_windowStart = position;
    m_valid = CFile::Read(m_buffer, m_capacity);
    m_cursor = std::min(remainder, m_valid);
    std::memcpy(out + taken, m_buffer, m_cursor);
    return taken + m_cursor;
  }
  // Larger than the window: straight into the caller's memory.
  const size_t got = CFile::Read(out + taken, remainder);
  m_windowStart = position + got;
  m_valid = m_cursor = 0;
  return taken + got;
}

void CVHFile::Write(const void* buffer, size_t count) {
  if (m_mapped) throw CVHXFile(kSeverityInternal, EBADF);
  if (!m_buffer) return CFile::Write(buffer, count);
  if (count <= m_capacity - m_cursor) return WriteBytes(buffer, count);
  FlushBuffer();
  const uint64_t position = m_windowStart + m_cursor;
  CFile::Seek(static_cast<int64_t>(position), kBegin);
  CFile::Write(buffer, count);
  m_windowStart = position + count;
  m_valid = m_cursor = 0;
}

std::string CVHFile::GetDisplayName() const {
  return m_displayName.empty() ? GetFileTitle() : m_displayName;
}

unsigned CVHFile::CountEntries(bool all) const {
  if (m_entries.empty()) return 1;
  if (all) return static_cast<unsigned>(m_entries.size());
  return static_cast<unsigned>(
      std::count_if(m_entries.begin(), m_entries.end(), [](const CListEntry& e) { return e.flag; }));
}

uint32_t CVHFile::CRCOfFirst(uint64_t length) {
  if (m_mapped) return CCRC32::Of(m_buffer, static_cast<size_t>(length));
  // Read back through a separate handle: this one may be write-only, and its window stays put.
  // A file being replaced has what was written in its temporary file.
  Flush();
  const CFileReplacement& replacement = Replacement();
  CFile reader;
  CFileError error;
  if (!reader.Open(replacement.IsPending() ? replacement.TemporaryPath() : GetFilePath(), kModeRead,
                   &error))
    throw CVHXFile(kSeverityMessage, error.code);
  std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(length, kCRCPieceSize)));
  uint32_t crc = CCRC32::kInitial;
  for (uint64_t done = 0; done < length;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, piece.size()));
    if (reader.Read(piece.data(), want) != want) ThrowEndOfFile();
    crc = CCRC32::Update(crc, piece.data(), want);
    done += want;
  }
  return ~crc;
}

bool CVHFile::CheckCRC() {
  const uint64_t length = GetLength();
  if (length < 8) return false;
  const uint64_t position = GetPosition();
  Seek(static_cast<int64_t>(length - 8), kBegin);
  if (ReadTag() != kCRCTag) {
    Seek(static_cast<int64_t>(position), kBegin);
    return false;
  }
  const auto stored = ReadValue<uint32_t>();
  Seek(static_cast<int64_t>(position), kBegin);
  if (CRCOfFirst(length - 8) != stored) throw CVHXFileCRCFailed();
  return true;
}

void CVHFile::WriteCRC() {
  const uint64_t length = GetLength();
  const uint32_t crc = CRCOfFirst(length);
  Seek(static_cast<int64_t>(length), kBegin);
  WriteTag(kCRCTag);
  WriteValue(crc);
}

CVHRect CVHFile::ReadRect() {
  CVHRect rect;
  rect.top = ReadValue<int16_t>();
  rect.left = ReadValue<int16_t>();
  rect.bottom = ReadValue<int16_t>();
  rect.right = ReadValue<int16_t>();
  return rect;
}

void CVHFile::RequireAvailable(uint64_t bytes) {
  // Checked before anything is allocated, so that a damaged length cannot ask for gigabytes.
  const uint64_t length = GetLength();
  const uint64_t position = GetPosition();
  if (position > length || bytes > length - position) ThrowEndOfFile();
}

std::string CVHFile::ReadUTF8(size_t bytes) {
  RequireAvailable(bytes);
  std::string raw(bytes, '\0');
  ReadExact(raw.data(), bytes);
  return ValidUTF8(raw);
}

std::string CVHFile::ReadUTF16(size_t characters) {
  if (characters > std::numeric_limits<uint64_t>::max() / 2) ThrowEndOfFile();
  RequireAvailable(uint64_t{characters} * 2);
  std::u16string units(characters, u'\0');
  for (char16_t& unit : units) unit = ReadValue<uint16_t>();
  return UTF16ToUTF8(units);
}

std::string CVHFile::ReadMacRoman(size_t bytes) {
  RequireAvailable(bytes);
  std::string raw(bytes, '\0');
  ReadExact(raw.data(), bytes);
  return MacRomanToUTF8(raw);
}

void CVHFile::Skip(uint64_t bytes) {
  RequireAvailable(bytes);
  Seek(static_cast<int64_t>(bytes), kCurrent);
}

size_t CVHFile::WriteUTF8(std::string_view text) {
  WriteBytes(text.data(), text.size());
  return text.size();
}

uint64_t CVHFile::BeginBlock(uint32_t tag) {
  WriteTag(tag);
  const uint64_t lengthPosition = GetPosition();
  WriteValue<uint32_t>(0);
  return lengthPosition;
}

void CVHFile::BackPatchLength(uint64_t lengthPosition) {
  const uint64_t here = GetPosition();
  if (here < lengthPosition + 4) throw CVHXFile(kSeverityInternal, EINVAL);
  const uint64_t length = here - lengthPosition - 4;
  if (length > std::numeric_limits<uint32_t>::max()) throw CVHXFile(kSeverityMessage, EFBIG);
  Seek(static_cast<int64_t>(lengthPosition), kBegin);
  WriteValue(static_cast<uint32_t>(length));
  Seek(static_cast<int64_t>(here), kBegin);
}
