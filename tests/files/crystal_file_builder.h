// Writes the maker's binary crystal files from a crystal, for the reader's tests and the fuzz
// corpus. It writes through the framework's file primitives so that it can grow into the
// program's own writer of the format (the visualiser link sends it).
//
// Current layout, in file order (numbers little-endian from format version 9 on, big-endian
// below it; files of the Mac edition take their format from the version string's major):
//   header   tag, creator (12), platform byte, format version byte, version string (10,
//            NUL-padded), offset of the directory
//   "CELL"   a, b, c, alpha, beta, gamma
//   "SYMM"   symbol (21, NUL-padded), lattice letter, the crystal's origin offset, operator
//            count and codes
//   "AUNI"   sites (or "AUN7", the version-7 site layout)
//   "ATOM"   each site's positions (or "ATO7")
//   "AUEL"   displacement records, when the crystal has displacement parameters
//   "stop"   empty
//   "FMAP"   the directory: every chunk's offset and then its own, so that each chunk reaches
//            to the next and the last one listed, the directory, to the end of the file
//   "CRCK"   the trailer
// A site's label is cut to the six characters of "AUNI"; an atom is written as its element.
//
// Older layout (CPre5CrystalFileBuilder), big-endian: a 72-byte header (its length, tag,
// creator "VARNHOLTWERK", unused bytes), the version string at offset 80, then chunks of
// 32-bit length (counting the tag), tag and data. Its site and atom chunks are laid out as
// follows:
//   "AUCR"   16-bit site count; per site: 8-bit species count, per species the 16-bit element
//            code and the occupancy; 8-bit label length and the label; x, y, z; 16-bit number
//            of atoms; the displacement record of "AUEL" (16-bit unused, 16-bit type, the
//            isotropic value and the six anisotropic components 11, 22, 33, 23, 13, 12)
//   "ATOM"   16-bit site count; per site a 16-bit count of positions and the positions
// All reals are 32-bit floats.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "files/crystal_file.h"
#include "files/vhfile.h"

class CTSCrystal;

struct CCrystalFileOptions {
  enum class CEdition { kWindows, kMac };
  enum class CSiteLayout { kCurrent, kVersion7 };

  CEdition edition = CEdition::kWindows;
  uint8_t formatVersion = 9;  // the header's byte; the Mac edition's format follows `version`
  std::string version = "9.1.0";
  uint32_t fileTag = CTSCrystalFile::kCrystalTag;
  std::string creator{};  // empty: the edition's own; its platform byte follows the edition
  CSiteLayout siteLayout = CSiteLayout::kCurrent;
  bool betaTensors = false;  // anisotropic records as beta_ij rather than U_ij
  bool trailer = true;

  // Deliberate faults.
  int surplusAtomRecords = 0;     // atom records for the first site beyond its own atoms
  int ellipsoidCountChange = 0;   // added to the "AUEL" count
  bool flippedTrailerBit = false; // the trailer's CRC differs by one bit
  bool oneByteShort = false;      // the file's last byte is missing
};

class CCrystalFileBuilder {
 public:
  explicit CCrystalFileBuilder(CCrystalFileOptions options = {}) : m_options(std::move(options)) {}

  // The whole file.
  void Write(const CTSCrystal& crystal, const std::string& path);

  // The pieces, for files put together chunk by chunk: Begin opens the file and writes the
  // header; Finish writes "stop", the directory and the trailer, closes the file and applies
  // the byte faults.
  void Begin(const std::string& path);
  void WriteCell(const CTSCrystal& crystal);
  void WriteSymmetry(const CTSCrystal& crystal);
  void WriteSites(const CTSCrystal& crystal);
  void WriteAtoms(const CTSCrystal& crystal);
  void WriteEllipsoids(const CTSCrystal& crystal);
  void Finish();

 private:
  std::string Creator() const;
  bool BigEndian() const;
  void BeginChunk(const char (&tag)[5]);
  void EndChunk();

  CCrystalFileOptions m_options;
  CVHFile m_file;
  std::vector<uint32_t> m_offsets;  // of every chunk written, for the directory
  uint64_t m_lengthPosition = 0;
};

struct CPre5CrystalFileOptions {
  std::string version = "4.0.2";
  uint32_t fileTag = CTSCrystalFile::kCrystalTag;
  std::string creator{CTSPre5CrystalFile::kPre5Creator};
};

class CPre5CrystalFileBuilder {
 public:
  explicit CPre5CrystalFileBuilder(CPre5CrystalFileOptions options = {}) : m_options(std::move(options)) {}

  // The whole file: header, "CELL", "SYMM", "AUCR", "ATOM".
  void Write(const CTSCrystal& crystal, const std::string& path);

  void Begin(const std::string& path);
  void WriteCell(const CTSCrystal& crystal);
  void WriteSymmetry(const CTSCrystal& crystal);
  void WriteSites(const CTSCrystal& crystal);
  void WriteAtoms(const CTSCrystal& crystal);
  void WriteNote(const std::string& text);
  // One polygon entry with the given numbers of triangles to octagons; its size field is off
  // by `sizeError`.
  void WritePolygons(const std::array<uint8_t, 6>& polygons, int sizeError = 0);
  void Finish();

 private:
  void BeginChunk(const char (&tag)[5]);
  void EndChunk();

  CPre5CrystalFileOptions m_options;
  CVHFile m_file;
  uint64_t m_lengthPosition = 0;
};
