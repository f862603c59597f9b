// Structure factors and intensities of a crystal's reflexions: the scattering-factor check,
// the scattering-factor groups of the sites, F = A + iB summed over every position of every
// included site, and the intensities with their normalisation to the strongest reflexion.
#pragma once

#include <cstddef>
#include <span>
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

// Reflexions of equal h and k whose l lie on one phase row, reflexion i at row step
// (l_i - first.l) / step; the steps between them may skip reflexions the list does not hold.
struct CReflexionRow {
  CPhaseRow phases;
  std::span<CTSReflexion* const> reflexions;
};

// Sorts `reflexions` by (h, k, l) and cuts them into rows, each as long as its reflexions
// allow: the step of a row is the distance of its first two l, and a row ends where an l is
// off its steps or beyond CPhaseRow::kMaxCount of them.
std::vector<CReflexionRow> ReflexionRows(std::vector<CTSReflexion*>& reflexions);

// F = A + iB of reflexions of one crystal. Built once per calculation; Evaluate only reads,
// so threads share it, each with its own working space.
class CStructureFactorSum {
 public:
  // Per-thread working space.
  struct CScratch {
    std::vector<double> gaussians;           // the records' Gaussian terms at one reflexion
    std::vector<double> recordFactors;       // one per record at one reflexion
    std::vector<double> compositionFactors;  // per reflexion of a row, one per composition
    // Per record, then factor, ratio and ratio step 1 for positions without one.
    std::vector<double> displacementFactors, displacementRatios, displacementRatioSteps;
    // The positions of weighted groups.
    std::vector<double> weights, ratios, ratioSteps;
  };

  // Assumes the sites' scattering-factor groups are assigned.
  CStructureFactorSum(const CTSCrystal& crystal, CScatteringKind kind);

  CScratch NewScratch() const;
  // (A, B) of each reflexion of the row into f, the displacement factors taken and the phase
  // factors summed in vectors along the row (DisplacementFactors, SumPhaseFactors).
  void Evaluate(const CReflexionRow& row, CScratch& scratch, std::pair<double, double>* f) const;
  // (A, B) of one reflexion, a row of one.
  std::pair<double, double> Evaluate(const CTSReflexion& reflexion, CScratch& scratch) const;
  // The same term by term: each record's scattering factor and each displacement record's own
  // factor at the turned indices taken one by one, and SumPhaseFactorsByTerms. The oracle for
  // Evaluate.
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
  // multiplied by its scattering factor. Many positions of one species and one displacement
  // record sum alone and are weighted once; the others (small sites, the images of a tensor
  // that turns with them) share one sum per species with each term weighted by its own
  // position's factor, so that sums stay long enough to fill the vectors.
  struct CScatterers {
    size_t composition;  // index into m_compositions
    int displacement;    // of an unweighted group: index into m_displacements, -1 for none
    size_t begin, end;   // their positions in the tables
    bool weighted;       // each position weighted by its entry of m_positionDisplacements
  };

  // The scattering factor of every record at d into the scratch, the Gaussians of all their
  // form factors taken in one vector pass.
  void RecordFactors(double d, CScratch& scratch) const;
  // Each composition's scattering factor, the sum over its atoms of their records' factors (in
  // the scratch) times their occupancies.
  void CompositionFactors(const CScratch& scratch, double* factors) const;
  // The positions of a group, weighted as the scratch's weight arrays say.
  CPhaseTerms Terms(const CScatterers& scatterers, const CScratch* weighted) const;

  CScatteringKind m_kind;
  std::vector<CScatterers> m_scatterers;
  // The distinct scattering records of the atoms, each evaluated once per reflexion, and each
  // composition's atoms as (record, occupancy): its scattering factor is their sum.
  std::vector<const CVHASF*> m_records;
  // The records' X-ray Gaussians a exp(-b s^2), four per record in record order.
  std::vector<double> m_gaussianA, m_gaussianB;
  std::vector<std::vector<std::pair<size_t, double>>> m_compositions;
  std::vector<CDisplacement> m_displacements;
  // The same records as coefficients of the reflexion's monomials, one array per monomial.
  std::array<std::vector<double>, CDisplacementTerms::kMonomials> m_displacementCoefficients;
  CDisplacementTerms m_displacementTerms;
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
