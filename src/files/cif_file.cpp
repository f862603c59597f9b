#include "files/cif_file.h"

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
  m_errorCount = ReadCifCrystal(ReadRemaining(), crystal).errorCount;
}

void CTSCIFFile::WriteCrystal(const CTSCrystal& crystal, std::string_view title) {
  WriteString(WriteCifText(crystal, title));
}
