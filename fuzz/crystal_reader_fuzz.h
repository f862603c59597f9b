// Any bytes given as a crystal file must be read or refused with one of our exceptions, and
// the format's probe must answer either way.
#pragma once

#include <cstdint>

#include "crystal/crystal.h"
#include "errors/exception.h"
#include "files/platform_file.h"
#include "fuzz_file.h"
#include "quiet_alerts.h"

template <class Format>
int FuzzCrystalReader(const uint8_t* data, size_t size) {
  static CQuietAlerts alerts;
  const std::string& path = FuzzInputPath(data, size);
  Format::Recognise(path);
  Format file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  try {
    CTSCrystal crystal;
    file.ReadCrystal(crystal);
  } catch (const CVHException&) {
  }
  return 0;
}
