// Session files: the window state, the plot specification with its display fields and the
// pattern list of a diffraction window. CTSSessionFile reads and writes the current format, built
// entirely of tagged records with a CRC trailer; CTSSessionPre6File reads the legacy format of
// tagged chunks.
//
// Current format, in file order: "TSDF" (the writer's name), "VERS" (its version and edition),
// "PLAT", "FVER" (format version, 32-bit), then the blocks "WINS", "PLOT" and "PATS", "STOP" and
// the trailer "CRCK". A block is a record whose data are records; "PATS" holds one entry per
// pattern, a "TYPE" record ("Sim", "Obs" or "Mix") and the pattern's block "PATN", and a
// mixture's "CHLD" holds its components' entries the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "files/session.h"
#include "files/tess_file.h"

class CTSSessionFile : public CTessFile {
 public:
  static constexpr unsigned kTypeId = 10;
  static constexpr uint32_t kFormatVersion = 6;
  static constexpr uint32_t kFileTag = MakeTag("TSDF");
  // The writer's name must begin with it.
  static constexpr std::string_view kProgramName = "Tessaline";
  // The edition this layout belongs to: little-endian with the trailer. The Mac edition wrote
  // big-endian files and names itself otherwise.
  static constexpr std::string_view kWindowsPlatform = "Win";

  explicit CTSSessionFile(unsigned kind = kTypeId) : CTessFile(kind) {}

  // The content probe: "TSDF" with a name beginning "Tessaline", the version record, "PLAT",
  // then "FVER" of length 4 and a format version of 6 or more. Gives 10 or 0.
  static unsigned Recognise(const std::string& path);
  static std::unique_ptr<CTessFile> Create(unsigned typeId);

  // Checks the trailer, the header (a Mac file older than 5.0.0 beta 15 raises
  // CVHXFileObsoleteMac5, a format above 6 CVHXFileTooNew, a file not opened as type 10
  // CVHXFileUnsupportedType), then reads the blocks in their order; a missing one raises its
  // session alert naming the file.
  void ReadSession(CSession& session) override;
  // Writes the whole file, trailer included, into a file open for writing.
  void WriteSession(const CSession& session) override;

  // The writing program's version text, valid after ReadSession has read the header.
  const std::string& VersionText() const { return m_versionText; }

 private:
  static unsigned RecogniseContent(const std::string& path);
  void ReadHeader();
  // The byte order of a file whose first record is "TSDF": the one in which its length fits
  // the file. Little-endian when both do.
  void DetectByteOrder();

  std::string m_versionText;
};

// The legacy format (type 11), read only; big-endian. After the header ("TSDF", the creator
// "Tessaline" NUL-padded to 12 bytes, a platform byte 'W' for files of the Windows edition and
// the writer's version, 10 bytes NUL-padded) come chunks of tag, 32-bit length and data: "nPAT",
// "PLST", "PAT_" and "PAT?", "PLT_", "WIN_", and "STOP", which ends the reading. The chunks'
// layout is written out beside the tests' builder of such files
// (tests/files/session_file_builder.h).
class CTSSessionPre6File : public CTessFile {
 public:
  static constexpr unsigned kTypeId = 11;
  static constexpr std::string_view kCreator = "Tessaline";
  static constexpr size_t kCreatorBytes = 12;
  static constexpr size_t kVersionBytes = 10;
  static constexpr uint8_t kWindowsPlatform = 'W';

  explicit CTSSessionPre6File(unsigned kind = kTypeId) : CTessFile(kind) {}

  // "TSDF" followed directly by "Tessaline". Gives 11 or 0.
  static unsigned Recognise(const std::string& path);
  static std::unique_ptr<CTessFile> Create(unsigned typeId);

  bool IsBigEndian() const override { return true; }

  // A file of the Mac edition raises CVHXFileObsoleteMac5; a pattern count other than "nPAT"
  // says CVHXFileSessionNumPatterns, a pattern type that is none of the known ones
  // CVHXFileSessionUnknownPattern, displacement records that do not match the sites
  // CVHXFileSessionADPMismatch.
  void ReadSession(CSession& session) override;
};

// The session of a file of either format, found from its content; any other file raises
// CVHXFileUnsupportedType, a missing one CVHXFileNotFound.
CSession ReadSessionFile(const std::string& path, const CSession& current = {});
// Whether a file type is a session of either format.
bool IsSessionType(unsigned typeId);
// Writes a session in the current format. The file is replaced whole or not at all.
void WriteSessionFile(const std::string& path, const CSession& session);
