#include "diffraction/reflexion_symmetry.h"

#include <algorithm>
#include <cmath>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"

namespace {

// A general point, so that only symmetry (never a coincidence) makes the sum vanish.
const VHTypes::CVector kTrialPoint{1.0 / 83.0, 1.0 / 97.0, 1.0 / 127.0};
constexpr double kVanishingSum = 1.8189894035458565e-12;

bool IsOdd(int32_t n) { return (n & 1) != 0; }

bool IsVanishingSum(double cosines, double sines) {
  return std::abs(cosines) < kVanishingSum && std::abs(sines) < kVanishingSum;
}

}  // namespace

CReflexionSymmetry::CReflexionSymmetry(const CTSCrystal& crystal)
    : m_latticeLetter(crystal.latticeLetter),
      m_rhombohedralAxes(crystal.latticeLetter == 'R' && HasEqualAngles(crystal)) {
  const VHTypes::CVector& o = crystal.originOffset;
  const VHTypes::CVector p = o + kTrialPoint;
  for (const CTSSymOp& op : crystal.symmetryOperators) {
    std::array<int32_t, 9> rotation{};
    for (int i = 0; i < 9; ++i) rotation[i] = static_cast<int32_t>(std::lround(op.Rotation()[i]));
    m_rotations.push_back(rotation);
    m_trialImages.push_back(op.Apply(p) - o);
    if (op.IsInversion()) m_hasInversion = true;
  }
  const size_t count = m_rotations.size();
  m_testsAbsences = count > 2 || (count == 2 && !m_hasInversion);
}

namespace {

// The row vector of indices times R.
CHkl Image(const std::array<int32_t, 9>& r, const CHkl& hkl) {
  return {hkl.h * r[0] + hkl.k * r[3] + hkl.l * r[6], hkl.h * r[1] + hkl.k * r[4] + hkl.l * r[7],
          hkl.h * r[2] + hkl.k * r[5] + hkl.l * r[8]};
}

}  // namespace

void CReflexionSymmetry::Images(const CHkl& hkl, std::vector<CHkl>& out) const {
  out.clear();
  for (const auto& r : m_rotations) out.push_back(Image(r, hkl));
}

void CReflexionSymmetry::Equivalents(const CHkl& hkl, bool friedelMates,
                                     std::vector<CHkl>& out) const {
  const bool mates = friedelMates && !m_hasInversion;
  out.clear();
  auto add = [&out](const CHkl& e) {
    if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
  };
  for (const auto& r : m_rotations) {
    const CHkl image = Image(r, hkl);
    add(image);
    if (mates) add(-image);
  }
}

bool CReflexionSymmetry::IsLatticeAbsent(const CHkl& hkl) const {
  const auto [h, k, l] = hkl;
  switch (m_latticeLetter) {
    case 'A':
      return IsOdd(k + l);
    case 'B':
      return IsOdd(h + l);
    case 'C':
      return IsOdd(h + k);
    case 'I':
      return IsOdd(h + k + l);
    case 'F':
      return !(IsOdd(h) == IsOdd(k) && IsOdd(k) == IsOdd(l));
    case 'R':
      return !m_rhombohedralAxes && (-h + k + l) % 3 != 0;
    default:
      return false;
  }
}

bool CReflexionSymmetry::IsSpaceGroupAbsent(const CHkl& hkl) const {
  if (!m_testsAbsences) return false;
  double cosines = 0.0, sines = 0.0;
  for (const VHTypes::CVector& v : m_trialImages) {
    const double phi = VHTypes::kTwoPi * (hkl.h * v.x + hkl.k * v.y + hkl.l * v.z);
    cosines += std::cos(phi);
    sines += std::sin(phi);
  }
  return IsVanishingSum(cosines, sines);
}

int CentringMultiplicity(const CTSCrystal& crystal) {
  switch (crystal.latticeLetter) {
    case 'A':
    case 'B':
    case 'C':
    case 'I':
      return 2;
    case 'F':
      return 4;
    case 'R':
      return crystal.gamma >= 120.0 ? 3 : 1;
    default:
      return 1;
  }
}
