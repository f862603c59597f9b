#include "files/session_file_builder.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "crystal/crystal.h"
#include "crystal/thermal.h"
#include "errors/exceptions.h"
#include "app/crc32.h"
#include "files/encoding.h"
#include "files/session_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"

namespace {

constexpr size_t kVersionBytes = 10;

// The tags whose data are records.
constexpr uint32_t kBlocks[] = {MakeTag("WINS"), MakeTag("PLOT"), MakeTag("PATS"),
                                MakeTag("PATN"), MakeTag("CRYS"), MakeTag("CHLD")};

bool IsBlock(uint32_t tag) {
  return std::find(std::begin(kBlocks), std::end(kBlocks), tag) != std::end(kBlocks);
}

uint32_t ReadLittle32(const std::string& bytes, size_t at) {
  if (at + 4 > bytes.size()) throw std::runtime_error("record cut short");
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

uint32_t ReadTagAt(const std::string& bytes, size_t at) {
  if (at + 4 > bytes.size()) throw std::runtime_error("record cut short");
  uint32_t tag = 0;
  for (int i = 0; i < 4; ++i) tag = tag << 8 | static_cast<uint8_t>(bytes[at + i]);
  return tag;
}

std::string TagBytes(uint32_t tag) {
  return TagText(tag);
}

std::vector<CSessionRecord> Parse(const std::string& bytes, size_t from, size_t to) {
  std::vector<CSessionRecord> records;
  while (from < to) {
    CSessionRecord record;
    record.tag = ReadTagAt(bytes, from);
    const uint32_t length = ReadLittle32(bytes, from + 4);
    if (from + 8 + length > to)
      throw std::runtime_error("record beyond its block: " + TagText(record.tag));
    record.block = IsBlock(record.tag);
    if (record.block) {
      record.children = Parse(bytes, from + 8, from + 8 + length);
    } else {
      record.data = bytes.substr(from + 8, length);
    }
    records.push_back(std::move(record));
    from += 8 + length;
  }
  return records;
}

std::string Serialise(const std::vector<CSessionRecord>& records) {
  std::string bytes;
  for (const CSessionRecord& record : records) {
    const std::string data = record.block ? Serialise(record.children) : record.data;
    bytes += TagBytes(record.tag) + LittleEndian32(static_cast<uint32_t>(data.size())) + data;
  }
  return bytes;
}

void Collect(std::vector<CSessionRecord>& records, uint32_t tag,
             std::vector<CSessionRecord*>& found) {
  for (CSessionRecord& record : records) {
    if (record.tag == tag) found.push_back(&record);
    Collect(record.children, tag, found);
  }
}

}  // namespace

std::string LittleEndian32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

uint32_t LittleEndianValue(const std::string& bytes, size_t at) {
  return ReadLittle32(bytes, at);
}

uint32_t TagOf(std::string_view text) {
  if (text.size() != 4) throw std::invalid_argument("a tag has four characters");
  return ReadTagAt(std::string(text), 0);
}

std::string WithFreshTrailer(std::string bytes) {
  const std::string body = bytes.substr(0, bytes.size() - 8);
  return body + "CRCK" + LittleEndian32(CCRC32::Of(body.data(), body.size()));
}

CSessionRecord* CSessionRecord::Find(uint32_t wanted) {
  const std::vector<CSessionRecord*> found = FindAll(wanted);
  return found.empty() ? nullptr : found.front();
}

std::vector<CSessionRecord*> CSessionRecord::FindAll(uint32_t wanted) {
  std::vector<CSessionRecord*> found;
  Collect(children, wanted, found);
  return found;
}

CSessionRecords::CSessionRecords(const std::string& bytes) {
  if (bytes.size() < 8 || bytes.compare(bytes.size() - 8, 4, "CRCK") != 0)
    throw std::runtime_error("no trailer");
  root.block = true;
  root.children = Parse(bytes, 0, bytes.size() - 8);
}

std::string CSessionRecords::Bytes(bool trailer) const {
  const std::string body = Serialise(root.children);
  if (!trailer) return body;
  return body + "CRCK" + LittleEndian32(CCRC32::Of(body.data(), body.size()));
}

CSessionRecord* CSessionRecords::Find(uint32_t tag) {
  return root.Find(tag);
}

std::vector<CSessionRecord*> CSessionRecords::FindAll(uint32_t tag) {
  return root.FindAll(tag);
}

// --- Legacy format -------------------------------------------------------------------------------

void CLegacySessionBuilder::Write(const CSession& session, const std::string& path) {
  Begin(path);
  WriteCount(static_cast<uint32_t>(session.patterns.size()));
  WriteList(session.patterns);
  for (const auto& pattern : session.patterns) {
    WriteCommon(*pattern);
    if (const auto* crystal = dynamic_cast<const CTSCrystalPattern*>(pattern.get())) {
      WriteCrystal(*crystal->Crystal());
    } else if (const auto* observed = dynamic_cast<const CTSObservedPattern*>(pattern.get())) {
      WriteObserved(observed->RawPoints());
    } else {
      throw std::invalid_argument("the legacy format holds crystals and observed data only");
    }
  }
  WritePlot(session.plotSpec, session.display);
  WriteWindow(session.window);
  Finish();
}

void CLegacySessionBuilder::Begin(const std::string& path) {
  CFileError error;
  if (!m_file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeBinary, &error))
    throw CVHXFileNotOpen(kSeverityMessage, error.code);
  m_file.SetLittleEndian(false);
  m_file.WriteTag(MakeTag("TSDF"));
  std::string creator(CTSSessionPre6File::kCreator);
  creator.resize(CTSSessionPre6File::kCreatorBytes, '\0');
  m_file.WriteUTF8(creator);
  m_file.WriteValue(m_options.platform);
  std::string version = m_options.version;
  version.resize(kVersionBytes, '\0');
  m_file.WriteUTF8(version);
}

void CLegacySessionBuilder::BeginChunk(const char (&tag)[5]) {
  m_lengthPosition = m_file.BeginBlock(MakeTag(tag));
}

void CLegacySessionBuilder::EndChunk() {
  m_file.BackPatchLength(m_lengthPosition);
}

void CLegacySessionBuilder::WriteText(const std::string& text) {
  const std::string mac = UTF8ToMacRoman(text).substr(0, 255);
  m_file.WriteValue(static_cast<uint8_t>(mac.size()));
  m_file.WriteBytes(mac.data(), mac.size());
}

void CLegacySessionBuilder::WriteFloat(double value) {
  m_file.WriteValue(static_cast<float>(value));
}

void CLegacySessionBuilder::WriteCount(uint32_t count) {
  BeginChunk("nPAT");
  m_file.WriteValue(static_cast<uint32_t>(static_cast<int64_t>(count) + m_options.countChange));
  EndChunk();
}

void CLegacySessionBuilder::WriteList(const CPatternList& patterns) {
  BeginChunk("PLST");
  const int64_t count = static_cast<int64_t>(patterns.size()) + m_options.listCountChange;
  m_file.WriteValue(static_cast<uint32_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    const bool real = i < static_cast<int64_t>(patterns.size());
    m_file.WriteValue<uint8_t>(
        real ? (patterns[i]->Plotted() ? 1 : 0) | (patterns[i]->Selected() ? 2 : 0) : 0);
  }
  EndChunk();
}

void CLegacySessionBuilder::WriteCommon(const CTSPattern& pattern) {
  BeginChunk("PAT_");
  WriteText(pattern.Title());
  m_file.WriteValue(pattern.Style().colour);
  m_file.WriteValue(static_cast<uint8_t>(pattern.Style().lineStyle));
  WriteFloat(pattern.Style().lineWidth);
  for (const double value :
       {pattern.XOffset(), pattern.YOffset(), pattern.YScale(), pattern.MixtureFraction()})
    WriteFloat(value);
  EndChunk();
}

void CLegacySessionBuilder::WriteCrystal(const CTSCrystal& crystal) {
  BeginChunk("PAT?");
  m_file.WriteValue<uint32_t>(2);
  for (const double value :
       {crystal.a, crystal.b, crystal.c, crystal.alpha, crystal.beta, crystal.gamma})
    WriteFloat(value);
  WriteText(crystal.spaceGroupSymbol);
  m_file.WriteValue(static_cast<uint16_t>(crystal.sites.size()));
  for (const CTSSite& site : crystal.sites) {
    m_file.WriteValue(static_cast<uint8_t>(site.atoms.size()));
    for (const CTSAtom& atom : site.atoms) {
      WriteText(atom.symbol);
      WriteFloat(atom.occupancy);
    }
    WriteText(site.label);
    for (const double value : {site.x, site.y, site.z}) WriteFloat(value);
  }
  const int64_t records = static_cast<int64_t>(crystal.sites.size()) + m_options.displacementChange;
  m_file.WriteValue(static_cast<uint16_t>(records));
  for (int64_t i = 0; i < records; ++i) {
    const CTSThermalEllipsoid* displacement = i < static_cast<int64_t>(crystal.sites.size())
                                                  ? crystal.sites[i].displacement.get()
                                                  : nullptr;
    const auto* anisotropic = dynamic_cast<const CTSAnisoThermalEllipsoid*>(displacement);
    if (anisotropic) {
      m_file.WriteValue<uint8_t>(2);
      const auto u = anisotropic->ToUij(crystal.aStar, crystal.bStar, crystal.cStar);
      for (const double value : {u.u11, u.u22, u.u33, u.u12, u.u13, u.u23}) WriteFloat(value);
    } else if (displacement) {
      m_file.WriteValue<uint8_t>(1);
      WriteFloat(displacement->U());
    } else {
      m_file.WriteValue<uint8_t>(0);
    }
  }
  EndChunk();
}

void CLegacySessionBuilder::WriteObserved(const CProfile& points) {
  BeginChunk("PAT?");
  m_file.WriteValue<uint32_t>(1);
  m_file.WriteValue(static_cast<uint32_t>(points.size()));
  for (const CProfilePoint& point : points) {
    WriteFloat(point.x);
    WriteFloat(point.y);
  }
  EndChunk();
}

void CLegacySessionBuilder::WriteKind(uint32_t kind) {
  BeginChunk("PAT?");
  m_file.WriteValue(kind);
  EndChunk();
}

void CLegacySessionBuilder::WritePlot(const CPlotSpec& spec, const CPlotDisplay& display) {
  BeginChunk("PLT_");
  for (const uint32_t value :
       {static_cast<uint32_t>(spec.SimulationType()), static_cast<uint32_t>(spec.AxisType()),
        static_cast<uint32_t>(spec.ProfileType())})
    m_file.WriteValue(static_cast<uint8_t>(value));
  for (const double value : {spec.XMin(), spec.XMax(), spec.DMin(), spec.Lambda(), spec.Lambda2(),
                             spec.LambdaRatio(), spec.TTHPeakWidth(), spec.Eta()})
    WriteFloat(value);
  m_file.WriteValue<uint8_t>(spec.Monochromatic() ? 1 : 0);
  m_file.WriteValue(static_cast<uint32_t>(spec.ProfilePoints()));
  WriteFloat(display.yMin);
  WriteFloat(display.yMax);
  m_file.WriteValue<uint8_t>(display.logarithmicY ? 1 : 0);
  m_file.WriteValue<uint8_t>(display.gridlines ? 1 : 0);
  WriteText(display.title);
  EndChunk();
}

void CLegacySessionBuilder::WriteWindow(const CWindowState& window) {
  BeginChunk("WIN_");
  for (const double value :
       {window.rect.top, window.rect.left, window.rect.bottom, window.rect.right})
    m_file.WriteValue(static_cast<int16_t>(value));
  m_file.WriteValue<uint8_t>((window.showPatterns ? 1 : 0) | (window.showParameters ? 2 : 0) |
                             (window.showReflexions ? 4 : 0));
  EndChunk();
}

void CLegacySessionBuilder::WriteChunk(const char (&tag)[5], const std::string& data) {
  BeginChunk(tag);
  m_file.WriteBytes(data.data(), data.size());
  EndChunk();
}

void CLegacySessionBuilder::Finish() {
  BeginChunk("STOP");
  EndChunk();
  m_file.Close();
}
