// Crystallographic Information Files: reading the data blocks that describe crystal structures,
// and writing a crystal as a small CIF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "crystal/crystal.h"

#include "files/stdio_file.h"
#include "files/tess_file.h"

// The CIF format's file: type id 22, extension "cif".
class CTSCIFFile : public CVHStdioFile<CTessFile> {
 public:
  static constexpr unsigned kTypeId = 22;

  CTSCIFFile() { SetKind(kTypeId); }

  // The content probe: a data block with cell and atom items.
  static unsigned Recognise(const std::string& path);

  void ReadCrystal(CTSCrystal& crystal) override;
  std::vector<CNamedCrystal> ReadCrystals() override;
  void WriteCrystal(const CTSCrystal& crystal, std::string_view title) override;

  // Illegal characters and unterminated strings met by the last read.
  int ErrorCount() const { return m_errorCount; }

 private:
  int m_errorCount = 0;
};

struct CCifReadResult {
  std::string blockName;  // the data block read
  int errorCount = 0;     // illegal characters and unterminated strings met
};

// Reads `text` (a whole file) into `crystal`: the first data block with a cell and atoms, its
// cell, symmetry, sites with their species, occupancies and displacement parameters, positions
// generated. Warnings go to the status log; broken loops, unreadable values and unexpected items
// raise the CIF errors.
CCifReadResult ReadCifCrystal(std::string_view text, CTSCrystal& crystal);

struct CCifBlockCrystal {
  CTSCrystal crystal;
  std::string blockName;
};

// Every data block with a cell and atoms, in file order. A block that cannot be read is logged
// and left out while another reads; `errorCount` adds the illegal characters and unterminated
// strings met.
std::vector<CCifBlockCrystal> ReadCifCrystals(std::string_view text, int& errorCount);

// The crystal as a CIF data block named after `name`.
std::string WriteCifText(const CTSCrystal& crystal, std::string_view name);

// Whether `text` holds a data block with cell and atom items.
bool LooksLikeCif(std::string_view text);
