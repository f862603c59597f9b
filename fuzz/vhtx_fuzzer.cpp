// The text crystal reader against arbitrary bytes.
#include "crystal_reader_fuzz.h"
#include "files/vhtx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzCrystalReader<CTSVHTXFile>(data, size);
}
