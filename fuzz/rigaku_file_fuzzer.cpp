// The Rigaku file reader against arbitrary bytes.
#include "files/rigaku_file.h"
#include "observed_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzObservedReader<CTSRigakuFile>(data, size);
}
