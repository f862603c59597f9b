// The platform file: an open descriptor with unbuffered read, write, seek and length. The
// framework's buffered file and the text layer build on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What an open that failed leaves behind for the caller's message.
struct CFileError {
  int code = 0;  // errno of the failed call
  std::string path;
};

class CFile {
 public:
  // Open flags. Exactly one access mode; the others combine with it.
  enum : unsigned {
    kModeRead = 0x0000,
    kModeWrite = 0x0001,
    kModeReadWrite = 0x0002,
    kModeAccessMask = 0x0003,
    kModeCreate = 0x1000,      // create, truncating an existing file unless kModeNoTruncate
    kModeNoTruncate = 0x2000,  // with kModeCreate: keep an existing file's contents
    kTypeText = 0x4000,
    kTypeBinary = 0x8000,
  };
  enum SeekOrigin { kBegin, kCurrent, kEnd };

  CFile() = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  virtual ~CFile();

  // Opens `path`; on failure returns false and, when given, fills `error`.
  virtual bool Open(const std::string& path, unsigned flags, CFileError* error = nullptr);
  // Closes the file; a failure to do so (data not written) throws CVHXFile.
  virtual void Close();
  // Closes without reporting anything: for abandoning a file after an error.
  virtual void Abort();
  virtual void Flush();
  virtual uint64_t GetLength() const;
  virtual uint64_t GetPosition() const;
  // Returns the new position; a target before the start throws CVHXFile.
  virtual uint64_t Seek(int64_t offset, SeekOrigin origin);
  // Reads up to `count` bytes, fewer only at the end of the file; returns the number read.
  virtual size_t Read(void* buffer, size_t count);
  virtual void Write(const void* buffer, size_t count);

  bool IsOpen() const { return m_descriptor >= 0; }
  const std::string& GetFilePath() const { return m_path; }
  // The file name without its folder.
  std::string GetFileTitle() const;

 protected:
  int Descriptor() const;  // throws CVHXFileNotOpen when closed
  // Takes on a descriptor that another object (a C stream) owns and will close.
  void AttachBorrowed(int descriptor, const std::string& path);
  // Forgets the descriptor without closing it.
  void DetachBorrowed();

 private:
  int m_descriptor = -1;
  bool m_borrowed = false;
  std::string m_path;
};
