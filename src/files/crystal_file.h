// The maker's binary crystal file. The current layout is a header, tagged chunks, a chunk
// directory and a CRC trailer; its numbers are little-endian from format version 9 on and
// big-endian before that and in files of the Mac edition. An older layout, big-endian with a
// header of its own and chunks without directory, is read by CTSPre5CrystalFile.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "files/tess_file.h"

// The packed number of a program version string ("8.7.1", "7.0.0b10", "6.0"): major, minor
// and bug-fix number in the three high bytes, the release stage in the low byte (0xFF for a
// release, 0x80 + build for a beta, 0x40 + build for an alpha, the build alone for a
// development version). Nothing when the text is no version.
std::optional<uint32_t> PackVersion(std::string_view text);

class CTSCrystalFile : public CTessFile {
 public:
  // Type ids by file tag.
  static constexpr unsigned kCrystalTypeId = 1;    // "VHDF"
  static constexpr unsigned kMoleculeTypeId = 2;   // "VHMF"
  static constexpr unsigned kCrystal5TypeId = 4;   // "VHD5", the 5/6 generation
  static constexpr unsigned kMolecule5TypeId = 5;  // "VHM5"

  static constexpr uint32_t kCrystalTag = MakeTag("VHDF");
  static constexpr uint32_t kMoleculeTag = MakeTag("VHMF");
  static constexpr uint32_t kCrystal5Tag = MakeTag("VHD5");
  static constexpr uint32_t kMolecule5Tag = MakeTag("VHM5");
  static constexpr uint32_t kDirectoryTag = MakeTag("FMAP");

  // The creator field: the maker's name, or its first 12 characters in parentheses in files of
  // the Mac edition.
  static constexpr std::string_view kCreator = "VarnholtWerk";
  static constexpr std::string_view kMacCreator = "(VarnholtWer";
  static constexpr uint8_t kWindowsPlatform = 'W';
  // Format versions from this one on store their numbers little-endian.
  static constexpr uint32_t kFirstLittleEndianFormat = 9;
  static constexpr uint32_t kNewestFormat = 9;
  // Chunks start after the header.
  static constexpr uint64_t kFirstChunkOffset = 32;

  // What the header says.
  struct CHeader {
    uint32_t tag = 0;
    std::string version;  // of the program that wrote the file
  };

  explicit CTSCrystalFile(unsigned kind = kCrystalTypeId) : CTessFile(kind) {}

  // The type a file's tag names: 1, 2, 4 or 5; 0 for any other content.
  static unsigned TypeOfContent(const std::string& path);
  // The content probe: only crystal files (types 1 and 4) are recognised.
  static unsigned Recognise(const std::string& path);
  static std::unique_ptr<CTessFile> Create(unsigned typeId);

  bool IsBigEndian() const override { return FormatVersion() < kFirstLittleEndianFormat; }

  // Reads and checks the header, the CRC trailer and the chunk directory; done once per file
  // object, later calls return what the first one read.
  virtual CHeader ReadHeader();
  // Refuses molecules, then fills the crystal from the chunks; a file that fails leaves it as
  // it was.
  void ReadCrystal(CTSCrystal& crystal) override;

  // The writing program's version, as text and packed; valid once the header has been read.
  const std::string& VersionText() const { return m_versionText; }
  uint32_t PackedVersion() const { return m_packedVersion; }

 protected:
  void SetVersionText(std::string text);
  // Packs the version text and keeps the number; text that is no version raises
  // CVHXFileBadVersion.
  uint32_t PackVersionText();
  // The status-log line that names the writing edition, its version and the file.
  void LogReading() const;

 private:
  void ReadDirectory(uint32_t directoryOffset);
  // Walks the chunks from the first one to the directory, running the handler of each chunk
  // the directory lists.
  void ReadChunks();

  std::string m_versionText;
  uint32_t m_packedVersion = 0;
};

// The older layout (type ids 6 and 7): big-endian throughout, a 72-byte header with the
// creator in capitals, then chunks each headed by its length and its tag.
class CTSPre5CrystalFile : public CTSCrystalFile {
 public:
  static constexpr unsigned kPre5CrystalTypeId = 6;
  static constexpr unsigned kPre5MoleculeTypeId = 7;
  static constexpr uint32_t kHeaderLength = 72;
  static constexpr std::string_view kPre5Creator = "VARNHOLTWERK";
  static constexpr uint64_t kVersionOffset = 80;
  static constexpr uint64_t kFirstPre5ChunkOffset = 90;

  explicit CTSPre5CrystalFile(unsigned kind = kPre5CrystalTypeId) : CTSCrystalFile(kind) {}

  // The content probe: 6 for a crystal, 7 for a molecule, when the creator matches.
  static unsigned Recognise(const std::string& path);
  static std::unique_ptr<CTessFile> Create(unsigned typeId);

  bool IsBigEndian() const override { return true; }

  // Checks the header length, tag and creator and reads the version string.
  CHeader ReadHeader() override;
  void ReadCrystal(CTSCrystal& crystal) override;
};
