#include "patterns/peaks.h"

#include <algorithm>
#include <cmath>

#include "diffraction/reflexion.h"

namespace {

// Reflexions closer than this in d (Angstrom) coincide.
constexpr double kSameD = 0.00001;

}  // namespace

std::vector<CPeak> StrongestPeaks(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions, size_t count) {
  std::vector<std::shared_ptr<CTSReflexion>> byD = reflexions;
  std::stable_sort(byD.begin(), byD.end(), [](const auto& a, const auto& b) { return a->d > b->d; });
  std::vector<CPeak> peaks;
  for (const auto& reflexion : byD) {
    if (peaks.empty() || std::abs(peaks.back().d - reflexion->d) >= kSameD) {
      peaks.push_back({reflexion, reflexion->d, reflexion->position, 0.0, 0.0});
    } else if (reflexion->intensity > peaks.back().strongest->intensity) {
      peaks.back().strongest = reflexion;
    }
    peaks.back().intensity += reflexion->intensity;
  }
  double largest = 0.0;
  for (const CPeak& peak : peaks) largest = std::max(largest, peak.intensity);
  for (CPeak& peak : peaks) peak.relativeIntensity = largest > 0.0 ? peak.intensity / largest : 0.0;
  count = std::min(count, peaks.size());
  std::partial_sort(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(count), peaks.end(),
                    [](const CPeak& a, const CPeak& b) { return a.intensity > b.intensity; });
  peaks.resize(count);
  return peaks;
}
