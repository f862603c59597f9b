#include "patterns/smoothing.h"

#include <algorithm>
#include <vector>

namespace VHSmoothing {

bool RadiusFits(long long radius, size_t count) {
  return radius >= 1 && static_cast<unsigned long long>(radius) <= count / 3;
}

CProfile TriangularAverage(const CProfile& points, int radius) {
  if (!RadiusFits(radius, points.size())) return {};
  const size_t m = static_cast<size_t>(radius);
  const double norm = static_cast<double>(m) + 1.0;  // the weights of a whole window sum to this
  std::vector<double> weights(2 * m + 1);
  for (size_t j = 0; j < weights.size(); ++j) weights[j] = 1.0 - static_cast<double>(j > m ? j - m : m - j) / norm;
  CProfile smoothed(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    // The window's part that lies within the data: weights[j] pairs with point i - m + j.
    const size_t first = i < m ? m - i : 0;
    const size_t last = std::min(weights.size(), points.size() - i + m);
    double sum = 0.0, weight = 0.0;
    for (size_t j = first; j < last; ++j) {
      sum += weights[j] * points[i + j - m].y;
      weight += weights[j];
    }
    smoothed[i] = {points[i].x, sum / weight};
  }
  return smoothed;
}

}  // namespace VHSmoothing
