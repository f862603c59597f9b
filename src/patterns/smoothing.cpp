#include "patterns/smoothing.h"

#include <vector>

namespace VHSmoothing {

bool RadiusFits(long long radius, size_t count) {
  return radius >= 1 && static_cast<unsigned long long>(radius) <= count / 3;
}

CProfile TriangularAverage(const CProfile& points, int radius) {
  if (!RadiusFits(radius, points.size())) return {};
  const size_t m = static_cast<size_t>(radius);
  const double norm = static_cast<double>(m) + 1.0;
  std::vector<double> weights(2 * m + 1);
  for (size_t j = 0; j < weights.size(); ++j) weights[j] = 1.0 - static_cast<double>(j > m ? j - m : m - j) / norm;
  CProfile smoothed(points.size() - 2 * m);
  for (size_t i = m; i + m < points.size(); ++i) {
    double sum = 0.0;
    for (size_t j = 0; j < weights.size(); ++j) sum += weights[j] * points[i - m + j].y;
    smoothed[i - m] = {points[i].x, sum / norm};
  }
  return smoothed;
}

}  // namespace VHSmoothing
