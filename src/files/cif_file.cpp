#include "files/cif_file.h"

#include "app/status.h"
#include "crystal/crystal.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSCIFFile::kTypeId}, &CTSCIFFile::Recognise,
                                       &CTessFile::Make<CTSCIFFile>);

}  // namespace

unsigned CTSCIFFile::Recognise(const std::string& path) {
  CTSCIFFile file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  return LooksLikeCif(file.ReadRemaining()) ? kTypeId : 0;
}

void CTSCIFFile::ReadCrystal(CTSCrystal& crystal) {
  CStatus status("Preparing to read CIF file...");
  const std::string_view text = ReadRemaining();
  status.SetText("Reading CIF file");
  m_errorCount = ReadCifCrystal(text, crystal).errorCount;
  status.SetText("Closing CIF file");
}

std::vector<CNamedCrystal> CTSCIFFile::ReadCrystals() {
  CStatus status("Preparing to read CIF file...");
  const std::string_view text = ReadRemaining();
  status.SetText("Reading CIF file");
  m_errorCount = 0;
  std::vector<CNamedCrystal> crystals;
  for (CCifBlockCrystal& block : ReadCifCrystals(text, m_errorCount))
    crystals.push_back({std::move(block.crystal), std::move(block.blockName)});
  status.SetText("Closing CIF file");
  return crystals;
}

void CTSCIFFile::WriteCrystal(const CTSCrystal& crystal, std::string_view title) {
  CStatus status("Writing to CIF file");
  WriteString(WriteCifText(crystal, title));
}
