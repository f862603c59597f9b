// The in-memory crystal structure: unit cell with its derived reciprocal cell and metrics,
// sites with their species and displacement parameters, symmetry operators and space-group
// symbol, the sample settings that act on intensities, and the last calculation's reflexions.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crystal/scattering_record.h"
#include "crystal/symop.h"
#include "crystal/thermal.h"
#include "crystal/vector.h"

class CPreferences;
struct CTSReflexion;

// One species on a site.
struct CTSAtom {
  std::string symbol;     // element or ion symbol
  CVHASF scattering;      // the scattering-factor record matched when the atom was created
  double occupancy = 1.0; // 0-1
};

// One crystallographic site: the species sharing it and its symmetry-equivalent positions.
class CTSSite {
 public:
  CTSSite() = default;
  CTSSite(const CTSSite& other);
  CTSSite& operator=(const CTSSite& other);
  CTSSite(CTSSite&&) noexcept = default;
  CTSSite& operator=(CTSSite&&) noexcept = default;
  ~CTSSite() = default;

  std::vector<VHTypes::CVector> positions;  // generated; the first is the site's own
  // The rotation part of the operator that made each position, which turns an anisotropic
  // displacement with the atom; empty for positions restored from a file as they were stored.
  std::vector<VHTypes::CRotation> rotations;
  std::vector<CTSAtom> atoms;
  bool flag = false;  // set by the readers, kept through copies and files
  std::string label;
  double x = 0.0, y = 0.0, z = 0.0;  // fractional coordinates as given
  bool included = true;              // only included sites scatter
  std::unique_ptr<CTSThermalEllipsoid> displacement;  // none when null
  int64_t scatteringGroup = 0;  // assigned before each calculation

  size_t Multiplicity() const { return positions.size(); }
};

class CTSCrystal {
 public:
  enum PreferredOrientationType : int32_t { kPlates = 1, kNeedles = 2 };
  enum TSVectorType : int32_t { kPlaneNormal = 1, kLatticeVector = 2 };

  // Built-in defaults: an 8 x 9 x 10 Angstrom orthogonal cell in P 1 without sites.
  CTSCrystal();
  // The built-in crystal with the sample settings of the preferences: particle size, strain,
  // use of displacement parameters and the preferred orientation. Defined with the preferences,
  // which sit above the crystal.
  static CTSCrystal FromPreferences(const CPreferences& preferences);

  // Recomputes the reciprocal cell, volume, density and both metric tensors.
  void UpdateCell();
  // The same without the density, which walks every site: cheap enough for each line a reader
  // meets.
  void UpdateCellGeometry();
  // d = 1 / sqrt(h^T G* h).
  double DSpacing(int h, int k, int l) const;
  // Expands every site into its symmetry-equivalent positions.
  void GeneratePositions();

  int32_t kind = 1;
  double a = 8.0, b = 9.0, c = 10.0;
  double alpha = 90.0, beta = 90.0, gamma = 90.0;
  double aStar = 1.0, bStar = 1.0, cStar = 1.0;
  double alphaStar = 90.0, betaStar = 90.0, gammaStar = 90.0;
  double volume = 0.0;
  double density = 0.0;  // kg m^-3
  std::array<double, 9> reciprocalMetric{};  // G*, row-major
  std::array<double, 9> directMetric{};      // G, row-major
  VHTypes::CVector originOffset;
  int32_t originChoice = 0;
  bool hasDisplacementParameters = false;
  bool useDisplacementParameters = true;
  std::vector<CTSSite> sites;
  std::vector<std::shared_ptr<CTSReflexion>> reflexions;
  double maximumIntensity = 0.0;
  double particleSize = 10000.0;  // Angstrom
  double isotropicStrain = 0.0;
  bool usePreferredOrientation = false;
  PreferredOrientationType preferredOrientationGeometry = kPlates;
  TSVectorType preferredOrientationVectorType = kPlaneNormal;
  VHTypes::CVector preferredOrientationVector{0.0, 0.0, 1.0};
  double preferredOrientationAlignment = 0.9;
  double preferredOrientationNormalisation = 1.0;
  std::string spaceGroupSymbol = "P 1";
  std::vector<CTSSymOp> symmetryOperators;  // primitive part; centring comes from the letter
  char latticeLetter = 'P';
  bool centrosymmetric = false;
  // The earlier rules for equivalent positions (images compared coordinate by coordinate
  // within 0.00011, without wrap-around) and displacement (one unrotated tensor for every image
  // of a site), for reproducing results computed with them. Taken from LegacyRulesDefault().
  bool legacyRules;
};

// The rules new crystals follow; a preference, off unless a user asks for the earlier rules.
bool LegacyRulesDefault();
void SetLegacyRulesDefault(bool legacy);

// Sets the rules new crystals follow for the lifetime of the object, then restores them.
class CLegacyRulesScope {
 public:
  explicit CLegacyRulesScope(bool legacy) : m_previous(LegacyRulesDefault()) {
    SetLegacyRulesDefault(legacy);
  }
  ~CLegacyRulesScope() { SetLegacyRulesDefault(m_previous); }
  CLegacyRulesScope(const CLegacyRulesScope&) = delete;
  CLegacyRulesScope& operator=(const CLegacyRulesScope&) = delete;

 private:
  bool m_previous;
};

// Whether the cell can exist: lengths from 0.1 to 100000 Angstrom, angles strictly between 0
// and 180 degrees, and a positive volume (no three angles like 10, 10, 170 degrees make a
// cell).
bool IsPossibleCell(const CTSCrystal& crystal);

// Display names of the preferred-orientation settings.
const char* PreferredOrientationTypeName(CTSCrystal::PreferredOrientationType type);
const char* VectorTypeName(CTSCrystal::TSVectorType type);
