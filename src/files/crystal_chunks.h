// The chunks of the maker's binary crystal files and what each puts into a crystal: cell,
// symmetry, sites with their species, the atom positions of each site and the displacement
// parameters, in the current, the version-7 and the older layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crystal/crystal.h"
#include "crystal/symop.h"
#include "crystal/vector.h"
#include "diffraction/scattering_table.h"
#include "files/vhfile.h"

// Where a file's origin shift puts a crystal: origin choice 1 or 2 of a group with two
// origins, and the offset applied around the symmetry operations. `shift` is the one read,
// `originsShift` the shift between the group's two origins.
struct COriginPlacement {
  int32_t originChoice = 0;
  VHTypes::CVector offset;
};
COriginPlacement PlaceOrigin(const VHTypes::CVector& shift, const VHTypes::CVector& originsShift);

// The data of one chunk, read through the file's primitives from the current position. The
// chunk's end bounds every count: a count whose records cannot fit is refused before anything
// is allocated for it.
class CChunkData {
 public:
  CChunkData(CVHFile& file, uint64_t end) : m_file(file), m_end(end) {}

  template <class T>
  T Read() {
    return m_file.ReadValue<T>();
  }
  // A 32-bit float; anything but a finite number raises CVHXFileConversionErr.
  double ReadFloat();
  // `bytes` bytes of text in the Macintosh character set, up to the first NUL.
  std::string ReadText(size_t bytes);
  void Skip(uint64_t bytes);

  // Raises CVHXFileInvalid unless `count` records of at least `recordBytes` each fit in the
  // rest of the chunk.
  void RequireRoom(uint64_t count, uint64_t recordBytes) const;
  // Raises CVHXFileInvalid when the reading has run past the chunk's end.
  void Finish() const;

 private:
  uint64_t Remaining() const;

  CVHFile& m_file;
  uint64_t m_end;
};

// Fills a fresh crystal from the chunks of one file, in the order the file holds them; Finish
// completes it and hands it over.
class CCrystalChunkReader {
 public:
  // Current layout.
  void ReadCell(CChunkData& data);        // "CELL"
  void ReadSymmetry(CChunkData& data);    // "SYMM"
  void ReadSites(CChunkData& data);       // "AUNI"
  void ReadSites7(CChunkData& data);      // "AUN7"
  void ReadAtoms(CChunkData& data);       // "ATOM"
  void ReadAtoms7(CChunkData& data);      // "ATO7"
  void ReadEllipsoids(CChunkData& data);  // "AUEL"

  // Older layout (its "CELL" is the current one). Its site chunk "AUCR" holds a 16-bit site
  // count and per site: the species as in "AUNI", an 8-bit label length and the label, x, y, z,
  // a 16-bit number of atoms and a displacement record as in "AUEL". Its atom chunk "ATOM"
  // holds a 16-bit site count and per site a 16-bit count of positions and the positions;
  // counts that differ from the sites' raise CVHXFileNumAtomsErr.
  void ReadOlderSymmetry(CChunkData& data);  // "SYMM"
  void ReadOlderSites(CChunkData& data);     // "AUCR"
  void ReadOlderAtoms(CChunkData& data);     // "ATOM"
  static void SkipPolygons(CChunkData& data);  // "POLY"

  // Resolves the symmetry, gives sites without atom chunk their generated positions and
  // updates the cell. The reader is spent afterwards.
  CTSCrystal Finish();

 private:
  // What a symmetry chunk says; resolved once the whole file is read.
  struct CSymmetryRecord {
    std::string symbol;
    char latticeLetter = 0;  // 0 when the file's letter is none of P, A, B, C, F, I, R
    bool hasOriginShift = false;
    VHTypes::CVector originShift;
    std::vector<CTSSymOp> operators;
  };

  // A new site list: the old one and every atom count and position read for it go.
  void BeginSites(size_t count);
  CTSSite ReadSpecies(CChunkData& data);
  // Reads one displacement record (as in "AUEL") into the site; false when it was invalid.
  bool ReadDisplacement(CChunkData& data, CTSSite& site);
  // Gives the sites the positions read, once their total is what the file promised.
  void SetPositions(std::vector<std::vector<VHTypes::CVector>>& positions, uint64_t expected);
  void ResolveSymmetry();

  CTSCrystal m_crystal;
  std::vector<uint64_t> m_siteAtoms;  // each site's number of atoms, as its site record says
  bool m_positionsRead = false;
  CSymmetryRecord m_symmetry;
  CScatteringMatcher m_matcher;
};
