// An output file written piece by piece that nobody ever finds half written: the pieces go to a
// temporary file beside it, which Commit puts in its place. For outputs too large to build in
// memory first (a whole database's table or archive).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "files/file_replacement.h"

class CAtomicOutput {
 public:
  // Opens the temporary file; failure raises CVHXFileNotOpen with the system's reason.
  explicit CAtomicOutput(const std::string& path);
  ~CAtomicOutput();
  CAtomicOutput(const CAtomicOutput&) = delete;
  CAtomicOutput& operator=(const CAtomicOutput&) = delete;

  // Appends; a failed write (a full disc) raises CVHXFile.
  void Write(std::string_view bytes);
  // Overwrites bytes written earlier, at `offset` from the start, without moving the end.
  void WriteAt(uint64_t offset, std::string_view bytes);
  uint64_t Size() const { return m_size; }
  // Puts the data on the disc and the file in its place; until then the target is as it was.
  void Commit();

 private:
  CFileReplacement m_replacement;
  int m_descriptor = -1;
  uint64_t m_size = 0;
};
