#include "files/crystal_file_builder.h"

#include <algorithm>
#include <filesystem>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "crystal/thermal.h"
#include "errors/exceptions.h"
#include "files/encoding.h"
#include "resources/elements.h"

namespace {

constexpr uint64_t kDirectoryOffsetPosition = 28;
constexpr size_t kCreatorBytes = 12;
constexpr size_t kVersionBytes = 10;
constexpr size_t kSymbolBytes = 21;
constexpr size_t kOlderSymbolBytes = 20;
constexpr size_t kLabelBytes = 6;
constexpr uint8_t kMacPlatform = 'M';
// Where surplus atom records put their atoms: nowhere a site of the tests sits.
constexpr float kSurplusCoordinate = 0.987f;

// Text in the Macintosh character set, cut or NUL-padded to `bytes`.
void WriteFixedText(CVHFile& file, const std::string& text, size_t bytes) {
  std::string field = UTF8ToMacRoman(text);
  field.resize(bytes, '\0');
  file.WriteBytes(field.data(), field.size());
}

void WriteFloat(CVHFile& file, double value) { file.WriteValue(static_cast<float>(value)); }

void WritePoint(CVHFile& file, double x, double y, double z) {
  WriteFloat(file, x);
  WriteFloat(file, y);
  WriteFloat(file, z);
}

void WriteZeros(CVHFile& file, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) file.WriteValue<uint8_t>(0);
}

// Two characters of the atom's element, the first in the high byte.
uint16_t ElementCode(const std::string& symbol) {
  const CElement* element = LeadingElement(symbol);
  std::string text = element ? element->symbol : symbol.substr(0, 2);
  text.resize(2, ' ');
  return static_cast<uint16_t>(static_cast<uint8_t>(text[0]) << 8 | static_cast<uint8_t>(text[1]));
}

void WriteSpecies(CVHFile& file, const CTSSite& site) {
  file.WriteValue(static_cast<uint8_t>(site.atoms.size()));
  for (const CTSAtom& atom : site.atoms) {
    file.WriteValue(ElementCode(atom.symbol));
    WriteFloat(file, atom.occupancy);
  }
}

// Type 0 none, 1 isotropic, 2 U_ij, 3 beta_ij; the isotropic value, then 11, 22, 33, 23, 13, 12.
void WriteDisplacement(CVHFile& file, const CTSSite& site, const CTSCrystal& crystal, bool beta) {
  int16_t type = 0;
  double values[7] = {};
  if (const auto* aniso = dynamic_cast<const CTSAnisoThermalEllipsoid*>(site.displacement.get())) {
    values[0] = aniso->U();
    if (beta) {
      type = 3;
      const auto& t = aniso->Beta();
      const double components[6] = {t[0], t[4], t[8], t[5], t[2], t[1]};
      std::copy(components, components + 6, values + 1);
    } else {
      type = 2;
      const auto u = aniso->ToUij(crystal.aStar, crystal.bStar, crystal.cStar);
      const double components[6] = {u.u11, u.u22, u.u33, u.u23, u.u13, u.u12};
      std::copy(components, components + 6, values + 1);
    }
  } else if (site.displacement) {
    type = 1;
    values[0] = site.displacement->U();
  }
  file.WriteValue<int16_t>(0);
  file.WriteValue(type);
  for (const double value : values) WriteFloat(file, value);
}

// The symbol as the field takes it: a longer spelling, or any in the older layout, which keeps
// no origin of its own, gives way to the table's with the origin choice as a suffix.
std::string StoredSymbol(const CTSCrystal& crystal, size_t symbolBytes, bool olderLayout) {
  if (!olderLayout && crystal.spaceGroupSymbol.size() <= symbolBytes) return crystal.spaceGroupSymbol;
  const auto row = SpaceGroupRowOf(crystal);
  if (!row) return crystal.spaceGroupSymbol.substr(0, symbolBytes);
  const CSpaceGroupRow& r = SpaceGroupRows()[*row];
  std::string symbol = *r.shortSymbol ? r.shortSymbol : r.fullSymbol;
  if (r.originChoice != 0) symbol += " :" + std::to_string(r.originChoice);
  return symbol;
}

void WriteCellValues(CVHFile& file, const CTSCrystal& crystal) {
  WritePoint(file, crystal.a, crystal.b, crystal.c);
  WritePoint(file, crystal.alpha, crystal.beta, crystal.gamma);
}

void OpenForWriting(CVHFile& file, const std::string& path) {
  CFileError error;
  if (!file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeBinary, &error))
    throw CVHXFileNotOpen(kSeverityMessage, error.code);
}

void FlipLastBit(const std::string& path) {
  CFile file;
  if (!file.Open(path, CFile::kModeReadWrite)) throw CVHXFileNotOpen();
  uint8_t byte = 0;
  file.Seek(-1, CFile::kEnd);
  file.Read(&byte, 1);
  byte ^= 1;
  file.Seek(-1, CFile::kEnd);
  file.Write(&byte, 1);
  file.Close();
}

}  // namespace

std::string CCrystalFileBuilder::Creator() const {
  if (!m_options.creator.empty()) return m_options.creator;
  return std::string(m_options.edition == CCrystalFileOptions::CEdition::kMac ? CTSCrystalFile::kMacCreator
                                                                                 : CTSCrystalFile::kCreator);
}

bool CCrystalFileBuilder::BigEndian() const {
  // A creator in parentheses stands for the Mac edition's format: the version's major.
  uint32_t format = m_options.formatVersion;
  if (Creator() == CTSCrystalFile::kMacCreator)
    if (const auto packed = PackVersion(m_options.version)) format = *packed >> 24;
  return format < CTSCrystalFile::kFirstLittleEndianFormat;
}

void CCrystalFileBuilder::Write(const CTSCrystal& crystal, const std::string& path) {
  Begin(path);
  WriteCell(crystal);
  WriteSymmetry(crystal);
  WriteSites(crystal);
  WriteAtoms(crystal);
  if (crystal.hasDisplacementParameters) WriteEllipsoids(crystal);
  Finish();
}

void CCrystalFileBuilder::Begin(const std::string& path) {
  OpenForWriting(m_file, path);
  m_offsets.clear();
  const bool mac = m_options.edition == CCrystalFileOptions::CEdition::kMac;
  m_file.SetLittleEndian(false);
  m_file.WriteTag(m_options.fileTag);
  WriteFixedText(m_file, Creator(), kCreatorBytes);
  m_file.WriteValue(mac ? kMacPlatform : CTSCrystalFile::kWindowsPlatform);
  m_file.WriteValue(m_options.formatVersion);
  WriteFixedText(m_file, m_options.version, kVersionBytes);
  m_file.SetLittleEndian(!BigEndian());
  m_file.WriteValue<uint32_t>(0);  // the directory's offset, known at the end
}

void CCrystalFileBuilder::BeginChunk(const char (&tag)[5]) {
  m_offsets.push_back(static_cast<uint32_t>(m_file.GetPosition()));
  m_lengthPosition = m_file.BeginBlock(MakeTag(tag));
}

void CCrystalFileBuilder::EndChunk() { m_file.BackPatchLength(m_lengthPosition); }

void CCrystalFileBuilder::WriteCell(const CTSCrystal& crystal) {
  BeginChunk("CELL");
  WriteCellValues(m_file, crystal);
  EndChunk();
}

void CCrystalFileBuilder::WriteSymmetry(const CTSCrystal& crystal) {
  BeginChunk("SYMM");
  WriteFixedText(m_file, StoredSymbol(crystal, kSymbolBytes, false), kSymbolBytes);
  m_file.WriteValue(static_cast<uint8_t>(crystal.latticeLetter));
  // The origin offset as the shift: a crystal in the first origin of a group with two reads
  // back with the same operators and positions but counted in the second origin (the
  // reader's placement has no zero shift for the first origin).
  WritePoint(m_file, crystal.originOffset.x, crystal.originOffset.y, crystal.originOffset.z);
  m_file.WriteValue(static_cast<int16_t>(crystal.symmetryOperators.size()));
  for (const CTSSymOp& op : crystal.symmetryOperators) {
    const std::optional<uint32_t> code = op.Code();
    if (!code) throw CVHXFileConversionErr();  // the format stores only tabulated operators
    m_file.WriteValue(*code);
  }
  EndChunk();
}

void CCrystalFileBuilder::WriteSites(const CTSCrystal& crystal) {
  const bool version7 = m_options.siteLayout == CCrystalFileOptions::CSiteLayout::kVersion7;
  BeginChunk(version7 ? "AUN7" : "AUNI");
  if (version7) {
    m_file.WriteValue(static_cast<uint32_t>(crystal.sites.size()));
  } else {
    m_file.WriteValue(static_cast<int16_t>(crystal.sites.size()));
  }
  for (const CTSSite& site : crystal.sites) {
    WriteSpecies(m_file, site);
    const std::string label = UTF8ToMacRoman(site.label);
    if (version7) {
      WriteZeros(m_file, 4);
      m_file.WriteValue(static_cast<uint8_t>(label.size()));
      m_file.WriteBytes(label.data(), label.size());
      WriteZeros(m_file, 4 + 2);
      WritePoint(m_file, site.x, site.y, site.z);
      WriteZeros(m_file, 8);
      m_file.WriteValue(static_cast<uint32_t>(site.positions.size()));
    } else {
      m_file.WriteValue(static_cast<uint8_t>(std::min(label.size(), kLabelBytes)));
      WriteFixedText(m_file, site.label, kLabelBytes);
      WriteZeros(m_file, 3);
      WritePoint(m_file, site.x, site.y, site.z);
      WriteZeros(m_file, 4);
      m_file.WriteValue(static_cast<int16_t>(site.positions.size()));
    }
    WriteZeros(m_file, 1);
  }
  EndChunk();
}

void CCrystalFileBuilder::WriteAtoms(const CTSCrystal& crystal) {
  const int surplus = m_options.surplusAtomRecords;
  if (m_options.siteLayout == CCrystalFileOptions::CSiteLayout::kVersion7) {
    BeginChunk("ATO7");
    uint32_t total = 0;
    for (const CTSSite& site : crystal.sites) total += static_cast<uint32_t>(site.positions.size());
    m_file.WriteValue(total + static_cast<uint32_t>(surplus));
    m_file.WriteValue(total);
    WriteZeros(m_file, 12);
    auto writeRecord = [&](uint32_t site, double x, double y, double z) {
      WriteZeros(m_file, 4);
      m_file.WriteValue(site);
      WriteZeros(m_file, 4 + 1);
      WritePoint(m_file, x, y, z);
      m_file.WriteValue<uint32_t>(0);
    };
    for (uint32_t i = 0; i < crystal.sites.size(); ++i) {
      for (const auto& p : crystal.sites[i].positions) writeRecord(i, p.x, p.y, p.z);
      for (int extra = 0; i == 0 && extra < surplus; ++extra)
        writeRecord(0, kSurplusCoordinate, kSurplusCoordinate, kSurplusCoordinate);
    }
  } else {
    BeginChunk("ATOM");
    m_file.WriteValue<int16_t>(0);
    for (size_t i = 0; i < crystal.sites.size(); ++i)
      m_file.WriteValue(static_cast<int16_t>(crystal.sites[i].positions.size() + (i == 0 ? surplus : 0)));
    auto writeRecord = [&](double x, double y, double z) {
      WriteZeros(m_file, 4);
      WritePoint(m_file, x, y, z);
      WriteZeros(m_file, 2);  // no trailing values
    };
    for (size_t i = 0; i < crystal.sites.size(); ++i) {
      for (const auto& p : crystal.sites[i].positions) writeRecord(p.x, p.y, p.z);
      for (int extra = 0; i == 0 && extra < surplus; ++extra)
        writeRecord(kSurplusCoordinate, kSurplusCoordinate, kSurplusCoordinate);
    }
  }
  EndChunk();
}

void CCrystalFileBuilder::WriteEllipsoids(const CTSCrystal& crystal) {
  BeginChunk("AUEL");
  m_file.WriteValue(static_cast<uint32_t>(crystal.sites.size() + m_options.ellipsoidCountChange));
  for (const CTSSite& site : crystal.sites) WriteDisplacement(m_file, site, crystal, m_options.betaTensors);
  EndChunk();
}

void CCrystalFileBuilder::Finish() {
  BeginChunk("stop");
  EndChunk();
  const auto directory = static_cast<uint32_t>(m_file.GetPosition());
  m_offsets.push_back(directory);
  m_file.WriteTag(CTSCrystalFile::kDirectoryTag);
  m_file.WriteValue(static_cast<uint16_t>(m_offsets.size()));
  for (const uint32_t offset : m_offsets) m_file.WriteValue(offset);
  const uint64_t end = m_file.GetPosition();
  m_file.Seek(kDirectoryOffsetPosition, CFile::kBegin);
  m_file.WriteValue(directory);
  m_file.Seek(static_cast<int64_t>(end), CFile::kBegin);
  if (m_options.trailer) m_file.WriteCRC();
  const std::string path = m_file.GetFilePath();
  m_file.Close();
  if (m_options.flippedTrailerBit) FlipLastBit(path);
  if (m_options.oneByteShort) std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
}

void CPre5CrystalFileBuilder::Write(const CTSCrystal& crystal, const std::string& path) {
  Begin(path);
  WriteCell(crystal);
  WriteSymmetry(crystal);
  WriteSites(crystal);
  WriteAtoms(crystal);
  Finish();
}

void CPre5CrystalFileBuilder::Begin(const std::string& path) {
  OpenForWriting(m_file, path);
  m_file.SetLittleEndian(false);
  m_file.WriteValue(CTSPre5CrystalFile::kHeaderLength);
  m_file.WriteTag(m_options.fileTag);
  WriteFixedText(m_file, m_options.creator, kCreatorBytes);
  WriteZeros(m_file, CTSPre5CrystalFile::kVersionOffset - m_file.GetPosition());
  WriteFixedText(m_file, m_options.version, kVersionBytes);
}

void CPre5CrystalFileBuilder::BeginChunk(const char (&tag)[5]) {
  m_lengthPosition = m_file.GetPosition();
  m_file.WriteValue<uint32_t>(0);
  m_file.WriteTag(MakeTag(tag));
}

// The length counts the tag and the data.
void CPre5CrystalFileBuilder::EndChunk() { m_file.BackPatchLength(m_lengthPosition); }

void CPre5CrystalFileBuilder::WriteCell(const CTSCrystal& crystal) {
  BeginChunk("CELL");
  WriteCellValues(m_file, crystal);
  EndChunk();
}

void CPre5CrystalFileBuilder::WriteSymmetry(const CTSCrystal& crystal) {
  BeginChunk("SYMM");
  WriteFixedText(m_file, StoredSymbol(crystal, kOlderSymbolBytes, true), kOlderSymbolBytes);
  m_file.WriteValue(static_cast<uint8_t>(crystal.latticeLetter));
  WritePoint(m_file, 0, 0, 0);
  m_file.WriteValue<uint16_t>(0);  // no operator texts: the symbol names the group
  EndChunk();
}

void CPre5CrystalFileBuilder::WriteSites(const CTSCrystal& crystal) {
  BeginChunk("AUCR");
  m_file.WriteValue(static_cast<uint16_t>(crystal.sites.size()));
  for (const CTSSite& site : crystal.sites) {
    WriteSpecies(m_file, site);
    const std::string label = UTF8ToMacRoman(site.label);
    m_file.WriteValue(static_cast<uint8_t>(label.size()));
    m_file.WriteBytes(label.data(), label.size());
    WritePoint(m_file, site.x, site.y, site.z);
    m_file.WriteValue(static_cast<uint16_t>(site.positions.size()));
    WriteDisplacement(m_file, site, crystal, false);
  }
  EndChunk();
}

void CPre5CrystalFileBuilder::WriteAtoms(const CTSCrystal& crystal) {
  BeginChunk("ATOM");
  m_file.WriteValue(static_cast<uint16_t>(crystal.sites.size()));
  for (const CTSSite& site : crystal.sites) {
    m_file.WriteValue(static_cast<uint16_t>(site.positions.size()));
    for (const auto& p : site.positions) WritePoint(m_file, p.x, p.y, p.z);
  }
  EndChunk();
}

void CPre5CrystalFileBuilder::WriteNote(const std::string& text) {
  BeginChunk("NOTE");
  const std::string bytes = UTF8ToMacRoman(text);
  m_file.WriteBytes(bytes.data(), bytes.size());
  EndChunk();
}

void CPre5CrystalFileBuilder::WritePolygons(const std::array<uint8_t, 6>& polygons, int sizeError) {
  BeginChunk("POLY");
  m_file.WriteValue<uint16_t>(1);
  uint32_t corners = 0;
  for (size_t i = 0; i < polygons.size(); ++i) corners += static_cast<uint32_t>(3 + i) * polygons[i];
  m_file.WriteValue(static_cast<uint32_t>(corners + 6 + sizeError));
  for (const uint8_t count : polygons) m_file.WriteValue(count);
  WriteZeros(m_file, corners);
  EndChunk();
}

void CPre5CrystalFileBuilder::Finish() { m_file.Close(); }
