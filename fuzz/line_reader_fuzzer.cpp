// Text input through the line reader, from memory (read-only, mapped) and through the stream
// (read-write), with small buffers. Checks what every line must satisfy.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "errors/exceptions.h"
#include "fuzz_file.h"
#include "files/stdio_file.h"
#include "files/tess_file.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

template <class Base>
void ReadAll(const std::string& path, unsigned mode, size_t size) {
  CVHStdioFile<Base> file;
  if (!file.Open(path, mode)) return;
  std::vector<char> buffer(size + 1);
  long stored;
  size_t lines = 0;
  while ((stored = file.ReadLine(buffer.data(), size)) >= 0) {
    Require(static_cast<size_t>(stored) < size || (size == 0 && stored == 0));
    if (size > 0) {
      Require(buffer[static_cast<size_t>(stored)] == '\0');
      Require(std::memchr(buffer.data(), '\r', stored) == nullptr);
      Require(std::memchr(buffer.data(), '\n', stored) == nullptr);
      Require(std::strlen(buffer.data()) == static_cast<size_t>(stored));
    }
    Require(++lines <= file.GetLength());  // every line consumes at least one byte
  }
  Require(!file.SkipLine());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t lineBuffer = data[0] % 64;  // 0 reads nothing but still walks the lines
  const std::string& path = FuzzInputPath(data + 1, size - 1);
  try {
    ReadAll<CFile>(path, CFile::kModeRead, lineBuffer);
    ReadAll<CFile>(path, CFile::kModeReadWrite, lineBuffer);
    ReadAll<CTessFile>(path, CFile::kModeRead, lineBuffer + 1);
  } catch (const CVHXFile&) {
    std::abort();  // reading lines of a readable file has no reason to fail
  }
  return 0;
}
