#include "files/crystal_chunks.h"

#include <cmath>
#include <cstring>

#include "app/status_log.h"
#include "crystal/spacegroups.h"
#include "crystal/thermal.h"
#include "errors/exceptions.h"
#include "files/crystal_checks.h"
#include "files/crystal_symmetry.h"
#include "files/encoding.h"
#include "resources/elements.h"

using VHTypes::CVector;

namespace {

// Shifts closer to each other (or to zero) than this are the same.
constexpr double kShiftTolerance = 1.8189894035458565e-12;
// Components differing by more than this count as different when a shift is compared with
// the shift between the origins.
constexpr double kShiftDifference = 1e-5;

// No space group has more general positions than this; a longer list is a damaged count.
constexpr int kMaxOperators = 192;

// The smallest records of the chunks, for checking counts against what a chunk can hold.
constexpr uint64_t kSpeciesBytes = 6;        // element code, occupancy
constexpr uint64_t kSiteBytes = 30;          // "AUNI" site without species
constexpr uint64_t kSite7Bytes = 37;         // "AUN7" site without species or label
constexpr uint64_t kAtomBytes = 18;          // "ATOM" record without its trailing values
constexpr uint64_t kAtom7Bytes = 29;         // "ATO7" record without its trailing values
constexpr uint64_t kDisplacementBytes = 32;  // "AUEL" record
constexpr uint64_t kOlderSiteBytes = 16 + kDisplacementBytes;  // "AUCR" site, bare
constexpr uint64_t kOlderAtomBytes = 12;     // older "ATOM" position
constexpr uint64_t kOperatorRecordBytes = 25;  // older "SYMM" operator text
constexpr uint64_t kPolygonBytes = 10;       // "POLY" entry without its data

constexpr size_t kSymbolBytes = 21;
constexpr size_t kOlderSymbolBytes = 20;
constexpr size_t kLabelBytes = 6;

enum CDisplacementType : int16_t { kNoDisplacement = 0, kIsotropic = 1, kUij = 2, kBetaij = 3 };

char LatticeLetter(uint8_t byte) {
  return byte != 0 && std::strchr("PABCFIR", byte) ? static_cast<char>(byte) : 0;
}

// Two ASCII characters, the first in the high byte; a one-letter symbol is padded with a blank
// or a NUL. Symbols that name neither an element nor a scattering record become "??".
std::string ElementSymbol(uint16_t code) {
  const char first = static_cast<char>(code >> 8);
  const char second = static_cast<char>(code & 0xFF);
  std::string symbol(1, first);
  if (second != ' ' && second != '\0') symbol += second;
  const bool known = FindElement(symbol) || CScatteringFactorTable::Instance().Find(symbol);
  return known ? symbol : "??";
}

// An operator code: six hexadecimal digits, a translation and a rotation term per coordinate.
CTSSymOp OperatorOfCode(uint32_t code) {
  bool valid = code <= 0xFFFFFF;
  for (int digit = 0; digit < 6; ++digit) valid = valid && ((code >> (4 * digit)) & 0xF) < 8;
  if (!valid) throw CVHXFileInvalid();
  const std::optional<CTSSymOp> op = CTSSymOp::Parse(CodeToFixedText(code));
  if (!op) throw CVHXFileInvalid();
  return *op;
}

CVector ReadPoint(CChunkData& data) {
  CVector p;
  p.x = data.ReadFloat();
  p.y = data.ReadFloat();
  p.z = data.ReadFloat();
  return p;
}

std::string WithoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace

COriginPlacement PlaceOrigin(const CVector& shift, const CVector& originsShift) {
  int nonZero = 0, differing = 0;
  bool zero = true, equal = true;
  for (int i = 0; i < 3; ++i) {
    const double difference = std::abs(shift[i] - originsShift[i]);
    zero = zero && std::abs(shift[i]) < kShiftTolerance;
    equal = equal && difference < kShiftTolerance;
    nonZero += std::abs(shift[i]) > kShiftDifference;
    differing += difference > kShiftDifference;
  }
  if (zero) return {2, shift};
  if (equal) return {1, CVector{} - originsShift};
  if (differing > nonZero) return {2, shift};
  return {1, shift - originsShift};
}

double CChunkData::ReadFloat() {
  const float value = m_file.ReadValue<float>();
  if (!std::isfinite(value)) throw CVHXFileConversionErr();
  return value;
}

std::string CChunkData::ReadText(size_t bytes) {
  std::string text = m_file.ReadMacRoman(bytes);
  text.erase(std::min(text.find('\0'), text.size()));
  return text;
}

void CChunkData::Skip(uint64_t bytes) { m_file.Skip(bytes); }

uint64_t CChunkData::Remaining() const {
  const uint64_t position = m_file.GetPosition();
  return position < m_end ? m_end - position : 0;
}

void CChunkData::RequireRoom(uint64_t count, uint64_t recordBytes) const {
  if (count > Remaining() / recordBytes) throw CVHXFileInvalid();
}

void CChunkData::Finish() const {
  if (m_file.GetPosition() > m_end) throw CVHXFileInvalid();
}

void CCrystalChunkReader::ReadCell(CChunkData& data) {
  double cell[6];
  for (double& value : cell) value = data.ReadFloat();
  m_crystal.a = cell[0], m_crystal.b = cell[1], m_crystal.c = cell[2];
  m_crystal.alpha = cell[3], m_crystal.beta = cell[4], m_crystal.gamma = cell[5];
  if (!IsPossibleCell(m_crystal)) CheckCrystal(m_crystal);
  m_crystal.UpdateCell();
}

void CCrystalChunkReader::ReadSymmetry(CChunkData& data) {
  CSymmetryRecord record;
  record.symbol = data.ReadText(kSymbolBytes);
  record.latticeLetter = LatticeLetter(data.Read<uint8_t>());
  record.hasOriginShift = true;
  record.originShift = ReadPoint(data);
  const auto count = data.Read<int16_t>();
  if (count < 0 || count > kMaxOperators) throw CVHXFileInvalid();
  data.RequireRoom(count, 4);
  for (int i = 0; i < count; ++i) record.operators.push_back(OperatorOfCode(data.Read<uint32_t>()));
  m_symmetry = std::move(record);
}

void CCrystalChunkReader::ReadOlderSymmetry(CChunkData& data) {
  CSymmetryRecord record;
  record.symbol = WithoutTrailingBlanks(data.ReadText(kOlderSymbolBytes));
  record.latticeLetter = LatticeLetter(data.Read<uint8_t>());
  data.Skip(12);  // an origin shift these versions did not use
  const auto count = data.Read<uint16_t>();
  data.RequireRoom(count, kOperatorRecordBytes);
  data.Skip(count * kOperatorRecordBytes);  // the operators as text; the symbol says it all
  m_symmetry = std::move(record);
}

void CCrystalChunkReader::BeginSites(size_t count) {
  m_crystal.sites.clear();
  m_crystal.sites.reserve(count);
  m_siteAtoms.clear();
  m_siteAtoms.reserve(count);
  m_positionsRead = false;
}

CTSSite CCrystalChunkReader::ReadSpecies(CChunkData& data) {
  CTSSite site;
  site.flag = true;
  const auto count = data.Read<uint8_t>();
  data.RequireRoom(count, kSpeciesBytes);
  for (int i = 0; i < count; ++i) {
    CTSAtom atom;
    atom.symbol = ElementSymbol(data.Read<uint16_t>());
    atom.occupancy = data.ReadFloat();
    m_matcher.Match(atom);
    site.atoms.push_back(std::move(atom));
  }
  if (count == 0)
    LogStatus(FormatPrintf("Warning: No site occupancy defined for site #%ld.",
                           {static_cast<long long>(m_crystal.sites.size())}));
  return site;
}

void CCrystalChunkReader::ReadSites(CChunkData& data) {
  const auto count = data.Read<int16_t>();
  if (count < 0) throw CVHXFileInvalid();
  data.RequireRoom(count, kSiteBytes);
  BeginSites(count);
  for (int i = 0; i < count; ++i) {
    CTSSite site = ReadSpecies(data);
    data.Skip(1);  // label length: the label field is NUL-padded
    site.label = data.ReadText(kLabelBytes);
    data.Skip(3);
    const CVector p = ReadPoint(data);
    site.x = p.x, site.y = p.y, site.z = p.z;
    data.Skip(4);
    const auto atoms = data.Read<int16_t>();
    if (atoms < 0) throw CVHXFileNumAtomsErr();
    data.Skip(1);
    m_crystal.sites.push_back(std::move(site));
    m_siteAtoms.push_back(static_cast<uint64_t>(atoms));
  }
}

void CCrystalChunkReader::ReadSites7(CChunkData& data) {
  const auto count = data.Read<uint32_t>();
  data.RequireRoom(count, kSite7Bytes);
  BeginSites(count);
  for (uint32_t i = 0; i < count; ++i) {
    CTSSite site = ReadSpecies(data);
    data.Skip(4);
    site.label = data.ReadText(data.Read<uint8_t>());
    data.Skip(4 + 2);
    const CVector p = ReadPoint(data);
    site.x = p.x, site.y = p.y, site.z = p.z;
    data.Skip(8);
    const auto atoms = data.Read<uint32_t>();
    data.Skip(1);
    m_crystal.sites.push_back(std::move(site));
    m_siteAtoms.push_back(atoms);
  }
}

void CCrystalChunkReader::ReadOlderSites(CChunkData& data) {
  const auto count = data.Read<uint16_t>();
  data.RequireRoom(count, kOlderSiteBytes);
  BeginSites(count);
  bool invalid = false;
  for (int i = 0; i < count; ++i) {
    CTSSite site = ReadSpecies(data);
    site.label = data.ReadText(data.Read<uint8_t>());
    const CVector p = ReadPoint(data);
    site.x = p.x, site.y = p.y, site.z = p.z;
    const auto atoms = data.Read<uint16_t>();
    invalid = !ReadDisplacement(data, site) || invalid;
    m_crystal.sites.push_back(std::move(site));
    m_siteAtoms.push_back(atoms);
  }
  if (invalid) CVHXFileBadADP().Report();
}

void CCrystalChunkReader::SetPositions(std::vector<std::vector<CVector>>& positions, uint64_t expected) {
  uint64_t stored = 0;
  for (const auto& site : positions) stored += site.size();
  if (stored != expected) throw CVHXFileNumAtomsErr();
  for (size_t i = 0; i < positions.size(); ++i) m_crystal.sites[i].positions = std::move(positions[i]);
  m_positionsRead = true;
}

void CCrystalChunkReader::ReadAtoms(CChunkData& data) {
  uint64_t expected = 0;
  for (const uint64_t atoms : m_siteAtoms) expected += atoms;
  if (expected == 0) throw CVHXFileNumAtomsErr();
  data.Skip(2);
  const size_t sites = m_crystal.sites.size();
  data.RequireRoom(sites, 2);
  std::vector<uint64_t> records(sites);
  uint64_t totalRecords = 0;
  for (uint64_t& count : records) {
    const auto read = data.Read<int16_t>();
    if (read < 0) throw CVHXFileNumAtomsErr();
    count = static_cast<uint64_t>(read);
    totalRecords += count;
  }
  data.RequireRoom(totalRecords, kAtomBytes);
  std::vector<std::vector<CVector>> positions(sites);
  for (size_t site = 0; site < sites; ++site) {
    for (uint64_t record = 0; record < records[site]; ++record) {
      data.Skip(4);
      const CVector p = ReadPoint(data);
      const auto values = data.Read<uint8_t>();
      data.Skip(1 + 2 * uint64_t{values});
      // Records beyond the site's number of atoms are surplus; the first ones count.
      if (record < m_siteAtoms[site]) positions[site].push_back(p);
    }
  }
  SetPositions(positions, expected);
}

void CCrystalChunkReader::ReadAtoms7(CChunkData& data) {
  const auto count = data.Read<uint32_t>();
  const auto expected = data.Read<uint32_t>();
  data.Skip(12);
  data.RequireRoom(count, kAtom7Bytes);
  const size_t sites = m_crystal.sites.size();
  std::vector<std::vector<CVector>> positions(sites);
  uint64_t run = 0;  // records so far in the run of the current site index
  uint64_t runSite = sites;
  for (uint32_t record = 0; record < count; ++record) {
    data.Skip(4);
    const auto site = data.Read<uint32_t>();
    data.Skip(4 + 1);
    const CVector p = ReadPoint(data);
    const auto values = data.Read<uint32_t>();
    data.RequireRoom(values, 4);
    data.Skip(4 * uint64_t{values});
    if (site >= sites) throw CVHXFileNumAtomsErr();
    if (site != runSite) run = 0, runSite = site;
    if (run++ < m_siteAtoms[site]) positions[site].push_back(p);
  }
  SetPositions(positions, expected);
}

void CCrystalChunkReader::ReadOlderAtoms(CChunkData& data) {
  const auto sites = data.Read<uint16_t>();
  if (sites != m_crystal.sites.size()) throw CVHXFileNumAtomsErr();
  std::vector<std::vector<CVector>> positions(sites);
  uint64_t expected = 0;
  for (size_t site = 0; site < sites; ++site) {
    const auto count = data.Read<uint16_t>();
    if (count != m_siteAtoms[site]) throw CVHXFileNumAtomsErr();
    data.RequireRoom(count, kOlderAtomBytes);
    expected += count;
    for (int i = 0; i < count; ++i) positions[site].push_back(ReadPoint(data));
  }
  SetPositions(positions, expected);
}

bool CCrystalChunkReader::ReadDisplacement(CChunkData& data, CTSSite& site) {
  data.Skip(2);
  const auto type = data.Read<int16_t>();
  double v[7];
  for (double& value : v) value = data.ReadFloat();
  site.displacement.reset();
  if (type != kIsotropic && type != kUij && type != kBetaij) return true;
  m_crystal.hasDisplacementParameters = true;
  if (type == kIsotropic) {
    site.displacement = std::make_unique<CTSThermalEllipsoid>(v[0]);
    return true;
  }
  // Stored in the order 11, 22, 33, 23, 13, 12. A tensor of beta_ij is positive definite
  // exactly when its U_ij are, so both are checked as they stand.
  const CTSAnisoThermalEllipsoid::Uij tensor{v[1], v[2], v[3], v[6], v[5], v[4]};
  if (!IsPositiveDefinite(tensor)) return false;
  const CTSCrystal& c = m_crystal;
  site.displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
      type == kUij ? CTSAnisoThermalEllipsoid(tensor, c.aStar, c.bStar, c.cStar)
                   : CTSAnisoThermalEllipsoid::FromBeta(tensor, c.aStar, c.bStar, c.cStar));
  return true;
}

void CCrystalChunkReader::ReadEllipsoids(CChunkData& data) {
  const auto count = data.Read<uint32_t>();
  if (count != m_crystal.sites.size()) throw CVHXFileNumEllipsoidsErr();
  data.RequireRoom(count, kDisplacementBytes);
  bool invalid = false;
  for (CTSSite& site : m_crystal.sites) invalid = !ReadDisplacement(data, site) || invalid;
  if (invalid) CVHXFileBadADP().Report();
}

void CCrystalChunkReader::SkipPolygons(CChunkData& data) {
  const auto count = data.Read<uint16_t>();
  data.RequireRoom(count, kPolygonBytes);
  for (int i = 0; i < count; ++i) {
    const auto size = data.Read<uint32_t>();
    // Six counts of polygons with 3 to 8 corners, one byte per corner.
    uint64_t bytes = 0;
    for (uint64_t corners = 3; corners <= 8; ++corners) bytes += corners * data.Read<uint8_t>();
    if (size < 6 || bytes != size - 6) throw CVHXFileInvalid();
    data.Skip(bytes);
  }
}

void CCrystalChunkReader::ResolveSymmetry() {
  CTSCrystal& crystal = m_crystal;
  const CSymmetryRecord& record = m_symmetry;
  if (!record.symbol.empty() && !record.operators.empty()) {
    // The maker's own symbol and operator list belong together: taken as they are.
    crystal.spaceGroupSymbol = record.symbol;
    crystal.latticeLetter = record.latticeLetter ? record.latticeLetter : 'P';
    crystal.symmetryOperators = record.operators;
  } else {
    // Without a symbol the operators name the group; without operators the symbol builds them.
    CFileSymmetry symmetry;
    symmetry.symbol = record.symbol;
    symmetry.operators = record.operators;
    symmetry.latticeLetter = record.latticeLetter;
    ApplyFileSymmetry(symmetry, crystal);
  }
  if (!record.hasOriginShift) return;
  if (const std::optional<CVector> originsShift = OriginShift(crystal.spaceGroupSymbol)) {
    const COriginPlacement placement = PlaceOrigin(record.originShift, *originsShift);
    crystal.originChoice = placement.originChoice;
    crystal.originOffset = placement.offset;
  } else {
    crystal.originChoice = 0;
    crystal.originOffset = record.originShift;
  }
}

CTSCrystal CCrystalChunkReader::Finish() {
  CheckCrystal(m_crystal);
  ResolveSymmetry();
  // Stored positions are what the earlier rules made of the sites, near-duplicate images
  // included; only those rules keep them.
  if (!m_positionsRead || !m_crystal.legacyRules) m_crystal.GeneratePositions();
  m_crystal.UpdateCell();
  return std::move(m_crystal);
}
