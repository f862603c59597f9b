#include "radiation/radiation_spec.h"

#include <algorithm>
#include <cmath>

#include "crystal/vector.h"

using namespace VHTypes;

namespace {

// Sines smaller than this count as zero, so an angle of 0 gives a zero factor rather than
// a rounding residue.
constexpr double kZeroSine = 1.1368683772161603e-13;
// Neutron m/h in ms per (m Angstrom).
constexpr double kNeutronMassOverPlanck = 0.2527776062488556;
// hc/2 in keV Angstrom: the value the profile positions use, and the more precise one the
// single-value readouts use.
constexpr double kHalfHcProfile = 6.19921;
constexpr double kHalfHcReadout = 6.1992998123168945;
// Widths are converted at this reference d-spacing (Angstrom).
constexpr double kReferenceD = 3.0;

double CleanSine(double angle) {
  const double s = std::sin(angle);
  return std::abs(s) < kZeroSine ? 0.0 : s;
}

// Arc sine in degrees with the argument clamped to [-1, 1].
double ArcSineDegrees(double x) {
  return std::asin(std::clamp(x, -1.0, 1.0)) * kRadiansToDegrees;
}

}  // namespace

CRadiationSpec::CRadiationSpec() {
  UpdateDerivedFactors();
}

void CRadiationSpec::SetEDXTheta(double theta) {
  m_edxTheta = theta;
  UpdateDerivedFactors();
}

void CRadiationSpec::SetTOFTheta(double theta) {
  m_tofTheta = theta;
  UpdateDerivedFactors();
}

void CRadiationSpec::SetTOFDistance(double distance) {
  m_tofDistance = distance;
  UpdateDerivedFactors();
}

void CRadiationSpec::UpdateDerivedFactors() {
  m_tofFactor = 2.0 * m_tofDistance * kNeutronMassOverPlanck * CleanSine(m_tofTheta);
  m_edxFactor = kHalfHcProfile / CleanSine(m_edxTheta);
}

double CRadiationSpec::Wavelength() const {
  return m_simulationType == kSimulationElectrons ? m_lambdaTEM : m_lambda;
}

double CRadiationSpec::PositionOf(double d, double energyFactor) const {
  switch (m_axisType) {
    case kAxisTwoTheta:
      return 2.0 * std::asin(std::clamp(Wavelength() / (2.0 * d), -1.0, 1.0)) * kRadiansToDegrees;
    case kAxisDSpacing:
      return d;
    case kAxisInverseD:
      return 1.0 / d;
    case kAxisTimeOfFlight:
      return d * m_tofFactor;
    case kAxisEnergy:
      return energyFactor / d;
    case kAxisQ:
      return kTwoPi / d;
  }
  return d;
}

double CRadiationSpec::DToX(double d) const {
  return PositionOf(d, kHalfHcReadout / CleanSine(m_edxTheta));
}

double CRadiationSpec::XToD(double x) const {
  switch (m_axisType) {
    case kAxisTwoTheta:
      return Wavelength() / (2.0 * std::sin(x / 2.0 * kDegreesToRadians));
    case kAxisDSpacing:
      return x;
    case kAxisInverseD:
      return 1.0 / x;
    case kAxisTimeOfFlight:
      return x / m_tofFactor;
    case kAxisEnergy:
      return kHalfHcReadout / (CleanSine(m_edxTheta) * x);
    case kAxisQ:
      return kTwoPi / x;
  }
  return x;
}

double CRadiationSpec::ConvertWidth(double width, TSAxisType from, TSAxisType to) const {
  if (from == to || to < kAxisTwoTheta || to > kAxisQ) return width;
  const double halfLambda = Wavelength() / 2.0;
  const double d0 = kReferenceD;
  const double fe = m_edxFactor;
  const double w2 = width / 2.0;

  double dd = width;  // the width as a d-spacing width at d0
  switch (from) {
    case kAxisTwoTheta: {
      const double twoTheta0 = 2.0 * ArcSineDegrees(halfLambda / d0);
      const double thetaLow = (twoTheta0 - w2) / 2.0 * kDegreesToRadians;
      const double thetaHigh = (twoTheta0 + w2) / 2.0 * kDegreesToRadians;
      dd = halfLambda * (1.0 / std::sin(thetaLow) - 1.0 / std::sin(thetaHigh));
      break;
    }
    case kAxisDSpacing:
      break;
    case kAxisInverseD:
      dd = 1.0 / (1.0 / d0 - w2) - 1.0 / (1.0 / d0 + w2);
      break;
    case kAxisTimeOfFlight:
      dd = width / m_tofFactor;
      break;
    case kAxisEnergy:
      dd = fe / (fe / d0 - w2) - fe / (fe / d0 + w2);
      break;
    case kAxisQ:
      dd = kTwoPi * (1.0 / (kTwoPi / d0 - w2) - 1.0 / (kTwoPi / d0 + w2));
      break;
  }

  const double h = dd / 2.0;
  switch (to) {
    case kAxisTwoTheta:
      return 2.0 * (ArcSineDegrees(halfLambda / (d0 - h)) - ArcSineDegrees(halfLambda / (d0 + h)));
    case kAxisDSpacing:
      return dd;
    case kAxisInverseD:
      return 1.0 / (d0 - h) - 1.0 / (d0 + h);
    case kAxisTimeOfFlight:
      return dd * m_tofFactor;
    case kAxisEnergy:
      return fe / (d0 - h) - fe / (d0 + h);
    case kAxisQ:
      return kTwoPi * (1.0 / (d0 - h) - 1.0 / (d0 + h));
  }
  return width;
}

namespace {

// Physical constants of the electron wavelength, SI units.
constexpr double kElementaryCharge = 1.602176487e-19;        // C
constexpr double kElectronMass = 9.10938215e-31;             // kg
constexpr double kTwiceElectronMass = 1.82187643e-30;        // kg
constexpr double kTwiceRestEnergy = 1.6374208764810452e-13;  // J
constexpr double kPlanckAngstrom = 6.62606896e-24;           // Planck's constant scaled to Angstrom
constexpr double kPlanck = 6.62606896e-34;                   // J s
constexpr double kSpeedOfLight = 299792458.0;                // m/s
constexpr double kJoulesPerKiloElectronVolt = 1.602176487e-16;

}  // namespace

double ElectronWavelength(double kilovolts) {
  const double energy = kilovolts * 1000.0 * kElementaryCharge;
  const double momentum =
      std::sqrt(energy * kTwiceElectronMass * (1.0 + energy / kTwiceRestEnergy));
  return kPlanckAngstrom / momentum;
}

double ElectronVoltage(double wavelength) {
  const double metres = wavelength * 1e-10;
  const double c2 = kSpeedOfLight * kSpeedOfLight;
  const double restEnergy = kElectronMass * c2;
  const double total =
      std::sqrt(c2 * kPlanck * kPlanck / (metres * metres) + restEnergy * restEnergy);
  return (total - restEnergy) / kJoulesPerKiloElectronVolt;
}
