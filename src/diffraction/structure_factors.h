// Structure factors and intensities of a crystal's reflexions: the scattering-factor check,
// the scattering-factor groups of the sites, F = A + iB summed over every position of every
// included site, and the intensities with their normalisation to the strongest reflexion.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "crystal/vector.h"
#include "diffraction/asf.h"
#include "diffraction/phase_sum.h"

class CRadiationSpec;
class CTSCrystal;
class CTSSite;
class CTSThermalEllipsoid;
struct CTSReflexion;

// Reports CVHXDiffractNoASF naming, once each, the symbols of atoms whose scattering record
// is not their own (an empty symbol, or a record of another symbol). The calculation goes on
// with the records the atoms carry.
void CheckScatteringFactors(const CTSCrystal& crystal);

// Numbers the sites in list order: a site whose species (symbols and occupancies, atom by
// atom) equal those of the site before it shares its group, so that the summed scattering
// factor is computed once for a run of such sites.
void AssignScatteringGroups(CTSCrystal& crystal);

// F = A + iB of reflexions of one crystal. Built once per calculation; Evaluate only reads,
// so threads share it, each with its own working space.
class CStructureFactorSum {
 public:
  // Per-thread working space.
  struct CScratch {
    std::vector<double> compositionFactors;
    std::vector<double> displacementFactors;  // one per record, then 1 for positions without
    std::vector<double> weights;              // the positions of weighted groups
  };

  // Assumes the sites' scattering-factor groups are assigned.
  CStructureFactorSum(const CTSCrystal& crystal, CScatteringKind kind);

  CScratch NewScratch() const;
  // (A, B) of the reflexion, the displacement factors taken and the phase factors summed in
  // vectors (DisplacementFactors, SumPhaseFactors).
  std::pair<double, double> Evaluate(const CTSReflexion& reflexion, CScratch& scratch) const;
  // The same term by term: each displacement record's own factor at the turned indices, and
  // SumPhaseFactorsByTerms. The oracle for Evaluate.
  std::pair<double, double> EvaluateByTerms(const CTSReflexion& reflexion, CScratch& scratch) const;

  size_t PositionCount() const { return m_positionCount; }

 private:
  // A displacement record as it acts on the images made by one rotation: an anisotropic
  // tensor turns with the atom, so its factor for (h k l) is the record's factor for (h k l) R.
  // R and -R act alike and share one entry.
  struct CDisplacement {
    const CTSThermalEllipsoid* ellipsoid;
    VHTypes::CRotation rotation;
  };
  // Positions of one species (records and occupancies), whose terms are summed first and then
  // multiplied by its scattering factor. A large site with one displacement record sums alone
  // and is weighted once; the positions of small sites, and of those whose anisotropic
  // displacement turns with each image, share one sum per species with each term weighted by
  // its own position's factor, so that sums stay long enough to fill the vectors.
  struct CScatterers {
    size_t composition;  // index into m_compositions
    int displacement;    // of an unweighted group: index into m_displacements, -1 for none
    size_t begin, end;   // their positions in the tables
    bool weighted;       // each position weighted by its entry of m_positionDisplacements
  };

  // The sum once the displacement factors are in the scratch.
  using CPhaseSum = std::pair<double, double> (*)(const CPhaseTerms&, const CHkl&);
  std::pair<double, double> SumWith(CPhaseSum phaseSum, const CTSReflexion& reflexion,
                                    CScratch& scratch) const;

  CScatteringKind m_kind;
  std::vector<CScatterers> m_scatterers;
  std::vector<const CTSSite*> m_compositions;  // the site whose species give a scattering factor
  std::vector<CDisplacement> m_displacements;
  // The same records as coefficients of the reflexion's monomials, one array per monomial.
  std::array<std::vector<double>, CDisplacementTerms::kMonomials> m_displacementCoefficients;
  // Per table position, its entry of m_displacements; m_displacements.size() for none.
  std::vector<int32_t> m_positionDisplacements;
  size_t m_positionCount = 0;
  // The positions' coordinates axis by axis, each shifted by whole cells into [-1/2, 1/2] so
  // that phases stay small and round less.
  std::vector<double> m_coordinates[3];
};

// Fills F, phase, Lp and intensity of every reflexion of the crystal, in parallel over the
// reflexions; multiplicities or, when the crystal asks for it, the preferred-orientation
// correction weight the intensities.
void CalculateIntensities(CTSCrystal& crystal, const CRadiationSpec& radiation);

// Removes reflexions of zero intensity (below 2^-39 of the strongest in magnitude), keeping the
// order.
void DropZeroIntensities(CTSCrystal& crystal);

// Sets the crystal's maximum intensity and every reflexion's intensity relative to it.
void NormaliseIntensities(CTSCrystal& crystal);
