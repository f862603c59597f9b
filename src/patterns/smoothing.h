// Smoothing of measured points by a triangular moving average.
#pragma once

#include "patterns/profile.h"

namespace VHSmoothing {

// Whether a window of half width `radius` smooths `count` points: a radius of at least 1 and at
// most a third of the count.
bool RadiusFits(long long radius, size_t count);

// Every point averaged with its neighbours up to `radius` away, weighted 1 - |j| / (radius + 1)
// and divided by the sum of the weights used, so that a constant stays constant. Near the ends
// the window holds only the points that exist: a scan keeps all its N points, and its first and
// last ones are smoothed less rather than lost. Empty when the radius does not fit. The cost
// grows with N times the radius.
CProfile TriangularAverage(const CProfile& points, int radius);

}  // namespace VHSmoothing
