#include "files/crystal_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <utility>
#include <vector>

#include "app/status.h"
#include "app/status_log.h"
#include "app/text.h"
#include "crystal/crystal.h"
#include "errors/exceptions.h"
#include "files/crystal_chunks.h"
#include "files/encoding.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSCrystalFile::kCrystalTypeId,
                                        CTSCrystalFile::kMoleculeTypeId,
                                        CTSCrystalFile::kCrystal5TypeId,
                                        CTSCrystalFile::kMolecule5TypeId},
                                       &CTSCrystalFile::Recognise, &CTSCrystalFile::Create);
const CTessFile::CRegistrar kPre5Registrar({CTSPre5CrystalFile::kPre5CrystalTypeId,
                                            CTSPre5CrystalFile::kPre5MoleculeTypeId},
                                           &CTSPre5CrystalFile::Recognise,
                                           &CTSPre5CrystalFile::Create);

constexpr size_t kCreatorBytes = 12;
constexpr size_t kVersionBytes = 10;

// Packed versions that the Mac edition's files must not be older than, and the betas of 7.0.0
// whose files cannot be read; files of the older layout must be 2.0.0 beta 11 or newer.
constexpr uint32_t kFirstMacVersion = 0x0500008F;
constexpr uint32_t kObsoleteMac7After = 0x07000080;
constexpr uint32_t kObsoleteMac7Before = 0x0700008A;
constexpr uint32_t kFirstPre5Version = 0x0200008B;

// Bytes a chunk's own length field takes; the directory's measure is the one that counts.
constexpr uint64_t kChunkLengthBytes = 4;
constexpr uint64_t kChunkHeadBytes = 8;  // tag and length

// The little of scanf's reading that the version patterns need: "%d", a literal character and
// "%1c". Numbers too large for an int stop at its limits.
class CVersionScanner {
 public:
  explicit CVersionScanner(std::string_view text) : m_text(text) {}

  bool Number(int& value) {
    size_t i = m_at;
    while (i < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[i]))) ++i;
    bool negative = false;
    if (i < m_text.size() && (m_text[i] == '+' || m_text[i] == '-')) negative = m_text[i++] == '-';
    if (i >= m_text.size() || !std::isdigit(static_cast<unsigned char>(m_text[i]))) return false;
    long long magnitude = 0;
    for (; i < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[i])); ++i)
      magnitude = std::min<long long>(magnitude * 10 + (m_text[i] - '0'), INT_MAX);
    value = static_cast<int>(negative ? -magnitude : magnitude);
    m_at = i;
    return true;
  }
  bool Literal(char c) {
    if (m_at >= m_text.size() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }
  bool Character(char& c) {
    if (m_at >= m_text.size()) return false;
    c = m_text[m_at++];
    return true;
  }

 private:
  std::string_view m_text;
  size_t m_at = 0;
};

struct CVersionFields {
  int major = 0, minor = 0, bugFix = 0;
  char stage = 0;  // none for a release
  int build = 0;
};

// The patterns "%d.%d.%d%1c%d", "%d.%d.%d", "%d.%d%n%1c%d" and "%d.%d", in turn; the first
// that fills all its fields wins.
std::optional<CVersionFields> ScanVersion(std::string_view text) {
  CVersionFields f;
  if (CVersionScanner s(text); s.Number(f.major) && s.Literal('.') && s.Number(f.minor) &&
                               s.Literal('.') && s.Number(f.bugFix) && s.Character(f.stage) &&
                               s.Number(f.build))
    return f;
  f = {};
  if (CVersionScanner s(text); s.Number(f.major) && s.Literal('.') && s.Number(f.minor) &&
                               s.Literal('.') && s.Number(f.bugFix))
    return f;
  f = {};
  if (CVersionScanner s(text); s.Number(f.major) && s.Literal('.') && s.Number(f.minor) &&
                               s.Character(f.stage) && s.Number(f.build))
    return f;
  f = {};
  if (CVersionScanner s(text); s.Number(f.major) && s.Literal('.') && s.Number(f.minor)) return f;
  return std::nullopt;
}

uint32_t StageByte(char stage, int build) {
  const uint32_t low = static_cast<uint32_t>(build) & 63;
  switch (stage) {
    case 'a':
      return 0x40 + low;
    case 'b':
      return 0x80 + low;
    case 'd':
      return low;
    default:
      return build == 0 ? 0xFF : 0xC0 + low;
  }
}

std::string ReadCreator(CVHFile& file) {
  std::string creator(kCreatorBytes, '\0');
  file.ReadExact(creator.data(), creator.size());
  return creator;
}

// ASCII, NUL-padded.
std::string ReadVersionField(CVHFile& file) {
  std::string raw(kVersionBytes, '\0');
  file.ReadExact(raw.data(), raw.size());
  raw.erase(std::min(raw.find('\0'), raw.size()));
  return std::string(TrimWhiteSpace(MacRomanToUTF8(raw)));
}

// Clears the handlers, which refer to a reader that lives only while one file is read.
class CHandlerScope {
 public:
  explicit CHandlerScope(std::map<uint32_t, CChunkEntry>& chunks) : m_chunks(chunks) {}
  CHandlerScope(const CHandlerScope&) = delete;
  CHandlerScope& operator=(const CHandlerScope&) = delete;
  ~CHandlerScope() {
    for (auto& [tag, entry] : m_chunks) entry.handler = nullptr;
  }

 private:
  std::map<uint32_t, CChunkEntry>& m_chunks;
};

using CChunkRead = void (CCrystalChunkReader::*)(CChunkData&);

const std::pair<uint32_t, CChunkRead> kHandlers[] = {
    {MakeTag("ATO7"), &CCrystalChunkReader::ReadAtoms7},
    {MakeTag("ATOM"), &CCrystalChunkReader::ReadAtoms},
    {MakeTag("AUEL"), &CCrystalChunkReader::ReadEllipsoids},
    {MakeTag("AUN7"), &CCrystalChunkReader::ReadSites7},
    {MakeTag("AUNI"), &CCrystalChunkReader::ReadSites},
    {MakeTag("CELL"), &CCrystalChunkReader::ReadCell},
    {MakeTag("SYMM"), &CCrystalChunkReader::ReadSymmetry},
};

}  // namespace

std::optional<uint32_t> PackVersion(std::string_view text) {
  const std::optional<CVersionFields> f = ScanVersion(text);
  if (!f) return std::nullopt;
  return static_cast<uint32_t>(f->major) * 0x1000000u + static_cast<uint32_t>(f->minor) * 0x10000u +
         static_cast<uint32_t>(f->bugFix) * 0x100u + StageByte(f->stage, f->build);
}

unsigned CTSCrystalFile::TypeOfContent(const std::string& path) {
  CTSCrystalFile file;
  if (!file.Open(path, CFile::kModeRead) || file.GetLength() < 4) return kUnknownType;
  switch (file.ReadTag()) {
    case kCrystalTag:
      return kCrystalTypeId;
    case kMoleculeTag:
      return kMoleculeTypeId;
    case kCrystal5Tag:
      return kCrystal5TypeId;
    case kMolecule5Tag:
      return kMolecule5TypeId;
    default:
      return kUnknownType;
  }
}

unsigned CTSCrystalFile::Recognise(const std::string& path) {
  const unsigned type = TypeOfContent(path);
  return type == kCrystalTypeId || type == kCrystal5TypeId ? type : kUnknownType;
}

std::unique_ptr<CTessFile> CTSCrystalFile::Create(unsigned typeId) {
  if (typeId != kCrystalTypeId && typeId != kCrystal5TypeId) return nullptr;
  return std::make_unique<CTSCrystalFile>(typeId);
}

void CTSCrystalFile::SetVersionText(std::string text) {
  m_versionText = std::move(text);
}

uint32_t CTSCrystalFile::PackVersionText() {
  const std::optional<uint32_t> packed = PackVersion(m_versionText);
  if (!packed) throw CVHXFileBadVersion();
  return m_packedVersion = *packed;
}

void CTSCrystalFile::LogReading() const {
  LogStatus(FormatPrintf(WrittenOnWindows() ? "Reading from Tessaline for Windows %s file '%s'."
                                            : "Reading from Tessaline for Mac %s file '%s'.",
                         {m_versionText, GetDisplayName()}));
}

CTSCrystalFile::CHeader CTSCrystalFile::ReadHeader() {
  if (HeaderRead()) return {FileTag(), m_versionText};
  Seek(0, kBegin);
  SetLittleEndian(false);  // the header is big-endian in every edition
  const uint32_t tag = ReadTag();
  const std::string creator = ReadCreator(*this);
  const bool knownTag =
      tag == kCrystalTag || tag == kCrystal5Tag || tag == kMoleculeTag || tag == kMolecule5Tag;
  if (!knownTag || (creator != kCreator && creator != kMacCreator)) throw CVHXFileBadHeader();
  SetFileTag(tag);
  const auto platform = ReadValue<uint8_t>();
  uint32_t format = ReadValue<uint8_t>();
  SetVersionText(ReadVersionField(*this));
  const uint32_t packed = PackVersionText();

  // The Mac edition writes its own format byte; its major version stands for the format.
  const bool mac = creator == kMacCreator;
  if (mac) format = packed >> 24;
  SetWrittenOnWindows(!mac && platform == kWindowsPlatform);
  if (!WrittenOnWindows()) {
    if (packed < kFirstMacVersion) throw CVHXFileObsolete5();
    if (packed > kObsoleteMac7After && packed < kObsoleteMac7Before) throw CVHXFileObsolete7();
  }
  if (format > kNewestFormat) throw CVHXFileTooNew();
  SetFormatVersion(format);
  SetLittleEndian(!IsBigEndian());

  CheckCRC();
  const auto directory = ReadValue<uint32_t>();
  const uint64_t length = GetLength();
  if (directory == 0 || directory >= length || GetPosition() >= length) throw CVHXFileMapError();
  ReadDirectory(directory);
  SetHeaderRead(true);
  return {tag, m_versionText};
}

void CTSCrystalFile::ReadDirectory(uint32_t directoryOffset) {
  Seek(int64_t{directoryOffset} + 4, kBegin);
  const auto count = ReadValue<uint16_t>();
  const uint64_t length = GetLength();
  if (uint64_t{count} * 4 > length - GetPosition()) throw CVHXFileMapError();
  std::vector<uint64_t> offsets(count);
  for (uint64_t& offset : offsets) offset = ReadValue<uint32_t>();
  for (size_t i = 0; i < offsets.size(); ++i) {
    // A chunk reaches to the next one (the last to the end of the file) and holds at least its
    // tag and length: offsets out of order or too close mean a damaged directory.
    const uint64_t next = i + 1 < offsets.size() ? offsets[i + 1] : length;
    if (next < offsets[i] + kChunkHeadBytes) throw CVHXFileMapError();
    Seek(static_cast<int64_t>(offsets[i]), kBegin);
    ChunkMap().insert_or_assign(ReadTag(), CChunkEntry{offsets[i], next - offsets[i] - 4, {}});
  }
}

void CTSCrystalFile::ReadChunks() {
  Seek(kFirstChunkOffset, kBegin);
  const std::map<uint32_t, CChunkEntry>& chunks = ChunkMap();
  while (true) {
    const uint32_t tag = ReadTag();
    if (tag == kDirectoryTag) return;
    const auto found = chunks.find(tag);
    if (found == chunks.end()) continue;  // passed over four bytes at a time
    const CChunkEntry& entry = found->second;
    const uint64_t end = entry.offset + entry.length + 4;
    // A tag met away from its own chunk must still lead forward, or the walk would not end.
    if (end < GetPosition()) throw CVHXFileMapError();
    if (entry.handler) entry.handler();
    Seek(static_cast<int64_t>(end), kBegin);
  }
}

void CTSCrystalFile::ReadCrystal(CTSCrystal& crystal) {
  CStatus status("Reading data from file...");
  const CHeader header = ReadHeader();
  if (header.tag == kMoleculeTag || header.tag == kMolecule5Tag) throw CVHXFileNoMoleculeDiffract();
  if (Kind() != kCrystalTypeId && Kind() != kCrystal5TypeId) {
    LogStatus("Warning: File is being read as a binary crystal data file.");
    SetKind(header.tag == kCrystalTag ? kCrystalTypeId : kCrystal5TypeId);
  }
  LogReading();

  CCrystalChunkReader reader;
  const CHandlerScope scope(ChunkMap());
  for (const auto& handler : kHandlers) {
    const CChunkRead read = handler.second;
    const auto found = ChunkMap().find(handler.first);
    if (found == ChunkMap().end()) continue;
    const uint64_t end = found->second.offset + found->second.length + 4;
    found->second.handler = [this, &reader, read, end] {
      CChunkData data(*this, end);
      data.Skip(kChunkLengthBytes);
      (reader.*read)(data);
      data.Finish();
    };
  }
  ReadChunks();
  crystal = reader.Finish();
}

unsigned CTSPre5CrystalFile::Recognise(const std::string& path) {
  CTSPre5CrystalFile file;
  if (!file.Open(path, CFile::kModeRead) || file.GetLength() < 8 + kCreatorBytes)
    return kUnknownType;
  if (file.ReadValue<uint32_t>() != kHeaderLength) return kUnknownType;
  const uint32_t tag = file.ReadTag();
  if (ReadCreator(file) != kPre5Creator) return kUnknownType;
  return tag == kCrystalTag    ? kPre5CrystalTypeId
         : tag == kMoleculeTag ? kPre5MoleculeTypeId
                               : kUnknownType;
}

std::unique_ptr<CTessFile> CTSPre5CrystalFile::Create(unsigned typeId) {
  if (typeId != kPre5CrystalTypeId) return nullptr;
  return std::make_unique<CTSPre5CrystalFile>(typeId);
}

CTSCrystalFile::CHeader CTSPre5CrystalFile::ReadHeader() {
  if (HeaderRead()) return {FileTag(), VersionText()};
  Seek(0, kBegin);
  SetLittleEndian(false);
  const auto headerLength = ReadValue<uint32_t>();
  const uint32_t tag = ReadTag();
  if (headerLength != kHeaderLength || (tag != kCrystalTag && tag != kMoleculeTag) ||
      ReadCreator(*this) != kPre5Creator)
    throw CVHXFileBadHeader();
  SetFileTag(tag);
  Seek(kVersionOffset, kBegin);
  SetVersionText(ReadVersionField(*this));
  SetHeaderRead(true);
  return {tag, VersionText()};
}

void CTSPre5CrystalFile::ReadCrystal(CTSCrystal& crystal) {
  CStatus status("Reading data from file...");
  const CHeader header = ReadHeader();
  if (header.tag == kMoleculeTag) throw CVHXFileNoMoleculeDiffract();
  if (Kind() != kPre5CrystalTypeId)
    throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
  const uint32_t packed = PackVersionText();
  SetFormatVersion(packed >> 24);
  SetWrittenOnWindows(false);  // only the Mac edition wrote this layout
  if (packed < kFirstPre5Version) throw CVHXFileObsolete2();
  LogReading();

  CCrystalChunkReader reader;
  const uint64_t length = GetLength();
  Seek(kFirstPre5ChunkOffset, kBegin);
  while (GetPosition() < length) {
    const uint64_t start = GetPosition();
    const auto size = ReadValue<uint32_t>();  // counts the tag
    const uint32_t tag = ReadTag();
    const uint64_t end = start + 4 + size;
    if (size < 4) throw CVHXFileInvalid();
    if (end > length) throw CVHXFileEOF();
    CChunkData data(*this, end);
    switch (tag) {
      case MakeTag("CELL"):
        reader.ReadCell(data);
        break;
      case MakeTag("SYMM"):
        reader.ReadOlderSymmetry(data);
        break;
      case MakeTag("POLY"):
        CCrystalChunkReader::SkipPolygons(data);
        break;
      case MakeTag("AUCR"):
        reader.ReadOlderSites(data);
        break;
      case MakeTag("ATOM"):
        reader.ReadOlderAtoms(data);
        break;
      default:  // "NOTE" and whatever else: passed over by its length
        break;
    }
    data.Finish();
    Seek(static_cast<int64_t>(end), kBegin);
  }
  crystal = reader.Finish();
}
