// Any bytes given as a vhtx file must be read or refused with one of our exceptions, and the
// probe must answer either way.
#include <cstdint>

#include "crystal/crystal.h"
#include "errors/exception.h"
#include "files/vhtx_file.h"
#include "fuzz_file.h"
#include "quiet_alerts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CQuietAlerts alerts;
  const std::string& path = FuzzInputPath(data, size);
  CTSVHTXFile::Recognise(path);
  CTSVHTXFile file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  try {
    CTSCrystal crystal;
    file.ReadCrystal(crystal);
  } catch (const CVHException&) {
  }
  return 0;
}
