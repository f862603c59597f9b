#include "files/stdio_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "errors/exceptions.h"
#include "files/tess_file.h"

namespace {

// A failure of the platform stream reaches the user as a system error with the platform's own
// explanation ("No space left on device").
[[noreturn]] void ThrowSystemError(int code) { throw CVHXMFC(kSeverityMessage, code, 0, std::strerror(code)); }

// Bytes of a mapped file.
class CMemorySource {
 public:
  CMemorySource(const char* data, size_t size, size_t& pointer)
      : m_data(data), m_size(size), m_pointer(pointer) {}
  int Next() { return m_pointer < m_size ? static_cast<unsigned char>(m_data[m_pointer++]) : -1; }
  int Peek() const { return m_pointer < m_size ? static_cast<unsigned char>(m_data[m_pointer]) : -1; }

 private:
  const char* m_data;
  size_t m_size;
  size_t& m_pointer;
};

// Bytes of a C stream.
class CStreamSource {
 public:
  explicit CStreamSource(std::FILE* stream) : m_stream(stream) {}
  int Next() { return Checked(getc_unlocked(m_stream)); }
  int Peek() {
    const int c = Checked(getc_unlocked(m_stream));
    if (c >= 0) ungetc(c, m_stream);
    return c;
  }

 private:
  int Checked(int c) {
    if (c == EOF && std::ferror(m_stream)) ThrowSystemError(errno);
    return c == EOF ? -1 : c;
  }
  std::FILE* m_stream;
};

template <class Source>
long ScanLine(Source& source, char* buffer, size_t size) {
  size_t stored = 0;
  int c;
  while ((c = source.Next()) >= 0) {
    if (c == '\n') break;
    if (c == '\r') {
      if (source.Peek() == '\n') source.Next();
      break;
    }
    if (c == '\0') continue;
    if (stored + 1 < size) buffer[stored++] = static_cast<char>(c);
  }
  if (size > 0) buffer[stored] = '\0';
  if (c < 0 && stored == 0) return -1;
  return static_cast<long>(stored);
}

}  // namespace

template <class Base>
CVHStdioFile<Base>::~CVHStdioFile() {
  CVHStdioFile::Abort();
}

template <class Base>
std::string CVHStdioFile<Base>::ModeString(unsigned flags) {
  const unsigned access = flags & CFile::kModeAccessMask;
  std::string mode;
  if (flags & CFile::kModeCreate) {
    mode = (flags & CFile::kModeNoTruncate) ? "a" : "w";
  } else {
    mode = access == CFile::kModeWrite ? "a" : "r";
  }
  // Updating: reading on a file opened for writing, or writing on one opened for reading.
  if ((mode == "r" && access == CFile::kModeReadWrite) ||
      (mode != "r" && access != CFile::kModeWrite))
    mode += '+';
  mode += (flags & CFile::kTypeBinary) ? 'b' : 't';
  mode += 'S';
  return mode;
}

template <class Base>
bool CVHStdioFile<Base>::Open(const std::string& path, unsigned flags, CFileError* error) {
  Abort();
  if constexpr (std::is_base_of_v<CVHFile, Base>) this->BeginOpen(flags);
  m_mode = ModeString(flags);
  const bool readOnly = (flags & CFile::kModeAccessMask) == CFile::kModeRead &&
                        !(flags & CFile::kModeCreate);
  if (readOnly) {
    if (!this->CFile::Open(path, flags, error)) return false;
    if (MapForReading()) return true;
    this->CFile::Abort();
  }
  return OpenStream(path, flags, error);
}

template <class Base>
bool CVHStdioFile<Base>::MapForReading() {
  const uint64_t length = this->CFile::GetLength();
  if (length > 0) {
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, this->Descriptor(), 0);
    if (view == MAP_FAILED) return false;
    m_view = static_cast<const char*>(view);
  }
  m_viewSize = static_cast<size_t>(length);
  m_readPointer = 0;
  m_memoryRead = true;
  return true;
}

template <class Base>
bool CVHStdioFile<Base>::OpenStream(const std::string& path, unsigned flags, CFileError* error) {
  if (CFile::ReplacesWholeFile(flags)) {
    CFileReplacement& replacement = this->Replacement();
    const int descriptor = replacement.Open(path);
    m_stream = descriptor < 0 ? nullptr : ::fdopen(descriptor, m_mode.c_str());
    if (descriptor >= 0 && !m_stream) {
      const int code = errno;
      ::close(descriptor);
      replacement.Discard();
      errno = code;
    }
  } else {
    m_stream = std::fopen(path.c_str(), m_mode.c_str());
  }
  if (!m_stream) {
    if (error) *error = {errno, path};
    return false;
  }
  std::setvbuf(m_stream, nullptr, _IOFBF, kStreamBufferSize);
  this->AttachBorrowed(fileno(m_stream), path);
  return true;
}

template <class Base>
void CVHStdioFile<Base>::Close() {
  if (m_stream) {
    std::FILE* stream = m_stream;
    m_stream = nullptr;
    this->DetachBorrowed();
    // A replacement's data reach the disc before it takes the target's place.
    CFileReplacement& replacement = this->Replacement();
    int code = std::fflush(stream) == 0 ? replacement.Sync(fileno(stream)) : errno;
    if (std::fclose(stream) != 0 && code == 0) code = errno;
    if (code == 0) code = replacement.Commit();
    if (code != 0) {
      Base::Abort();
      ThrowSystemError(code);
    }
  }
  if (m_view) ::munmap(const_cast<char*>(m_view), m_viewSize);
  m_view = nullptr;
  m_viewSize = m_readPointer = 0;
  m_memoryRead = false;
  Base::Close();
}

template <class Base>
void CVHStdioFile<Base>::Abort() {
  if (m_stream) {
    this->DetachBorrowed();
    std::fclose(m_stream);
    m_stream = nullptr;
  }
  if (m_view) ::munmap(const_cast<char*>(m_view), m_viewSize);
  m_view = nullptr;
  m_viewSize = m_readPointer = 0;
  m_memoryRead = false;
  Base::Abort();
}

template <class Base>
std::FILE* CVHStdioFile<Base>::Stream() const {
  if (!m_stream) {
    if (m_memoryRead) ThrowSystemError(EBADF);  // a read-only file has no stream to write to
    throw CVHXFileNotOpen(kSeverityInternal);
  }
  return m_stream;
}

template <class Base>
void CVHStdioFile<Base>::Flush() {
  if (m_memoryRead) return;
  if (std::fflush(Stream()) != 0) ThrowSystemError(errno);
}

template <class Base>
uint64_t CVHStdioFile<Base>::GetLength() const {
  if (m_memoryRead) return m_viewSize;
  if (std::fflush(Stream()) != 0) ThrowSystemError(errno);
  return this->CFile::GetLength();
}

template <class Base>
uint64_t CVHStdioFile<Base>::GetPosition() const {
  if (m_memoryRead) return m_readPointer;
  const off_t position = ftello(Stream());
  if (position < 0) ThrowSystemError(errno);
  return static_cast<uint64_t>(position);
}

template <class Base>
uint64_t CVHStdioFile<Base>::Seek(int64_t offset, CFile::SeekOrigin origin) {
  if (m_memoryRead) {
    int64_t base = 0;
    if (origin == CFile::kCurrent) base = static_cast<int64_t>(m_readPointer);
    if (origin == CFile::kEnd) base = static_cast<int64_t>(m_viewSize);
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) ThrowSystemError(EINVAL);
    m_readPointer = static_cast<size_t>(target);
    return m_readPointer;
  }
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (fseeko(Stream(), offset, kWhence[origin]) != 0) ThrowSystemError(errno);
  return GetPosition();
}

template <class Base>
size_t CVHStdioFile<Base>::Read(void* buffer, size_t count) {
  if (m_memoryRead) {
    const size_t available = m_readPointer < m_viewSize ? m_viewSize - m_readPointer : 0;
    const size_t taken = std::min(count, available);
    if (taken > 0) std::memcpy(buffer, m_view + m_readPointer, taken);
    m_readPointer += taken;
    return taken;
  }
  std::FILE* stream = Stream();
  const size_t got = std::fread(buffer, 1, count, stream);
  if (got < count && std::ferror(stream)) ThrowSystemError(errno);
  return got;
}

template <class Base>
void CVHStdioFile<Base>::Write(const void* buffer, size_t count) {
  if (std::fwrite(buffer, 1, count, Stream()) != count) ThrowSystemError(errno);
}

template <class Base>
long CVHStdioFile<Base>::ReadLine(char* buffer, size_t size) {
  if (m_memoryRead) {
    CMemorySource source(m_view, m_viewSize, m_readPointer);
    return ScanLine(source, buffer, size);
  }
  CStreamSource source(Stream());
  return ScanLine(source, buffer, size);
}

template <class Base>
bool CVHStdioFile<Base>::ReadLine(std::string& line, size_t limit) {
  line.resize(limit + 1);
  const long stored = ReadLine(line.data(), limit + 1);
  line.resize(stored < 0 ? 0 : static_cast<size_t>(stored));
  return stored >= 0;
}

template <class Base>
bool CVHStdioFile<Base>::SkipLine() {
  return ReadLine(nullptr, 0) >= 0;
}

template <class Base>
std::string_view CVHStdioFile<Base>::ReadRemaining() {
  if (m_memoryRead) {
    const size_t start = std::min(m_readPointer, m_viewSize);
    m_readPointer = m_viewSize;
    return {m_view + start, m_viewSize - start};
  }
  m_remaining.clear();
  char buffer[65536];
  for (size_t got; (got = Read(buffer, sizeof buffer)) > 0;) m_remaining.append(buffer, got);
  return m_remaining;
}

template <class Base>
void CVHStdioFile<Base>::WriteString(std::string_view text) {
  Write(text.data(), text.size());
}

template class CVHStdioFile<CFile>;
template class CVHStdioFile<CTessFile>;
