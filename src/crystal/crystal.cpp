#include "crystal/crystal.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "crystal/spacegroups.h"

using VHTypes::kDegreesToRadians;
using VHTypes::kRadiansToDegrees;

namespace {

// Atomic mass units per cubic Angstrom to kg per cubic metre, held in single precision.
constexpr double kDensityFactor = static_cast<double>(1660.56f);
constexpr double kMinimumCountedOccupancy = 0.001;
constexpr double kFlattestCell = 1e-6;
// Cell edges of real crystals run from about 2 Angstrom to a few thousand (virus capsids,
// modulated superstructures); these bounds leave room on both sides, and within them the
// reciprocal cell, the volume and both metrics are ordinary finite numbers.
constexpr double kShortestCellEdge = 0.1;
constexpr double kLongestCellEdge = 1e5;

std::atomic<bool> legacyRulesDefault{false};

double ClampedArcCosDegrees(double cosine) {
  return std::acos(std::clamp(cosine, -1.0, 1.0)) * kRadiansToDegrees;
}

std::array<double, 9> Metric(double a, double b, double c, double alpha, double beta,
                             double gamma) {
  const double ab = a * b * std::cos(gamma * kDegreesToRadians);
  const double ac = a * c * std::cos(beta * kDegreesToRadians);
  const double bc = b * c * std::cos(alpha * kDegreesToRadians);
  return {a * a, ab, ac, ab, b * b, bc, ac, bc, c * c};
}

}  // namespace

CTSSite::CTSSite(const CTSSite& other)
    : positions(other.positions),
      rotations(other.rotations),
      atoms(other.atoms),
      flag(other.flag),
      label(other.label),
      x(other.x),
      y(other.y),
      z(other.z),
      included(other.included),
      displacement(other.displacement ? other.displacement->Clone() : nullptr),
      scatteringGroup(other.scatteringGroup) {}

CTSSite& CTSSite::operator=(const CTSSite& other) {
  if (this != &other) {
    CTSSite copy(other);
    *this = std::move(copy);
  }
  return *this;
}

CTSCrystal::CTSCrystal() : legacyRules(LegacyRulesDefault()) {
  UpdateCell();
}

void CTSCrystal::UpdateCell() {
  UpdateCellGeometry();
  density = 0.0;
  if (volume != 0.0) {
    double mass = 0.0;
    for (const CTSSite& site : sites) {
      double siteMass = 0.0;
      for (const CTSAtom& atom : site.atoms)
        if (atom.occupancy > kMinimumCountedOccupancy)
          siteMass += atom.scattering.w * atom.occupancy;
      mass += static_cast<double>(site.positions.size()) * siteMass;
    }
    density = mass * kDensityFactor / volume;
  }
}

void CTSCrystal::UpdateCellGeometry() {
  const double ca = std::cos(alpha * kDegreesToRadians);
  const double cb = std::cos(beta * kDegreesToRadians);
  const double cg = std::cos(gamma * kDegreesToRadians);
  const double sa = std::sin(alpha * kDegreesToRadians);
  const double sb = std::sin(beta * kDegreesToRadians);
  const double sg = std::sin(gamma * kDegreesToRadians);

  alphaStar = ClampedArcCosDegrees((cb * cg - ca) / (sb * sg));
  betaStar = ClampedArcCosDegrees((ca * cg - cb) / (sa * sg));
  gammaStar = ClampedArcCosDegrees((ca * cb - cg) / (sa * sb));

  aStar = 1.0 / (a * sg * std::sin(betaStar * kDegreesToRadians));
  bStar = 1.0 / (b * sa * std::sin(gammaStar * kDegreesToRadians));
  cStar = 1.0 / (c * sb * std::sin(alphaStar * kDegreesToRadians));
  volume = a * b * sg / cStar;

  directMetric = Metric(a, b, c, alpha, beta, gamma);
  reciprocalMetric = Metric(aStar, bStar, cStar, alphaStar, betaStar, gammaStar);
}

double CTSCrystal::DSpacing(int h, int k, int l) const {
  const auto& g = reciprocalMetric;
  const double hh = h, kk = k, ll = l;
  return 1.0 / std::sqrt(hh * hh * g[0] + kk * kk * g[4] + ll * ll * g[8] + 2.0 * hh * kk * g[1] +
                         2.0 * hh * ll * g[2] + 2.0 * kk * ll * g[5]);
}

void CTSCrystal::GeneratePositions() { GenerateSitePositions(*this); }

bool IsPossibleCell(const CTSCrystal& crystal) {
  for (const double length : {crystal.a, crystal.b, crystal.c})
    if (!(length >= kShortestCellEdge && length <= kLongestCellEdge)) return false;
  for (const double angle : {crystal.alpha, crystal.beta, crystal.gamma})
    if (!(angle > 0.0 && angle < 180.0)) return false;
  const double ca = std::cos(crystal.alpha * kDegreesToRadians),
               cb = std::cos(crystal.beta * kDegreesToRadians),
               cg = std::cos(crystal.gamma * kDegreesToRadians);
  // The squared volume of the cell with edges of length 1; a cell flatter than this (three
  // angles of 120 degrees make it 0) is a typing error, not a crystal.
  return 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg > kFlattestCell;
}

const char* PreferredOrientationTypeName(CTSCrystal::PreferredOrientationType type) {
  return type == CTSCrystal::kNeedles ? "Needles" : "Plates";
}

const char* VectorTypeName(CTSCrystal::TSVectorType type) {
  return type == CTSCrystal::kLatticeVector ? "Lattice Vector: [UVW]" : "Plane Normal: N(hkl)";
}

bool LegacyRulesDefault() {
  return legacyRulesDefault.load(std::memory_order_relaxed);
}
void SetLegacyRulesDefault(bool legacy) {
  legacyRulesDefault.store(legacy, std::memory_order_relaxed);
}
