// The text layer of the line-oriented formats, over the plain platform file or over the
// program's file class. A file opened for reading only is mapped and scanned in memory; any
// other (or one that cannot be mapped) goes through a C stream with a large buffer. A stream
// that replaces the whole file writes to a temporary file that Close puts in the target's place,
// as the platform file does.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "errors/exception.h"
#include "files/platform_file.h"

template <class Base>
class CVHStdioFile : public Base {
 public:
  static constexpr size_t kStreamBufferSize = 0x500000;
  static constexpr size_t kDefaultLineLimit = 255;

  CVHStdioFile() = default;
  ~CVHStdioFile() override;

  // "r" reading, "w" writing, "a" appending, "r+", "w+" or "a+" updating; then "t" for text or
  // "b" for binary; then "S" (sequential access).
  static std::string ModeString(unsigned flags);

  // A file that does not exist fails without an exception; `error` gets the reason and path.
  bool Open(const std::string& path, unsigned flags, CFileError* error = nullptr) override;
  void Close() override;
  void Abort() override;
  void Flush() override;
  uint64_t GetLength() const override;
  uint64_t GetPosition() const override;
  uint64_t Seek(int64_t offset, CFile::SeekOrigin origin) override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;

  // Reads one line into `buffer` of `size` bytes. A carriage return, a line feed, or a
  // carriage return followed by a line feed ends a line; NUL bytes are dropped; bytes beyond
  // size - 1 are consumed but dropped; the result is NUL-terminated. Returns the number of
  // bytes stored, or -1 when the data are exhausted and nothing was stored.
  long ReadLine(char* buffer, size_t size);
  // The same into a string of at most `limit` bytes; false at the end of the data.
  bool ReadLine(std::string& line, size_t limit = kDefaultLineLimit);
  // Consumes up to and including the next line end; false at the end of the data.
  bool SkipLine();
  // The rest of the data at once, for formats that parse a whole file (such as CIF): a view of
  // the mapped file, or of a copy read from the stream. Valid until the file is closed.
  std::string_view ReadRemaining();

  void WriteString(std::string_view text);
  // printf-style output, with the decimal point of the C locale whatever the process's locale.
  template <class... Arguments>
  void WriteFormatted(std::string_view format, const Arguments&... arguments) {
    WriteString(Formatted(format, arguments...));
  }

  const std::string& Mode() const { return m_mode; }

 private:
  bool MapForReading();
  bool OpenStream(const std::string& path, unsigned flags, CFileError* error);
  std::FILE* Stream() const;  // throws unless a stream is open

  std::FILE* m_stream = nullptr;
  // A read-only file: its mapped view, the view's size (one past the last valid byte) and
  // the read pointer.
  const char* m_view = nullptr;
  size_t m_viewSize = 0;
  size_t m_readPointer = 0;
  bool m_memoryRead = false;
  std::string m_mode;
  std::string m_remaining;  // what ReadRemaining read from a stream
};

// Instantiated in the library for CFile and CTessFile.
extern template class CVHStdioFile<CFile>;
