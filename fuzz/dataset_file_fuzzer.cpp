// The observed-data file reader (two or three columns) against arbitrary bytes.
#include "files/dataset_file.h"
#include "observed_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzObservedReader<CTSDatasetFile>(data, size);
}
