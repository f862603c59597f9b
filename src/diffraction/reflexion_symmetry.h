// What a crystal's symmetry means for its reflexions: the symmetry-equivalent indices of a
// reflexion, the systematic absences of its lattice centring and of its space group, and the
// centring multiplicity. Built once per calculation from the crystal's operators; it only
// reads, so the parallel intensity loop may share it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "crystal/vector.h"

class CTSCrystal;

// Miller indices.
struct CHkl {
  int32_t h = 0, k = 0, l = 0;

  CHkl operator-() const { return {-h, -k, -l}; }
  friend bool operator==(const CHkl&, const CHkl&) = default;
};

class CReflexionSymmetry {
 public:
  explicit CReflexionSymmetry(const CTSCrystal& crystal);

  // The images h.R of (h k l) under the operators in list order, each listed once. With
  // Friedel mates, for a crystal without an inversion operator, the image of -h follows each
  // image of h. `out` is replaced; it only allocates when it has less room than
  // MaxEquivalents().
  void Equivalents(const CHkl& hkl, bool friedelMates, std::vector<CHkl>& out) const;
  size_t MaxEquivalents() const { return 2 * m_rotations.size(); }
  // The images h.R in operator order, repeats included (for merging, where a repeat finds
  // nothing left to merge).
  void Images(const CHkl& hkl, std::vector<CHkl>& out) const;

  // Absent by the centring of the lattice letter.
  bool IsLatticeAbsent(const CHkl& hkl) const;
  // Absent by the space group's screw axes and glide planes: the structure factor of one atom
  // at a general trial point, summed over the operators, vanishes.
  bool IsSpaceGroupAbsent(const CHkl& hkl) const;
  // False for groups whose only operators are the identity, or the identity and the inversion;
  // they have no space-group absences.
  bool HasSpaceGroupAbsences() const { return m_testsAbsences; }
  // The trial point's image under each operator, R p + t - o: reflexion (h k l) has the
  // phases 2 pi h.v of these, summed in IsSpaceGroupAbsent.
  const std::vector<VHTypes::CVector>& TrialImages() const { return m_trialImages; }

  bool HasInversion() const { return m_hasInversion; }

 private:
  std::vector<std::array<int32_t, 9>> m_rotations;  // row-major
  std::vector<VHTypes::CVector> m_trialImages;
  char m_latticeLetter;
  bool m_rhombohedralAxes;  // an R lattice whose three angles round to the same whole degree
  bool m_hasInversion = false;
  bool m_testsAbsences;
};

// The number of lattice points per primitive cell used to estimate reflexion counts: 2 for
// A, B, C and I, 4 for F, 3 for R on hexagonal axes (gamma at least 120 degrees), else 1.
int CentringMultiplicity(const CTSCrystal& crystal);
