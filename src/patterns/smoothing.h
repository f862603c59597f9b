// Smoothing of measured points by a triangular moving average.
#pragma once

#include "patterns/profile.h"

namespace VHSmoothing {

// Whether a window of half width `radius` smooths `count` points: a radius of at least 1 and at
// most a third of the count.
bool RadiusFits(long long radius, size_t count);

// Each point i from radius to N - radius - 1 averaged with its neighbours up to `radius` away,
// weighted 1 - |j| / (radius + 1) (the weights sum to radius + 1, so a constant stays constant):
// N - 2 radius points starting at point `radius`. Empty when the radius does not fit. The cost
// grows with N times the radius.
CProfile TriangularAverage(const CProfile& points, int radius);

}  // namespace VHSmoothing
