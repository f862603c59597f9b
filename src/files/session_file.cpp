#include "files/session_file.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/status.h"
#include "app/status_log.h"
#include "errors/exceptions.h"
#include "files/crystal_file.h"
#include "files/records.h"
#include "files/session_records.h"

using namespace VHSessionRecords;

namespace {

const CTessFile::CRegistrar kRegistrar({CTSSessionFile::kTypeId}, &CTSSessionFile::Recognise,
                                       &CTSSessionFile::Create);

constexpr uint32_t kTagVersion = MakeTag("VERS");
constexpr uint32_t kTagPlatform = MakeTag("PLAT");
constexpr uint32_t kTagFormat = MakeTag("FVER");
constexpr uint32_t kTagStop = MakeTag("STOP");
constexpr uint64_t kHeaderBytes = 8;  // tag and length of a record

// Sessions of the Mac edition older than 5.0.0 beta 15 cannot be read.
constexpr uint32_t kFirstMacVersion = 0x0500008F;
// The edition that writes this layout, named in the version record.
constexpr std::string_view kEdition = " for Windows";

uint64_t Remaining(const CVHFile& file) {
  const uint64_t length = file.GetLength(), position = file.GetPosition();
  return position < length ? length - position : 0;
}

// The next record's header, nothing at the end of the file.
std::optional<CRecordHeader> NextRecord(CVHFile& file) {
  if (Remaining(file) < kHeaderBytes) return std::nullopt;
  return ReadRecordHeader(file);
}

// The next record when it carries `tag`; the file must hold its data.
std::optional<uint32_t> NextRecord(CVHFile& file, uint32_t tag) {
  const std::optional<CRecordHeader> header = NextRecord(file);
  if (!header || header->tag != tag) return std::nullopt;
  if (header->length > Remaining(file)) throw CVHXFileEOF();
  return header->length;
}

// The length of the next record, which must carry `tag`; anything else raises `Missing`.
template <class Missing>
uint32_t Expect(CVHFile& file, uint32_t tag, const std::string& name) {
  const std::optional<uint32_t> length = NextRecord(file, tag);
  if (!length) throw Missing(kSeverityMessage, 0, 0, name);
  return *length;
}

}  // namespace

unsigned CTSSessionFile::Recognise(const std::string& path) {
  try {
    return RecogniseContent(path);
  } catch (const CVHXFile&) {
    return kUnknownType;  // too short or malformed for a session
  }
}

unsigned CTSSessionFile::RecogniseContent(const std::string& path) {
  CTSSessionFile file;
  if (!file.Open(path, CFile::kModeRead) || file.GetLength() < kHeaderBytes) return kUnknownType;
  if (file.ReadTag() != kFileTag) return kUnknownType;
  file.DetectByteOrder();
  std::optional<CRecordHeader> header = NextRecord(file);
  if (!header || header->tag != kFileTag || header->length < kProgramName.size())
    return kUnknownType;
  if (file.ReadUTF8(header->length).compare(0, kProgramName.size(), kProgramName) != 0)
    return kUnknownType;
  header = NextRecord(file);
  if (header && header->tag == kTagVersion) {
    file.Skip(header->length);
    header = NextRecord(file);
  }
  if (!header || header->tag != kTagPlatform) return kUnknownType;
  file.Skip(header->length);
  header = NextRecord(file);
  if (!header || header->tag != kTagFormat || header->length != 4) return kUnknownType;
  return file.ReadValue<uint32_t>() >= kFormatVersion ? kTypeId : kUnknownType;
}

std::unique_ptr<CTessFile> CTSSessionFile::Create(unsigned typeId) {
  if (typeId != kTypeId) return nullptr;
  return std::make_unique<CTSSessionFile>(typeId);
}

void CTSSessionFile::DetectByteOrder() {
  Seek(0, kBegin);
  if (ReadTag() != kFileTag) throw CVHXFileBadHeader();
  SetLittleEndian(true);
  const auto little = ReadValue<uint32_t>();
  const uint32_t big = __builtin_bswap32(little);
  SetLittleEndian(little <= Remaining(*this) || big > Remaining(*this));
  Seek(0, kBegin);
}

void CTSSessionFile::ReadHeader() {
  DetectByteOrder();
  CheckCRC();
  Seek(0, kBegin);
  std::optional<CRecordHeader> header = NextRecord(*this);
  if (!header || header->tag != kFileTag) throw CVHXFileBadHeader();
  if (ReadUTF8(header->length).compare(0, kProgramName.size(), kProgramName) != 0)
    throw CVHXFileBadHeader();
  header = NextRecord(*this);
  std::optional<uint32_t> packed;
  m_versionText.clear();
  if (header && header->tag == kTagVersion) {
    m_versionText = ReadUTF8(header->length);
    packed = PackVersion(m_versionText);
    if (!packed) throw CVHXFileBadVersion();
    header = NextRecord(*this);
  }
  if (!header || header->tag != kTagPlatform) throw CVHXFileBadHeader();
  SetWrittenOnWindows(ReadUTF8(header->length) == kWindowsPlatform);
  header = NextRecord(*this);
  if (!header || header->tag != kTagFormat || header->length != 4) throw CVHXFileBadHeader();
  const auto format = ReadValue<uint32_t>();
  SetFormatVersion(format);
  SetFileTag(kFileTag);

  if (!WrittenOnWindows() && packed.value_or(0) < kFirstMacVersion) throw CVHXFileObsoleteMac5();
  if (format > kFormatVersion) throw CVHXFileTooNew();
  // Older formats are not this format's files, whatever their name says.
  if (Kind() != kTypeId || format < kFormatVersion)
    throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, GetDisplayName());
  SetHeaderRead(true);
}

void CTSSessionFile::ReadSession(CSession& session) {
  CStatus status("Reading data from file...");
  ReadHeader();
  const std::string name = GetDisplayName();
  // The version record names the edition after the number; the line names it once.
  std::string version = m_versionText;
  if (version.ends_with(kEdition)) version.resize(version.size() - kEdition.size());
  LogStatus(FormatPrintf(WrittenOnWindows() ? "Reading from Tessaline for Windows %s file '%s'."
                                            : "Reading from Tessaline for Mac %s file '%s'.",
                         {version, name}));

  // Built whole beside the current session, which it replaces only at the end.
  CSession read;
  read.window = session.window;
  read.plotSpec = session.plotSpec;
  read.display = session.display;
  ReadWindowBlock(*this, Expect<CVHXFileSessionWinDataExpected>(*this, kTagWindow, name),
                  read.window);
  ReadPlotBlock(*this, Expect<CVHXFileSessionPlotDataExpected>(*this, kTagPlot, name),
                read.plotSpec, read.display);
  ReadPatternEntries(*this, Expect<CVHXFileSessionPatDataExpected>(*this, kTagPatterns, name), name,
                     read.patterns);
  Skip(Expect<CVHXFileSessionDataExpected>(*this, kTagStop, name));
  // Files of this edition end with the trailer, right after "STOP".
  if (WrittenOnWindows() && (Remaining(*this) != kHeaderBytes || ReadTag() != kCRCTag))
    throw CVHXFileSessionDataExpected(kSeverityMessage, 0, 0, name);
  session = std::move(read);
}

void CTSSessionFile::WriteSession(const CSession& session) {
  CStatus status("Writing data to file...");
  SetLittleEndian(true);
  WriteTextRecord(*this, kFileTag, kProgramName);
  WriteTextRecord(*this, kTagVersion, std::string(TESSALINE_VERSION) + std::string(kEdition));
  WriteTextRecord(*this, kTagPlatform, kWindowsPlatform);
  WriteUInt32Record(*this, kTagFormat, kFormatVersion);

  uint64_t block = BeginBlock(kTagWindow);
  WriteWindowRecords(*this, session.window);
  BackPatchLength(block);
  block = BeginBlock(kTagPlot);
  WritePlotRecords(*this, session.plotSpec, session.display);
  BackPatchLength(block);
  block = BeginBlock(kTagPatterns);
  WritePatternEntries(*this, session.patterns);
  BackPatchLength(block);
  WriteTag(kTagStop);
  WriteValue<uint32_t>(0);
  WriteCRC();
}

bool IsSessionType(unsigned typeId) {
  return typeId == CTSSessionFile::kTypeId || typeId == CTSSessionPre6File::kTypeId;
}

CSession ReadSessionFile(const std::string& path, const CSession& current) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw CVHXFileNotOpen(kSeverityMessage, EISDIR);
  if (!std::filesystem::exists(path, error)) throw CVHXFileNotFound();
  const unsigned type = CTessFile::DetermineType(path, true);
  if (!IsSessionType(type))
    throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0,
                                  std::filesystem::path(path).filename().string());
  const std::unique_ptr<CTessFile> file = CTessFile::Create(type);
  CFileError openError;
  if (!file->Open(path, CFile::kModeRead, &openError))
    throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  CSession session{current.window, current.plotSpec, current.display, {}};
  file->ReadSession(session);
  file->Close();
  return session;
}

void WriteSessionFile(const std::string& path, const CSession& session) {
  CTSSessionFile file;
  CFileError openError;
  if (!file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeBinary, &openError))
    throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  file.WriteSession(session);
  file.Close();
}
