// The maker's text crystal format (".vhtx"): a line-oriented file of four-letter control
// cards (CELL, LATC, SPGR, SYMM, OSHF, ATOM, OCCU, UISO, UANI, BANI, ...).
#pragma once

#include <string>
#include <string_view>

#include "files/stdio_file.h"
#include "files/tess_file.h"

class CTSCrystal;

class CTSVHTXFile : public CVHStdioFile<CTessFile> {
 public:
  static constexpr unsigned kTypeId = 3;

  CTSVHTXFile() { SetKind(kTypeId); }

  // The content probe: a CELL card with a plausible cell and ATOM lines, and none of the cards
  // that only SHELX files have.
  static unsigned Recognise(const std::string& path);

  void ReadCrystal(CTSCrystal& crystal) override;
  void WriteCrystal(const CTSCrystal& crystal, std::string_view title) override;
};
