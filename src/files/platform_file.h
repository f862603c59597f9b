// The platform file: an open descriptor with unbuffered read, write, seek and length. The
// framework's buffered file and the text layer build on it.
//
// An open that replaces the whole file (write access, create, truncate) writes to a temporary
// file that Close renames over the target: a crash, a kill or an error part-way leaves the old
// file whole instead of a truncated one, and of two programs saving at once one wins whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/file_replacement.h"

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

  // Whether an open with these flags replaces the whole file, and so does it atomically.
  static bool ReplacesWholeFile(unsigned flags) {
    return (flags & kModeAccessMask) == kModeWrite && (flags & kModeCreate) &&
           !(flags & kModeNoTruncate);
  }

  // Opens `path`; on failure returns false and, when given, fills `error`. GetFilePath gives
  // `path` even while a replacement is written elsewhere.
  virtual bool Open(const std::string& path, unsigned flags, CFileError* error = nullptr);
  // Closes the file, putting a replacement in the target's place; a failure to do so (data not
  // written) throws CVHXFile and leaves the target as it was.
  virtual void Close();
  // Closes without reporting anything: for abandoning a file after an error. A replacement is
  // dropped and the target stays as it was; destroying an open file does the same.
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
  // Takes on, for a closed file, a descriptor that another object (a C stream) owns and will
  // close.
  void AttachBorrowed(int descriptor, const std::string& path);
  // Forgets the descriptor without closing it.
  void DetachBorrowed();
  // The pending replacement of the open file; the text layer opens its stream on it and commits
  // it. Abort discards it.
  CFileReplacement& Replacement() { return m_replacement; }

 private:
  int m_descriptor = -1;
  bool m_borrowed = false;
  std::string m_path;
  CFileReplacement m_replacement;
};
