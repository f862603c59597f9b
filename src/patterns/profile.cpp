#include "patterns/profile.h"

#include <algorithm>
#include <cmath>

#include "crystal/crystal.h"
#include "crystal/vector.h"
#include "diffraction/reflexion.h"
#include "patterns/peak_sum.h"
#include "patterns/plot_spec.h"

using namespace VHTypes;

namespace VHProfile {

const double kGaussianNorm = std::sqrt(kLn2 / kPi);

namespace {

// Scherrer constant of the size broadening.
constexpr double kScherrer = 0.888;
// Crystallites this large (Angstrom) broaden nothing on the 2 theta axis.
constexpr double kLargestSize = 10000.0;
constexpr double kGaussianCutOff = 5.0;
constexpr double kLorentzianCutOff = 20.0;
// A Delta peak is a triangle this many grid steps wide on each side.
constexpr double kDeltaSteps = 9.0;

// 2 sqrt(ln 2), the factor of the strain term.
const double kStrainFactor = 2.0 * std::sqrt(kLn2);

// The K-alpha-2 companion of the peaks, when the doublet is in use.
struct CDoublet {
  bool inUse = false;
  double lambda2 = 0.0;
  double weight1 = 1.0;  // r / (r + 1)
  double weight2 = 0.0;  // 1 / (r + 1)
};

CDoublet DoubletOf(const CPlotSpec& plotSpec) {
  CDoublet doublet;
  // The second line is placed as a 2 theta angle, which only means something on that axis.
  doublet.inUse = plotSpec.SimulationType() == kSimulationXrays && !plotSpec.Monochromatic() &&
                  plotSpec.AxisType() == kAxisTwoTheta;
  if (doublet.inUse) {
    const double r = plotSpec.LambdaRatio();
    doublet.lambda2 = plotSpec.Lambda2();
    doublet.weight1 = r / (r + 1.0);
    doublet.weight2 = 1.0 / (r + 1.0);
  }
  return doublet;
}

// A grid index from an edge, truncated toward zero, computed in floating point so that edges
// far outside the grid (or not finite) clamp instead of overflowing an integer.
double IndexOf(double edge, double xMin, double step) { return std::trunc((edge - xMin) / step); }

// The peak of a reflexion on the grid, weighted by its intensity: its reach, and for the doublet
// the companion line's position. A peak whose width or position is not finite reaches nothing.
CGridPeak GridPeak(const CTSReflexion& reflexion, double w, double cutOff, const CDoublet& doublet,
                   double xMin, double step, double lastIndex) {
  CGridPeak peak;
  peak.x1 = peak.x2 = reflexion.position;
  peak.weight1 = reflexion.intensity;
  peak.halfWidth = w;
  // An unbounded width spreads the peak to nothing; a position that is not finite has no point.
  if (!std::isfinite(w) || !std::isfinite(peak.x1)) return peak;

  if (doublet.inUse) {
    const double s = doublet.lambda2 * 0.5 / reflexion.d;
    if (s >= -1.0 && s <= 1.0) {
      peak.x2 = 2.0 * std::asin(s) * kRadiansToDegrees;
      peak.doublet = true;
      peak.weight1 = doublet.weight1 * reflexion.intensity;
      peak.weight2 = doublet.weight2 * reflexion.intensity;
    }
  }

  const double reach = w * cutOff;
  const double upperEdge = peak.x1 + reach + (peak.x2 - peak.x1);
  double first = IndexOf(peak.x1 - reach, xMin, step);
  double last = IndexOf(upperEdge, xMin, step);
  if (!(first > 0.0)) first = 0.0;
  if (!(last < lastIndex + 1.0)) last = lastIndex;
  first = std::min(first, lastIndex + 1.0);
  // The last index itself is left out.
  peak.begin = static_cast<size_t>(first);
  peak.end = std::max(peak.begin, static_cast<size_t>(std::max(last, 0.0)));
  return peak;
}

}  // namespace

double Delta(double x, double x0, double w) {
  const double distance = std::abs(x - x0);
  return distance < w ? 1.0 - distance / w : 0.0;
}

// The vectorised sum in peak_sum.cpp does the same operations in the same order, with the
// reciprocal of the width taken once per peak.
double Lorentzian(double x, double x0, double w) {
  const double u = (x - x0) * (1.0 / w);
  return 1.0 / (kPi * w * (1.0 + u * u));
}

double Gaussian(double x, double x0, double w) {
  const double u = (x - x0) * (1.0 / w);
  const double a = -kLn2 * u * u;
  return a <= kGaussianFloor ? 0.0 : kGaussianNorm / w * std::exp(a);
}

double PseudoVoigt(double x, double x0, double w, double eta) {
  return (1.0 - eta) * Gaussian(x, x0, w) + eta * Lorentzian(x, x0, w);
}

double CutOffFactor(TSProfileType type, double eta) {
  switch (type) {
    case kProfileDelta:
      return 1.0;
    case kProfileLorentzian:
      return kLorentzianCutOff;
    case kProfileGaussian:
      return kGaussianCutOff;
    case kProfilePseudoVoigt:
      return (1.0 - eta) * kGaussianCutOff + eta * kLorentzianCutOff;
  }
  return 0.0;
}

double InstrumentWidth(const CPlotSpec& plotSpec, double x) {
  const TSAxisType axis = plotSpec.AxisType();
  switch (plotSpec.SimulationType()) {
    case kSimulationTimeOfFlight: {
      // A constant delta-d/d resolution: proportional to the position except on the 2 theta
      // axis, where it follows tan theta.
      const double r = plotSpec.TOFResolution();
      if (axis == kAxisTwoTheta) return 2.0 * r * std::tan(x / 2.0 * kDegreesToRadians) * kRadiansToDegrees;
      return r * x;
    }
    case kSimulationEnergyDispersive:
      return plotSpec.ConvertWidth(plotSpec.EDXPeakWidth(), kAxisEnergy, axis);
    case kSimulationElectrons:
      return plotSpec.ConvertWidth(plotSpec.PeakWidthTEM(), kAxisInverseD, axis);
    default:
      return plotSpec.ConvertWidth(plotSpec.TTHPeakWidth(), kAxisTwoTheta, axis);
  }
}

double SizeWidth(const CPlotSpec& plotSpec, double size, double x) {
  const double s = std::clamp(size, 0.0, kLargestSize);
  switch (plotSpec.AxisType()) {
    case kAxisTwoTheta:
      if (s >= kLargestSize) return 0.0;
      return kScherrer * plotSpec.Wavelength() * kRadiansToDegrees / (s * std::cos(x / 2.0 * kDegreesToRadians));
    case kAxisDSpacing:
      return kScherrer * x * x / s;
    case kAxisInverseD:
      return kScherrer / s;
    case kAxisTimeOfFlight:
      return kScherrer * x * x / (s * plotSpec.TOFFactor());
    case kAxisEnergy:
      return kScherrer * plotSpec.EDXFactor() / s;
    case kAxisQ:
      return kScherrer * kTwoPi / s;
  }
  return 0.0;
}

double StrainWidth(const CPlotSpec& plotSpec, double strain, double x) {
  const double e = std::clamp(strain, 0.0, 1.0);
  switch (plotSpec.AxisType()) {
    case kAxisTwoTheta:
      if (!(e > 0.0)) return 0.0;
      return 4.0 * kStrainFactor * e * std::tan(x / 2.0 * kDegreesToRadians) * kRadiansToDegrees;
    case kAxisDSpacing:
    case kAxisTimeOfFlight:
      return e * x;
    case kAxisInverseD:
    case kAxisEnergy:
    case kAxisQ:
      return kStrainFactor * e * x;
  }
  return 0.0;
}

double TotalWidth(TSProfileType type, double eta, double instrument, double size, double strain) {
  const double linear = instrument + size + strain;
  const double quadrature = std::sqrt(instrument * instrument + size * size + strain * strain);
  switch (type) {
    case kProfileLorentzian:
      return linear;
    case kProfileGaussian:
      return quadrature;
    case kProfilePseudoVoigt:
      return (1.0 - eta) * quadrature + eta * linear;
    default:
      return 0.0;
  }
}

void ComputeWidths(const CTSCrystal& crystal, const CPlotSpec& plotSpec) {
  const TSProfileType type = plotSpec.ProfileType();
  const double eta = plotSpec.Eta();
  for (const auto& reflexion : crystal.reflexions) {
    const double x = reflexion->position;
    reflexion->halfWidth = TotalWidth(type, eta, InstrumentWidth(plotSpec, x), SizeWidth(plotSpec, crystal.particleSize, x),
                                      StrainWidth(plotSpec, crystal.isotropicStrain, x)) /
                           2.0;
  }
}

CProfile LayGrid(const CPlotSpec& plotSpec) {
  const uint64_t n = plotSpec.ProfilePoints();
  const double step = (plotSpec.XMax() - plotSpec.XMin()) / static_cast<double>(n);
  CProfile grid(n);
  double x = plotSpec.XMin();
  for (CProfilePoint& point : grid) {
    point.x = x;
    x += step;
  }
  return grid;
}

double Interpolate(const CProfilePoint& p1, const CProfilePoint& p2, double x) {
  if (p2.x == p1.x) return 0.0;
  return ((x - p1.x) * p2.y + (p2.x - x) * p1.y) / (p2.x - p1.x);
}

CProfile Resample(const CProfile& points, double xOffset, const CPlotSpec& plotSpec) {
  if (points.size() < 2) return {};
  const auto shifted = [&](size_t i) { return CProfilePoint{points[i].x + xOffset, points[i].y}; };
  const double first = shifted(0).x, last = shifted(points.size() - 1).x;
  CProfile grid = LayGrid(plotSpec);
  // The grid rises, so the search for the point beyond each grid x goes on from the last one
  // found and the whole pass is linear. Index 0 never lies beyond a grid x in range.
  size_t beyond = 1;
  for (CProfilePoint& point : grid) {
    if (point.x < first || point.x > last) continue;
    while (beyond < points.size() && shifted(beyond).x <= point.x) ++beyond;
    if (beyond == points.size()) continue;
    point.y = Interpolate(shifted(beyond - 1), shifted(beyond), point.x);
  }
  return grid;
}

CProfile SampleProfile(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions, const CPlotSpec& plotSpec) {
  if (reflexions.empty()) return {};
  CProfile grid = LayGrid(plotSpec);
  if (grid.empty()) return grid;
  const TSProfileType type = plotSpec.ProfileType();
  const double eta = plotSpec.Eta();
  const double cutOff = CutOffFactor(type, eta);
  const CDoublet doublet = DoubletOf(plotSpec);
  const double xMin = plotSpec.XMin();
  const double step = (plotSpec.XMax() - xMin) / static_cast<double>(grid.size());
  const double lastIndex = static_cast<double>(grid.size() - 1);
  std::vector<CGridPeak> peaks;
  peaks.reserve(reflexions.size());
  for (const auto& reflexion : reflexions) {
    const double w = type == kProfileDelta ? kDeltaSteps * step : reflexion->halfWidth;
    peaks.push_back(GridPeak(*reflexion, w, cutOff, doublet, xMin, step, lastIndex));
  }
  SumPeaks(type, eta, peaks, grid);
  return grid;
}

CProfile BuildProfile(const CTSCrystal& crystal, const CPlotSpec& plotSpec) {
  ComputeWidths(crystal, plotSpec);
  return SampleProfile(crystal.reflexions, plotSpec);
}

}  // namespace VHProfile
