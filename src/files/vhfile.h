// The framework's binary file: buffered reading and writing on top of the platform file, the
// byte order of the file, the primitive reads and writes of the tagged formats, the CRC-32
// trailer, and the bookkeeping that binary formats share (kind, version, tag, chunk map).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "files/platform_file.h"

// A four-character tag as the number its characters make in file order: MakeTag("CRCK")
// is 0x4352434B, which is what ReadTag returns for those four bytes.
constexpr uint32_t MakeTag(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}
// The four characters of a tag, for messages.
std::string TagText(uint32_t tag);

// One chunk of a binary file's directory. The offset is that of the chunk's tag; the length
// counts everything after the tag up to the next chunk.
struct CChunkEntry {
  uint64_t offset = 0;
  uint64_t length = 0;
  std::function<void()> handler;  // may be empty
};

struct CListEntry {
  uint32_t id = 0;
  uint8_t flag = 0;
};

struct CVHRect {
  int16_t top = 0;
  int16_t left = 0;
  int16_t bottom = 0;
  int16_t right = 0;
};

class CVHFile : public CFile {
 public:
  static constexpr size_t kMaxBufferSize = 0x500000;
  // Halving a buffer that cannot be allocated stops below this size; the file then works
  // unbuffered.
  static constexpr size_t kMinBufferSize = 16385;
  static constexpr size_t kDefaultAlignment = 4096;
  static constexpr uint32_t kBlankTag = MakeTag("    ");
  static constexpr uint32_t kCRCTag = MakeTag("CRCK");

  class CReaderBase;
  template <class T, class S, class D = T>
  class CReader;

  CVHFile() = default;
  // Destroying an open file abandons it like Abort: Close it to keep what was written. A file
  // opened to be replaced whole then keeps its old contents (see CFile).
  ~CVHFile() override;

  // Sets the byte order from IsBigEndian, then opens with a buffer: a read-only file is
  // mapped whole (falling back to a private buffer of at most its length), any other file
  // gets a private buffer of the buffer limit.
  bool Open(const std::string& path, unsigned flags, CFileError* error = nullptr) override;
  void Close() override;
  void Abort() override;
  void Flush() override;
  uint64_t GetLength() const override;
  uint64_t GetPosition() const override;
  uint64_t Seek(int64_t offset, SeekOrigin origin) override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;

  // The display name when set, else the file's title.
  virtual std::string GetDisplayName() const;
  unsigned GetOpenFlags() const { return m_openFlags; }
  void SetOpenFlags(unsigned flags) { m_openFlags = flags; }
  // The byte order a format expects before it has read anything; Open starts from it.
  virtual bool IsBigEndian() const { return false; }
  // 1 for an empty list, its size when `all`, else the number of flagged entries.
  virtual unsigned CountEntries(bool all) const;
  // A file without "CRCK" at length - 8 passes and gives false; a trailer that matches gives
  // true; a mismatch throws CVHXFileCRCFailed. The position is kept.
  virtual bool CheckCRC();
  // Appends "CRCK" and the CRC of everything written so far, in file byte order.
  virtual void WriteCRC();
  virtual CVHRect ReadRect();  // top, left, bottom, right as 16-bit values

  bool IsLittleEndian() const { return m_littleEndian; }
  void SetLittleEndian(bool littleEndian) { m_littleEndian = littleEndian; }

  // Primitive reads throw CVHXFileEOF when fewer bytes are left than asked for.
  void ReadExact(void* buffer, size_t count);
  // Four bytes as a big-endian number whatever the byte order (see MakeTag).
  uint32_t ReadTag() { return FromOrder(ReadRaw<uint32_t>(), false); }
  // One number of any width in the file's byte order: uint8_t, int16_t, uint32_t, float...
  template <class T>
  T ReadValue() {
    return FromOrder(ReadRaw<T>(), m_littleEndian);
  }
  std::string ReadUTF8(size_t bytes);            // invalid sequences become U+FFFD
  std::string ReadUTF16(size_t characters);      // 16-bit units in file byte order
  std::string ReadMacRoman(size_t bytes);        // Macintosh Roman character set
  void Skip(uint64_t bytes);

  void WriteBytes(const void* data, size_t count);
  void WriteTag(uint32_t tag) { WriteRaw(FromOrder(tag, false)); }
  template <class T>
  void WriteValue(T value) {
    WriteRaw(FromOrder(value, m_littleEndian));
  }
  // Writes the text as UTF-8 without terminator; returns the number of bytes.
  size_t WriteUTF8(std::string_view text);
  // Writes a tag and a placeholder length; returns the position of the length for
  // BackPatchLength once the block's contents are written.
  uint64_t BeginBlock(uint32_t tag);
  // Writes (current position - lengthPosition - 4) at lengthPosition, in file byte order,
  // and returns to the current position.
  void BackPatchLength(uint64_t lengthPosition);

  unsigned Kind() const { return m_kind; }
  void SetKind(unsigned kind) { m_kind = kind; }
  uint32_t FormatVersion() const { return m_formatVersion; }
  void SetFormatVersion(uint32_t version) { m_formatVersion = version; }
  uint32_t FileTag() const { return m_fileTag; }
  void SetFileTag(uint32_t tag) { m_fileTag = tag; }
  bool WrittenOnWindows() const { return m_writtenOnWindows; }
  void SetWrittenOnWindows(bool windows) { m_writtenOnWindows = windows; }
  bool HeaderRead() const { return m_headerRead; }
  void SetHeaderRead(bool read) { m_headerRead = read; }
  std::map<uint32_t, CChunkEntry>& ChunkMap() { return m_chunks; }
  std::vector<CListEntry>& Entries() { return m_entries; }
  const std::string& SubTitle() const { return m_subTitle; }
  void SetSubTitle(std::string text) { m_subTitle = std::move(text); }
  void SetDisplayName(std::string name) { m_displayName = std::move(name); }

  // Buffering, chosen before Open: the largest private buffer and whether read-only files
  // may be mapped. Tests use small windows to exercise reads that cross them.
  void SetBufferLimit(size_t bytes) { m_bufferLimit = bytes; }
  void SetMappingAllowed(bool allowed) { m_mappingAllowed = allowed; }
  size_t BufferCapacity() const { return m_capacity; }
  bool IsMapped() const { return m_mapped; }

 protected:
  // What every open does first: record the flags and take the byte order from IsBigEndian.
  void BeginOpen(unsigned flags);

 private:
  template <class T>
  static T FromOrder(T value, bool littleEndian) {
    static_assert(std::is_arithmetic_v<T>);
    if constexpr (sizeof(T) > 1) {
      if (littleEndian != (std::endian::native == std::endian::little)) {
        using U = std::conditional_t<sizeof(T) == 2, uint16_t,
                                     std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>;
        U bits = std::bit_cast<U>(value);
        if constexpr (sizeof(T) == 2) bits = __builtin_bswap16(bits);
        if constexpr (sizeof(T) == 4) bits = __builtin_bswap32(bits);
        if constexpr (sizeof(T) == 8) bits = __builtin_bswap64(bits);
        return std::bit_cast<T>(bits);
      }
    }
    return value;
  }
  template <class T>
  T ReadRaw() {
    T value;
    ReadExact(&value, sizeof value);
    return value;
  }
  template <class T>
  void WriteRaw(T value) {
    WriteBytes(&value, sizeof value);
  }

  [[noreturn]] static void ThrowEndOfFile();
  void SetUpBuffer();
  bool MapWhole(uint64_t length);
  void AllocateBuffer(size_t size);
  void ReleaseBuffer();
  void FlushBuffer();
  void RequireAvailable(uint64_t bytes);
  uint32_t CRCOfFirst(uint64_t length);

  unsigned m_kind = 0;
  uint32_t m_formatVersion = 0;
  uint32_t m_fileTag = kBlankTag;
  bool m_writtenOnWindows = true;
  bool m_headerRead = false;
  bool m_littleEndian = true;
  unsigned m_openFlags = 0;
  std::map<uint32_t, CChunkEntry> m_chunks;
  std::vector<CListEntry> m_entries;
  std::string m_subTitle;
  std::string m_displayName;

  // The buffered window: m_buffer[0] is the byte at m_windowStart; m_valid bytes are real;
  // the next byte read or written is m_buffer[m_cursor]. A mapped file's window is the whole
  // file and its cursor may stand past the end after a seek.
  uint8_t* m_buffer = nullptr;
  size_t m_capacity = 0;
  uint64_t m_windowStart = 0;
  size_t m_valid = 0;
  size_t m_cursor = 0;
  bool m_mapped = false;
  bool m_dirty = false;
  size_t m_bufferLimit = kMaxBufferSize;
  bool m_mappingAllowed = true;
};

inline void CVHFile::ReadExact(void* buffer, size_t count) {
  if (m_buffer && m_cursor <= m_valid && count <= m_valid - m_cursor) {
    std::memcpy(buffer, m_buffer + m_cursor, count);
    m_cursor += count;
    return;
  }
  if (Read(buffer, count) != count) ThrowEndOfFile();
}

inline void CVHFile::WriteBytes(const void* data, size_t count) {
  if (!m_mapped && m_buffer && count <= m_capacity - m_cursor) {
    std::memcpy(m_buffer + m_cursor, data, count);
    m_cursor += count;
    if (m_cursor > m_valid) m_valid = m_cursor;
    m_dirty = true;
    return;
  }
  Write(data, count);
}
