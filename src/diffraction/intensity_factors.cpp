#include "diffraction/intensity_factors.h"

#include <algorithm>
#include <cmath>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "radiation/radiation_spec.h"

using namespace VHTypes;

namespace {

// Sines and cos 2 theta smaller than this are rounding residues of zero.
constexpr double kZeroSine = 1.1368683772161603e-13;
// Structure-factor components smaller than this are zero.
constexpr double kZeroComponent = 1.8189894035458565e-12;
// The March-Dollase ratio never drops below this, so perfect alignment stays finite.
constexpr double kMinimumRatio = 0.0015;
constexpr double kZeroVector = 0.00001;
constexpr double kSameD = 0.00001;
constexpr int kNormalisationSteps = 1000;

double Clean(double value) { return std::abs(value) < kZeroSine ? 0.0 : value; }

double Ratio(double alignment) {
  const double r = 1.0 - alignment;
  return r >= kMinimumRatio ? r : kMinimumRatio;
}

double MarchDollase(double r, double cosine2, double sine2) {
  return std::pow(r * r * cosine2 + sine2 / r, -1.5);
}

// (1 + cos^2 2 theta) / 2 for an unpolarised beam.
double Polarisation(double sinTheta) {
  const double cos2Theta = Clean(1.0 - 2.0 * sinTheta * sinTheta);
  return (1.0 + cos2Theta * cos2Theta) / 2.0;
}

double Dot(const std::array<double, 9>& metric, const double a[3], const double b[3]) {
  double sum = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) sum += a[i] * metric[3 * i + j] * b[j];
  return sum;
}

}  // namespace

CScatteringKind ScatteringKindOf(TSSimulationType type) {
  switch (type) {
    case kSimulationNeutrons:
    case kSimulationTimeOfFlight:
      return CScatteringKind::kNeutron;
    case kSimulationElectrons:
      return CScatteringKind::kElectron;
    default:
      return CScatteringKind::kXray;
  }
}

CGeometryFactors GeometryFactors(const CRadiationSpec& radiation, double d) {
  CGeometryFactors factors;
  switch (radiation.SimulationType()) {
    case kSimulationEnergyDispersive: {
      // The detector sits at a fixed angle; each reflexion picks the wavelength 2 d sin theta.
      const double theta = radiation.EDXTheta();
      const double sinTheta = Clean(std::sin(theta));
      const double sin2Theta = Clean(std::sin(2.0 * theta));
      factors.k = 16.0 * (d * d * d) * (sinTheta * sinTheta * sinTheta);
      factors.lp = Polarisation(sinTheta) * (1.0 / (sin2Theta * sinTheta));
      break;
    }
    case kSimulationTimeOfFlight:
      factors.k = 1.0;
      factors.lp = (d * d * d * d) * Clean(std::sin(radiation.TOFTheta()));
      break;
    case kSimulationElectrons: {
      // Electrons diffract at angles so small that the polarisation angle is taken as 0.
      const double lambda = radiation.LambdaTEM();
      const double s = Clean(lambda / (2.0 * d));
      factors.k = lambda * lambda * lambda;
      factors.lp = s < 1.0 ? 1.0 / s : 1.0;
      break;
    }
    default: {
      const double lambda = radiation.Lambda();
      const double s = Clean(lambda / (2.0 * d));
      factors.k = lambda * lambda * lambda;
      double lorentz = 1.0;
      double sinTheta = 1.0;  // theta = 90 degrees beyond the sphere of reflexion
      if (s < 1.0) {
        lorentz = 1.0 / (Clean(std::sin(2.0 * std::asin(s))) * s);
        sinTheta = s;
      }
      const bool neutrons = radiation.SimulationType() == kSimulationNeutrons;
      factors.lp = (neutrons ? 1.0 : Polarisation(sinTheta)) * lorentz;
      break;
    }
  }
  return factors;
}

double StructureFactorPhase(double a, double b) {
  if (a == 0.0) {
    if (std::abs(b) < kZeroComponent) return 0.0;
    return b > 0.0 ? kPi / 2.0 : 3.0 * kPi / 2.0;
  }
  if (std::abs(b) < kZeroComponent) return a > 0.0 ? 0.0 : kPi;
  const double phi = std::atan(std::abs(b / a));
  if (a > 0.0) return b > 0.0 ? phi : kTwoPi - phi;
  return b > 0.0 ? kPi - phi : kPi + phi;
}

CPreferredOrientation::CPreferredOrientation(const CTSCrystal& crystal)
    : m_crystal(crystal),
      m_symmetry(crystal),
      m_latticeVector(crystal.preferredOrientationVectorType == CTSCrystal::kLatticeVector),
      m_axis{crystal.preferredOrientationVector.x, crystal.preferredOrientationVector.y,
             crystal.preferredOrientationVector.z},
      m_normalisation(crystal.preferredOrientationNormalisation) {
  m_hasAxis = std::sqrt(m_axis[0] * m_axis[0] + m_axis[1] * m_axis[1] + m_axis[2] * m_axis[2]) >= kZeroVector;
  m_axisLength = std::sqrt(Dot(m_latticeVector ? crystal.directMetric : crystal.reciprocalMetric, m_axis, m_axis));
  m_r = Ratio(crystal.preferredOrientationAlignment);
  if (crystal.preferredOrientationGeometry == CTSCrystal::kNeedles) m_r = 1.0 / m_r;
}

double CPreferredOrientation::Normalisation(double alignment) {
  const double r = Ratio(alignment);
  const double step = (kPi / 2.0) / kNormalisationSteps;
  double sum = 0.0;
  for (int i = 1; i <= kNormalisationSteps; ++i) {
    const double alpha = (i - 0.5) * step;
    const double c = std::cos(alpha), s = std::sin(alpha);
    sum += MarchDollase(r, c * c, s * s);
  }
  return kPi / (2.0 * sum * step);
}

double CPreferredOrientation::CosineToAxis(const CHkl& hkl) const {
  const double normal[3] = {static_cast<double>(hkl.h), static_cast<double>(hkl.k),
                            static_cast<double>(hkl.l)};
  const double normalLength = std::sqrt(Dot(m_crystal.reciprocalMetric, normal, normal));
  // A plane normal meets the axis through the reciprocal metric; a lattice direction [UVW]
  // has the plain product of indices with the plane normal (h k l).
  const double product = m_latticeVector
                             ? normal[0] * m_axis[0] + normal[1] * m_axis[1] + normal[2] * m_axis[2]
                             : Dot(m_crystal.reciprocalMetric, normal, m_axis);
  return product / (normalLength * m_axisLength);
}

double CPreferredOrientation::Factor(const CTSReflexion& reflexion, std::vector<CHkl>& scratch) const {
  if (!m_hasAxis) return reflexion.multiplicity;
  m_symmetry.Equivalents({reflexion.h, reflexion.k, reflexion.l}, true, scratch);
  double sum = 0.0;
  for (const CHkl& e : scratch) {
    if (std::abs(m_crystal.DSpacing(e.h, e.k, e.l) - reflexion.d) > kSameD) continue;
    double alpha = std::acos(std::clamp(CosineToAxis(e), -1.0, 1.0));
    if (alpha > kPi / 2.0) alpha = kPi - alpha;
    const double c = std::cos(alpha), s = std::sin(alpha);
    sum += MarchDollase(m_r, c * c, s * s);
  }
  return sum * m_normalisation;
}
