// The factors that turn a structure factor into an intensity: the scattering kind and the
// Lorentz, polarisation and geometry factors of each radiation, the phase of F, and the
// March-Dollase preferred-orientation correction.
#pragma once

#include <vector>

#include "diffraction/asf.h"
#include "diffraction/reflexion_symmetry.h"
#include "radiation/types.h"

class CRadiationSpec;
class CTSCrystal;
struct CTSReflexion;

// X-ray form factors for X-rays of both kinds (and unknown types), neutron scattering lengths
// for both neutron kinds, electron factors for electrons.
CScatteringKind ScatteringKindOf(VHTypes::TSSimulationType type);

// The wavelength factor k and the Lorentz-polarisation-geometry factor Lp of a reflexion of
// spacing d; I = |F|^2 k Lp / V^2.
struct CGeometryFactors {
  double k = 0.0;
  double lp = 0.0;
};
CGeometryFactors GeometryFactors(const CRadiationSpec& radiation, double d);

// The phase of F = A + iB in [0, 2 pi); components below 2^-39 count as zero.
double StructureFactorPhase(double a, double b);

// March-Dollase correction of a crystal's preferred orientation.
class CPreferredOrientation {
 public:
  // Takes the crystal's orientation settings and its stored normalisation as they are now;
  // the crystal's cell must outlive this object.
  explicit CPreferredOrientation(const CTSCrystal& crystal);

  // The normalisation that makes a random powder's correction average to one, for an
  // alignment (midpoint rule over 0 to 90 degrees).
  static double Normalisation(double alignment);

  // Replaces the multiplicity: the correction summed over the equivalents (Friedel mates
  // included) of equal d-spacing, times the normalisation. The multiplicity itself when the
  // orientation vector is zero. `scratch` holds the equivalents.
  double Factor(const CTSReflexion& reflexion, std::vector<CHkl>& scratch) const;
  size_t MaxEquivalents() const { return m_symmetry.MaxEquivalents(); }

 private:
  double CosineToAxis(const CHkl& hkl) const;

  const CTSCrystal& m_crystal;
  CReflexionSymmetry m_symmetry;
  bool m_hasAxis;
  bool m_latticeVector;  // the axis is a direction [UVW], else a plane normal (hkl)
  double m_axis[3];
  double m_axisLength;  // of the orientation vector in its own space
  double m_r;
  double m_normalisation;
};
