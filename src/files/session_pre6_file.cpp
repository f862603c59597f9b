#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "app/status.h"
#include "app/status_log.h"
#include "app/text.h"
#include "crystal/crystal.h"
#include "crystal/thermal.h"
#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/crystal_checks.h"
#include "files/crystal_symmetry.h"
#include "files/encoding.h"
#include "files/session_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSSessionPre6File::kTypeId},
                                       &CTSSessionPre6File::Recognise, &CTSSessionPre6File::Create);

constexpr uint32_t kFileTag = MakeTag("TSDF");
constexpr uint32_t kTagCount = MakeTag("nPAT");
constexpr uint32_t kTagList = MakeTag("PLST");
constexpr uint32_t kTagPattern = MakeTag("PAT_");
constexpr uint32_t kTagKind = MakeTag("PAT?");
constexpr uint32_t kTagPlot = MakeTag("PLT_");
constexpr uint32_t kTagWindow = MakeTag("WIN_");
constexpr uint32_t kTagStop = MakeTag("STOP");

// Pattern kinds of "PAT?": the legacy format knew observed data and crystals.
constexpr uint32_t kObservedKind = 1;
constexpr uint32_t kCrystalKind = 2;

enum CDisplacementType : uint8_t { kNoDisplacement = 0, kIsotropic = 1, kUij = 2 };

constexpr uint64_t kSpeciesBytes = 1 + 4;
constexpr uint64_t kSiteBytes = 1 + 1 + 12;
constexpr uint64_t kDisplacementBytes = 1;
constexpr uint64_t kPointBytes = 8;

// The data of one chunk: counts checked against its bytes before anything is allocated, reals
// refused when they are not finite, texts in the Macintosh character set behind an 8-bit length.
class CChunk {
 public:
  CChunk(CVHFile& file, uint64_t length) : m_file(file), m_end(file.GetPosition() + length) {}

  template <class T>
  T Read() {
    return m_file.ReadValue<T>();
  }
  double ReadFloat() {
    const float value = m_file.ReadValue<float>();
    if (!std::isfinite(value)) throw CVHXFileConversionErr();
    return value;
  }
  std::string ReadText() {
    const auto bytes = Read<uint8_t>();
    return m_file.ReadMacRoman(bytes);
  }
  void RequireRoom(uint64_t count, uint64_t itemBytes) const {
    const uint64_t position = m_file.GetPosition();
    const uint64_t remaining = position < m_end ? m_end - position : 0;
    if (count > remaining / itemBytes) throw CVHXFileInvalid();
  }

 private:
  CVHFile& m_file;
  uint64_t m_end;
};

// What "PAT_" says of the pattern whose kind and data the next "PAT?" gives.
struct CCommonFields {
  std::string title;
  uint32_t colour = 0;
  uint8_t lineStyle = 1;
  double lineWidth = 1.0;
  double xOffset = 0.0, yOffset = 0.0, yScale = 1.0, fraction = 1.0;
};

CCommonFields ReadCommonFields(CChunk& chunk) {
  CCommonFields fields;
  fields.title = chunk.ReadText();
  fields.colour = chunk.Read<uint32_t>();
  fields.lineStyle = chunk.Read<uint8_t>();
  fields.lineWidth = chunk.ReadFloat();
  fields.xOffset = chunk.ReadFloat();
  fields.yOffset = chunk.ReadFloat();
  fields.yScale = chunk.ReadFloat();
  fields.fraction = chunk.ReadFloat();
  return fields;
}

void ApplyCommonFields(const CCommonFields& fields, CTSPattern& pattern) {
  pattern.SetTitle(fields.title);
  pattern.Style().colour = fields.colour;
  pattern.Style().lineStyle = VHTypes::TSLineStyle{fields.lineStyle};
  pattern.Style().lineWidth = static_cast<float>(fields.lineWidth);
  pattern.SetXOffset(fields.xOffset);
  pattern.SetYOffset(fields.yOffset);
  pattern.SetYScale(fields.yScale);
  pattern.SetMixtureFraction(fields.fraction);
}

struct CDisplacementRecord {
  uint8_t type = kNoDisplacement;
  double values[6] = {};
};

std::shared_ptr<CTSPattern> ReadCrystalPattern(CChunk& chunk) {
  auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  CTSCrystal crystal;
  double* cell[] = {&crystal.a,     &crystal.b,    &crystal.c,
                    &crystal.alpha, &crystal.beta, &crystal.gamma};
  for (double* value : cell) *value = chunk.ReadFloat();
  if (!IsPossibleCell(crystal)) CheckCrystal(crystal);
  crystal.UpdateCell();
  CFileSymmetry symmetry;
  symmetry.symbol = std::string(TrimWhiteSpace(chunk.ReadText()));

  CScatteringMatcher matcher;
  const auto sites = chunk.Read<uint16_t>();
  chunk.RequireRoom(sites, kSiteBytes);
  crystal.sites.resize(sites);
  for (CTSSite& site : crystal.sites) {
    site.flag = true;
    const auto species = chunk.Read<uint8_t>();
    chunk.RequireRoom(species, kSpeciesBytes);
    site.atoms.resize(species);
    for (CTSAtom& atom : site.atoms) {
      atom.symbol = chunk.ReadText();
      atom.occupancy = chunk.ReadFloat();
      matcher.Match(atom);
    }
    site.label = chunk.ReadText();
    site.x = chunk.ReadFloat();
    site.y = chunk.ReadFloat();
    site.z = chunk.ReadFloat();
  }

  const auto records = chunk.Read<uint16_t>();
  if (records != sites) throw CVHXFileSessionADPMismatch();
  chunk.RequireRoom(records, kDisplacementBytes);
  std::vector<CDisplacementRecord> displacements(records);
  for (CDisplacementRecord& record : displacements) {
    record.type = chunk.Read<uint8_t>();
    const int values = record.type == kIsotropic ? 1 : record.type == kUij ? 6 : 0;
    if (record.type > kUij) throw CVHXFileInvalid();
    for (int i = 0; i < values; ++i) record.values[i] = chunk.ReadFloat();
  }

  // Anisotropic records turn into tensors with the cell the symmetry may have made exact.
  ApplyFileSymmetry(symmetry, crystal);
  crystal.UpdateCell();
  bool invalid = false;
  for (size_t i = 0; i < crystal.sites.size(); ++i) {
    const CDisplacementRecord& record = displacements[i];
    CTSSite& site = crystal.sites[i];
    if (record.type == kNoDisplacement) continue;
    crystal.hasDisplacementParameters = true;
    if (record.type == kIsotropic) {
      site.displacement = std::make_unique<CTSThermalEllipsoid>(record.values[0]);
      continue;
    }
    const double* u = record.values;
    const CTSAnisoThermalEllipsoid::Uij tensor{u[0], u[1], u[2], u[3], u[4], u[5]};
    if (!IsPositiveDefinite(tensor)) {
      invalid = true;
      continue;
    }
    site.displacement = std::make_unique<CTSAnisoThermalEllipsoid>(tensor, crystal.aStar,
                                                                   crystal.bStar, crystal.cStar);
  }
  if (invalid) CVHXFileBadADP().Report();
  CheckCrystal(crystal);
  crystal.GeneratePositions();
  crystal.UpdateCell();
  *pattern->Crystal() = std::move(crystal);
  return pattern;
}

std::shared_ptr<CTSPattern> ReadObservedPattern(CChunk& chunk) {
  auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
  const auto count = chunk.Read<uint32_t>();
  chunk.RequireRoom(count, kPointBytes);
  CProfile points(count);
  for (CProfilePoint& point : points) {
    point.x = chunk.ReadFloat();
    point.y = chunk.ReadFloat();
  }
  pattern->SetData(std::move(points));
  return pattern;
}

void ReadPlot(CChunk& chunk, CPlotSpec& plotSpec, CPlotDisplay& display) {
  CPlotSpec spec = plotSpec;
  CPlotDisplay d = display;
  spec.SetSimulationType(VHTypes::TSSimulationType{chunk.Read<uint8_t>()});
  spec.SetAxisType(VHTypes::TSAxisType{chunk.Read<uint8_t>()});
  spec.SetProfileType(VHTypes::TSProfileType{chunk.Read<uint8_t>()});
  const double xMin = chunk.ReadFloat(), xMax = chunk.ReadFloat();
  spec.SetXRange(xMin, xMax);
  spec.SetDMin(chunk.ReadFloat());
  spec.SetLambda(chunk.ReadFloat());
  spec.SetLambda2(chunk.ReadFloat());
  spec.SetLambdaRatio(chunk.ReadFloat());
  spec.SetTTHPeakWidth(chunk.ReadFloat());
  spec.SetEta(chunk.ReadFloat());
  spec.SetMonochromatic(chunk.Read<uint8_t>() != 0);
  spec.SetProfilePoints(chunk.Read<uint32_t>());
  // These versions showed the whole computed range.
  d.xMin = xMin;
  d.xMax = xMax;
  d.yMin = chunk.ReadFloat();
  d.yMax = chunk.ReadFloat();
  d.logarithmicY = chunk.Read<uint8_t>() != 0;
  d.gridlines = chunk.Read<uint8_t>() != 0;
  d.title = chunk.ReadText();
  plotSpec = spec;
  display = std::move(d);
}

void ReadWindow(CVHFile& file, CWindowState& window) {
  const CVHRect rect = file.ReadRect();
  window.rect = {static_cast<double>(rect.left), static_cast<double>(rect.top),
                 static_cast<double>(rect.right), static_cast<double>(rect.bottom)};
  const auto panes = file.ReadValue<uint8_t>();
  window.showPatterns = panes & 1;
  window.showParameters = panes & 2;
  window.showReflexions = panes & 4;
}

}  // namespace

unsigned CTSSessionPre6File::Recognise(const std::string& path) {
  try {
    CTSSessionPre6File file;
    if (!file.Open(path, CFile::kModeRead) || file.GetLength() < 4 + kCreator.size())
      return kUnknownType;
    if (file.ReadTag() != kFileTag) return kUnknownType;
    std::string creator(kCreator.size(), '\0');
    file.ReadExact(creator.data(), creator.size());
    return creator == kCreator ? kTypeId : kUnknownType;
  } catch (const CVHXFile&) {
    return kUnknownType;
  }
}

std::unique_ptr<CTessFile> CTSSessionPre6File::Create(unsigned typeId) {
  if (typeId != kTypeId) return nullptr;
  return std::make_unique<CTSSessionPre6File>(typeId);
}

void CTSSessionPre6File::ReadSession(CSession& session) {
  CStatus status("Reading data from file...");
  Seek(0, kBegin);
  SetLittleEndian(false);
  if (ReadTag() != kFileTag) throw CVHXFileBadHeader();
  std::string creator(kCreatorBytes, '\0');
  ReadExact(creator.data(), creator.size());
  if (creator.compare(0, kCreator.size(), kCreator) != 0) throw CVHXFileBadHeader();
  const auto platform = ReadValue<uint8_t>();
  std::string version(kVersionBytes, '\0');
  ReadExact(version.data(), version.size());
  version.erase(std::min(version.find('\0'), version.size()));
  version = std::string(TrimWhiteSpace(MacRomanToUTF8(version)));
  SetFileTag(kFileTag);
  SetWrittenOnWindows(platform == kWindowsPlatform);
  // The Mac edition's sessions of these versions are laid out otherwise; its version 5 can
  // still open and convert them.
  if (!WrittenOnWindows()) throw CVHXFileObsoleteMac5();
  if (Kind() != kTypeId) throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
  SetHeaderRead(true);
  const std::string name = GetDisplayName();
  LogStatus(FormatPrintf("Reading from Tessaline for Windows %s file '%s'.", {version, name}));

  CSession read;
  read.window = session.window;
  read.plotSpec = session.plotSpec;
  read.display = session.display;
  std::optional<uint32_t> reported;
  std::optional<std::vector<uint8_t>> listFlags;
  std::optional<CCommonFields> pending;
  const uint64_t length = GetLength();
  for (bool stop = false; !stop;) {
    const uint64_t position = GetPosition();
    if (position > length || length - position < 8) throw CVHXFileEOF();
    const uint32_t tag = ReadTag();
    const auto bytes = ReadValue<uint32_t>();
    if (bytes > length - position - 8) throw CVHXFileEOF();
    const uint64_t start = GetPosition();
    CChunk chunk(*this, bytes);
    switch (tag) {
      case kTagCount:
        reported = chunk.Read<uint32_t>();
        break;
      case kTagList: {
        const auto count = chunk.Read<uint32_t>();
        chunk.RequireRoom(count, 1);
        std::vector<uint8_t> flags(count);
        for (uint8_t& flag : flags) flag = chunk.Read<uint8_t>();
        listFlags = std::move(flags);
        break;
      }
      case kTagPattern:
        // A pattern's common fields without its kind and data before the next one's.
        if (pending) throw CVHXFileSessionDataExpected(kSeverityMessage, 0, 0, name);
        pending = ReadCommonFields(chunk);
        break;
      case kTagKind: {
        if (!pending) throw CVHXFileSessionDataExpected(kSeverityMessage, 0, 0, name);
        const auto kind = chunk.Read<uint32_t>();
        std::shared_ptr<CTSPattern> pattern;
        if (kind == kCrystalKind) {
          pattern = ReadCrystalPattern(chunk);
        } else if (kind == kObservedKind) {
          pattern = ReadObservedPattern(chunk);
        } else {
          throw CVHXFileSessionUnknownPattern(kSeverityMessage, 0, 0, name);
        }
        ApplyCommonFields(*pending, *pattern);
        pending.reset();
        read.patterns.push_back(std::move(pattern));
        break;
      }
      case kTagPlot:
        ReadPlot(chunk, read.plotSpec, read.display);
        break;
      case kTagWindow:
        ReadWindow(*this, read.window);
        break;
      case kTagStop:
        stop = true;
        Skip(bytes);
        break;
      default:  // passed over by its length
        Skip(bytes);
        break;
    }
    if (GetPosition() - start != bytes) throw CVHXFileInvalid();
  }
  if (pending) throw CVHXFileSessionDataExpected(kSeverityMessage, 0, 0, name);
  if (reported != read.patterns.size() || (listFlags && listFlags->size() != read.patterns.size()))
    throw CVHXFileSessionNumPatterns();
  if (listFlags)
    for (size_t i = 0; i < read.patterns.size(); ++i) {
      read.patterns[i]->SetPlotted((*listFlags)[i] & 1);
      read.patterns[i]->SetSelected((*listFlags)[i] & 2);
    }
  session = std::move(read);
}
